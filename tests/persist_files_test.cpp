// The two session files through the services: the exact bytes of both
// profiles of each side, kept as golden files that the writer made once;
// which sessions a store writes; what a restore keeps, drops, rewrites and
// replaces; and a restart that finds every session by its name.

#include <cstdlib>

#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kAddress[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// A file as the writer made it once, for the sessions it holds.
std::string Golden(const std::string& name) {
  return ReadFile(fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" /
                  "session_file_fuzz" / name);
}

// A file of the data folder, UTF-8 there, as UTF-16.
std::u16string Data(const char* name) {
  return text::FromUtf8(ReadFile(fs::path(__FILE__).parent_path() / "data" / name));
}

class PersistFilesTest : public ::testing::Test, protected ModuleFixtureBase {
 protected:
  PersistFilesTest() { MakePaths(); }

  fs::path ClientFile() { return env().app_data() / "Velmora" / "Session" / "ClientSession.xml"; }
  fs::path ServerFile() { return env().app_data() / "Velmora" / "Session" / "ServerSession.xml"; }

  static ClientSession* SavedClient(const std::u16string& name) {
    ClientSession* record = tvr_create_client_session(OBEXSES_PROFILE_OPP);
    std::memcpy(record->bdaddr, kAddress, 6);
    SetText(record->file_name, name);
    EXPECT_EQ(tvr_save_client_session(record), 1);
    return record;
  }
  static ServerSession* SavedServer(uint32_t profile, uint8_t id) {
    ServerSession* record = tvr_create_server_session(profile);
    record->GoepServer_sessionId[0] = id;
    EXPECT_EQ(tvr_save_server_session(record), 1);
    return record;
  }
};

// Saved records that are not live or of an unknown profile are left out.
TEST_F(PersistFilesTest, StoreWritesTheFilesOnlyWhenSavingIsOn) {
  UnregisterLiveSession(SavedClient(u"gone.txt"));
  SavedClient(u"a.txt")->profile_id = 0x1107;
  SavedServer(OBEXSES_PROFILE_FTP, 1)->profile_id = 0;
  WriteFile(ClientFile(), "old");
  WriteFile(ServerFile(), "old");
  EXPECT_EQ(tvr_store_client_session(), 1);
  EXPECT_EQ(tvr_store_server_session(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), "old");
  EXPECT_EQ(ReadFile(ServerFile()), "old");
  g_save_file = 1;
  EXPECT_EQ(tvr_store_client_session(), 1);
  EXPECT_EQ(tvr_store_server_session(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), Golden("client_empty.xml"));
  EXPECT_EQ(ReadFile(ServerFile()), Golden("server_empty.xml"));
  EXPECT_EQ(g_saved_client_sessions.size(), 2u);
  // A destroy of a saved session rewrites the file without it.
  EXPECT_EQ(tvr_destroy_client_session(SavedClient(u"b.txt")), 1);
  EXPECT_EQ(ReadFile(ClientFile()), Golden("client_empty.xml"));
  // A restore's rewrite that would change nothing leaves the file in place.
  const fs::path link = ClientFile().string() + ".link";
  fs::create_hard_link(ClientFile(), link);
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_TRUE(fs::equivalent(ClientFile(), link));
  EXPECT_TRUE(g_saved_client_sessions.empty());
}

// Each golden file, restored, is rewritten from the set that the restore
// replaces (here none) whatever ObexSesSaveFile says; the next store writes
// the session it read byte for byte.
TEST_F(PersistFilesTest, GoldenFilesComeBackByteForByte) {
  for (const std::string name : {"client_opp", "client_ftp", "server_opp", "server_ftp"}) {
    SCOPED_TRACE(name);
    const bool client = name.starts_with("client");
    const fs::path file = client ? ClientFile() : ServerFile();
    ResetModuleState();
    MakePaths();
    WriteFile(file, Golden(name + ".xml"));
    EXPECT_EQ(client ? tvr_restore_client_session() : tvr_restore_server_session(), 1);
    EXPECT_EQ(ReadFile(file), Golden(name.substr(0, 6) + "_empty.xml"));
    EXPECT_EQ(g_save_file.load(), 0u);
    g_save_file = 1;
    EXPECT_EQ(client ? tvr_store_client_session() : tvr_store_server_session(), 1);
    EXPECT_EQ(ReadFile(file), Golden(name + ".xml"));
  }
}

// The restored set replaces the saved one. The files hold sessions created
// exactly the default age before now, a second later, and in the future; a
// name twice (the first in the file wins), an empty name, and the same name
// in capitals (keys never fold case); and an identity twice.
TEST_F(PersistFilesTest, RestoreKeepsYoungSessionsOfEachKeyOnceAndReplacesTheSavedSet) {
  ClientSession* unsaved = tvr_create_client_session(OBEXSES_PROFILE_FTP);
  ClientSession* old_client = SavedClient(u"old.txt");
  ServerSession* old_server = SavedServer(OBEXSES_PROFILE_OPP, 1);
  env().set_now(1700086400);
  WriteFile(ClientFile(), Utf16Le(Data("restore_client.xml")));
  WriteFile(ServerFile(), Utf16Le(Data("restore_server.xml")));
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);
  const auto find = [](const char16_t* name) {
    return tvr_find_client_session(kAddress, name, OBEXSES_PROFILE_OPP);
  };
  EXPECT_EQ(g_saved_client_sessions.size(), 4u);
  EXPECT_EQ(g_client_sessions,
            (RecordList<ClientSession>{unsaved, find(u"younger.txt"), find(u"future.txt"),
                                       find(u"a.txt"), find(u"A.txt")}));
  EXPECT_EQ(records::AsOpp(find(u"a.txt"))->handler, 1u);
  EXPECT_TRUE(IsLiveSession(find(u"A.txt")));
  EXPECT_FALSE(IsLiveSession(old_client));
  EXPECT_EQ(tvr_save_client_session(old_client), 0);
  ASSERT_EQ(g_server_sessions.size(), 1u);
  EXPECT_EQ(g_saved_server_sessions.size(), 1u);
  EXPECT_EQ(std::u16string(records::AsOpp(g_server_sessions.front())->m_szInboxpath), u"one");
  EXPECT_EQ(tvr_resume_server_session(old_server), 0);
  // Age 0 keeps only what lies in the future: of now.txt and next.txt, the latter.
  env().set_now(1700000000);
  env().set_dword(u"ObexSesObsoleteTime", 0);
  WriteFile(ClientFile(), Utf16Le(Data("restore_age_zero.xml")));
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
  EXPECT_NE(find(u"next.txt"), nullptr);
}

// Names with each escaped character, Cyrillic, a character beyond the Basic
// Multilingual Plane, the neighbours of the letters (keys never fold case),
// and full length, each with a resume buffer of several pieces, next to the
// golden sessions of both profiles.
TEST_F(PersistFilesTest, RestartFindsEverySessionByName) {
  std::vector<std::u16string> names;
  std::u16string all = Data("session_names.txt");
  for (size_t at = 0, end; (end = all.find(u'\n', at)) != all.npos; at = end + 1) {
    names.push_back(all.substr(at, end - at));
  }
  WriteFile(ClientFile(), Golden("client_opp_ftp.xml"));
  WriteFile(ServerFile(), Golden("server_opp_ftp.xml"));
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);
  g_save_file = 1;
  for (const auto& name : names) {
    ClientSession* record = SavedClient(name);
    record->ResumeParms_headerLen = 1000;
    record->ResumeParms_headerBuff = static_cast<uint8_t*>(std::malloc(1000));
    for (int i = 0; i < 1000; ++i) record->ResumeParms_headerBuff[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(tvr_store_client_session(), 1);
  EXPECT_EQ(tvr_store_server_session(), 1);

  ResetModuleState();
  MakePaths();
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);

  EXPECT_EQ(g_saved_client_sessions.size(), names.size() + 2);
  EXPECT_EQ(g_saved_server_sessions.size(), 2u);
  for (const auto& name : names) {
    ClientSession* record = tvr_find_client_session(kAddress, name.c_str(), OBEXSES_PROFILE_OPP);
    ASSERT_NE(record, nullptr) << text::ToUtf8(name);
    ASSERT_EQ(record->ResumeParms_headerLen, 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(record->ResumeParms_headerBuff[i], i & 0xFF);
  }
}

// A missing file, or one without the side's root, restores nothing and is
// not rewritten; a file in a folder that is not there cannot be written (the
// replacement that keeps an old file whole is the backend's).
TEST_F(PersistFilesTest, MissingFilesAndFoldersAndTheWrongRoot) {
  EXPECT_EQ(tvr_restore_client_session(), 0);
  EXPECT_FALSE(fs::exists(ClientFile()));
  WriteFile(ServerFile(), Golden("client_opp.xml"));
  EXPECT_EQ(tvr_restore_server_session(), 1);
  EXPECT_EQ(ReadFile(ServerFile()), Golden("client_opp.xml"));
  EXPECT_TRUE(g_server_sessions.empty());
  SetText(g_client_session_path, env().app_data_u16() + u"\\missing\\ClientSession.xml");
  SetText(g_server_session_path, env().app_data_u16() + u"\\missing\\ServerSession.xml");
  g_save_file = 1;
  EXPECT_EQ(tvr_store_client_session(), 0);
  EXPECT_EQ(tvr_store_server_session(), 0);
  EXPECT_FALSE(fs::exists(env().app_data() / "missing"));
}

}  // namespace
}  // namespace obexses::testing
