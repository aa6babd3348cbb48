// Every line the module writes, once each: the debug trace of each service
// and file operation at level 3, and the host-log lines of Initialize,
// CallProfileCommand and FillDdi. Support people and their tools read these
// lines, so their text is fixed: tests/data/trace_lines.txt holds them, step
// by step, with record addresses and the app-data folder as placeholders.
// The other tests look only at what the module does.

#include <sstream>

#include "module/module.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xa0};

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
