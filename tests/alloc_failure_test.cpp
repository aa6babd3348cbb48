// Memory that runs out anywhere inside a service or Initialize: the 1st, 2nd, ... allocation of
// the call fails, in turn, until a call reaches none. The call then gives its failure value or
// its result, the registry's containers still agree, a call that failed changed nothing it
// promises to leave alone, and nothing leaks (LeakSanitizer) or is used after it was freed.

#include "module/module.h"
#include "tests/registry_helpers.h"
#include "tests/support/alloc_faults.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};

// What a failed call must have left alone: the saved keys and every held record.
struct Snapshot {
  std::vector<std::u16string> client_keys, server_keys;
  std::vector<const void*> records;
  std::string client_file, server_file;
  bool operator==(const Snapshot&) const = default;
};

template <typename Record>
void Collect(std::vector<std::u16string>* keys, std::vector<const void*>* records) {
  for (const auto& entry : Holdings<Record>::Saved()) keys->push_back(entry.first);
  std::sort(keys->begin(), keys->end());
  for (const Record* record : Holdings<Record>::List()) records->push_back(record);
}

// Failure values: a null record, a zero result, or none (every result stands).
constexpr auto IsNull = [](void* record) { return record == nullptr; };
constexpr auto IsZero = [](int32_t result) { return result == 0; };
constexpr auto Never = [](int32_t) { return false; };

class AllocFailureTest : public ::testing::Test, protected ModuleFixtureBase {
 protected:
  AllocFailureTest() {
    MakePaths();
    g_save_file = 1;
    WriteFileAt(env().app_data() / "notes.txt", 4, BaseTime());
    opp_ = NewClient(OBEXSES_PROFILE_OPP, kPhone, u"photo.jpg");
    ftp_ = NewClient(OBEXSES_PROFILE_FTP, kPhone, u"report.pdf");
    server_ = NewServer(OBEXSES_PROFILE_FTP, 7, env().app_data_u16(), u"notes.txt");
    NewServer(OBEXSES_PROFILE_OPP, 8, env().app_data_u16(), u"song.mp3");
    tvr_store_client_session();
  }

  Snapshot Take() {
    Snapshot snapshot;
    SessionGuard lock(g_session_lock);
    Collect<ClientSession>(&snapshot.client_keys, &snapshot.records);
    Collect<ServerSession>(&snapshot.server_keys, &snapshot.records);
    snapshot.client_file = ReadFile(SessionFile("ClientSession.xml"));
    snapshot.server_file = ReadFile(SessionFile("ServerSession.xml"));
    return snapshot;
  }

  std::filesystem::path SessionFile(const char* name) {
    return env().app_data() / "Velmora" / "Session" / name;
  }

  // Sweeps call; failed(result) says whether a result is the call's failure
  // value, after which nothing may have changed; with always, every run that
  // meets the failure must give that value. after() checks more.
  template <typename Result>
  void Sweep(
      const std::function<Result()>& call, const std::function<bool(Result)>& failed,
      bool always = false, const std::function<void()>& after = [] {}) {
    for (int n = 1;; ++n) {
      const Snapshot before = Take();
      ArmAllocationFailure(n);
      const Result result = call();
      const bool reached = DisarmAllocationFailure();
      EXPECT_EQ(RegistryDisagreement(), "") << "allocation " << n;
      after();
      if (!reached) {
        EXPECT_FALSE(failed(result)) << "the call that reached no failure";
        EXPECT_GT(n, 1) << "the call allocates nothing";
        return;
      }
      if (always) {
        EXPECT_TRUE(failed(result)) << "allocation " << n;
      }
      if (failed(result)) {
        EXPECT_TRUE(Take() == before) << "allocation " << n;
      }
    }
  }

  // A save under a new key moves the record's entry or leaves it where it
  // was; a 0 may also be the store's, after the move, but a 1 is a move.
  template <typename Record>
  void SweepSave(int32_t (*save)(Record*), Record* record, std::u16string_view new_key) {
    int32_t saved = 0;
    const auto entry_stands = [&] {
      const std::u16string* key = Holdings<Record>::Places().at(record).saved_key;
      EXPECT_TRUE(key != nullptr && (saved != 1 || key->find(new_key) != std::u16string::npos));
    };
    Sweep<int32_t>([&] { return saved = save(record); }, Never, false, entry_stands);
  }

  ClientSession* opp_;
  ClientSession* ftp_;
  ServerSession* server_;
};

TEST_F(AllocFailureTest, CreateSaveFindAndEnumerateFailWhole) {
  Sweep<void*>([] { return tvr_create_client_session(OBEXSES_PROFILE_FTP); }, IsNull);
  Sweep<void*>([] { return tvr_create_server_session(OBEXSES_PROFILE_OPP); }, IsNull);
  Sweep<void*>([] { return tvr_find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP); },
               IsNull);
  Sweep<void*>([this] { return tvr_find_server_session(server_->session_id); }, IsNull);
  int calls = 0;
  auto count = [](void*, void* context) { ++*static_cast<int*>(context); };
  Sweep<int32_t>(
      [&] { return tvr_enum_client_session(kPhone, OBEXSES_PROFILE_OPP, count, &calls); }, IsZero);
  Sweep<int32_t>([&] { return tvr_enum_server_session(OBEXSES_PROFILE_FTP, count, &calls); },
                 IsZero);
  SetText(opp_->file_name, u"renamed.jpg");
  SweepSave(tvr_save_client_session, opp_, u"renamed.jpg");
  server_->GoepServer_sessionId[0] = 0x70;
  SweepSave(tvr_save_server_session, server_, u"server_70");
}

TEST_F(AllocFailureTest, StoresKeepTheOldFileAndRestoresTheOldSet) {
  tvr_save_client_session(NewClient(OBEXSES_PROFILE_OPP, kPhone, u"more.jpg", false));
  Sweep<int32_t>(tvr_store_client_session, IsZero);
  Sweep<int32_t>(tvr_store_server_session, IsZero);
  Sweep<int32_t>(tvr_restore_client_session, IsZero);
  Sweep<int32_t>(tvr_restore_server_session, IsZero);
}

// The file checks answer 0 for a file they could not look at; a destroy
// destroys, whatever becomes of its store.
TEST_F(AllocFailureTest, FileChecksGiveZeroAndDestroysStillDestroy) {
  WriteFileAt(env().app_data() / "notes.txt", 4, BaseTime() + std::chrono::seconds(1));
  WriteFileAt(env().app_data() / "report.pdf", 9, BaseTime());
  SetText(ftp_->file_name, ModulePath(env(), "report.pdf"));
  for (auto check :
       {tvr_client_file_changed, tvr_client_transfer_file_changed, tvr_client_file_size}) {
    Sweep<int32_t>([&] { return static_cast<int32_t>(check(ftp_)); }, IsZero, true);
  }
  for (auto check :
       {tvr_server_file_changed, tvr_server_transfer_file_changed, tvr_server_file_size}) {
    Sweep<int32_t>([&] { return static_cast<int32_t>(check(server_)); }, IsZero, true);
  }
  Sweep<int32_t>([this] { return tvr_destroy_client_session(ftp_); }, Never);
  EXPECT_EQ(g_client_sessions.size(), 1u);
}

TEST_F(AllocFailureTest, InitializeStartsUpAsFarAsMemoryLasts) {
  const std::string client = ReadFile(SessionFile("ClientSession.xml"));
  for (int n = 1;; ++n) {
    ResetModuleState();
    WriteFile(SessionFile("ClientSession.xml"), client);
    ArmAllocationFailure(n);
    EXPECT_EQ(InitializeModule(reinterpret_cast<ICore*>(this)), 1u);
    const bool reached = DisarmAllocationFailure();
    EXPECT_EQ(RegistryDisagreement(), "") << "allocation " << n;
    if (!reached) break;
  }
  EXPECT_EQ(g_saved_client_sessions.size(), 2u);
}

}  // namespace
}  // namespace obexses::testing
