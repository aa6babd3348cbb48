// Transfer-file checks (slots 16 to 21) on real files: the path rules of each
// record kind, the change test by the low 32 bits of the last-write time, the
// sizes, and records the registry does not hold.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>

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

class FileChecksTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  fs::path File(const std::string& name) { return env().app_data() / name; }
  std::u16string Path(const std::string& name) { return ModulePath(env(), name); }

  ClientSession* FtpClient(const std::u16string& file_name) {
    ClientSession* record = tvr_create_client_session(0x1106);
    SetName(record->file_name, file_name);
    return record;
  }

  ServerSession* FtpServer(const std::string& name, uint8_t tx_type) {
    ServerSession* record = tvr_create_server_session(0x1106);
    SetName(records::AsFtp(record)->m_bstrCurrentDirectory, env().app_data_u16());
    SetName(records::AsFtp(record)->m_bstrCurrentTxName, text::FromUtf8(name));
    records::AsFtp(record)->m_ucCurrentTxType = tx_type;
    return record;
  }

  const fs::file_time_type base_ = BaseTime();
};

struct Answers {
  uint32_t file_changed, transfer_changed, size;
  bool operator==(const Answers&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Answers& a) {
    return out << "{changed " << a.file_changed << ", transfer changed " << a.transfer_changed
               << ", size " << a.size << "}";
  }
};
Answers Ask(ClientSession* r) {
  return {tvr_client_file_changed(r), tvr_client_transfer_file_changed(r), tvr_client_file_size(r)};
}
Answers Ask(ServerSession* r) {
  return {tvr_server_file_changed(r), tvr_server_transfer_file_changed(r), tvr_server_file_size(r)};
}

TEST_F(FileChecksTest, FtpClientWithAPlainFileNameChecksThatFileForEverySlot) {
  WriteFileAt(File("plain.bin"), 1234, base_);
  ClientSession* record = FtpClient(Path("plain.bin"));
  tvr_save_client_session(record);
  EXPECT_EQ(Ask(record), (Answers{0, 0, 1234}));
  WriteFileAt(File("plain.bin"), 99, base_ + seconds(1));
  EXPECT_EQ(Ask(record), (Answers{1, 1, 99}));
  fs::remove(File("plain.bin"));
  EXPECT_EQ(Ask(record), (Answers{1, 1, 0}));
}

TEST_F(FileChecksTest, FtpClientWithABackslashNameChecksTheClientDirectoryFile) {
  WriteFileAt(File("tx.bin"), 10, base_);
  ClientSession* record = FtpClient(u"\\remote.bin");
  SetName(records::AsFtp(record)->m_bstrClientDirectory, env().app_data_u16());
  SetName(records::AsFtp(record)->m_bstrCurrentTxName, u"tx.bin");
  tvr_save_client_session(record);
  EXPECT_EQ(Ask(record), (Answers{0, 0, 0}));
  WriteFileAt(File("tx.bin"), 10, base_ + seconds(1));
  EXPECT_EQ(Ask(record), (Answers{0, 1, 0}));
  fs::remove(File("tx.bin"));
  EXPECT_EQ(Ask(record), (Answers{0, 1, 0}));
}

TEST_F(FileChecksTest, OppClientChecksOnlyItsInternalObjectName) {
  WriteFileAt(File("object.vcf"), 10, base_);
  ClientSession* record = tvr_create_client_session(0x1105);
  SetName(record->file_name, Path("object.vcf"));
  SetName(records::AsOpp(record)->internalObjectName, Path("object.vcf"));
  tvr_save_client_session(record);
  EXPECT_EQ(Ask(record), (Answers{0, 0, 0}));
  fs::remove(File("object.vcf"));
  EXPECT_EQ(Ask(record), (Answers{0, 1, 0}));
}

TEST_F(FileChecksTest, ChangeIsJudgedByTheLowThirtyTwoBitsOfTheWriteTime) {
  WriteFileAt(File("plain.bin"), 10, base_);
  ClientSession* record = FtpClient(Path("plain.bin"));
  tvr_save_client_session(record);
  const uint32_t first = record->FO_timeStamp;
  fs::last_write_time(File("plain.bin"), base_ + kLowBitsWrap);
  EXPECT_EQ(tvr_client_transfer_file_changed(record), 0u);
  fs::last_write_time(File("plain.bin"), base_ + seconds(1));
  EXPECT_EQ(tvr_client_transfer_file_changed(record), 1u);
  tvr_save_client_session(record);
  EXPECT_EQ(record->FO_timeStamp - first, 10000000u);  // one second in 100 ns units
  EXPECT_EQ(tvr_client_transfer_file_changed(record), 0u);
}

TEST_F(FileChecksTest, SavedWhileTheFileWasMissingReadsAsChangedOnceItExists) {
  ClientSession* record = FtpClient(Path("late.bin"));
  record->FO_timeStamp = 77;
  tvr_save_client_session(record);
  EXPECT_EQ(record->FO_timeStamp, 0u);
  EXPECT_EQ(Ask(record), (Answers{1, 1, 0}));
  WriteFileAt(File("late.bin"), 3, base_);
  EXPECT_EQ(Ask(record), (Answers{1, 1, 3}));
}

TEST_F(FileChecksTest, RecordsNotLiveOrNullGiveZeroWithoutBeingRead) {
  WriteFileAt(File("plain.bin"), 10, base_);
  ClientSession* record = FtpClient(Path("missing.bin"));
  tvr_destroy_client_session(record);  // freed: AddressSanitizer catches any read
  EXPECT_EQ(Ask(record), (Answers{0, 0, 0}));
  FtpClientSession foreign{};
  foreign.head.profile_id = 0x1106;
  SetName(foreign.head.file_name, Path("plain.bin"));
  EXPECT_EQ(Ask(&foreign.head), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(static_cast<ClientSession*>(nullptr)), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(static_cast<ServerSession*>(nullptr)), (Answers{0, 0, 0}));
}

TEST_F(FileChecksTest, FtpServerTransferTypeOneHasNoFilePathButATransferPath) {
  WriteFileAt(File("tx.bin"), 42, base_);
  ServerSession* typed = FtpServer("tx.bin", 1);
  ServerSession* plain = FtpServer("tx.bin", 0);
  tvr_save_server_session(typed);
  tvr_save_server_session(plain);
  EXPECT_EQ(Ask(typed), (Answers{0, 0, 0}));
  EXPECT_EQ(Ask(plain), (Answers{0, 0, 42}));
  WriteFileAt(File("tx.bin"), 43, base_ + seconds(1));
  EXPECT_EQ(Ask(typed), (Answers{0, 1, 0}));
  EXPECT_EQ(Ask(plain), (Answers{1, 1, 43}));
  fs::remove(File("tx.bin"));
  EXPECT_EQ(Ask(plain), (Answers{1, 1, 0}));
}

TEST_F(FileChecksTest, OppServerChecksTheInboxFile) {
  WriteFileAt(File("card.vcf"), 5, base_);
  ServerSession* record = tvr_create_server_session(0x1105);
  SetName(records::AsOpp(record)->m_szInboxpath, env().app_data_u16());
  SetName(records::AsOpp(record)->internalObjectName, u"card.vcf");
  tvr_save_server_session(record);
  EXPECT_EQ(Ask(record), (Answers{0, 0, 5}));
  WriteFileAt(File("card.vcf"), 6, base_ + seconds(1));
  EXPECT_EQ(Ask(record), (Answers{1, 1, 6}));
}

TEST_F(FileChecksTest, JoinedPathsAreCutAt259Characters) {
  // Folder, backslash and a long name; the file lies at the first 259 characters.
  const std::u16string folder = env().app_data_u16();
  const size_t kept = 259 - folder.size() - 1;
  ASSERT_LT(kept, 250u);
  const std::string name(kept, 'n');
  WriteFileAt(File(name), 7, base_);
  ServerSession* server = tvr_create_server_session(0x1105);
  SetName(records::AsOpp(server)->m_szInboxpath, folder);
  SetName(records::AsOpp(server)->internalObjectName, std::u16string(259, u'n'));
  tvr_save_server_session(server);
  EXPECT_EQ(Ask(server), (Answers{0, 0, 7}));
  ClientSession* client = FtpClient(u"\\remote.bin");
  SetName(records::AsFtp(client)->m_bstrClientDirectory, folder);
  SetName(records::AsFtp(client)->m_bstrCurrentTxName, std::u16string(259, u'n'));
  tvr_save_client_session(client);
  EXPECT_NE(client->FO_timeStamp, 0u);
  EXPECT_EQ(tvr_client_transfer_file_changed(client), 0u);
  fs::last_write_time(File(name), base_ + seconds(1));
  EXPECT_EQ(Ask(server), (Answers{1, 1, 7}));
  EXPECT_EQ(tvr_client_transfer_file_changed(client), 1u);
}

}  // namespace
}  // namespace obexses::testing
