// The services of slots 0 to 9, 14 and 15 and the session keys, used as
// profile modules use them; then the transfer-file checks (slots 16 to 21) on
// real files: the path rules of each record kind, the change test by the low
// 32 bits of the last-write time, the sizes, and records not held.

#include <set>

#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

using std::chrono::seconds;

constexpr uint8_t kPhone[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xa0};
constexpr uint8_t kLaptop[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

class RegistryTest : public ModuleFixtureBase, public ::testing::Test {};

// The results of several calls, compared at once.
using Results = std::vector<int32_t>;

// Enumeration callbacks: each adds the record to the set its context is.
using Visits = std::multiset<void*>;
void Count(void* record, void* visits) {
  static_cast<Visits*>(visits)->insert(record);
}
void DestroyClient(void* record, void* visits) {
  Count(record, visits);
  EXPECT_EQ(tvr_destroy_client_session(static_cast<ClientSession*>(record)), 1);
}
void DestroyServer(void* record, void* visits) {
  Count(record, visits);
  EXPECT_EQ(tvr_destroy_server_session(static_cast<ServerSession*>(record)), 1);
}

TEST_F(RegistryTest, KeysOfDeviceProfileAndNameOrOfSessionId) {
  EXPECT_EQ(BuildClientKey(kPhone, u"n", 0x12345), u"client_01:02:03:04:05:a0_12345_n");
  EXPECT_EQ(BuildClientKey(kPhone, u"n", 0x7), u"client_01:02:03:04:05:a0_0007_n");
  // "client_" + 17 + "_" + 4 + "_" leaves 489 units of name in a 519-unit key.
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(489, u'n').c_str(), 0x1105).size(), 519u);
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(490, u'n').c_str(), 0x1105), u"");
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(488, u'n').c_str(), 0x12345).size(), 519u);
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(489, u'n').c_str(), 0x12345), u"");
  EXPECT_EQ(BuildClientKey(nullptr, u"n", 0x1105), u"");
  EXPECT_EQ(BuildClientKey(kPhone, u"", 0x1105), u"");
  EXPECT_EQ(BuildServerKey(kSessionId), u"server_000102030405060708090a0b0c0d0e0f");
  EXPECT_EQ(BuildServerKey(nullptr), u"");
  EXPECT_EQ(tvr_find_client_session(kPhone, std::u16string(600, u'n').c_str(), 0x1105), nullptr);
}

TEST_F(RegistryTest, CreateGivesZeroedListedRecordsOfTheProfileSize) {
  env().set_now(1234567890123);
  ClientSession* opp = tvr_create_client_session(0x1105);
  ClientSession* ftp = tvr_create_client_session(0x1106);
  ServerSession* server_ftp = tvr_create_server_session(0x1106);
  ServerSession* server_opp = tvr_create_server_session(0x1105);
  EXPECT_EQ(tvr_create_client_session(0x1107), nullptr);
  EXPECT_EQ(tvr_create_server_session(0x1107), nullptr);
  const auto expect_zeroed = [](auto* record, uint32_t profile, size_t size) {
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->profile_id, profile);
    EXPECT_EQ(record->create_time_stamp, 1234567890123);
    record->profile_id = 0;
    record->create_time_stamp = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);
    EXPECT_TRUE(std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; }));
    record->profile_id = profile;
  };
  expect_zeroed(opp, 0x1105, sizeof(OppClientSession));
  expect_zeroed(ftp, 0x1106, sizeof(FtpClientSession));
  expect_zeroed(server_ftp, 0x1106, sizeof(FtpServerSession));
  expect_zeroed(server_opp, 0x1105, sizeof(OppServerSession));
  EXPECT_EQ(g_client_sessions, (RecordList<ClientSession>{opp, ftp}));
  EXPECT_EQ(g_server_sessions, (RecordList<ServerSession>{server_ftp, server_opp}));
  EXPECT_EQ(g_live_sessions, (LiveSet{opp, ftp}));  // server records are never live
}

TEST_F(RegistryTest, NullOrForeignRecordsAreRefusedAndAnUnnamedSaveDoesNothing) {
  ClientSession* unnamed = NewClient(0x1106, kPhone, u"", false);
  ClientSession* foreign = NewClient(0x1105, kPhone, u"a.txt", false);
  UnregisterLiveSession(foreign);
  OppServerSession server{};  // never created by the registry
  server.head.profile_id = 0x1105;
  unnamed->resumed = 7;
  unnamed->FO_timeStamp = 9;
  EXPECT_EQ(tvr_save_client_session(unnamed), 1);
  EXPECT_EQ(unnamed->resumed, 7u);
  EXPECT_EQ(unnamed->FO_timeStamp, 9u);
  EXPECT_EQ(
      (Results{tvr_save_client_session(foreign), tvr_resume_client_session(foreign),
               tvr_destroy_client_session(foreign), tvr_save_server_session(&server.head),
               tvr_resume_server_session(&server.head), tvr_destroy_server_session(&server.head)}),
      Results(6, 0));
  EXPECT_EQ((Results{tvr_resume_client_session(nullptr), tvr_save_client_session(nullptr),
                     tvr_destroy_client_session(nullptr), tvr_destroy_server_session(nullptr),
                     tvr_save_server_session(nullptr), tvr_resume_server_session(nullptr)}),
            Results(6, 0));
  EXPECT_EQ(tvr_find_client_session(nullptr, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, nullptr, 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_server_session(nullptr), nullptr);
  EXPECT_TRUE(g_saved_client_sessions.empty() && g_saved_server_sessions.empty());
  EXPECT_EQ(server.head.resumed, 0u);
}

// A save files the record and clears resumed; a resume sets it and leaves
// the record saved; an unknown profile is not resumed; a destroy ends it.
TEST_F(RegistryTest, SaveFindResumeAndDestroyOfBothSides) {
  ClientSession* client = NewClient(0x1105, kPhone, u"a.txt", false);
  ServerSession* server = NewServer(0x1105, 0x00, u"", u"", false);
  client->resumed = 1;
  server->resumed = 1;
  EXPECT_EQ(tvr_save_client_session(client), 1);
  EXPECT_EQ(tvr_save_server_session(server), 1);
  EXPECT_TRUE(std::equal(kSessionId, kSessionId + 16, server->session_id));
  EXPECT_EQ(client->resumed, 0u);
  EXPECT_EQ(server->resumed, 0u);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), client);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(tvr_find_client_session(kLaptop, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"A.txt", 0x1105), nullptr);  // names keep their case
  EXPECT_EQ(tvr_find_server_session(kSessionId), server);
  EXPECT_EQ(tvr_resume_client_session(client), 1);
  EXPECT_EQ(tvr_resume_server_session(server), 1);
  EXPECT_EQ(client->resumed, 1u);
  EXPECT_EQ(server->resumed, 1u);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), client);
  EXPECT_EQ(tvr_save_client_session(client), 1);  // again under the same key
  EXPECT_EQ(client->resumed, 0u);
  client->profile_id = server->profile_id = 0x1107;
  client->resumed = server->resumed = 0;
  EXPECT_EQ(tvr_resume_client_session(client), 0);
  EXPECT_EQ(tvr_resume_server_session(server), 0);
  EXPECT_EQ(client->resumed + server->resumed, 0u);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
  EXPECT_EQ(g_saved_server_sessions.size(), 1u);
  // A destroy unfiles, unlists and frees, once: the freed addresses are
  // refused without being read or written (AddressSanitizer watches).
  ClientSession* unsaved = NewClient(0x1105, kPhone, u"b.txt", false);
  EXPECT_EQ((Results{tvr_destroy_client_session(client), tvr_destroy_client_session(unsaved),
                     tvr_destroy_server_session(server)}),
            Results(3, 1));
  EXPECT_TRUE(g_client_sessions.empty() && g_saved_client_sessions.empty());
  EXPECT_TRUE(g_server_sessions.empty() && g_saved_server_sessions.empty());
  EXPECT_TRUE(g_client_places.empty() && g_server_places.empty());
  EXPECT_FALSE(IsLiveSession(client));
  EXPECT_EQ((Results{tvr_destroy_client_session(client), tvr_save_client_session(client),
                     tvr_resume_client_session(unsaved), tvr_destroy_server_session(server),
                     tvr_save_server_session(server), tvr_resume_server_session(server)}),
            Results(6, 0));
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), nullptr);
}

// A second record under a key already filed is saved (resumed cleared) but
// never takes the key.
TEST_F(RegistryTest, SaveRefilesARenamedRecordAndNeverTakesAnotherRecordsKey) {
  ClientSession* client = NewClient(0x1106, kPhone, u"a.txt");
  ServerSession* server = NewServer(0x1105, 0x00);
  SetText(client->file_name, u"b.txt");
  server->GoepServer_sessionId[15] = 0xEE;
  tvr_save_client_session(client);
  tvr_save_server_session(server);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"b.txt", 0x1106), client);
  EXPECT_EQ(tvr_find_server_session(kSessionId), nullptr);
  EXPECT_EQ(tvr_find_server_session(server->GoepServer_sessionId), server);
  ClientSession* second = NewClient(0x1106, kPhone, u"b.txt", false);
  ServerSession* second_server = NewServer(0x1105, 0x00, u"", u"", false);
  second_server->GoepServer_sessionId[15] = 0xEE;
  second->resumed = second_server->resumed = 1;
  EXPECT_EQ(tvr_save_client_session(second), 1);
  EXPECT_EQ(tvr_save_server_session(second_server), 1);
  EXPECT_EQ(second->resumed + second_server->resumed, 0u);
  EXPECT_EQ(tvr_find_server_session(server->GoepServer_sessionId), server);
  EXPECT_EQ(tvr_destroy_client_session(second), 1);  // never filed
  EXPECT_EQ(tvr_find_client_session(kPhone, u"b.txt", 0x1106), client);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
  EXPECT_EQ(g_saved_server_sessions.size(), 1u);
}

TEST_F(RegistryTest, FindDropsAnFtpServerSessionWhoseFileWasRewrittenOrDeleted) {
  const auto base = BaseTime();
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base);
  WriteFileAt(env().app_data() / "deleted.bin", 10, base);
  ServerSession* rewritten = NewServer(0x1106, 0x00, env().app_data_u16(), u"rewritten.bin");
  ServerSession* deleted = NewServer(0x1106, 0x80, env().app_data_u16(), u"deleted.bin");
  uint8_t deleted_id[16];
  std::copy_n(deleted->GoepServer_sessionId, 16, deleted_id);
  EXPECT_EQ(tvr_find_server_session(kSessionId), rewritten);  // unchanged so far
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base + seconds(1));
  fs::remove(env().app_data() / "deleted.bin");
  EXPECT_EQ(tvr_find_server_session(kSessionId), nullptr);
  EXPECT_EQ(tvr_find_server_session(deleted_id), nullptr);
  EXPECT_TRUE(g_server_sessions.empty() && g_saved_server_sessions.empty());
  // An OPP session is found without a look at its file.
  ServerSession* opp = NewServer(0x1105, 0x00, env().app_data_u16(), u"never-written.vcf");
  EXPECT_EQ(tvr_find_server_session(kSessionId), opp);
}

TEST_F(RegistryTest, EnumerateCallsBackEachSavedSessionOnceAndMayDestroyIt) {
  ClientSession* a = NewClient(0x1105, kPhone, u"a.txt");
  ClientSession* b = NewClient(0x1105, kPhone, u"b.txt");
  ClientSession* c = NewClient(0x1106, kPhone, u"c.txt");
  ClientSession* d = NewClient(0x1106, kPhone, u"d.txt");
  NewClient(0x1105, kPhone, u"unsaved.txt", false);
  NewClient(0x1105, kLaptop, u"a.txt");
  ServerSession* server_a = NewServer(0x1105, 0xA0);
  ServerSession* server_b = NewServer(0x1105, 0xB0);
  ServerSession* server_ftp = NewServer(0x1106, 0xC0);
  NewServer(0x1105, 0xD0, u"", u"", false);
  Visits clients, servers, none, destroyed;
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, Count, &clients), 1);
  EXPECT_EQ(clients, (Visits{a, b}));
  EXPECT_EQ(tvr_enum_server_session(0x1105, Count, &servers), 1);
  EXPECT_EQ(servers, (Visits{server_a, server_b}));
  const uint8_t stranger[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(tvr_enum_client_session(stranger, 0x1105, Count, &none), 1);
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, nullptr, &none), 0);
  EXPECT_EQ(tvr_enum_client_session(nullptr, 0x1105, Count, &none), 0);
  EXPECT_EQ(tvr_enum_server_session(0x1105, nullptr, &none), 0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1106, DestroyClient, &destroyed), 1);
  EXPECT_EQ(tvr_enum_server_session(0x1106, DestroyServer, &destroyed), 1);
  EXPECT_EQ(destroyed, (Visits{c, d, server_ftp}));
  EXPECT_EQ(g_client_sessions.size(), 4u);
  EXPECT_EQ(g_saved_client_sessions.size(), 3u);
  EXPECT_EQ(g_server_sessions.size(), 3u);
}

// A shift of the last-write time that the low 32 bits miss: 2^25 seconds are
// 78125 times 2^32 units of 100 ns. Whole seconds, because on Windows
// std::filesystem sets file times through _wutime64, to the second only.
constexpr auto kLowBitsWrap = std::chrono::seconds(1LL << 25);
constexpr uint8_t kNoDevice[6] = {};

// {file changed, transfer file changed, size}, as slots 16/17, 18/19 and 20/21 answer.
using Answers = std::array<uint32_t, 3>;
Answers Ask(ClientSession* r) {
  return {tvr_client_file_changed(r), tvr_client_transfer_file_changed(r), tvr_client_file_size(r)};
}
Answers Ask(ServerSession* r) {
  return {tvr_server_file_changed(r), tvr_server_transfer_file_changed(r), tvr_server_file_size(r)};
}

class FileChecksTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  fs::path File(const std::string& name) { return env().app_data() / name; }
  std::u16string Path(const std::string& name) { return ModulePath(env(), name); }
  // The file rewritten one second later, with a new size.
  void Rewrite(const std::string& name, size_t size) {
    WriteFileAt(File(name), size, base_ + seconds(1));
  }

  ClientSession* FtpClient(const std::u16string& file_name, bool save = true) {
    return NewClient(0x1106, kNoDevice, file_name, save);
  }
  // An FTP client record whose name starts with a backslash: the transfer is
  // the client directory's file.
  ClientSession* FtpClientOfDirectory(const std::u16string& tx_name) {
    ClientSession* record = FtpClient(u"\\remote.bin", false);
    SetText(records::AsFtp(record)->m_bstrClientDirectory, env().app_data_u16());
    SetText(records::AsFtp(record)->m_bstrCurrentTxName, tx_name);
    tvr_save_client_session(record);
    return record;
  }
  ServerSession* FtpServer(const std::string& name, uint8_t tx_type) {
    ServerSession* record = NewServer(0x1106, 0, env().app_data_u16(), text::FromUtf8(name), false);
    records::AsFtp(record)->m_ucCurrentTxType = tx_type;
    tvr_save_server_session(record);
    return record;
  }
  ServerSession* OppServer(const std::u16string& object) {
    return NewServer(0x1105, 0, env().app_data_u16(), object);
  }

  const fs::file_time_type base_ = BaseTime();
};

TEST_F(FileChecksTest, FtpClientWithAPlainNameChecksThatFileByTheLowBitsOfItsWriteTime) {
  WriteFileAt(File("plain.bin"), 1234, base_);
  ClientSession* record = FtpClient(Path("plain.bin"));
  const uint32_t first = record->FO_timeStamp;
  EXPECT_EQ(Ask(record), (Answers{0, 0, 1234}));
  fs::last_write_time(File("plain.bin"), base_ + kLowBitsWrap);
  EXPECT_EQ(Ask(record), (Answers{0, 0, 1234}));
  Rewrite("plain.bin", 99);
  EXPECT_EQ(Ask(record), (Answers{1, 1, 99}));
  tvr_save_client_session(record);
  EXPECT_EQ(record->FO_timeStamp - first, 10000000u);  // one second in 100 ns units
  EXPECT_EQ(Ask(record), (Answers{0, 0, 99}));
  fs::remove(File("plain.bin"));
  EXPECT_EQ(Ask(record), (Answers{1, 1, 0}));
  // Saved while the file was missing: changed, also once the file exists.
  record->FO_timeStamp = 77;
  tvr_save_client_session(record);
  EXPECT_EQ(record->FO_timeStamp, 0u);
  WriteFileAt(File("plain.bin"), 3, base_);
  EXPECT_EQ(Ask(record), (Answers{1, 1, 3}));
}

TEST_F(FileChecksTest, OtherClientRecordsCheckOnlyTheirTransferFile) {
  WriteFileAt(File("tx.bin"), 10, base_);
  WriteFileAt(File("object.vcf"), 10, base_);
  ClientSession* ftp = FtpClientOfDirectory(u"tx.bin");
  ClientSession* opp = NewClient(0x1105, kNoDevice, Path("object.vcf"), false);
  SetText(records::AsOpp(opp)->internalObjectName, Path("object.vcf"));
  tvr_save_client_session(opp);
  EXPECT_EQ(Ask(ftp), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(opp), (Answers{0, 0, 0}));
  Rewrite("tx.bin", 10);
  EXPECT_EQ(Ask(ftp), (Answers{0, 1, 0}));
  fs::remove(File("tx.bin"));
  fs::remove(File("object.vcf"));
  EXPECT_EQ(Ask(ftp), (Answers{0, 1, 0}));
  EXPECT_EQ(Ask(opp), (Answers{0, 1, 0}));
}

TEST_F(FileChecksTest, ServerRecordsCheckTheirFolderFileExceptForFtpTransferTypeOne) {
  WriteFileAt(File("tx.bin"), 42, base_);
  WriteFileAt(File("card.vcf"), 5, base_);
  ServerSession* typed = FtpServer("tx.bin", 1);
  ServerSession* plain = FtpServer("tx.bin", 0);
  ServerSession* opp = OppServer(u"card.vcf");
  EXPECT_EQ(Ask(typed), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(plain), (Answers{0, 0, 42}));
  EXPECT_EQ(Ask(opp), (Answers{0, 0, 5}));
  Rewrite("tx.bin", 43);
  Rewrite("card.vcf", 6);
  EXPECT_EQ(Ask(typed), (Answers{0, 1, 0}));
  EXPECT_EQ(Ask(plain), (Answers{1, 1, 43}));
  EXPECT_EQ(Ask(opp), (Answers{1, 1, 6}));
  fs::remove(File("tx.bin"));
  EXPECT_EQ(Ask(plain), (Answers{1, 1, 0}));
}

TEST_F(FileChecksTest, RecordsNotLiveOrNullGiveZeroWithoutBeingRead) {
  WriteFileAt(File("plain.bin"), 10, base_);
  ClientSession* record = FtpClient(Path("missing.bin"), false);
  tvr_destroy_client_session(record);  // freed: AddressSanitizer catches any read
  EXPECT_EQ(Ask(record), (Answers{0, 0, 0}));
  FtpClientSession foreign{};
  foreign.head.profile_id = 0x1106;
  SetText(foreign.head.file_name, Path("plain.bin"));
  EXPECT_EQ(Ask(&foreign.head), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(static_cast<ClientSession*>(nullptr)), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(static_cast<ServerSession*>(nullptr)), (Answers{0, 0, 0}));
}

TEST_F(FileChecksTest, JoinedPathsAreCutAt259Characters) {
  // Folder, backslash and a long name; the file lies at the first 259 characters.
  const size_t kept = 259 - env().app_data_u16().size() - 1;
  ASSERT_LT(kept, 250u);
  const std::string name(kept, 'n');
  WriteFileAt(File(name), 7, base_);
  ServerSession* server = OppServer(std::u16string(259, u'n'));
  ClientSession* client = FtpClientOfDirectory(std::u16string(259, u'n'));
  EXPECT_EQ(Ask(server), (Answers{0, 0, 7}));
  EXPECT_NE(client->FO_timeStamp, 0u);
  EXPECT_EQ(tvr_client_transfer_file_changed(client), 0u);
  fs::last_write_time(File(name), base_ + seconds(1));
  EXPECT_EQ(Ask(server), (Answers{1, 1, 7}));
  EXPECT_EQ(tvr_client_transfer_file_changed(client), 1u);
}

}  // namespace
}  // namespace obexses::testing
