// Client services of the table (slots 0 to 4 and 14) and the session keys,
// used as a client profile module uses them: records filled in place, then handed back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "module/state.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xa0};
constexpr uint8_t kLaptop[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const std::string kPhoneKey = "client_01:02:03:04:05:a0_";

class ClientRegistryTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ClientRegistryTest() { g_debug_level = 3; }

  // A created record with its address and name filled, saved if asked.
  static ClientSession* Make(uint32_t profile, const uint8_t* address, const char16_t* name,
                             bool save = true) {
    ClientSession* record = tvr_create_client_session(profile);
    std::copy_n(address, 6, record->bdaddr);
    SetName(record->file_name, name);
    if (save) tvr_save_client_session(record);
    return record;
  }
};

TEST_F(ClientRegistryTest, KeysOfDeviceProfileAndName) {
  EXPECT_EQ(BuildClientKey(kPhone, u"n", 0x12345), u"client_01:02:03:04:05:a0_12345_n");
  EXPECT_EQ(BuildClientKey(kPhone, u"n", 0x7), u"client_01:02:03:04:05:a0_0007_n");
  uint8_t id[16];
  for (int i = 0; i < 16; ++i) id[i] = static_cast<uint8_t>(i + 0xA0);
  EXPECT_EQ(BuildServerKey(id), u"server_a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
  EXPECT_EQ(BuildServerKey(nullptr), u"");
  // "client_" + 17 + "_" + 4 + "_" leaves 489 units of name in a 519-unit key.
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(489, u'n').c_str(), 0x1105).size(), 519u);
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(490, u'n').c_str(), 0x1105), u"");
  EXPECT_EQ(BuildClientKey(kPhone, std::u16string(100000, u'n').c_str(), 0x1105), u"");
  env().clear_output();
  EXPECT_EQ(tvr_find_client_session(kPhone, std::u16string(600, u'n').c_str(), 0x1105), nullptr);
  EXPECT_EQ(env().trace_lines(), Lines{Trace("find client:no found \n")});
}

TEST_F(ClientRegistryTest, CreateGivesZeroedLiveListedUnsavedRecordOfTheProfileSize) {
  env().set_now(1234567890123);
  ClientSession* opp = tvr_create_client_session(0x1105);
  ClientSession* ftp = tvr_create_client_session(0x1106);
  ASSERT_NE(opp, nullptr);
  ASSERT_NE(ftp, nullptr);
  for (ClientSession* record : {opp, ftp}) {
    EXPECT_EQ(record->create_time_stamp, 1234567890123);
    EXPECT_TRUE(IsLiveSession(record));
    EXPECT_EQ(record->profile_id, record == opp ? 0x1105u : 0x1106u);
    record->create_time_stamp = 0;
    record->profile_id = 0;
    const size_t size = record == opp ? sizeof(OppClientSession) : sizeof(FtpClientSession);
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);
    EXPECT_TRUE(std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(g_client_sessions, (ClientList{opp, ftp}));
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("create opp client session success " + Ptr(opp) + "\n"),
                   Trace("create ftp client session success " + Ptr(ftp) + "\n")}));
  opp->profile_id = 0x1105;
  std::copy_n(kPhone, 6, opp->bdaddr);
  SetName(opp->file_name, u"a.txt");
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), nullptr);  // not saved yet
}

TEST_F(ClientRegistryTest, RefusalsLeaveEverythingAlone) {
  EXPECT_EQ(tvr_create_client_session(0x1107), nullptr);
  EXPECT_TRUE(g_client_sessions.empty());
  EXPECT_EQ(tvr_resume_client_session(nullptr), 0);
  EXPECT_EQ(tvr_save_client_session(nullptr), 0);
  EXPECT_EQ(tvr_destroy_client_session(nullptr), 0);
  EXPECT_EQ(tvr_find_client_session(nullptr, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, nullptr, 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"", 0x1105), nullptr);
  // A record the registry does not hold, and the save of an unnamed one.
  OppClientSession foreign{};
  foreign.head.profile_id = 0x1105;
  SetName(foreign.head.file_name, u"a.txt");
  ClientSession* unnamed = tvr_create_client_session(0x1106);
  env().clear_output();
  for (ClientSession* record : {&foreign.head, unnamed}) {
    record->resumed = 7;
    record->FO_timeStamp = 9;
  }
  EXPECT_EQ(tvr_save_client_session(&foreign.head), 0);
  EXPECT_EQ(tvr_resume_client_session(&foreign.head), 0);
  EXPECT_EQ(tvr_destroy_client_session(&foreign.head), 0);
  EXPECT_EQ(tvr_save_client_session(unnamed), 1);
  for (ClientSession* record : {&foreign.head, unnamed}) {
    EXPECT_EQ(record->resumed, 7u);
    EXPECT_EQ(record->FO_timeStamp, 9u);
  }
  EXPECT_TRUE(g_saved_client_sessions.empty());
  EXPECT_TRUE(env().trace_lines().empty());
}

TEST_F(ClientRegistryTest, SaveFindAndResumeWriteTheirLines) {
  ClientSession* record = Make(0x1105, kPhone, u"a.txt", false);
  record->resumed = 1;
  const std::string key = kPhoneKey + "1105_a.txt";
  const std::string p = Ptr(record);
  env().clear_output();
  tvr_save_client_session(record);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), record);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(tvr_resume_client_session(record), 1);
  EXPECT_EQ(record->resumed, 1u);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);  // a resume leaves the record saved
  const std::string built = Trace("build client key " + key + "\n");
  EXPECT_EQ(env().trace_lines(),
            (Lines{built, Trace("save one client session: " + key + " " + p + " \n"), built,
                   Trace("find client:True " + key + " " + p + "\n"),
                   Trace("build client key " + kPhoneKey + "1106_a.txt\n"),
                   Trace("find client:no found " + kPhoneKey + "1106_a.txt\n"), built,
                   Trace("resume client session:" + key + " " + p + "\n")}));
  EXPECT_EQ(tvr_find_client_session(kPhone, u"A.txt", 0x1105), nullptr);  // names keep their case
  // Saved again under the same key: no already-saved message, resumed cleared.
  env().clear_output();
  tvr_save_client_session(record);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(env().trace_lines().size(), 2u);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
  // An unknown profile is not resumed, but its line is written.
  record->profile_id = 0x1107;
  env().clear_output();
  EXPECT_EQ(tvr_resume_client_session(record), 0);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(env().trace_lines().back(),
            Trace("resume client session:" + kPhoneKey + "1107_a.txt " + p + "\n"));
}

TEST_F(ClientRegistryTest, SaveAfterTheNameChangedRefilesTheRecord) {
  ClientSession* record = Make(0x1106, kPhone, u"a.txt");
  SetName(record->file_name, u"b.txt");
  env().clear_output();
  tvr_save_client_session(record);
  const Lines lines = env().trace_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], Trace("client session[" + Ptr(record) +
                            "] already saved, you are saving it again! \n"));
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"b.txt", 0x1106), record);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
}

TEST_F(ClientRegistryTest, SecondRecordWithTheSameKeyLeavesTheFirstFiled) {
  ClientSession* first = Make(0x1105, kPhone, u"a.txt");
  ClientSession* second = Make(0x1105, kPhone, u"a.txt", false);
  second->resumed = 1;
  tvr_save_client_session(second);
  EXPECT_EQ(second->resumed, 0u);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), first);
  env().clear_output();
  EXPECT_EQ(tvr_destroy_client_session(second), 1);  // never filed: the not-found line
  EXPECT_EQ(env().trace_lines().back(), Trace("destroy one client session:no found " + kPhoneKey +
                                              "1105_a.txt " + Ptr(second) + "\n"));
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), first);
}

TEST_F(ClientRegistryTest, DestroyUnfilesUnlistsAndFreesOnce) {
  ClientSession* saved = Make(0x1106, kPhone, u"a.txt");
  ClientSession* unsaved = Make(0x1105, kPhone, u"b.txt", false);
  const std::string saved_ptr = Ptr(saved);
  const std::string unsaved_ptr = Ptr(unsaved);
  env().clear_output();
  EXPECT_EQ(tvr_destroy_client_session(saved), 1);
  EXPECT_EQ(tvr_destroy_client_session(unsaved), 1);
  EXPECT_EQ(
      env().trace_lines(),
      (Lines{Trace("build client key " + kPhoneKey + "1106_a.txt\n"),
             Trace("destroy one client session: " + kPhoneKey + "1106_a.txt " + saved_ptr + "\n"),
             Trace("build client key " + kPhoneKey + "1105_b.txt\n"),
             Trace("destroy one client session:no found " + kPhoneKey + "1105_b.txt " +
                   unsaved_ptr + "\n")}));
  EXPECT_TRUE(g_client_sessions.empty());
  EXPECT_TRUE(g_saved_client_sessions.empty());
  EXPECT_FALSE(IsLiveSession(saved));
  // The freed addresses are refused without being read (AddressSanitizer watches).
  env().clear_output();
  EXPECT_EQ(tvr_destroy_client_session(saved), 0);
  EXPECT_EQ(tvr_save_client_session(saved), 0);
  EXPECT_EQ(tvr_resume_client_session(unsaved), 0);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1106), nullptr);
  EXPECT_EQ(env().trace_lines().size(), 2u);  // the find's key and not-found lines
}

TEST_F(ClientRegistryTest, EnumerateCallsBackEachSavedSessionOfTheDeviceAndProfileOnce) {
  ClientSession* a = Make(0x1105, kPhone, u"a.txt");
  ClientSession* b = Make(0x1105, kPhone, u"b.txt");
  ClientSession* c = Make(0x1106, kPhone, u"c.txt");
  ClientSession* d = Make(0x1106, kPhone, u"d.txt");
  Make(0x1105, kPhone, u"unsaved.txt", false);
  Make(0x1105, kLaptop, u"a.txt");
  Visits<ClientSession> visits, none, destroyed;
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, visits.Count, &visits), 1);
  EXPECT_EQ(visits.records, (std::multiset<void*>{a, b}));
  const uint8_t stranger[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(tvr_enum_client_session(stranger, 0x1105, none.Count, &none), 1);
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, nullptr, &none), 0);
  EXPECT_EQ(tvr_enum_client_session(nullptr, 0x1105, none.Count, &none), 0);
  EXPECT_TRUE(none.records.empty());
  // The callback may destroy the record it was handed.
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1106, destroyed.Destroy, &destroyed), 1);
  EXPECT_EQ(destroyed.records, (std::multiset<void*>{c, d}));
  EXPECT_EQ(g_client_sessions.size(), 4u);
  EXPECT_EQ(g_saved_client_sessions.size(), 3u);
}

}  // namespace
}  // namespace obexses::testing
