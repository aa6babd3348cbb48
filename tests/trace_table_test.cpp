// Every line the module writes, once each: the debug trace of each service
// and file operation at level 3 (the four file errors at level 2), and the
// host-log lines of Initialize, CallProfileCommand and FillDdi. Support
// people and their tools read these lines, so their text is fixed; the other
// tests look only at what the module does.

#include "module/module.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xa0};
const std::string kKey = "client_01:02:03:04:05:a0_1105_a.txt";
const std::string kServer = "server_000102030405060708090a0b0c0d0e0f";
const std::string kNull = "0000000000000000";

class TraceTableTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  TraceTableTest() { MakePaths(); }

  // The trace lines of action alone, each without its "\nTavrin: " prefix,
  // which is checked once below.
  Lines TraceOf(const std::function<void()>& action) {
    g_debug_level = 3;
    env().clear_output();
    action();
    g_debug_level = 0;
    Lines lines;
    for (const std::string& line : env().trace_lines()) {
      EXPECT_EQ(line.rfind("\nTavrin: ", 0), 0u) << line;
      lines.push_back(line.substr(9));
    }
    return lines;
  }
  Lines HostLogOf(const std::function<void()>& action) {
    env().clear_output();
    action();
    return env().host_lines();
  }
  std::string AppData() { return text::ToUtf8(env().app_data_u16()); }
};

TEST_F(TraceTableTest, ServiceLines) {
  ClientSession* client = nullptr;
  ClientSession* other = nullptr;
  ServerSession* server = nullptr;
  ServerSession* unsaved = nullptr;
  auto p = [](const void* record) { return Ptr(record); };
  const std::string built = "build client key " + kKey + "\n";
  const Lines created = TraceOf([&] {
    client = tvr_create_client_session(0x1105);
    other = tvr_create_client_session(0x1106);
    server = tvr_create_server_session(0x1105);
    unsaved = tvr_create_server_session(0x1106);
  });
  EXPECT_EQ(created, (Lines{"create opp client session success " + p(client) + "\n",
                            "create ftp client session success " + p(other) + "\n",
                            "create server opp session success " + p(server) + "\n",
                            "create server ftp session success " + p(unsaved) + "\n"}));
  std::copy_n(kPhone, 6, client->bdaddr);
  SetText(client->file_name, u"b.txt");
  tvr_save_client_session(client);
  SetText(client->file_name, u"a.txt");
  EXPECT_EQ(
      TraceOf([&] { tvr_save_client_session(client); }),
      (Lines{built, "save one client session: " + kKey + " " + p(client) + " \n",
             "client session[" + p(client) + "] already saved, you are saving it again! \n"}));
  EXPECT_EQ(TraceOf([&] {
              tvr_find_client_session(kPhone, u"a.txt", 0x1105);
              tvr_find_client_session(kPhone, u"a.txt", 0x1106);
              tvr_resume_client_session(client);
            }),
            (Lines{built, "find client:True " + kKey + " " + p(client) + "\n",
                   "build client key client_01:02:03:04:05:a0_1106_a.txt\n",
                   "find client:no found client_01:02:03:04:05:a0_1106_a.txt\n", built,
                   "resume client session:" + kKey + " " + p(client) + "\n"}));
  std::copy_n(kSessionId, 16, server->GoepServer_sessionId);
  tvr_save_server_session(server);
  EXPECT_EQ(
      TraceOf([&] {
        server->GoepServer_sessionId[15] = 0xFF;
        tvr_save_server_session(server);
        server->GoepServer_sessionId[15] = 0x0F;
        tvr_save_server_session(server);
        tvr_find_server_session(kSessionId);
        tvr_find_server_session(nullptr);
        tvr_resume_server_session(server);
      }),
      (Lines{"save server session: server_000102030405060708090a0b0c0d0eff " + p(server) + "\n",
             "server session[" + p(server) + "] already saved, you are saving it again! \n",
             "save server session: " + kServer + " " + p(server) + "\n",
             "server session[" + p(server) + "] already saved, you are saving it again! \n",
             "find server session: True  " + kServer + " " + p(server) + "\n",
             "find server session: no found  " + kNull + "\n",
             "resume server session: " + kServer + " " + p(server) + "\n"}));
  EXPECT_EQ(TraceOf([&] {
              tvr_destroy_client_session(client);
              tvr_destroy_client_session(other);
              tvr_destroy_server_session(server);
              tvr_destroy_server_session(unsaved);
            }),
            (Lines{built, "destroy one client session: " + kKey + " " + p(client) + "\n",
                   "destroy one client session:no found  " + p(other) + "\n",
                   "destroy server session success " + kServer + " " + p(server) + "\n",
                   "destroy server session: no found server_" + std::string(32, '0') + " " +
                       p(unsaved) + "\n"}));
}

TEST_F(TraceTableTest, FileAndSettingsLines) {
  const std::string missing = AppData() + "\\missing\\";
  g_save_file = 1;
  EXPECT_EQ(TraceOf([] {
              tvr_store_client_session();
              tvr_store_server_session();
              tvr_restore_client_session();
              tvr_restore_server_session();
            }),
            (Lines{"store all client session to file\n", "store all server session to file\n",
                   "restore all client session from file\n", "store all client session to file\n",
                   "retore all server session from file\n", "store all server session to file\n"}));
  EXPECT_EQ(TraceOf([this] {
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
            }),
            (Lines{AppData() + "\\Velmora\\Session\\ServerSession.xml\n",
                   "store all client session to file\n",
                   "tvr_store_client_session ,open failed " + missing + "c.xml\n",
                   "store all server session to file\n",
                   "tvr_store_server_session ,open failed " + missing + "s.xml\n",
                   "restore all client session from file\n",
                   "tvr_restore_client_session ,LoadXML failed " + missing + "c.xml\n",
                   "retore all server session from file\n",
                   "tvr_restore_server_session ,LoadXML failed " + missing + "s.xml\n",
                   "settings store test.reg ignored: not a regular file of at most 1 MiB\n",
                   "settings store test.reg ignored: not a regular file of at most 1 MiB\n"}));
}

TEST_F(TraceTableTest, HostLogLines) {
  const Lines command_in_out{"4 OBEX: +++++ CallProfileCommand",
                             "4 OBEX: ----- CallProfileCommand"};
  SessionDdi table{};
  EXPECT_EQ(HostLogOf([] { InitializeModule(nullptr); }),
            (Lines{"4 OBEX: +++++ Initialize",
                   "1 OBEX: giving a NULL ICore! which means Extension Core has a huge bug",
                   "4 OBEX: ----- Initialize"}));
  EXPECT_EQ(HostLogOf([this] { InitializeModule(reinterpret_cast<ICore*>(this)); }),
            (Lines{"4 OBEX: +++++ Initialize", "4 OBEX: ----- Initialize"}));
  EXPECT_EQ(HostLogOf([&] { RunProfileCommand(u"QueryDdi", 1, &table); }),
            (Lines{"4 OBEX: +++++ CallProfileCommand", "4 OBEX: query ddi", "4 OBEX: +++++ FillDdi",
                   "4 OBEX: ----- FillDdi", "4 OBEX: ----- CallProfileCommand"}));
  EXPECT_EQ(HostLogOf([&] { RunProfileCommand(u"QueryDdi", 2, &table); }),
            (Lines{"4 OBEX: +++++ CallProfileCommand", "4 OBEX: query ddi", "1 OBEX: wrong params!",
                   "4 OBEX: ----- CallProfileCommand"}));
  EXPECT_EQ(HostLogOf([&] { RunProfileCommand(u"", 1, &table); }),
            (Lines{"4 OBEX: +++++ CallProfileCommand",
                   "1 OBEX: call profile command but no function name!"}));
  EXPECT_EQ(HostLogOf([&] { RunProfileCommand(u"Other", 1, &table); }), command_in_out);
}

}  // namespace
}  // namespace obexses::testing
