// Client services of the table (slots 0 to 4 and 14), used as a client
// profile module uses them: records filled in place, then handed back.
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

  static bool OnlyZerosBetween(const ClientSession* record, size_t from, size_t to) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);
    return std::all_of(bytes + from, bytes + to, [](uint8_t b) { return b == 0; });
  }
};

TEST_F(ClientRegistryTest, CreateGivesZeroedLiveListedUnsavedRecordOfTheProfileSize) {
  env().set_now(1234567890123);
  ClientSession* opp = tvr_create_client_session(0x1105);
  ClientSession* ftp = tvr_create_client_session(0x1106);
  ASSERT_NE(opp, nullptr);
  ASSERT_NE(ftp, nullptr);
  for (ClientSession* record : {opp, ftp}) {
    const size_t size = record == opp ? sizeof(OppClientSession) : sizeof(FtpClientSession);
    EXPECT_TRUE(OnlyZerosBetween(record, 0, 720));
    EXPECT_TRUE(OnlyZerosBetween(record, 724, 744));
    EXPECT_TRUE(OnlyZerosBetween(record, 752, size));
    EXPECT_EQ(record->create_time_stamp, 1234567890123);
    EXPECT_TRUE(IsLiveSession(record));
  }
  EXPECT_EQ(opp->profile_id, 0x1105u);
  EXPECT_EQ(ftp->profile_id, 0x1106u);
  EXPECT_EQ(g_client_sessions, (ClientList{opp, ftp}));
  EXPECT_TRUE(g_saved_client_sessions.empty());
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace("create opp client session success " + Ptr(opp) + "\n"),
                   Trace("create ftp client session success " + Ptr(ftp) + "\n")}));
  std::copy_n(kPhone, 6, opp->bdaddr);
  SetName(opp->file_name, u"a.txt");
  EXPECT_EQ(tvr_find_client_session(kPhone, u"a.txt", 0x1105), nullptr);
}

TEST_F(ClientRegistryTest, UnknownProfileAndNullRecordsAreRefusedSilently) {
  EXPECT_EQ(tvr_create_client_session(0x1107), nullptr);
  EXPECT_TRUE(g_client_sessions.empty());
  EXPECT_EQ(tvr_resume_client_session(nullptr), 0);
  EXPECT_EQ(tvr_save_client_session(nullptr), 0);
  EXPECT_EQ(tvr_destroy_client_session(nullptr), 0);
  EXPECT_EQ(tvr_find_client_session(nullptr, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, nullptr, 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(kPhone, u"", 0x1105), nullptr);
  EXPECT_TRUE(env().trace_lines().empty());
}

TEST_F(ClientRegistryTest, RecordsTheRegistryDoesNotHoldAreNotTouched) {
  OppClientSession foreign{};
  foreign.head.profile_id = 0x1105;
  foreign.head.resumed = 7;
  foreign.head.FO_timeStamp = 9;
  SetName(foreign.head.file_name, u"a.txt");
  EXPECT_EQ(tvr_save_client_session(&foreign.head), 0);
  EXPECT_EQ(tvr_resume_client_session(&foreign.head), 0);
  EXPECT_EQ(tvr_destroy_client_session(&foreign.head), 0);
  EXPECT_EQ(foreign.head.resumed, 7u);
  EXPECT_EQ(foreign.head.FO_timeStamp, 9u);
  EXPECT_TRUE(g_saved_client_sessions.empty());
  EXPECT_TRUE(env().trace_lines().empty());
}

TEST_F(ClientRegistryTest, SaveOfAnUnnamedRecordFilesNothing) {
  ClientSession* record = tvr_create_client_session(0x1106);
  record->resumed = 1;
  record->FO_timeStamp = 5;
  env().clear_output();
  EXPECT_EQ(tvr_save_client_session(record), 1);
  EXPECT_TRUE(g_saved_client_sessions.empty());
  EXPECT_EQ(record->resumed, 1u);
  EXPECT_EQ(record->FO_timeStamp, 5u);
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
  // Saved again under the same key: no already-saved message, resumed cleared.
  env().clear_output();
  tvr_save_client_session(record);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(env().trace_lines().size(), 2u);
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
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

TEST_F(ClientRegistryTest, ResumeOfAnUnknownProfileLeavesResumedAlone) {
  ClientSession* record = Make(0x1105, kPhone, u"a.txt");
  record->profile_id = 0x1107;
  env().clear_output();
  EXPECT_EQ(tvr_resume_client_session(record), 0);
  EXPECT_EQ(record->resumed, 0u);
  EXPECT_EQ(env().trace_lines().back(),
            Trace("resume client session:" + kPhoneKey + "1107_a.txt " + Ptr(record) + "\n"));
}

struct Visits {
  std::multiset<void*> records;
  static void Count(void* record, void* context) {
    static_cast<Visits*>(context)->records.insert(record);
  }
  static void Destroy(void* record, void* context) {
    Count(record, context);
    EXPECT_EQ(tvr_destroy_client_session(static_cast<ClientSession*>(record)), 1);
  }
};

TEST_F(ClientRegistryTest, EnumerateCallsBackEachSavedSessionOfTheDeviceAndProfileOnce) {
  ClientSession* a = Make(0x1105, kPhone, u"a.txt");
  ClientSession* b = Make(0x1105, kPhone, u"b.txt");
  Make(0x1106, kPhone, u"c.txt");
  Make(0x1105, kPhone, u"unsaved.txt", false);
  Make(0x1105, kLaptop, u"a.txt");
  Make(0x1106, kLaptop, u"d.txt");
  Visits visits;
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, Visits::Count, &visits), 1);
  EXPECT_EQ(visits.records, (std::multiset<void*>{a, b}));
  Visits none;
  const uint8_t stranger[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(tvr_enum_client_session(stranger, 0x1105, Visits::Count, &none), 1);
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1105, nullptr, &none), 0);
  EXPECT_EQ(tvr_enum_client_session(nullptr, 0x1105, Visits::Count, &none), 0);
  EXPECT_TRUE(none.records.empty());
}

TEST_F(ClientRegistryTest, EnumerateCallbackMayDestroyTheRecordItWasHanded) {
  ClientSession* a = Make(0x1106, kPhone, u"a.txt");
  ClientSession* b = Make(0x1106, kPhone, u"b.txt");
  ClientSession* other = Make(0x1105, kPhone, u"a.txt");
  Visits visits;
  EXPECT_EQ(tvr_enum_client_session(kPhone, 0x1106, Visits::Destroy, &visits), 1);
  EXPECT_EQ(visits.records, (std::multiset<void*>{a, b}));
  EXPECT_EQ(g_client_sessions, ClientList{other});
  EXPECT_EQ(g_saved_client_sessions.size(), 1u);
}

}  // namespace
}  // namespace obexses::testing
