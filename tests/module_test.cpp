// The module's entry points: Initialize's start-up after a restart (client file, server file,
// settings, then the temporary-list clean-up), the service table, and every line of the debug
// trace and the host log, once each. Support people and their tools read those lines, so their
// text is fixed: tests/data/trace_lines.txt holds them step by step, with record addresses and
// the app-data folder as placeholders. Other tests look only at behaviour.

#include <sstream>

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

class TraceTableTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  TraceTableTest() { MakePaths(); }

  // Runs action with the trace at level, and adds "== name" and what it wrote to
  // the log: trace lines without their "\nTavrin: " prefix, host-log lines
  // after "host: ".
  void Step(const char* name, const std::function<void()>& action, uint32_t level = 3) {
    env().clear_output();
    g_debug_level = level;
    action();
    g_debug_level = 0;
    log_ += std::string("== ") + name + "\n";
    for (const std::string& line : env().trace_lines()) {
      EXPECT_EQ(line.rfind("\nTavrin: ", 0), 0u) << line;
      log_ += line.substr(9);
    }
    for (const std::string& line : env().host_lines()) log_ += "host: " + line + "\n";
  }

  // The log with each named value's text put back as {name}.
  std::string Log(const std::vector<std::pair<std::string, std::string>>& names) {
    std::string log = log_;
    for (const auto& [name, value] : names) {
      for (size_t at; (at = log.find(value)) != std::string::npos;) {
        log.replace(at, value.size(), "{" + name + "}");
      }
    }
    return log;
  }

  std::string log_;
};

// The lines of tests/data/trace_lines.txt but its comments ("#").
std::string Golden() {
  std::istringstream in(ReadFile(fs::path(__FILE__).parent_path() / "data" / "trace_lines.txt"));
  std::string lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("#")) lines += line + "\n";
  }
  return lines;
}

TEST_F(TraceTableTest, EveryLineOfTheTraceAndTheHostLog) {
  ClientSession *client = nullptr, *other = nullptr;
  ServerSession *server = nullptr, *unsaved = nullptr;
  Step("create", [&] {
    client = tvr_create_client_session(0x1105);
    other = tvr_create_client_session(0x1106);
    server = tvr_create_server_session(0x1105);
    unsaved = tvr_create_server_session(0x1106);
  });
  std::copy_n(kPhone, 6, client->bdaddr);
  SetText(client->file_name, u"b.txt");
  tvr_save_client_session(client);
  SetText(client->file_name, u"a.txt");
  Step("save a client again under a new name", [&] { tvr_save_client_session(client); });
  Step("find and resume a client", [&] {
    tvr_find_client_session(kPhone, u"a.txt", 0x1105);
    tvr_find_client_session(kPhone, u"a.txt", 0x1106);
    tvr_resume_client_session(client);
  });
  std::copy_n(kSessionId, 16, server->GoepServer_sessionId);
  tvr_save_server_session(server);
  Step("save, find and resume a server", [&] {
    server->GoepServer_sessionId[15] = 0xFF;
    tvr_save_server_session(server);
    server->GoepServer_sessionId[15] = 0x0F;
    tvr_save_server_session(server);
    tvr_find_server_session(kSessionId);
    tvr_find_server_session(nullptr);
    tvr_resume_server_session(server);
  });
  Step("destroy", [&] {
    tvr_destroy_client_session(client);
    tvr_destroy_client_session(other);
    tvr_destroy_server_session(server);
    tvr_destroy_server_session(unsaved);
  });
  g_save_file = 1;
  Step("store and restore", [] {
    tvr_store_client_session();
    tvr_store_server_session();
    tvr_restore_client_session();
    tvr_restore_server_session();
  });
  Step("session file path, files that cannot be opened, settings that cannot be read", [this] {
    char16_t path[OBEXSES_NAME_UNITS];
    MakeSessionFilePath(0, path);
    SetText(g_client_session_path, env().app_data_u16() + u"\\missing\\c.xml");
    SetText(g_server_session_path, env().app_data_u16() + u"\\missing\\s.xml");
    tvr_store_client_session();
    tvr_store_server_session();
    tvr_restore_client_session();
    tvr_restore_server_session();
    env().reject_settings();
    ReadSettings();
  });
  // The host log is written whatever the trace level.
  SessionDdi table{};
  Step(
      "initialize without a core", [] { InitializeModule(nullptr); }, 0);
  Step(
      "initialize", [this] { InitializeModule(reinterpret_cast<ICore*>(this)); }, 0);
  Step(
      "query the table", [&] { RunProfileCommand(u"QueryDdi", 1, &table); }, 0);
  Step(
      "query the table wrongly", [&] { RunProfileCommand(u"QueryDdi", 2, &table); }, 0);
  Step(
      "a command without a name", [&] { RunProfileCommand(u"", 1, &table); }, 0);
  Step(
      "another command", [&] { RunProfileCommand(u"Other", 1, &table); }, 0);
  EXPECT_EQ(Log({{"client", Ptr(client)},
                 {"other", Ptr(other)},
                 {"server", Ptr(server)},
                 {"unsaved", Ptr(unsaved)},
                 {"appdata", text::ToUtf8(env().app_data_u16())}}),
            Golden());
}

}  // namespace
}  // namespace obexses::testing
