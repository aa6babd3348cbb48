// SPDX-License-Identifier: MIT
// Several profile modules at work at once, with saving on: every thread creates, fills, saves,
// finds, enumerates, resumes, file-checks and destroys records of its own while one more thread
// stores and restores both files (ThreadSanitizer: the tsan preset). A restore frees the records
// saved before it, so the workers hold a shared gate while they use what they saved, the restorer
// an exclusive one (our own: MinGW's std::shared_mutex let the restorer in).

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "persist/session_file.h"
#include "platform/durable_file.h"
#include "tests/registry_helpers.h"
#include "tests/support/session_oracle.h"

namespace obexses::testing {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 40;

void CountCall(void*, void* context) {
  static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

// Lets the workers use their saved records together, or the restorer run
// alone.
class Gate {
 public:
  void Enter(bool restorer) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (restorer) restoring_ = true;
    changed_.wait(lock, [&] { return restorer ? users_ == 0 : !restoring_; });
    if (!restorer) ++users_;
  }
  void Leave(bool restorer) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      restorer ? restoring_ = false : --users_;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int users_ = 0;
  bool restoring_ = false;
};

// Holds the gate for one scope.
class Inside {
 public:
  Inside(Gate& gate, bool restorer) : gate_(gate), restorer_(restorer) { gate_.Enter(restorer_); }
  ~Inside() { gate_.Leave(restorer_); }

 private:
  Gate& gate_;
  bool restorer_;
};

class Concurrency : public StoreFixture, public ::testing::Test {
 protected:
  // One thread's work: its own device address, session ids and transfer file.
  void Work(int thread) {
    const std::string file = "thread" + std::to_string(thread) + ".bin";
    const std::u16string path = ModulePath(env(), file);
    const uint8_t address[6] = {0xC0, 0, 0, 0, 0, static_cast<uint8_t>(thread)};
    std::atomic<int> calls{0};
    for (int round = 0; round < kRounds; ++round) {
      WriteFileAt(env().app_data() / file, round, base_ + std::chrono::seconds(round));
      ClientRound(address, path, &calls);
      ServerRound(thread, round, file, &calls);
    }
    EXPECT_GE(calls.load(), kRounds);
  }

  // A restored copy of an earlier round's session may hold the key: the find
  // then gives that one, and both go.
  void ClientRound(const uint8_t* address, const std::u16string& path, std::atomic<int>* calls) {
    ClientSession* ftp = NewClient(store(), 0x1106, address, path, false);
    ClientSession* opp = store().CreateClientSession(0x1105);
    Inside using_saved(gate_, false);
    EXPECT_EQ(store().SaveClientSession(ftp), 1);
    ClientSession* found = store().FindClientSession(address, path.c_str(), 0x1106);
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(store().EnumClientSession(address, 0x1106, CountCall, calls), 1);
    EXPECT_EQ(store().ResumeClientSession(found), 1);
    EXPECT_EQ(store().ClientTransferFileChanged(ftp), 0u);
    EXPECT_EQ(store().ClientFileChanged(ftp), 0u);
    store().ClientFileSize(ftp);
    EXPECT_EQ(store().DestroyClientSession(found), 1);
    if (found != ftp) {
      EXPECT_EQ(store().DestroyClientSession(ftp), 1);
    }
    EXPECT_EQ(store().DestroyClientSession(opp), 1);
  }

  void ServerRound(int thread, int round, const std::string& file, std::atomic<int>* calls) {
    ServerSession* server = NewServer(store(), 0x1106, static_cast<uint8_t>(thread),
                                      env().app_data_u16(), text::FromUtf8(file), false);
    server->GoepServer_sessionId[1] = static_cast<uint8_t>(round);
    Inside using_saved(gate_, false);
    EXPECT_EQ(store().SaveServerSession(server), 1);
    EXPECT_EQ(store().FindServerSession(server->session_id), server);
    EXPECT_EQ(store().ResumeServerSession(server), 1);
    EXPECT_EQ(store().ServerFileChanged(server), 0u);
    store().ServerFileSize(server);
    EXPECT_EQ(store().EnumServerSession(0x1106, CountCall, calls), 1);
    uint8_t id[16];
    std::copy_n(server->session_id, 16, id);
    if (round % 2 == 0) {
      EXPECT_EQ(store().DestroyServerSession(server), 1);
    } else {  // a rewritten transfer file: the find itself ends the session
      std::filesystem::last_write_time(env().app_data() / file,
                                       base_ + std::chrono::seconds(round) + std::chrono::hours(1));
      EXPECT_EQ(store().FindServerSession(id), nullptr);
    }
    EXPECT_EQ(store().FindServerSession(id), nullptr);
  }

  // Stores and restores both files until the workers are done.
  void StoreAndRestore(const std::atomic<bool>& done) {
    while (!done.load()) {
      store().StoreClientSession();
      store().StoreServerSession();
      Inside no_saved_record_in_use(gate_, true);
      EXPECT_EQ(store().RestoreClientSession(), 1);
      EXPECT_EQ(store().RestoreServerSession(), 1);
    }
  }

  // Savers of new records while the file is read over and over, with that
  // many other sessions saved before (see the tests below).
  void SaversNeverTakeTheFileBack(int saves, int background);

  Gate gate_;
  const std::filesystem::file_time_type base_ = BaseTime() - std::chrono::hours(1);
};

TEST_F(Concurrency, ServicesAndFileStoresFromSeveralThreadsAtOnce) {
  MakePaths();
  SetSaveFile(1);
  SetDebugLevel(3);  // the trace runs concurrently too
  ASSERT_EQ(store().StoreClientSession(), 1);
  ASSERT_EQ(store().StoreServerSession(), 1);
  std::atomic<bool> done{false};
  std::thread files([this, &done] { StoreAndRestore(done); });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([this, t] { Work(t); });
  for (std::thread& thread : threads) thread.join();
  done = true;
  files.join();
  EXPECT_EQ(store().Inconsistency(), "");
}

// ---- Races the store must win: no lock held across the disk, no freed record handed out ----

constexpr uint8_t kDevice[6] = {0xD0, 0, 0, 0, 0, 1};

// Reads the record it is handed; destroys every third.
void ReadAndSometimesDestroy(void* record, void* context) {
  auto* client = static_cast<ClientSession*>(record);
  volatile char16_t first = client->file_name[0];
  (void)first;
  auto* store = static_cast<SessionStore*>(context);
  if (reinterpret_cast<uintptr_t>(record) % 3 == 0) store->DestroyClientSession(client);
}

// Under AddressSanitizer (and ThreadSanitizer), enumerations racing destroys
// and restores never call back a freed record.
TEST_F(Concurrency, EnumerationsRacingDestroysAndRestoresHandOutNoFreedRecord) {
  MakePaths();
  SetSaveFile(1);
  for (int i = 0; i < 4; ++i) {
    NewClient(store(), 0x1105, kDevice, u"restored" + std::u16string(1, u'0' + i));
  }
  SetSaveFile(0);
  std::atomic<bool> done{false};
  std::thread destroyer([&] {
    for (int round = 0; round < 200; ++round) {
      std::vector<ClientSession*> made;
      for (int i = 0; i < 6; ++i) {
        made.push_back(NewClient(store(), 0x1105, kDevice, u"n" + std::u16string(1, u'a' + i)));
      }
      // A restore may have retired them meanwhile: the store answers 0, reading nothing.
      for (ClientSession* record : made) store().DestroyClientSession(record);
    }
    done = true;
  });
  std::thread restorer([&] {
    while (!done) EXPECT_EQ(store().RestoreClientSession(), 1);
  });
  while (!done) {
    EXPECT_EQ(store().EnumClientSession(kDevice, 0x1105, ReadAndSometimesDestroy, &store()), 1);
  }
  destroyer.join();
  restorer.join();
  EXPECT_EQ(store().Inconsistency(), "");
}

// With saving off only the restore writes, and only the set saved before it:
// a store meanwhile never writes the restored sessions.
TEST_F(Concurrency, StoresRacingARestoreWithSavingOffNeverWrite) {
  MakePaths();
  const fs::path file = env().app_data() / "Velmora" / "Session" / "ClientSession.xml";
  SetSaveFile(1);
  NewClient(store(), 0x1105, kDevice, u"young.jpg");
  const std::string with_session = ReadFile(file);
  store().DestroyClientSession(store().FindClientSession(kDevice, u"young.jpg", 0x1105));
  const std::string empty = ReadFile(file);
  for (int round = 0; round < 100; ++round) {
    Restart();
    MakePaths();
    WriteFile(file, with_session);
    std::thread storer([&] { EXPECT_EQ(store().StoreClientSession(), 1); });
    EXPECT_EQ(store().RestoreClientSession(), 1);
    storer.join();
    ASSERT_EQ(ReadFile(file), empty) << round;
  }
}

// Several savers, each saving a new record of its own name and number and
// then destroying the one before, while another thread reads the file: the
// highest number of a saver in the file never goes back, and at the end the
// file holds each saver's last record. (A profile module keeps its changes to
// a saved record apart from other threads' stores: here nothing saved changes.)
void Concurrency::SaversNeverTakeTheFileBack(int saves, int background) {
  MakePaths();
  for (int i = 0; i < background; ++i) {
    NewClient(store(), 0x1105, kDevice, text::FromUtf8("bg_" + std::to_string(i)));
  }
  SetSaveFile(1);
  constexpr int kSavers = 4;
  const int kSaves = saves;
  const auto name = [](int saver, int n) {
    return text::FromUtf8("t" + std::to_string(saver) + "_" + std::to_string(1000 + n));
  };
  std::atomic<int> running{kSavers};
  std::vector<std::thread> savers;
  for (int t = 0; t < kSavers; ++t) {
    savers.emplace_back([&, t] {
      ClientSession* previous = nullptr;
      for (int n = 1; n <= kSaves; ++n) {
        ClientSession* record = NewClient(store(), 0x1105, kDevice, name(t, n), false);
        EXPECT_EQ(store().SaveClientSession(record), 1);
        if (previous != nullptr) {
          EXPECT_EQ(store().DestroyClientSession(previous), 1);
        }
        previous = record;
      }
      --running;
    });
  }
  std::map<std::u16string, std::u16string> highest;  // by saver: its highest name in the file
  const std::u16string path = store().client_session_path();
  const auto check = [&] {
    std::u16string units;
    size_t bytes = 0;
    std::map<std::u16string, std::u16string> now;
    if (!platform::ReadFileUnits(&env(), path, persist::kMaxFileBytes, &units, &bytes).ok()) return;
    Collected<persist::ClientRecordDeepPtr> read;
    persist::ReadClientFile(units, bytes, read);
    for (const auto& record : read.records) {
      const std::u16string file_name = record->file_name;
      std::u16string& top = now[file_name.substr(0, 2)];
      top = std::max(top, file_name);
    }
    for (const auto& [saver, top] : now) {
      EXPECT_GE(top, highest[saver]) << text::ToUtf8(saver);
      highest[saver] = top;
    }
  };
  while (running > 0) {
    check();
    // A reader lets the file go now and then, as a real one does: on Windows
    // no file can be moved over one that is open.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  for (std::thread& saver : savers) saver.join();
  check();
  const StoreContents contents = store().Contents();
  ASSERT_EQ(contents.client_saved.size(), static_cast<size_t>(kSavers + background));
  for (int t = 0; t < kSavers; ++t) EXPECT_EQ(highest[name(t, 0).substr(0, 2)], name(t, kSaves));
}

TEST_F(Concurrency, StoresOfSeveralThreadsNeverTakeTheFileBack) {
  SaversNeverTakeTheFileBack(40, 0);
}

// The same with some 1.3 MB of other sessions saved: each store writes the
// set in pieces, and some find it changed between two of them.
TEST_F(Concurrency, StoresInPiecesOfSeveralThreadsNeverTakeTheFileBack) {
  SaversNeverTakeTheFileBack(8, 450);
}

// Another process holding the lock file delays the thread that stores, for
// the store's bound at most, and no one else: meanwhile find, create and
// enumerate answer, and the store then fails with the old file intact.
TEST_F(Concurrency, ALockFileHeldElsewhereDelaysOnlyTheStore) {
  Restart(std::chrono::seconds(2));
  MakePaths();
  SetSaveFile(1);
  SetDebugLevel(2);
  ClientSession* saved = NewClient(store(), 0x1105, kDevice, u"saved.jpg");
  const std::u16string path = store().client_session_path();
  const std::string before =
      ReadFile(env().app_data() / "Velmora" / "Session" / "ClientSession.xml");
  // As another process holds it: a lock of the same file through another handle.
  std::unique_ptr<platform::FileLock> held;
  ASSERT_TRUE(platform::LockForReplace(&env(), path, std::chrono::milliseconds(0), &held).ok());
  std::atomic<bool> stored{false};
  std::thread storer([&] {
    EXPECT_EQ(store().StoreClientSession(), 0);
    stored = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the storer is waiting now
  int calls = 0;
  EXPECT_EQ(store().FindClientSession(kDevice, u"saved.jpg", 0x1105), saved);
  ClientSession* made = store().CreateClientSession(0x1106);
  EXPECT_EQ(store().EnumClientSession(kDevice, 0x1105, CountCall, &calls), 1);
  EXPECT_FALSE(stored) << "a service waited for the store";
  storer.join();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ReadFile(env().app_data() / "Velmora" / "Session" / "ClientSession.xml"), before);
  EXPECT_EQ(env().trace_lines().back(),
            "\nTavrin: tvr_store_client_session ,open failed " + text::ToUtf8(path) + "\n");
  held.reset();
  EXPECT_EQ(store().DestroyClientSession(made), 1);
  EXPECT_EQ(store().StoreClientSession(), 1);
}

}  // namespace
}  // namespace obexses::testing
