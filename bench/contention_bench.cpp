// SPDX-License-Identifier: MIT
// The services while a store waits: finds on one thread while another saves
// with saving on, on the real disk and on a slow one; finds, creates and
// enumerations while another process holds the lock file; and saves per
// second from one thread and from four. Each runs on a store and a folder of
// its own on the disk; the figures are counters, which the table shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_env.h"
#include "bench/child.h"
#include "bench/table.h"
#include "host/host.h"
#include "platform/durable_file.h"
#include "registry/session_store.h"
#include "text/wide.h"

namespace obexses::bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A file whose syncs take sync_delay longer.
class SlowFile : public platform::WritableFile {
 public:
  SlowFile(std::unique_ptr<platform::WritableFile> file, milliseconds delay)
      : file_(std::move(file)), delay_(delay) {}
  platform::Status Append(std::string_view bytes) override { return file_->Append(bytes); }
  platform::Status Sync() override {
    std::this_thread::sleep_for(delay_);
    return file_->Sync();
  }
  platform::Status Close() override { return file_->Close(); }

 private:
  std::unique_ptr<platform::WritableFile> file_;
  milliseconds delay_;
};

// Files whose syncs, and the folders', take sync_delay longer.
class ContentionEnv : public FolderEnv {
 public:
  ContentionEnv(const std::string& folder, milliseconds sync_delay)
      : FolderEnv(folder), sync_delay_(sync_delay) {}

  platform::Status CreateExclusive(const std::u16string& path,
                                   std::unique_ptr<platform::WritableFile>* file) override {
    const platform::Status status = FolderEnv::CreateExclusive(path, file);
    if (status.ok() && sync_delay_.count() != 0) {
      *file = std::make_unique<SlowFile>(std::move(*file), sync_delay_);
    }
    return status;
  }
  platform::Status SyncFolder(const std::u16string& path) override {
    std::this_thread::sleep_for(sync_delay_);
    return FolderEnv::SyncFolder(path);
  }

 private:
  milliseconds sync_delay_;
};

// A store in a folder of its own on the disk, with count saved OPP client
// sessions of one device and saving on.
class Sessions {
 public:
  // Null, and the benchmark skipped, when the folder cannot be made.
  static std::unique_ptr<Sessions> Open(benchmark::State& state, milliseconds sync_delay,
                                        int count) {
    std::unique_ptr<ScratchFolder> folder = ScratchFolder::Under(DiskBase());
    if (folder == nullptr) {
      state.SkipWithError("cannot make a folder");
      return nullptr;
    }
    return std::unique_ptr<Sessions>(new Sessions(std::move(folder), sync_delay, count));
  }
  SessionStore& store() { return store_; }
  const ClientSession* record(size_t i) const { return records_[i % records_.size()]; }

  // A new session of the device, saved when asked.
  ClientSession* Make(int index, bool save) {
    ClientSession* record = store_.CreateClientSession(OBEXSES_PROFILE_OPP);
    std::memcpy(record->bdaddr, kDevice, 6);
    const std::u16string name = text::FromUtf8("IMG_" + std::to_string(index) + ".jpg");
    std::copy(name.begin(), name.end(), record->file_name);
    if (save) store_.SaveClientSession(record);
    return record;
  }

  static constexpr uint8_t kDevice[6] = {0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13};

 private:
  Sessions(std::unique_ptr<ScratchFolder> folder, milliseconds sync_delay, int count)
      : folder_(std::move(folder)),
        env_(folder_->path(), sync_delay),
        settings_(1),
        store_(BenchPlatform(&settings_, &env_), SessionStore::AtEnd::kFreeRecords) {
    store_.MakePaths();
    for (int i = 0; i < count; ++i) records_.push_back(Make(i, true));
    store_.ReadSettings();  // saving on from here
    store_.StoreClientSession();
  }

  std::unique_ptr<ScratchFolder> folder_;
  ContentionEnv env_;
  BenchSettings settings_;
  SessionStore store_;
  std::vector<ClientSession*> records_;
};

// Latencies of calls, in microseconds: the longest, the median, the 99th.
class Latencies {
 public:
  template <typename Call>
  void Time(Call call) {
    const auto start = Clock::now();
    call();
    micros_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  void Report(benchmark::State& state, const std::string& what) {
    if (micros_.empty()) return;
    std::sort(micros_.begin(), micros_.end());
    state.counters[what + "_longest_us"] = micros_.back();
    state.counters[what + "_p50_us"] = micros_[micros_.size() / 2];
    state.counters[what + "_p99_us"] = micros_[micros_.size() * 99 / 100];
    state.counters[what + "_calls"] = static_cast<double>(micros_.size());
  }

 private:
  std::vector<double> micros_;
};

void NoteCall(void*, void* count) {
  ++*static_cast<int*>(count);
}

// Finds for three seconds while another thread saves in a loop, with every
// sync of the disk delayed by the argument (ms).
void BM_FindWhileSaving(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<Sessions> opened =
        Sessions::Open(state, milliseconds(state.range(0)), 200);
    if (opened == nullptr) break;
    Sessions& sessions = *opened;
    std::atomic<bool> done{false};
    int saves = 0;
    std::thread saver([&] {
      for (int i = 0; !done; ++i) {
        sessions.store().SaveClientSession(const_cast<ClientSession*>(sessions.record(i)));
        ++saves;
      }
    });
    Latencies finds;
    const auto end = Clock::now() + std::chrono::seconds(3);
    for (size_t i = 0; Clock::now() < end; ++i) {
      const ClientSession* wanted = sessions.record(i);
      finds.Time([&] {
        benchmark::DoNotOptimize(sessions.store().FindClientSession(
            wanted->bdaddr, wanted->file_name, OBEXSES_PROFILE_OPP));
      });
    }
    done = true;
    saver.join();
    finds.Report(state, "find");
    state.counters["saves"] = saves;
  }
}
BENCHMARK(BM_FindWhileSaving)
    ->Arg(0)
    ->Arg(50)
    ->Iterations(1)
    ->Apply(WithSpread)
    ->Unit(benchmark::kSecond);

// Another process takes the client file's lock and holds it for ten seconds.
int HoldLock(const std::string& path, int seconds) {
  std::unique_ptr<platform::FileLock> lock;
  if (!platform::LockForReplace(platform::Env::Default(), text::FromUtf8(path), milliseconds(0),
                                &lock)
           .ok()) {
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return 0;
}

// While another process holds the lock file: a save waits for the store's
// bound and fails, and finds, creates and enumerations go on meanwhile.
void BM_ServicesWhileLockHeld(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<Sessions> opened = Sessions::Open(state, milliseconds(0), 200);
    if (opened == nullptr) break;
    Sessions& sessions = *opened;
    const std::string path = text::ToUtf8(sessions.store().client_session_path());
    int held = -1;
    std::thread holder([&] {
      held = host::RunProgram({host::ExecutablePath(), "--child", "hold-lock", path, "10"});
    });
    std::this_thread::sleep_for(milliseconds(500));  // the holder has the lock now
    int32_t saved = -1;
    double save_seconds = 0;
    std::thread saver([&] {
      const auto start = Clock::now();
      saved = sessions.store().SaveClientSession(sessions.Make(1000, false));
      save_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    });
    Latencies finds, creates, enumerations;
    int calls = 0;
    const auto end = Clock::now() + std::chrono::seconds(8);
    for (size_t i = 0; Clock::now() < end; ++i) {
      const ClientSession* wanted = sessions.record(i);
      finds.Time([&] {
        sessions.store().FindClientSession(wanted->bdaddr, wanted->file_name, OBEXSES_PROFILE_OPP);
      });
      ClientSession* made = nullptr;
      creates.Time([&] { made = sessions.store().CreateClientSession(OBEXSES_PROFILE_OPP); });
      sessions.store().DestroyClientSession(made);
      enumerations.Time([&] {
        sessions.store().EnumClientSession(Sessions::kDevice, OBEXSES_PROFILE_OPP, NoteCall,
                                           &calls);
      });
      std::this_thread::sleep_for(milliseconds(1));
    }
    saver.join();
    holder.join();
    if (held != 0) state.SkipWithError("the lock holder failed");
    finds.Report(state, "find");
    creates.Report(state, "create");
    enumerations.Report(state, "enumerate");
    state.counters["save_result"] = saved;
    state.counters["save_s"] = save_seconds;
  }
}
BENCHMARK(BM_ServicesWhileLockHeld)->Iterations(1)->Apply(WithSpread)->Unit(benchmark::kSecond);

// Saves with saving on, each thread its own sessions, for three seconds.
void BM_SavesPerSecond(benchmark::State& state) {
  for (auto _ : state) {
    const int threads = static_cast<int>(state.range(0));
    const std::unique_ptr<Sessions> opened = Sessions::Open(state, milliseconds(0), 200);
    if (opened == nullptr) break;
    Sessions& sessions = *opened;
    std::vector<ClientSession*> mine;
    for (int t = 0; t < threads; ++t) mine.push_back(sessions.Make(2000 + t, false));
    std::atomic<long> saves{0};
    const auto end = Clock::now() + std::chrono::seconds(3);
    std::vector<std::thread> savers;
    for (int t = 0; t < threads; ++t) {
      savers.emplace_back([&, t] {
        while (Clock::now() < end) {
          if (sessions.store().SaveClientSession(mine[t]) == 1) ++saves;
        }
      });
    }
    for (std::thread& saver : savers) saver.join();
    state.counters["saves_per_s"] = static_cast<double>(saves) / 3;
  }
}
BENCHMARK(BM_SavesPerSecond)
    ->Arg(1)
    ->Arg(4)
    ->Iterations(1)
    ->Apply(WithSpread)
    ->Unit(benchmark::kSecond);

}  // namespace

// The child process of BM_ServicesWhileLockHeld.
std::optional<int> RunContentionChild(const std::vector<std::string>& arguments) {
  if (arguments.size() != 3 || arguments[0] != "hold-lock") return std::nullopt;
  return HoldLock(arguments[1], std::stoi(arguments[2]));
}

}  // namespace obexses::bench
