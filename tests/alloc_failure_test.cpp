// SPDX-License-Identifier: MIT
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

// What a failed call must have left alone: the saved sessions, every held record and the files.
struct Snapshot {
  StoreContents contents;
  std::string client_file, server_file;
  bool operator==(const Snapshot&) const = default;
};

// Failure values: a null record, a zero result, or none (every result stands).
constexpr auto IsNull = [](void* record) { return record == nullptr; };
constexpr auto IsZero = [](int32_t result) { return result == 0; };
constexpr auto Never = [](int32_t) { return false; };

class AllocFailureTest : public ::testing::Test, protected StoreFixture {
 protected:
  AllocFailureTest() {
    MakePaths();
    SetSaveFile(1);
    WriteFileAt(env().app_data() / "notes.txt", 4, BaseTime());
    opp_ = NewClient(store(), OBEXSES_PROFILE_OPP, kPhone, u"photo.jpg");
    ftp_ = NewClient(store(), OBEXSES_PROFILE_FTP, kPhone, u"report.pdf");
    server_ = NewServer(store(), OBEXSES_PROFILE_FTP, 7, env().app_data_u16(), u"notes.txt");
    NewServer(store(), OBEXSES_PROFILE_OPP, 8, env().app_data_u16(), u"song.mp3");
    store().StoreClientSession();
  }

  Snapshot Take() {
    Snapshot snapshot;
    snapshot.contents = store().Contents();
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
      EXPECT_EQ(store().Inconsistency(), "") << "allocation " << n;
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
  void SweepSave(int32_t (SessionStore::*save)(Record*), Record* record,
                 std::u16string_view new_key) {
    int32_t saved = 0;
    const auto entry_stands = [&] {
      const StoreContents contents = store().Contents();
      const auto& entries =
          std::is_same_v<Record, ClientSession> ? contents.client_saved : contents.server_saved;
      auto entry = std::find_if(entries.begin(), entries.end(),
                                [&](const auto& e) { return e.second == record; });
      EXPECT_TRUE(entry != entries.end() &&
                  (saved != 1 || entry->first.find(new_key) != std::u16string::npos));
    };
    Sweep<int32_t>([&] { return saved = (store().*save)(record); }, Never, false, entry_stands);
  }

  ClientSession* opp_;
  ClientSession* ftp_;
  ServerSession* server_;
};

TEST_F(AllocFailureTest, CreateSaveFindAndEnumerateFailWhole) {
  Sweep<void*>([this] { return store().CreateClientSession(OBEXSES_PROFILE_FTP); }, IsNull);
  Sweep<void*>([this] { return store().CreateServerSession(OBEXSES_PROFILE_OPP); }, IsNull);
  ArmAllocationFailure(1);  // a client find needs no memory at all
  EXPECT_NE(store().FindClientSession(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP), nullptr);
  EXPECT_FALSE(DisarmAllocationFailure());
  Sweep<void*>([this] { return store().FindServerSession(server_->session_id); }, IsNull);
  int calls = 0;
  auto count = [](void*, void* context) { ++*static_cast<int*>(context); };
  Sweep<int32_t>(
      [&] { return store().EnumClientSession(kPhone, OBEXSES_PROFILE_OPP, count, &calls); },
      IsZero);
  Sweep<int32_t>([&] { return store().EnumServerSession(OBEXSES_PROFILE_FTP, count, &calls); },
                 IsZero);
  SetText(opp_->file_name, u"renamed.jpg");
  SweepSave(&SessionStore::SaveClientSession, opp_, u"renamed.jpg");
  server_->GoepServer_sessionId[0] = 0x70;
  SweepSave(&SessionStore::SaveServerSession, server_, u"server_70");
}

// A restore that answers 1 has installed what its file holds: new records
// under the keys the file gives.
TEST_F(AllocFailureTest, StoresKeepTheOldFileAndRestoresTheOldSet) {
  store().SaveClientSession(NewClient(store(), OBEXSES_PROFILE_OPP, kPhone, u"more.jpg", false));
  const struct {
    int32_t (SessionStore::*call)();
    const char* file;
  } stores[] = {{&SessionStore::StoreClientSession, "ClientSession.xml"},
                {&SessionStore::StoreServerSession, "ServerSession.xml"}};
  for (const auto& [call, file] : stores) {
    ASSERT_EQ((store().*call)(), 1);
    const std::string written = ReadFile(SessionFile(file));
    // Each store finds a file other than the one it writes: one that says 1
    // wrote it whole, whatever allocation failed on its way; one that says 0
    // left it as it was.
    const std::string outdated = "outdated";
    WriteFile(SessionFile(file), outdated);
    int32_t result = 0;
    Sweep<int32_t>([&] { return result = (store().*call)(); }, IsZero, false,
                   [&] {
                     EXPECT_EQ(ReadFile(SessionFile(file)), result == 1 ? written : outdated);
                     WriteFile(SessionFile(file), outdated);
                   });
    WriteFile(SessionFile(file), written);
  }
  for (bool client : {true, false}) {
    const auto restore =
        client ? &SessionStore::RestoreClientSession : &SessionStore::RestoreServerSession;
    const auto saved = [&] {
      StoreContents contents = store().Contents();
      return client ? contents.client_saved : contents.server_saved;
    };
    auto before = saved();
    int32_t result = 0;
    Sweep<int32_t>([&] { return result = (store().*restore)(); }, IsZero, false,
                   [&] {
                     const auto now = saved();
                     ASSERT_EQ(now.size(), before.size());
                     for (size_t i = 0; i < now.size() && result == 1; ++i) {
                       EXPECT_EQ(now[i].first, before[i].first);
                       EXPECT_NE(now[i].second, before[i].second)
                           << "a restore that said 1 installed nothing";
                     }
                     before = now;
                   });
  }
}

// The file checks answer 0 for a file they could not look at; a destroy
// destroys, whatever becomes of its store.
TEST_F(AllocFailureTest, FileChecksGiveZeroAndDestroysStillDestroy) {
  WriteFileAt(env().app_data() / "notes.txt", 4, BaseTime() + std::chrono::seconds(1));
  WriteFileAt(env().app_data() / "report.pdf", 9, BaseTime());
  SetText(ftp_->file_name, ModulePath(env(), "report.pdf"));
  for (auto check : {&SessionStore::ClientFileChanged, &SessionStore::ClientTransferFileChanged,
                     &SessionStore::ClientFileSize}) {
    Sweep<int32_t>([&] { return static_cast<int32_t>((store().*check)(ftp_)); }, IsZero, true);
  }
  for (auto check : {&SessionStore::ServerFileChanged, &SessionStore::ServerTransferFileChanged,
                     &SessionStore::ServerFileSize}) {
    Sweep<int32_t>([&] { return static_cast<int32_t>((store().*check)(server_)); }, IsZero, true);
  }
  Sweep<int32_t>([this] { return store().DestroyClientSession(ftp_); }, Never);
  EXPECT_EQ(store().Contents().client_held.size(), 1u);
}

TEST_F(AllocFailureTest, InitializeStartsUpAsFarAsMemoryLasts) {
  const std::string client = ReadFile(SessionFile("ClientSession.xml"));
  for (int n = 1;; ++n) {
    Restart();
    WriteFile(SessionFile("ClientSession.xml"), client);
    ArmAllocationFailure(n);
    EXPECT_EQ(InitializeModule(store(), reinterpret_cast<ICore*>(this)), 1u);
    const bool reached = DisarmAllocationFailure();
    EXPECT_EQ(store().Inconsistency(), "") << "allocation " << n;
    if (!reached) break;
  }
  EXPECT_EQ(store().Contents().client_saved.size(), 2u);
}

}  // namespace
}  // namespace obexses::testing
