// SPDX-License-Identifier: MIT
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

class RegistryTest : public StoreFixture, public ::testing::Test {};

// The results of several calls, compared at once.
using Results = std::vector<int32_t>;

// Enumeration callbacks: each adds the record to the visits its context is;
// the destroying ones destroy it in the visits' store.
using Records = std::multiset<void*>;
struct Visits {
  SessionStore* store = nullptr;
  Records seen;
};
void Count(void* record, void* visits) {
  static_cast<Visits*>(visits)->seen.insert(record);
}
void DestroyClient(void* record, void* visits) {
  Count(record, visits);
  auto* client = static_cast<ClientSession*>(record);
  EXPECT_EQ(static_cast<Visits*>(visits)->store->DestroyClientSession(client), 1);
}
void DestroyServer(void* record, void* visits) {
  Count(record, visits);
  auto* server = static_cast<ServerSession*>(record);
  EXPECT_EQ(static_cast<Visits*>(visits)->store->DestroyServerSession(server), 1);
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
  EXPECT_EQ(store().FindClientSession(kPhone, std::u16string(600, u'n').c_str(), 0x1105), nullptr);
}

TEST_F(RegistryTest, CreateGivesZeroedListedRecordsOfTheProfileSize) {
  env().set_now(1234567890123);
  ClientSession* opp = store().CreateClientSession(0x1105);
  ClientSession* ftp = store().CreateClientSession(0x1106);
  ServerSession* server_ftp = store().CreateServerSession(0x1106);
  ServerSession* server_opp = store().CreateServerSession(0x1105);
  EXPECT_EQ(store().CreateClientSession(0x1107), nullptr);
  EXPECT_EQ(store().CreateServerSession(0x1107), nullptr);
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
  const StoreContents contents = store().Contents();
  EXPECT_EQ(contents.client_held, Sorted({opp, ftp}));
  EXPECT_EQ(contents.server_held, Sorted({server_ftp, server_opp}));
  EXPECT_TRUE(store().IsLiveSession(opp) && store().IsLiveSession(ftp));
  EXPECT_TRUE(contents.client_saved.empty() && contents.server_saved.empty());
}

TEST_F(RegistryTest, NullOrForeignRecordsAreRefusedAndAnUnnamedSaveDoesNothing) {
  ClientSession* unnamed = NewClient(store(), 0x1106, kPhone, u"", false);
  OppClientSession client{};  // never created by the store
  client.head.profile_id = 0x1105;
  std::copy_n(kPhone, 6, client.head.bdaddr);
  SetText(client.head.file_name, u"a.txt");
  ClientSession* foreign = &client.head;
  OppServerSession server{};
  server.head.profile_id = 0x1105;
  unnamed->resumed = 7;
  unnamed->FO_timeStamp = 9;
  EXPECT_EQ(store().SaveClientSession(unnamed), 1);
  EXPECT_EQ(unnamed->resumed, 7u);
  EXPECT_EQ(unnamed->FO_timeStamp, 9u);
  EXPECT_EQ((Results{store().SaveClientSession(foreign), store().ResumeClientSession(foreign),
                     store().DestroyClientSession(foreign), store().SaveServerSession(&server.head),
                     store().ResumeServerSession(&server.head),
                     store().DestroyServerSession(&server.head)}),
            Results(6, 0));
  EXPECT_EQ((Results{store().ResumeClientSession(nullptr), store().SaveClientSession(nullptr),
                     store().DestroyClientSession(nullptr), store().DestroyServerSession(nullptr),
                     store().SaveServerSession(nullptr), store().ResumeServerSession(nullptr)}),
            Results(6, 0));
  EXPECT_EQ(store().FindClientSession(nullptr, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(store().FindClientSession(kPhone, nullptr, 0x1105), nullptr);
  EXPECT_EQ(store().FindClientSession(kPhone, u"", 0x1105), nullptr);
  EXPECT_EQ(store().FindServerSession(nullptr), nullptr);
  EXPECT_TRUE(store().Contents().client_saved.empty());
  EXPECT_TRUE(store().Contents().server_saved.empty());
  EXPECT_EQ(server.head.resumed + client.head.resumed, 0u);
}

// A save files the record and clears resumed; a resume sets it and leaves
// the record saved; an unknown profile is not resumed; a destroy ends it.
TEST_F(RegistryTest, SaveFindResumeAndDestroyOfBothSides) {
  ClientSession* client = NewClient(store(), 0x1105, kPhone, u"a.txt", false);
  ServerSession* server = NewServer(store(), 0x1105, 0x00, u"", u"", false);
  client->resumed = 1;
  server->resumed = 1;
  EXPECT_EQ(store().SaveClientSession(client), 1);
  EXPECT_EQ(store().SaveServerSession(server), 1);
  EXPECT_TRUE(std::equal(kSessionId, kSessionId + 16, server->session_id));
  EXPECT_EQ(client->resumed, 0u);
  EXPECT_EQ(server->resumed, 0u);
  EXPECT_EQ(store().FindClientSession(kPhone, u"a.txt", 0x1105), client);
  EXPECT_EQ(store().FindClientSession(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(store().FindClientSession(kLaptop, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(store().FindClientSession(kPhone, u"A.txt", 0x1105), nullptr);  // names keep their case
  EXPECT_EQ(store().FindServerSession(kSessionId), server);
  EXPECT_EQ(store().ResumeClientSession(client), 1);
  EXPECT_EQ(store().ResumeServerSession(server), 1);
  EXPECT_EQ(client->resumed, 1u);
  EXPECT_EQ(server->resumed, 1u);
  EXPECT_EQ(store().FindClientSession(kPhone, u"a.txt", 0x1105), client);
  EXPECT_EQ(store().SaveClientSession(client), 1);  // again under the same key
  EXPECT_EQ(client->resumed, 0u);
  client->profile_id = server->profile_id = 0x1107;
  client->resumed = server->resumed = 0;
  EXPECT_EQ(store().ResumeClientSession(client), 0);
  EXPECT_EQ(store().ResumeServerSession(server), 0);
  EXPECT_EQ(client->resumed + server->resumed, 0u);
  EXPECT_EQ(store().Contents().client_saved.size(), 1u);
  EXPECT_EQ(store().Contents().server_saved.size(), 1u);
  // A destroy unfiles, unlists and frees, once: the freed addresses are
  // refused without being read or written (AddressSanitizer watches).
  ClientSession* unsaved = NewClient(store(), 0x1105, kPhone, u"b.txt", false);
  EXPECT_EQ((Results{store().DestroyClientSession(client), store().DestroyClientSession(unsaved),
                     store().DestroyServerSession(server)}),
            Results(3, 1));
  EXPECT_EQ(store().Contents(), StoreContents());
  EXPECT_FALSE(store().IsLiveSession(client));
  EXPECT_EQ((Results{store().DestroyClientSession(client), store().SaveClientSession(client),
                     store().ResumeClientSession(unsaved), store().DestroyServerSession(server),
                     store().SaveServerSession(server), store().ResumeServerSession(server)}),
            Results(6, 0));
  EXPECT_EQ(store().FindClientSession(kPhone, u"a.txt", 0x1105), nullptr);
}

// A second record under a key already filed is saved (resumed cleared) but
// never takes the key.
TEST_F(RegistryTest, SaveRefilesARenamedRecordAndNeverTakesAnotherRecordsKey) {
  ClientSession* client = NewClient(store(), 0x1106, kPhone, u"a.txt");
  ServerSession* server = NewServer(store(), 0x1105, 0x00);
  SetText(client->file_name, u"b.txt");
  server->GoepServer_sessionId[15] = 0xEE;
  store().SaveClientSession(client);
  store().SaveServerSession(server);
  EXPECT_EQ(store().FindClientSession(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(store().FindClientSession(kPhone, u"b.txt", 0x1106), client);
  EXPECT_EQ(store().FindServerSession(kSessionId), nullptr);
  EXPECT_EQ(store().FindServerSession(server->GoepServer_sessionId), server);
  ClientSession* second = NewClient(store(), 0x1106, kPhone, u"b.txt", false);
  ServerSession* second_server = NewServer(store(), 0x1105, 0x00, u"", u"", false);
  second_server->GoepServer_sessionId[15] = 0xEE;
  second->resumed = second_server->resumed = 1;
  EXPECT_EQ(store().SaveClientSession(second), 1);
  EXPECT_EQ(store().SaveServerSession(second_server), 1);
  EXPECT_EQ(second->resumed + second_server->resumed, 0u);
  EXPECT_EQ(store().FindServerSession(server->GoepServer_sessionId), server);
  EXPECT_EQ(store().DestroyClientSession(second), 1);  // never filed
  EXPECT_EQ(store().FindClientSession(kPhone, u"b.txt", 0x1106), client);
  EXPECT_EQ(store().Contents().client_saved.size(), 1u);
  EXPECT_EQ(store().Contents().server_saved.size(), 1u);
}

TEST_F(RegistryTest, FindDropsAnFtpServerSessionWhoseFileWasRewrittenOrDeleted) {
  const auto base = BaseTime();
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base);
  WriteFileAt(env().app_data() / "deleted.bin", 10, base);
  ServerSession* rewritten =
      NewServer(store(), 0x1106, 0x00, env().app_data_u16(), u"rewritten.bin");
  ServerSession* deleted = NewServer(store(), 0x1106, 0x80, env().app_data_u16(), u"deleted.bin");
  uint8_t deleted_id[16];
  std::copy_n(deleted->GoepServer_sessionId, 16, deleted_id);
  EXPECT_EQ(store().FindServerSession(kSessionId), rewritten);  // unchanged so far
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base + seconds(1));
  fs::remove(env().app_data() / "deleted.bin");
  EXPECT_EQ(store().FindServerSession(kSessionId), nullptr);
  EXPECT_EQ(store().FindServerSession(deleted_id), nullptr);
  EXPECT_EQ(store().Contents(), StoreContents());
  // An OPP session is found without a look at its file.
  ServerSession* opp = NewServer(store(), 0x1105, 0x00, env().app_data_u16(), u"never-written.vcf");
  EXPECT_EQ(store().FindServerSession(kSessionId), opp);
}

TEST_F(RegistryTest, EnumerateCallsBackEachSavedSessionOnceAndMayDestroyIt) {
  ClientSession* a = NewClient(store(), 0x1105, kPhone, u"a.txt");
  ClientSession* b = NewClient(store(), 0x1105, kPhone, u"b.txt");
  ClientSession* c = NewClient(store(), 0x1106, kPhone, u"c.txt");
  ClientSession* d = NewClient(store(), 0x1106, kPhone, u"d.txt");
  NewClient(store(), 0x1105, kPhone, u"unsaved.txt", false);
  NewClient(store(), 0x1105, kLaptop, u"a.txt");
  ServerSession* server_a = NewServer(store(), 0x1105, 0xA0);
  ServerSession* server_b = NewServer(store(), 0x1105, 0xB0);
  ServerSession* server_ftp = NewServer(store(), 0x1106, 0xC0);
  NewServer(store(), 0x1105, 0xD0, u"", u"", false);
  Visits clients, servers, none, destroyed{&store()};
  EXPECT_EQ(store().EnumClientSession(kPhone, 0x1105, Count, &clients), 1);
  EXPECT_EQ(clients.seen, (Records{a, b}));
  EXPECT_EQ(store().EnumServerSession(0x1105, Count, &servers), 1);
  EXPECT_EQ(servers.seen, (Records{server_a, server_b}));
  const uint8_t stranger[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(store().EnumClientSession(stranger, 0x1105, Count, &none), 1);
  EXPECT_EQ(store().EnumClientSession(kPhone, 0x1105, nullptr, &none), 0);
  EXPECT_EQ(store().EnumClientSession(nullptr, 0x1105, Count, &none), 0);
  EXPECT_EQ(store().EnumServerSession(0x1105, nullptr, &none), 0);
  EXPECT_TRUE(none.seen.empty());
  EXPECT_EQ(store().EnumClientSession(kPhone, 0x1106, DestroyClient, &destroyed), 1);
  EXPECT_EQ(store().EnumServerSession(0x1106, DestroyServer, &destroyed), 1);
  EXPECT_EQ(destroyed.seen, (Records{c, d, server_ftp}));
  const StoreContents contents = store().Contents();
  EXPECT_EQ(contents.client_held.size(), 4u);
  EXPECT_EQ(contents.client_saved.size(), 3u);
  EXPECT_EQ(contents.server_held.size(), 3u);
}

// A callback may destroy any record, or restore the file: records of the
// snapshot that went meanwhile are not called back, and none is freed before
// the enumeration returns (AddressSanitizer watches).
struct Ending {
  SessionStore* store;
  std::vector<ClientSession*> others;  // destroyed by the first callback
  int calls = 0;
};
void EndTheOthers(void* record, void* context) {
  auto* ending = static_cast<Ending*>(context);
  ++ending->calls;
  EXPECT_NE(static_cast<ClientSession*>(record)->file_name[0], 0);
  if (ending->others.empty()) ending->store->RestoreClientSession();
  for (ClientSession* other : ending->others) ending->store->DestroyClientSession(other);
}

TEST_F(RegistryTest, EnumerationSkipsRecordsDestroyedOrRetiredMeanwhile) {
  Ending destroying{&store()};
  for (const char16_t* name : {u"a.txt", u"b.txt", u"c.txt"}) {
    destroying.others.push_back(NewClient(store(), 0x1105, kPhone, name));
  }
  EXPECT_EQ(store().EnumClientSession(kPhone, 0x1105, EndTheOthers, &destroying), 1);
  EXPECT_EQ(destroying.calls, 1);
  EXPECT_EQ(store().Contents(), StoreContents());
  MakePaths();
  SetSaveFile(1);
  for (const char16_t* name : {u"a.txt", u"b.txt", u"c.txt"})
    NewClient(store(), 0x1105, kPhone, name);
  Ending restoring{&store()};
  EXPECT_EQ(store().EnumClientSession(kPhone, 0x1105, EndTheOthers, &restoring), 1);
  EXPECT_EQ(restoring.calls, 1);
  EXPECT_EQ(store().Contents().client_saved.size(), 3u);
  EXPECT_EQ(store().Inconsistency(), "");
}

// A shift of the last-write time that the low 32 bits miss: 2^25 seconds are
// 78125 times 2^32 units of 100 ns. Whole seconds, because on Windows
// std::filesystem sets file times through _wutime64, to the second only.
constexpr auto kLowBitsWrap = std::chrono::seconds(1LL << 25);
constexpr uint8_t kNoDevice[6] = {};

// {file changed, transfer file changed, size}, as slots 16/17, 18/19 and 20/21 answer.
using Answers = std::array<uint32_t, 3>;

class FileChecksTest : public StoreFixture, public ::testing::Test {
 protected:
  Answers Ask(ClientSession* r) {
    return {store().ClientFileChanged(r), store().ClientTransferFileChanged(r),
            store().ClientFileSize(r)};
  }
  Answers Ask(ServerSession* r) {
    return {store().ServerFileChanged(r), store().ServerTransferFileChanged(r),
            store().ServerFileSize(r)};
  }
  fs::path File(const std::string& name) { return env().app_data() / name; }
  std::u16string Path(const std::string& name) { return ModulePath(env(), name); }
  // The file rewritten one second later, with a new size.
  void Rewrite(const std::string& name, size_t size) {
    WriteFileAt(File(name), size, base_ + seconds(1));
  }

  ClientSession* FtpClient(const std::u16string& file_name, bool save = true) {
    return NewClient(store(), 0x1106, kNoDevice, file_name, save);
  }
  // An FTP client record whose name starts with a backslash: the transfer is
  // the client directory's file.
  ClientSession* FtpClientOfDirectory(const std::u16string& tx_name) {
    ClientSession* record = FtpClient(u"\\remote.bin", false);
    SetText(records::AsFtp(record)->m_bstrClientDirectory, env().app_data_u16());
    SetText(records::AsFtp(record)->m_bstrCurrentTxName, tx_name);
    store().SaveClientSession(record);
    return record;
  }
  ServerSession* FtpServer(const std::string& name, uint8_t tx_type) {
    ServerSession* record =
        NewServer(store(), 0x1106, 0, env().app_data_u16(), text::FromUtf8(name), false);
    records::AsFtp(record)->m_ucCurrentTxType = tx_type;
    store().SaveServerSession(record);
    return record;
  }
  ServerSession* OppServer(const std::u16string& object) {
    return NewServer(store(), 0x1105, 0, env().app_data_u16(), object);
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
  store().SaveClientSession(record);
  EXPECT_EQ(record->FO_timeStamp - first, 10000000u);  // one second in 100 ns units
  EXPECT_EQ(Ask(record), (Answers{0, 0, 99}));
  fs::remove(File("plain.bin"));
  EXPECT_EQ(Ask(record), (Answers{1, 1, 0}));
  // Saved while the file was missing: changed, also once the file exists.
  record->FO_timeStamp = 77;
  store().SaveClientSession(record);
  EXPECT_EQ(record->FO_timeStamp, 0u);
  WriteFileAt(File("plain.bin"), 3, base_);
  EXPECT_EQ(Ask(record), (Answers{1, 1, 3}));
}

TEST_F(FileChecksTest, OtherClientRecordsCheckOnlyTheirTransferFile) {
  WriteFileAt(File("tx.bin"), 10, base_);
  WriteFileAt(File("object.vcf"), 10, base_);
  ClientSession* ftp = FtpClientOfDirectory(u"tx.bin");
  ClientSession* opp = NewClient(store(), 0x1105, kNoDevice, Path("object.vcf"), false);
  SetText(records::AsOpp(opp)->internalObjectName, Path("object.vcf"));
  store().SaveClientSession(opp);
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
  store().DestroyClientSession(record);  // freed: AddressSanitizer catches any read
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
  EXPECT_EQ(store().ClientTransferFileChanged(client), 0u);
  fs::last_write_time(File(name), base_ + seconds(1));
  EXPECT_EQ(Ask(server), (Answers{1, 1, 7}));
  EXPECT_EQ(store().ClientTransferFileChanged(client), 1u);
}

}  // namespace
}  // namespace obexses::testing
