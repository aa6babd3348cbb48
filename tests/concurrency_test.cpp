// Several profile modules at work at once, with saving on: every thread creates, fills, saves,
// finds, enumerates, resumes, file-checks and destroys records of its own while one more thread
// stores and restores both files (ThreadSanitizer: the tsan preset). A restore frees the records
// saved before it, so the workers hold a shared gate while they use what they saved, the restorer
// an exclusive one (our own: MinGW's std::shared_mutex let the restorer in).

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/registry_helpers.h"

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

class Concurrency : public ModuleFixtureBase, public ::testing::Test {
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
    ClientSession* ftp = NewClient(0x1106, address, path, false);
    ClientSession* opp = tvr_create_client_session(0x1105);
    Inside using_saved(gate_, false);
    EXPECT_EQ(tvr_save_client_session(ftp), 1);
    ClientSession* found = tvr_find_client_session(address, path.c_str(), 0x1106);
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(tvr_enum_client_session(address, 0x1106, CountCall, calls), 1);
    EXPECT_EQ(tvr_resume_client_session(found), 1);
    EXPECT_EQ(tvr_client_transfer_file_changed(ftp), 0u);
    EXPECT_EQ(tvr_client_file_changed(ftp), 0u);
    tvr_client_file_size(ftp);
    EXPECT_EQ(tvr_destroy_client_session(found), 1);
    if (found != ftp) {
      EXPECT_EQ(tvr_destroy_client_session(ftp), 1);
    }
    EXPECT_EQ(tvr_destroy_client_session(opp), 1);
  }

  void ServerRound(int thread, int round, const std::string& file, std::atomic<int>* calls) {
    ServerSession* server = NewServer(0x1106, static_cast<uint8_t>(thread), env().app_data_u16(),
                                      text::FromUtf8(file), false);
    server->GoepServer_sessionId[1] = static_cast<uint8_t>(round);
    Inside using_saved(gate_, false);
    EXPECT_EQ(tvr_save_server_session(server), 1);
    EXPECT_EQ(tvr_find_server_session(server->session_id), server);
    EXPECT_EQ(tvr_resume_server_session(server), 1);
    EXPECT_EQ(tvr_server_file_changed(server), 0u);
    tvr_server_file_size(server);
    EXPECT_EQ(tvr_enum_server_session(0x1106, CountCall, calls), 1);
    uint8_t id[16];
    std::copy_n(server->session_id, 16, id);
    if (round % 2 == 0) {
      EXPECT_EQ(tvr_destroy_server_session(server), 1);
    } else {  // a rewritten transfer file: the find itself ends the session
      std::filesystem::last_write_time(env().app_data() / file,
                                       base_ + std::chrono::seconds(round) + std::chrono::hours(1));
      EXPECT_EQ(tvr_find_server_session(id), nullptr);
    }
    EXPECT_EQ(tvr_find_server_session(id), nullptr);
  }

  // Stores and restores both files until the workers are done.
  void StoreAndRestore(const std::atomic<bool>& done) {
    while (!done.load()) {
      tvr_store_client_session();
      tvr_store_server_session();
      Inside no_saved_record_in_use(gate_, true);
      EXPECT_EQ(tvr_restore_client_session(), 1);
      EXPECT_EQ(tvr_restore_server_session(), 1);
    }
  }

  Gate gate_;
  const std::filesystem::file_time_type base_ = BaseTime() - std::chrono::hours(1);
};

TEST_F(Concurrency, ServicesAndFileStoresFromSeveralThreadsAtOnce) {
  MakePaths();
  g_save_file = 1;
  g_debug_level = 3;  // the trace runs concurrently too
  ASSERT_EQ(tvr_store_client_session(), 1);
  ASSERT_EQ(tvr_store_server_session(), 1);
  std::atomic<bool> done{false};
  std::thread files([this, &done] { StoreAndRestore(done); });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([this, t] { Work(t); });
  for (std::thread& thread : threads) thread.join();
  done = true;
  files.join();
  EXPECT_EQ(RegistryDisagreement(), "");
}

}  // namespace
}  // namespace obexses::testing
