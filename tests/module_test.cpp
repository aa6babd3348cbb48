// SPDX-License-Identifier: MIT
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

class StartupTest : public StoreFixture, public ::testing::Test {
 protected:
  ICore* core() { return reinterpret_cast<ICore*>(this); }
  fs::path inbox() { return env().app_data() / "inbox"; }
  fs::path sessions() { return env().app_data() / "Velmora" / "Session"; }
};

TEST_F(StartupTest, RestartRestoresBothSidesThenReadsSettingsThenCleansUpOnce) {
  // The first run: sessions saved with saving on, and a list of two temporary
  // files of which an OPP server session names one (in another case).
  MakePaths();
  SetSaveFile(1);
  NewClient(store(), OBEXSES_PROFILE_OPP, kPhone, u"photo.jpg");
  NewServer(store(), OBEXSES_PROFILE_OPP, 0, inbox().u16string(), u"Song.MP3");
  fs::create_directories(inbox());
  WriteFile(inbox() / "song.mp3", "ID3");
  WriteFile(inbox() / "partial.tmp", "half");
  const std::string listed = (inbox() / "song.mp3").string() + "\n";
  WriteFile(env().app_data() / "Velmora" / "tmp_lst",
            listed + (inbox() / "partial.tmp").string() + "\n");

  Restart();  // the host goes down: a new module starts empty
  env().set_dword(u"ObexSesSaveFile", 1);
  env().set_dword(u"ObexSesDebugLevel", 3);
  EXPECT_EQ(InitializeModule(store(), nullptr), 3u);  // no start-up without a core
  EXPECT_EQ(store().initialized(), 0u);
  EXPECT_EQ(store().FindServerSession(kSessionId), nullptr);
  env().clear_output();
  EXPECT_EQ(InitializeModule(store(), core()), 1u);
  EXPECT_EQ(store().initialized(), 1u);

  // The restores ran before the settings were read: silent, and each forced
  // rewrite wrote the saved set from before the restore, which was empty.
  EXPECT_TRUE(env().trace_lines().empty());
  EXPECT_EQ(store().save_file(), 1u);
  EXPECT_EQ(store().debug_level(), 3u);
  EXPECT_EQ(ReadFile(sessions() / "ClientSession.xml").find(Utf16Le(u"<session")),
            std::string::npos);
  EXPECT_EQ(ReadFile(sessions() / "ServerSession.xml").find(Utf16Le(u"<session")),
            std::string::npos);

  // Both sides are back, saved and (for the client) live.
  ClientSession* client = store().FindClientSession(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(store().IsLiveSession(client));
  ASSERT_NE(store().FindServerSession(kSessionId), nullptr);

  // The clean-up ran last, with the server sessions already restored.
  EXPECT_TRUE(fs::exists(inbox() / "song.mp3"));
  EXPECT_FALSE(fs::exists(inbox() / "partial.tmp"));
  std::string list = ReadFile(env().app_data() / "Velmora" / "tmp_lst");
  std::erase(list, '\r');
  EXPECT_EQ(list, listed);

  // The next store writes the restored sessions back.
  ASSERT_EQ(store().SaveClientSession(client), 1);
  EXPECT_NE(ReadFile(sessions() / "ClientSession.xml").find(Utf16Le(u"file_name=\"photo.jpg\"")),
            std::string::npos);

  // Later calls do not start up again, whatever the settings say now.
  env().set_dword(u"ObexSesDebugLevel", 1);
  fs::remove(sessions() / "ServerSession.xml");
  EXPECT_EQ(InitializeModule(store(), core()), 1u);
  EXPECT_EQ(store().debug_level(), 3u);
  EXPECT_FALSE(fs::exists(sessions() / "ServerSession.xml"));
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
    RunProfileCommand(store(), other.name, other.argument, &table);
    EXPECT_EQ(std::memcmp(&table, &untouched, sizeof table), 0)
        << (other.name ? text::ToUtf8(other.name) : "null");
  }
  RunProfileCommand(store(), u"QueryDdi", 1, nullptr);
  table = untouched;
  RunProfileCommand(store(), u"QueryDdi", 1, &table);
  EXPECT_EQ(std::memcmp(&table, &expected, sizeof table), 0);
}

class TraceTableTest : public StoreFixture, public ::testing::Test {
 protected:
  TraceTableTest() { MakePaths(); }

  // Runs action with the trace at level, and adds "== name" and what it wrote to
  // the log: trace lines without their "\nTavrin: " prefix, host-log lines
  // after "host: ".
  void Step(const char* name, const std::function<void()>& action, uint32_t level = 3) {
    env().clear_output();
    SetDebugLevel(level);
    action();
    SetDebugLevel(0);
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
    client = store().CreateClientSession(0x1105);
    other = store().CreateClientSession(0x1106);
    server = store().CreateServerSession(0x1105);
    unsaved = store().CreateServerSession(0x1106);
  });
  std::copy_n(kPhone, 6, client->bdaddr);
  SetText(client->file_name, u"b.txt");
  store().SaveClientSession(client);
  SetText(client->file_name, u"a.txt");
  Step("save a client again under a new name", [&] { store().SaveClientSession(client); });
  Step("find and resume a client", [&] {
    store().FindClientSession(kPhone, u"a.txt", 0x1105);
    store().FindClientSession(kPhone, u"a.txt", 0x1106);
    store().ResumeClientSession(client);
  });
  std::copy_n(kSessionId, 16, server->GoepServer_sessionId);
  store().SaveServerSession(server);
  Step("save, find and resume a server", [&] {
    server->GoepServer_sessionId[15] = 0xFF;
    store().SaveServerSession(server);
    server->GoepServer_sessionId[15] = 0x0F;
    store().SaveServerSession(server);
    store().FindServerSession(kSessionId);
    store().FindServerSession(nullptr);
    store().ResumeServerSession(server);
  });
  Step("destroy", [&] {
    store().DestroyClientSession(client);
    store().DestroyClientSession(other);
    store().DestroyServerSession(server);
    store().DestroyServerSession(unsaved);
  });
  SetSaveFile(1);
  Step("store and restore", [this] {
    store().StoreClientSession();
    store().StoreServerSession();
    store().RestoreClientSession();
    store().RestoreServerSession();
  });
  NewClient(store(), 0x1105, kPhone, u"c.txt");
  SetSaveFile(0);
  NewClient(store(), 0x1106, kPhone, u"c.txt");  // saved since the file was written
  SetSaveFile(1);
  Step("restore a client, the set saved since written back",
       [this] { store().RestoreClientSession(); });
  Step("session file paths, files that cannot be opened, settings that cannot be read", [this] {
    // The settings of the store that cannot reach its files turn unusable at the end.
    struct Settings : platform::SettingsStore {
      explicit Settings(TestEnv* owner) : test(owner) {}
      platform::SettingStatus QueryDword(const char16_t* name, uint32_t* value) override {
        return rejected ? platform::SettingStatus::kRejected : test->QueryDword(name, value);
      }
      std::u16string Location() override { return u"test.reg"; }
      TestEnv* test;
      bool rejected = false;
    } settings(&env());
    FolderEnv elsewhere(&env(), env().app_data_u16() + u"\\missing");
    platform::Platform seams = env().seams(&elsewhere);
    seams.settings = &settings;
    SessionStore missing(seams, SessionStore::AtEnd::kFreeRecords);
    missing.ReadSettings();
    missing.MakePaths();
    missing.StoreClientSession();
    missing.StoreServerSession();
    missing.RestoreClientSession();
    missing.RestoreServerSession();
    settings.rejected = true;
    missing.ReadSettings();
  });
  // The host log is written whatever the trace level.
  SessionDdi table{};
  Step(
      "initialize without a core", [this] { InitializeModule(store(), nullptr); }, 0);
  Step(
      "initialize", [this] { InitializeModule(store(), reinterpret_cast<ICore*>(this)); }, 0);
  Step(
      "query the table", [&] { RunProfileCommand(store(), u"QueryDdi", 1, &table); }, 0);
  Step(
      "query the table wrongly", [&] { RunProfileCommand(store(), u"QueryDdi", 2, &table); }, 0);
  Step(
      "a command without a name", [&] { RunProfileCommand(store(), u"", 1, &table); }, 0);
  Step(
      "another command", [&] { RunProfileCommand(store(), u"Other", 1, &table); }, 0);
  EXPECT_EQ(Log({{"client", Ptr(client)},
                 {"other", Ptr(other)},
                 {"server", Ptr(server)},
                 {"unsaved", Ptr(unsaved)},
                 {"appdata", text::ToUtf8(env().app_data_u16())}}),
            Golden());
}

}  // namespace
}  // namespace obexses::testing
