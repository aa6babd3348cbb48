// Transfer-file checks (slots 16 to 21) on real files: the path rules of each
// record kind, the change test by the low 32 bits of the last-write time, the
// sizes, and records the registry does not hold.
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "module/state.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

using std::chrono::seconds;
namespace fs = std::filesystem;

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
