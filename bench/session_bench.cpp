// SPDX-License-Identifier: MIT
// The session files and the services in this process. The work on a file
// runs side by side with a baseline that does the same work on the same bytes
// (bench/side_by_side.h): the restores and the reader against pugixml's parse
// of the file, warm (in the same process, over and over); the store against a
// bare write of the same bytes, on a memory file system and on the disk. The
// services are timed as the saved set grows. The files are 1,000 and 10,000
// OPP client sessions as the store writes them (bench/sessions.h).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench/child.h"
#include "bench/sessions.h"
#include "bench/side_by_side.h"
#include "bench/table.h"
#include "persist/session_file.h"
#include "xml/xml_reader.h"

namespace obexses::bench {
namespace {

// The bytes of the client file of the benchmark's first argument.
const std::string& FileOf(const benchmark::State& state) {
  return ClientFile(static_cast<int>(state.range(0)));
}

void CountBytes(benchmark::State& state, const std::string& bytes) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

// ---- Reading the file ----

// pugixml's parse of the file's bytes (it finds the byte-order mark itself):
// the baseline of the warm parses and restores.
void PugixmlParse(const std::string& bytes) {
  pugi::xml_document document;
  benchmark::DoNotOptimize(document.load_buffer(bytes.data(), bytes.size()));
}

#define OBEXSES_WARM(name)                                                         \
  BENCHMARK(name)->Arg(1000)->Arg(10000)->Apply(ShortRuns)->UseManualTime()->Unit( \
      benchmark::kMillisecond)

// The reader alone, for where a restore's time goes.
void BM_ReaderParse(benchmark::State& state) {
  const std::string& bytes = FileOf(state);
  SideBySide pair(state);
  for (auto _ : state) {
    pair.Ours([&] {
      xml::CXMLReader reader;
      benchmark::DoNotOptimize(reader.LoadXMLBytes(bytes.data(), bytes.size()));
    });
  }
  pair.Baseline([&] { PugixmlParse(bytes); });
  CountBytes(state, bytes);
}
OBEXSES_WARM(BM_ReaderParse);

// The parse and the records of a client file, without the registry: the
// streaming read, each record freed as it arrives.
struct CountingSink final : persist::SessionSink<persist::ClientRecordDeepPtr> {
  void Take(persist::ClientRecordDeepPtr record, persist::ElementSpan) override {
    count += record != nullptr;
  }
  void Discard() override { count = 0; }
  size_t count = 0;
};

void BM_ReadClientFile(benchmark::State& state) {
  const std::string& bytes = FileOf(state);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  SideBySide pair(state);
  for (auto _ : state) {
    pair.Ours([&] {
      CountingSink sink;
      persist::ReadClientFile(units, bytes.size(), sink);
      benchmark::DoNotOptimize(sink.count);
    });
  }
  pair.Baseline([&] { PugixmlParse(bytes); });
  CountBytes(state, bytes);
}
OBEXSES_WARM(BM_ReadClientFile);

// Runs of "=" without quotes, among many small elements: each "=" looks for
// its quotes, and no walk may start again from the same place.
void BM_ReaderEqualsRuns(benchmark::State& state) {
  std::u16string text = u"<r>";
  for (int64_t i = 0; i < state.range(0); ++i) text += u"<a>==========</a>";
  text += u"'</r>";
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  for (auto _ : state) {
    xml::CXMLReader reader;
    benchmark::DoNotOptimize(reader.LoadXMLBytes(bytes.data(), bytes.size()));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReaderEqualsRuns)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity()
    ->Apply(WithSpread)
    ->Unit(benchmark::kMillisecond);

// Slot 11 at start-up, warm: nothing saved, the file on the disk holds the
// sessions. The restore reads them and rewrites the file from the (empty)
// saved set.
void BM_Restore(benchmark::State& state) {
  Configuration& disk = Disk();
  const std::string& bytes = FileOf(state);
  SideBySide pair(state);
  for (auto _ : state) {
    PutFile(disk.store().client_session_path(), bytes);
    pair.Ours([&] { disk.store().RestoreClientSession(); });
    if (DestroySavedClients(disk) != static_cast<size_t>(state.range(0))) {
      state.SkipWithError("the restore did not read every session");
    }
  }
  pair.Baseline([&] { PugixmlParse(bytes); });
}
OBEXSES_WARM(BM_Restore);

// Slot 11 while the same sessions are saved, the file as their last store
// wrote it: the rewrite would change nothing and is left out; the restore
// retires the saved sessions for the ones it read.
void BM_RestoreSaved(benchmark::State& state) {
  Configuration& disk = Disk();
  std::vector<ClientSession*> records = SaveClients(disk, static_cast<int>(state.range(0)));
  // A running module has restored before: the first restore, whose records
  // take memory the process never used, is not timed.
  disk.store().StoreClientSession();
  disk.store().RestoreClientSession();
  SideBySide pair(state);
  for (auto _ : state) {
    disk.store().StoreClientSession();
    pair.Ours([&] { disk.store().RestoreClientSession(); });
  }
  pair.Baseline([&] { PugixmlParse(FileOf(state)); });
  DestroySavedClients(disk);
}
OBEXSES_WARM(BM_RestoreSaved);

// ---- Writing the file ----

// The configuration of the benchmark's second argument; null, and the
// benchmark skipped, when the machine has no such file system.
Configuration* WhereOf(benchmark::State& state) {
  Configuration* where = OnMedium(state.range(1));
  if (where == nullptr) state.SkipWithError("no memory file system");
  return where;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

// A replacement with nothing else: the bytes written to a new file, moved
// over the file; when durable, the new file synced before the move and the
// folder after it.
bool BareReplace(const std::string& folder, const std::string& bytes, bool durable) {
  const std::string target = folder + "/Bare.xml";
  const std::string temporary = target + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && (!durable || ::fsync(fd) == 0);
  ok = ::close(fd) == 0 && ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  return ok && (!durable || SyncFolder(folder));
}

// Slot 10: the whole file from the saved sessions, beside a bare replacement
// with the same bytes next to the session file: durable on the disk (what a
// user waits for), not in memory (what the store's own work is measured
// against).
void BM_Store(benchmark::State& state) {
  Configuration* where = WhereOf(state);
  if (where == nullptr) return;
  std::vector<ClientSession*> records = SaveClients(*where, static_cast<int>(state.range(0)));
  // A running module's store has made its room for the text before: the
  // first store, which makes it, is not timed.
  where->store().StoreClientSession();
  SideBySide pair(state);
  for (auto _ : state) {
    int32_t stored = 0;
    pair.Ours([&] { stored = where->store().StoreClientSession(); });
    if (stored != 1) state.SkipWithError("the store failed");
  }
  const bool durable = state.range(1) == kDisk;
  pair.Baseline([&] {
    if (!BareReplace(where->session_folder(), FileOf(state), durable)) {
      state.SkipWithError("cannot write");
    }
  });
  DestroyClients(*where, records);
}
BENCHMARK(BM_Store)
    ->ArgsProduct({{1000, 10000}, {kDisk, kMemory}})
    ->Apply(ShortRuns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- The services as the saved set grows ----

// Look-ups and resumes go round 64 sessions spread over the saved set, so
// that they time the service rather than the memory's distance.
std::vector<ClientSession*> Spread(const std::vector<ClientSession*>& records) {
  std::vector<ClientSession*> some;
  for (size_t i = 0; i < 64; ++i) some.push_back(records[i * records.size() / 64]);
  return some;
}

void BM_Find(benchmark::State& state) {
  std::vector<ClientSession*> records = SaveClients(Disk(), static_cast<int>(state.range(0)));
  const std::vector<ClientSession*> some = Spread(records);
  size_t i = 0;
  for (auto _ : state) {
    const ClientSession* wanted = some[i++ % some.size()];
    benchmark::DoNotOptimize(
        Disk().store().FindClientSession(wanted->bdaddr, wanted->file_name, OBEXSES_PROFILE_OPP));
  }
  DestroyClients(Disk(), records);
}

void BM_Resume(benchmark::State& state) {
  std::vector<ClientSession*> records = SaveClients(Disk(), static_cast<int>(state.range(0)));
  const std::vector<ClientSession*> some = Spread(records);
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(Disk().store().ResumeClientSession(some[i++ % some.size()]));
  DestroyClients(Disk(), records);
}

// Save and destroy of batches of fresh sessions among count saved ones; only
// the services themselves are timed, a whole batch per iteration (kBatch
// calls), with its CPU time as cpu_s.
template <bool kTimeSave>
void SaveOrDestroy(benchmark::State& state) {
  Configuration& disk = Disk();
  SessionStore& store = disk.store();
  const int count = static_cast<int>(state.range(0));
  std::vector<ClientSession*> records = SaveClients(disk, count);
  int next = count;
  double cpu = 0;
  for (auto _ : state) {
    std::vector<ClientSession*> batch;
    for (int k = 0; k < kBatch; ++k) batch.push_back(NewClient(store, next++));
    disk.WithoutFile([&] {
      const Timed saves([&] {
        for (ClientSession* record : batch) store.SaveClientSession(record);
      });
      const Timed destroys([&] {
        for (ClientSession* record : batch) store.DestroyClientSession(record);
      });
      const Timed& timed = kTimeSave ? saves : destroys;
      state.SetIterationTime(timed.wall);
      cpu += timed.cpu;
    });
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  DestroyClients(disk, records);
}

void BM_Save(benchmark::State& state) {
  SaveOrDestroy<true>(state);
}
void BM_Destroy(benchmark::State& state) {
  SaveOrDestroy<false>(state);
}

#define OBEXSES_SERVICE(name) \
  BENCHMARK(name)             \
      ->Arg(1000)             \
      ->Arg(10000)            \
      ->Arg(100000)           \
      ->Apply(WithSpread)     \
      ->Unit(benchmark::kNanosecond)
OBEXSES_SERVICE(BM_Find);
OBEXSES_SERVICE(BM_Resume);
OBEXSES_SERVICE(BM_Save)->UseManualTime();
OBEXSES_SERVICE(BM_Destroy)->UseManualTime();

}  // namespace
}  // namespace obexses::bench
