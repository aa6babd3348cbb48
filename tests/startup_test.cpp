// Initialize's start-up after a restart, once: client file, server file,
// settings, then the temporary-list clean-up, seen through the registry and
// the files; and the service table that CallProfileCommand hands out.

#include "module/module.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};

class StartupTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ICore* core() { return reinterpret_cast<ICore*>(this); }
  fs::path inbox() { return env().app_data() / "inbox"; }
  fs::path sessions() { return env().app_data() / "Velmora" / "Session"; }
};

TEST_F(StartupTest, RestartRestoresBothSidesThenReadsSettingsThenCleansUpOnce) {
  // The first run: sessions saved with saving on, and a list of two temporary
  // files of which an OPP server session names one (in another case).
  MakePaths();
  g_save_file = 1;
  NewClient(OBEXSES_PROFILE_OPP, kPhone, u"photo.jpg");
  NewServer(OBEXSES_PROFILE_OPP, 0, inbox().u16string(), u"Song.MP3");
  fs::create_directories(inbox());
  WriteFile(inbox() / "song.mp3", "ID3");
  WriteFile(inbox() / "partial.tmp", "half");
  const std::string listed = (inbox() / "song.mp3").string() + "\n";
  WriteFile(env().app_data() / "Velmora" / "tmp_lst",
            listed + (inbox() / "partial.tmp").string() + "\n");

  ResetModuleState();  // the host goes down: a new module starts empty
  env().set_dword(u"ObexSesSaveFile", 1);
  env().set_dword(u"ObexSesDebugLevel", 3);
  EXPECT_EQ(InitializeModule(nullptr), 3u);  // no start-up without a core
  EXPECT_EQ(g_initialized.load(), 0u);
  EXPECT_EQ(tvr_find_server_session(kSessionId), nullptr);
  env().clear_output();
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_initialized.load(), 1u);

  // The restores ran before the settings were read: silent, and each forced
  // rewrite wrote the saved set from before the restore, which was empty.
  EXPECT_TRUE(env().trace_lines().empty());
  EXPECT_EQ(g_save_file.load(), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_EQ(ReadFile(sessions() / "ClientSession.xml").find(Utf16Le(u"<session")),
            std::string::npos);
  EXPECT_EQ(ReadFile(sessions() / "ServerSession.xml").find(Utf16Le(u"<session")),
            std::string::npos);

  // Both sides are back, saved and (for the client) live.
  ClientSession* client = tvr_find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(IsLiveSession(client));
  ASSERT_NE(tvr_find_server_session(kSessionId), nullptr);

  // The clean-up ran last, with the server sessions already restored.
  EXPECT_TRUE(fs::exists(inbox() / "song.mp3"));
  EXPECT_FALSE(fs::exists(inbox() / "partial.tmp"));
  std::string list = ReadFile(env().app_data() / "Velmora" / "tmp_lst");
  std::erase(list, '\r');
  EXPECT_EQ(list, listed);

  // The next store writes the restored sessions back.
  ASSERT_EQ(tvr_save_client_session(client), 1);
  EXPECT_NE(ReadFile(sessions() / "ClientSession.xml").find(Utf16Le(u"file_name=\"photo.jpg\"")),
            std::string::npos);

  // Later calls do not start up again, whatever the settings say now.
  env().set_dword(u"ObexSesDebugLevel", 1);
  g_client_session_path[0] = 0;
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_EQ(g_client_session_path[0], 0);
}

TEST_F(StartupTest, QueryDdiFillsTheTwentyTwoSlotsInOrderAndNothingElseTouchesThem) {
  // clang-format off
  const SessionDdi expected{
      tvr_create_client_session, tvr_destroy_client_session, tvr_save_client_session,
      tvr_find_client_session, tvr_resume_client_session, tvr_create_server_session,
      tvr_destroy_server_session, tvr_save_server_session, tvr_find_server_session,
      tvr_resume_server_session, tvr_store_client_session, tvr_restore_client_session,
      tvr_store_server_session, tvr_restore_server_session, tvr_enum_client_session,
      tvr_enum_server_session, tvr_client_file_changed, tvr_server_file_changed,
      tvr_client_transfer_file_changed, tvr_server_transfer_file_changed, tvr_client_file_size,
      tvr_server_file_size};
  // clang-format on
  SessionDdi table, untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  const struct {
    const char16_t* name;
    uint32_t argument;
  } others[] = {{u"QueryDdi", 2}, {u"queryddi", 1}, {u"QueryDdiX", 1},
                {u"QueryDd", 1},  {nullptr, 1},     {u"", 1}};
  for (const auto& other : others) {
    table = untouched;
    RunProfileCommand(other.name, other.argument, &table);
    EXPECT_EQ(std::memcmp(&table, &untouched, sizeof table), 0)
        << (other.name ? text::ToUtf8(other.name) : "null");
  }
  RunProfileCommand(u"QueryDdi", 1, nullptr);
  table = untouched;
  RunProfileCommand(u"QueryDdi", 1, &table);
  EXPECT_EQ(std::memcmp(&table, &expected, sizeof table), 0);
}

}  // namespace
}  // namespace obexses::testing
