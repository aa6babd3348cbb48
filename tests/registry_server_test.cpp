// Server services of the table (slots 5 to 9 and 15), used as a server
// profile module uses them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "module/state.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

const std::string kKey0 = "server_000102030405060708090a0b0c0d0e0f";
const std::string kNull = "0000000000000000";

class ServerRegistryTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ServerRegistryTest() {
    g_debug_level = 3;
    for (int i = 0; i < 16; ++i) id_[i] = static_cast<uint8_t>(i);
  }

  // A created record whose profile module has set its session id (first byte
  // changed to tell records apart), saved if asked.
  ServerSession* Make(uint32_t profile, uint8_t first, bool save = true) {
    ServerSession* record = tvr_create_server_session(profile);
    std::copy_n(id_, 16, record->GoepServer_sessionId);
    record->GoepServer_sessionId[0] = first;
    if (save) {
      EXPECT_EQ(tvr_save_server_session(record), 1);
    }
    return record;
  }

  // An FTP record whose current transfer is the file name in the test folder.
  ServerSession* MakeFtpWithFile(const std::string& name) {
    ServerSession* record = Make(0x1106, 0, false);
    SetName(records::AsFtp(record)->m_bstrCurrentDirectory, env().app_data_u16());
    SetName(records::AsFtp(record)->m_bstrCurrentTxName, text::FromUtf8(name));
    return record;
  }

  uint8_t id_[16];
};

TEST_F(ServerRegistryTest, CreateGivesZeroedListedRecordOfTheProfileSize) {
  env().set_now(1700000123);
  ServerSession* ftp = tvr_create_server_session(0x1106);
  ServerSession* opp = tvr_create_server_session(0x1105);
  EXPECT_EQ(tvr_create_server_session(0x1107), nullptr);
  for (ServerSession* record : {ftp, opp}) {
    EXPECT_EQ(record->create_time_stamp, 1700000123);
    EXPECT_EQ(record->profile_id, record == opp ? 0x1105u : 0x1106u);
    record->create_time_stamp = 0;
    record->profile_id = 0;
    const size_t size = record == opp ? sizeof(OppServerSession) : sizeof(FtpServerSession);
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);
    EXPECT_TRUE(std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(g_server_sessions, (ServerList{ftp, opp}));
  EXPECT_TRUE(g_live_sessions.empty());  // server records are never live
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("create server ftp session success " + Ptr(ftp) + "\n"),
                   Trace("create server opp session success " + Ptr(opp) + "\n")}));
}

TEST_F(ServerRegistryTest, SaveFilesUnderTheProfileModulesSessionId) {
  ServerSession* record = Make(0x1105, 0x00, false);
  record->resumed = 1;
  env().clear_output();
  EXPECT_EQ(tvr_save_server_session(record), 1);
  EXPECT_TRUE(std::equal(id_, id_ + 16, record->session_id));
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(tvr_find_server_session(id_), record);
  EXPECT_EQ(tvr_resume_server_session(record), 1);
  EXPECT_EQ(record->resumed, 1u);
  const std::string p = Ptr(record);
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("save server session: " + kKey0 + " " + p + "\n"),
                   Trace("find server session: True  " + kKey0 + " " + p + "\n"),
                   Trace("resume server session: " + kKey0 + " " + p + "\n")}));
  // An unknown profile is not resumed, but its line is written.
  record->profile_id = 0x1107;
  record->resumed = 0;
  env().clear_output();
  EXPECT_EQ(tvr_resume_server_session(record), 0);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(env().trace_lines(), Lines{Trace("resume server session: " + kKey0 + " " + p + "\n")});
}

TEST_F(ServerRegistryTest, SaveAfterTheIdChangedRefilesTheRecord) {
  ServerSession* record = Make(0x1105, 0x00);
  record->GoepServer_sessionId[15] = 0xEE;
  env().clear_output();
  EXPECT_EQ(tvr_save_server_session(record), 1);
  const Lines lines = env().trace_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], Trace("server session[" + Ptr(record) +
                            "] already saved, you are saving it again! \n"));
  EXPECT_EQ(tvr_find_server_session(id_), nullptr);
  EXPECT_EQ(env().trace_lines().back(),
            Trace("find server session: no found " + kKey0 + " " + kNull + "\n"));
  EXPECT_EQ(tvr_find_server_session(record->GoepServer_sessionId), record);
  EXPECT_EQ(g_saved_server_sessions.size(), 1u);
}

TEST_F(ServerRegistryTest, SecondRecordWithTheSameIdLeavesTheFirstFiled) {
  ServerSession* first = Make(0x1106, 0x00);
  ServerSession* second = Make(0x1106, 0x00, false);
  second->resumed = 1;
  EXPECT_EQ(tvr_save_server_session(second), 1);
  EXPECT_EQ(second->resumed, 0u);
  EXPECT_EQ(g_saved_server_sessions.size(), 1u);
  EXPECT_EQ(g_saved_server_sessions.begin()->second, first);
}

TEST_F(ServerRegistryTest, RefusalsOfNullAndOfRecordsNotHeld) {
  EXPECT_EQ(tvr_destroy_server_session(nullptr), 0);
  EXPECT_EQ(tvr_save_server_session(nullptr), 0);
  EXPECT_EQ(tvr_resume_server_session(nullptr), 0);
  EXPECT_TRUE(env().trace_lines().empty());
  EXPECT_EQ(tvr_find_server_session(nullptr), nullptr);
  EXPECT_EQ(env().trace_lines(), Lines{Trace("find server session: no found  " + kNull + "\n")});
  OppServerSession foreign{};
  foreign.head.profile_id = 0x1105;
  foreign.head.GoepServer_sessionId[0] = 1;
  foreign.head.resumed = 7;
  EXPECT_EQ(tvr_save_server_session(&foreign.head), 0);
  EXPECT_EQ(tvr_resume_server_session(&foreign.head), 0);
  EXPECT_EQ(tvr_destroy_server_session(&foreign.head), 0);
  EXPECT_EQ(foreign.head.session_id[0], 0);
  EXPECT_EQ(foreign.head.resumed, 7u);
  EXPECT_EQ(env().trace_lines().size(), 1u);
}

TEST_F(ServerRegistryTest, DestroyOnceWithItsLineThenRefuse) {
  ServerSession* saved = Make(0x1106, 0x00);
  ServerSession* unsaved = Make(0x1105, 0x00, false);
  const std::string saved_ptr = Ptr(saved);
  const std::string unsaved_ptr = Ptr(unsaved);
  env().clear_output();
  EXPECT_EQ(tvr_destroy_server_session(saved), 1);
  EXPECT_EQ(tvr_destroy_server_session(unsaved), 1);
  EXPECT_EQ(tvr_destroy_server_session(saved), 0);
  EXPECT_EQ(tvr_resume_server_session(unsaved), 0);
  // An unsaved record still has the zero session_id of its creation.
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("destroy server session success " + kKey0 + " " + saved_ptr + "\n"),
                   Trace("destroy server session: no found server_" + std::string(32, '0') + " " +
                         unsaved_ptr + "\n")}));
  EXPECT_TRUE(g_server_sessions.empty());
  EXPECT_TRUE(g_saved_server_sessions.empty());
}

TEST_F(ServerRegistryTest, FindDropsAnFtpSessionWhoseFileWasRewrittenOrDeleted) {
  const auto base = BaseTime();
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base);
  WriteFileAt(env().app_data() / "deleted.bin", 10, base);
  ServerSession* rewritten = MakeFtpWithFile("rewritten.bin");
  ServerSession* deleted = MakeFtpWithFile("deleted.bin");
  deleted->GoepServer_sessionId[0] = 0x80;
  tvr_save_server_session(rewritten);
  tvr_save_server_session(deleted);
  uint8_t deleted_id[16];
  std::copy_n(deleted->GoepServer_sessionId, 16, deleted_id);
  EXPECT_EQ(tvr_find_server_session(id_), rewritten);  // unchanged so far
  WriteFileAt(env().app_data() / "rewritten.bin", 10, base + std::chrono::seconds(1));
  std::filesystem::remove(env().app_data() / "deleted.bin");
  const std::string p = Ptr(rewritten);
  env().clear_output();
  EXPECT_EQ(tvr_find_server_session(id_), nullptr);
  EXPECT_EQ(tvr_find_server_session(id_), nullptr);
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("find server session: True  " + kKey0 + " " + p + "\n"),
                   Trace("destroy server session success " + kKey0 + " " + p + "\n"),
                   Trace("find server session: no found " + kKey0 + " " + kNull + "\n")}));
  EXPECT_EQ(tvr_find_server_session(deleted_id), nullptr);
  EXPECT_TRUE(g_server_sessions.empty());
  EXPECT_TRUE(g_saved_server_sessions.empty());
  // An OPP session is found without a look at its file.
  ServerSession* opp = Make(0x1105, 0x00, false);
  SetName(records::AsOpp(opp)->m_szInboxpath, env().app_data_u16());
  SetName(records::AsOpp(opp)->internalObjectName, u"never-written.vcf");
  tvr_save_server_session(opp);
  EXPECT_EQ(tvr_find_server_session(id_), opp);
  EXPECT_EQ(tvr_find_server_session(id_), opp);
}

TEST_F(ServerRegistryTest, EnumerateCallsBackEachSavedSessionOfTheProfileOnce) {
  ServerSession* a = Make(0x1105, 0xA0);
  ServerSession* b = Make(0x1105, 0xB0);
  ServerSession* ftp = Make(0x1106, 0xC0);
  Make(0x1105, 0xD0, false);
  Visits<ServerSession> visits, destroyed;
  EXPECT_EQ(tvr_enum_server_session(0x1105, visits.Count, &visits), 1);
  EXPECT_EQ(visits.records, (std::multiset<void*>{a, b}));
  EXPECT_EQ(tvr_enum_server_session(0x1105, nullptr, &visits), 0);
  EXPECT_EQ(tvr_enum_server_session(0x1106, destroyed.Destroy, &destroyed), 1);
  EXPECT_EQ(destroyed.records, std::multiset<void*>{ftp});
  EXPECT_EQ(g_server_sessions.size(), 3u);
}

}  // namespace
}  // namespace obexses::testing
