// Initialize and CallProfileCommand: the once-only start-up and the service
// table, and the whole start-up after a restart (client file, server file,
// settings, then the temporary-list clean-up), seen through the registry, the
// files and the trace.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "module/module.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/state.h"
#include "settings/settings.h"
#include "tests/persist_samples.h"
#include "tests/registry_helpers.h"
#include "text/wide.h"

namespace obexses::testing {
namespace {

const std::string kIn = "4 OBEX: +++++ CallProfileCommand";
const std::string kOut = "4 OBEX: ----- CallProfileCommand";

class ModuleTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ICore* core() { return reinterpret_cast<ICore*>(this); }
};

// The host-log lines of these calls are checked through the loaded library.
TEST_F(ModuleTest, InitializeStartsUpOnceGivenACoreWithTracingOffUntilTheSettingsAreRead) {
  env().set_dword(u"ObexSesDebugLevel", 3);
  env().set_dword(u"ObexSesSaveFile", 1);
  EXPECT_EQ(InitializeModule(nullptr), 3u);
  EXPECT_EQ(g_initialized.load(), 0u);
  EXPECT_EQ(g_debug_level.load(), 0u);
  EXPECT_FALSE(std::filesystem::exists(env().app_data() / "Velmora"));
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_initialized.load(), 1u);
  EXPECT_EQ(g_save_file.load(), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_TRUE(env().trace_lines().empty());  // the paths were built before the settings
  env().set_dword(u"ObexSesDebugLevel", 1);
  g_client_session_path[0] = 0;
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_EQ(g_client_session_path[0], 0);
}

TEST_F(ModuleTest, QueryDdiFillsTheTwentyTwoSlotsInOrder) {
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
  SessionDdi table;
  std::memset(&table, 0xAB, sizeof table);
  RunProfileCommand(u"QueryDdi", 1, &table);
  EXPECT_EQ(std::memcmp(&table, &expected, sizeof table), 0);
}

TEST_F(ModuleTest, OtherCommandsWriteTheirLinesAndLeaveTheTableAlone) {
  const Lines wrong{kIn, "4 OBEX: query ddi", "1 OBEX: wrong params!", kOut};
  const Lines unnamed{kIn, "1 OBEX: call profile command but no function name!"};
  const struct {
    const char16_t* name;
    uint32_t count;
    bool table;
    Lines lines;
  } cases[] = {
      {u"QueryDdi", 2, true, wrong},       {u"QueryDdi", 1, false, wrong},
      {u"queryddi", 1, true, {kIn, kOut}}, {u"QueryDdiX", 1, true, {kIn, kOut}},
      {u"QueryDd", 1, true, {kIn, kOut}},  {u"QUERYDDI", 1, true, {kIn, kOut}},
      {nullptr, 1, true, unnamed},         {u"", 1, true, unnamed},
  };
  SessionDdi table, untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name != nullptr ? text::ToUtf8(c.name) : "null");
    table = untouched;
    env().clear_output();
    RunProfileCommand(c.name, c.count, c.table ? &table : nullptr);
    EXPECT_EQ(std::memcmp(&table, &untouched, sizeof table), 0);
    EXPECT_EQ(env().host_lines(), c.lines);
  }
}

namespace fs = std::filesystem;

constexpr uint8_t kPhone[6] = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};

class StartupTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  // The first run of the module: sessions saved with saving on, and a list of
  // two temporary files of which an OPP server session names one.
  void SaveSessionsAndListTemporaryFiles() {
    MakePaths();
    g_save_file = 1;
    NewClient(OBEXSES_PROFILE_OPP, kPhone, u"photo.jpg");
    NewServer(OBEXSES_PROFILE_OPP, 0, inbox().u16string(), u"Song.MP3");
    fs::create_directories(inbox());
    WriteFile(inbox() / "song.mp3", "ID3");
    WriteFile(inbox() / "partial.tmp", "half");
    std::ofstream list(env().app_data() / "Velmora" / "tmp_lst");
    list << (inbox() / "song.mp3").string() << "\n" << (inbox() / "partial.tmp").string() << "\n";
  }

  fs::path inbox() { return env().app_data() / "inbox"; }
  fs::path sessions() { return env().app_data() / "Velmora" / "Session"; }
};

TEST_F(StartupTest, RestartRestoresBothSidesThenReadsSettingsThenCleansUp) {
  SaveSessionsAndListTemporaryFiles();
  ResetModuleState();  // the host goes down: a new module starts empty
  env().set_dword(u"ObexSesSaveFile", 1);
  env().set_dword(u"ObexSesDebugLevel", 3);
  env().clear_output();

  ASSERT_EQ(InitializeModule(reinterpret_cast<ICore*>(this)), 1u);

  // The restores ran before the settings were read: silent, and each forced
  // rewrite wrote the saved set from before the restore, which was empty.
  EXPECT_TRUE(env().trace_lines().empty());
  EXPECT_EQ(g_save_file.load(), 1u);
  EXPECT_EQ(ReadFile(sessions() / "ClientSession.xml"), FileBytes(u"client_session", u""));
  EXPECT_EQ(ReadFile(sessions() / "ServerSession.xml"), FileBytes(u"server_session", u""));

  // Both sides are back, saved and (for the client) live.
  ClientSession* client = tvr_find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(IsLiveSession(client));
  ASSERT_NE(tvr_find_server_session(kSessionId), nullptr);

  // The clean-up ran last, with the server sessions already restored: the file
  // an OPP server session names (in another case) stays, the other goes.
  EXPECT_TRUE(fs::exists(inbox() / "song.mp3"));
  EXPECT_FALSE(fs::exists(inbox() / "partial.tmp"));
  std::ifstream list(env().app_data() / "Velmora" / "tmp_lst");
  std::string line, rest;
  std::getline(list, line);
  EXPECT_EQ(line, (inbox() / "song.mp3").string());
  EXPECT_FALSE(std::getline(list, rest));

  // The next store writes the restored sessions back.
  ASSERT_EQ(tvr_save_client_session(client), 1);
  EXPECT_NE(ReadFile(sessions() / "ClientSession.xml").find(Utf16Le(u"file_name=\"photo.jpg\"")),
            std::string::npos);
}

}  // namespace
}  // namespace obexses::testing
