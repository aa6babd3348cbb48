// Where the time goes, each measure beside its baseline in the same run on the
// same bytes: the session files (restore against pugixml's parse, store
// against a plain durable replacement), the services as the saved set grows,
// the start-up of a host process, and the memory a restore needs. After the
// runs a table of the ratios is printed.
//
// The files live in a private folder under the system's temporary folder, or
// under OBEXSES_BENCH_DIR when that is set. OBEXSES_BENCH_LIBRARY names
// another build of the library for the start-up to load. Saving to the file is off while
// save and destroy are timed: the rewrite that follows them is the store's
// cost, measured on its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "obexses/obexses.h"
#include "persist/session_file.h"
#include "platform/durable_file.h"
#include "platform/platform.h"
#include "records/record_memory.h"
#include "registry/session_store.h"
#include "text/wide.h"
#include "xml/xml_reader.h"

namespace {

using namespace obexses;
using Clock = std::chrono::steady_clock;

// ---- The module's folder and the sessions in it ----

std::string g_folder;  // the application-data folder

// The settings as the benchmark says: ObexSesSaveFile, and nothing else.
class BenchSettings : public platform::SettingsStore {
 public:
  platform::SettingStatus QueryDword(const char16_t* name, uint32_t* value) override {
    if (std::u16string_view(name) != u"ObexSesSaveFile") return platform::SettingStatus::kMissing;
    *value = save_file;
    return platform::SettingStatus::kRead;
  }
  std::u16string Location() override { return u"benchmark"; }
  uint32_t save_file = 1;
};

BenchSettings g_settings;

platform::Env* Env() {
  return platform::Env::Default();
}

SessionStore& Store() {
  static SessionStore store = [] {
    platform::Platform seams = platform::Platform::Default();
    seams.settings = &g_settings;
    return SessionStore(seams, SessionStore::AtEnd::kKeepRecords);
  }();
  return store;
}

void SetSaveFile(uint32_t value) {
  g_settings.save_file = value;
  Store().ReadSettings();
}

void SetUpModule() {
  static const bool done = [] {
    const char* chosen = std::getenv("OBEXSES_BENCH_DIR");
    std::string folder;
    if (chosen != nullptr) {
      folder = chosen;
    } else {
      host::MakeTemporaryFolder(&folder);
    }
    g_folder = folder;
    host::SetProcessVariable("XDG_DATA_HOME", g_folder);
    host::SetProcessVariable("OBEXSES_BENCH_DIR", g_folder);  // the child processes' too
    host::SetProcessVariable("OBEXSES_REGISTRY", g_folder + "/none.reg");
    Store().MakePaths();
    SetSaveFile(1);
    return true;
  }();
  (void)done;
}

std::string SessionFolder() {
  return g_folder + "/Velmora/Session";
}

// Runs body with saving to the file off.
template <typename Body>
void WithoutFile(Body body) {
  const uint32_t saved = Store().save_file();
  SetSaveFile(0);
  body();
  SetSaveFile(saved);
}

std::u16string Numbered(const char16_t* prefix, int index, const char16_t* suffix) {
  return prefix + text::FromUtf8(std::to_string(index)) + suffix;
}

// An OPP client session with the names and paths of a photo being pushed.
ClientSession* NewClient(int index) {
  ClientSession* record = Store().CreateClientSession(OBEXSES_PROFILE_OPP);
  const uint8_t address[6] = {0x00,
                              0x1A,
                              0x7D,
                              static_cast<uint8_t>(index >> 16),
                              static_cast<uint8_t>(index >> 8),
                              static_cast<uint8_t>(index)};
  std::memcpy(record->bdaddr, address, 6);
  const std::u16string name = Numbered(u"IMG_", index, u".jpg");
  text::CopyBounded(record->file_name, OBEXSES_NAME_UNITS, name);
  OppClientSession* opp = records::AsOpp(record);
  text::CopyBounded(opp->objectName, OBEXSES_NAME_UNITS, name);
  text::CopyBounded(opp->internalObjectName, OBEXSES_NAME_UNITS,
                    u"C:\\Users\\owner\\Pictures\\Camera Roll\\" + name);
  text::CopyBounded(opp->pathName, OBEXSES_NAME_UNITS, u"C:\\Users\\owner\\Pictures\\Camera Roll");
  text::CopyBounded(opp->m_szInboxpath, OBEXSES_NAME_UNITS, u"C:\\Users\\owner\\Documents\\Inbox");
  return record;
}

ServerSession* NewServer(int index) {
  ServerSession* record = Store().CreateServerSession(OBEXSES_PROFILE_OPP);
  std::memcpy(record->GoepServer_sessionId, &index, sizeof index);
  const std::u16string name = Numbered(u"received-", index, u".vcf");
  text::CopyBounded(records::AsOpp(record)->internalObjectName, OBEXSES_NAME_UNITS, name);
  return record;
}

template <typename Record>
std::vector<Record*> SaveMany(int count, int first, Record* (*make)(int),
                              int32_t (SessionStore::*save)(Record*)) {
  std::vector<Record*> records;
  records.reserve(count);
  WithoutFile([&] {
    for (int i = first; i < first + count; ++i) {
      records.push_back(make(i));
      (Store().*save)(records.back());
    }
  });
  return records;
}

std::vector<ClientSession*> SaveClients(int count, int first = 0) {
  return SaveMany<ClientSession>(count, first, NewClient, &SessionStore::SaveClientSession);
}

template <typename Record>
void DestroyAll(std::vector<Record*>& records, int32_t (SessionStore::*destroy)(Record*)) {
  WithoutFile([&] {
    for (Record* record : records) (Store().*destroy)(record);
  });
  records.clear();
}

void DestroyClients(std::vector<ClientSession*>& records) {
  DestroyAll(records, &SessionStore::DestroyClientSession);
}

// Every saved client session leaves, as after a restore.
void DestroySavedClients() {
  std::vector<ClientSession*> saved;
  for (const auto& entry : Store().Contents().client_saved) {
    saved.push_back(const_cast<ClientSession*>(static_cast<const ClientSession*>(entry.second)));
  }
  DestroyClients(saved);
}

std::string ReadWhole(const std::u16string& path) {
  std::u16string units;
  size_t bytes = 0;
  platform::ReadFileUnits(Env(), path, persist::kMaxFileBytes, &units, &bytes);
  return std::string(reinterpret_cast<const char*>(units.data()), bytes);
}

// The bytes a store of count client sessions writes, made once per count.
const std::string& ClientFile(int count) {
  static std::map<int, std::string> files;
  auto found = files.find(count);
  if (found != files.end()) return found->second;
  std::vector<ClientSession*> records = SaveClients(count);
  Store().StoreClientSession();
  DestroyClients(records);
  return files[count] = ReadWhole(Store().client_session_path());
}

const std::string& ServerFile(int count) {
  static std::map<int, std::string> files;
  auto found = files.find(count);
  if (found != files.end()) return found->second;
  std::vector<ServerSession*> records =
      SaveMany<ServerSession>(count, 0, NewServer, &SessionStore::SaveServerSession);
  Store().StoreServerSession();
  DestroyAll(records, &SessionStore::DestroyServerSession);
  return files[count] = ReadWhole(Store().server_session_path());
}

void PutFile(const std::u16string& path, const std::string& bytes) {
  platform::ReplaceFile(Env(), path, bytes, SessionStore::kLockWait);
}

// ---- Baselines ----

// pugixml's parse of the same bytes (it finds the byte-order mark itself).
void BM_PugixmlParse(benchmark::State& state) {
  SetUpModule();
  const std::string& bytes = ClientFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pugi::xml_document document;
    benchmark::DoNotOptimize(document.load_buffer(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_PugixmlParse)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A durable replacement with nothing else: write, fsync, rename, folder fsync.
bool RawReplace(const std::string& folder, const std::string& bytes) {
  const std::string target = folder + "/Raw.xml";
  const std::string temporary = target + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ok = ::fsync(dir) == 0 && ok;
    ::close(dir);
  }
  return ok;
}

void BM_RawReplace(benchmark::State& state) {
  SetUpModule();
  const std::string& bytes = ClientFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!RawReplace(SessionFolder(), bytes)) state.SkipWithError("cannot write");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_RawReplace)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// ---- The session files ----

// The reader alone, for where a restore's time goes.
void BM_ReaderParse(benchmark::State& state) {
  SetUpModule();
  const std::string& bytes = ClientFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    xml::CXMLReader reader;
    benchmark::DoNotOptimize(reader.LoadXMLBytes(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReaderParse)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

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
  SetUpModule();
  const std::string& bytes = ClientFile(static_cast<int>(state.range(0)));
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  for (auto _ : state) {
    CountingSink sink;
    persist::ReadClientFile(units, bytes.size(), sink);
    benchmark::DoNotOptimize(sink.count);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadClientFile)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

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
    ->Unit(benchmark::kMillisecond);

// Slot 11 at start-up: nothing saved, the file holds count sessions. The
// restore reads them and rewrites the file from the (empty) saved set.
void BM_Restore(benchmark::State& state) {
  SetUpModule();
  const std::string& bytes = ClientFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    PutFile(Store().client_session_path(), bytes);
    state.ResumeTiming();
    Store().RestoreClientSession();
    state.PauseTiming();
    DestroySavedClients();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Restore)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Slot 11 while the same sessions are saved, the file as their last store
// wrote it: the rewrite would change nothing and is left out; the restore
// retires the saved sessions for the ones it read.
void BM_RestoreSaved(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records = SaveClients(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Store().StoreClientSession();
    state.ResumeTiming();
    Store().RestoreClientSession();
  }
  DestroySavedClients();
}
BENCHMARK(BM_RestoreSaved)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Slot 10: the whole file from the saved sessions.
void BM_Store(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records = SaveClients(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Store().StoreClientSession());
  DestroyClients(records);
}
BENCHMARK(BM_Store)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// ---- The services as the saved set grows ----

constexpr int kBatch = 256;  // operations per timed batch

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Look-ups and resumes go round 64 sessions spread over the saved set, so
// that they time the service rather than the memory's distance.
std::vector<ClientSession*> Spread(const std::vector<ClientSession*>& records) {
  std::vector<ClientSession*> some;
  for (size_t i = 0; i < 64; ++i) some.push_back(records[i * records.size() / 64]);
  return some;
}

void BM_Find(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records = SaveClients(static_cast<int>(state.range(0)));
  const std::vector<ClientSession*> some = Spread(records);
  size_t i = 0;
  for (auto _ : state) {
    const ClientSession* wanted = some[i++ % some.size()];
    benchmark::DoNotOptimize(
        Store().FindClientSession(wanted->bdaddr, wanted->file_name, OBEXSES_PROFILE_OPP));
  }
  DestroyClients(records);
}

void BM_Resume(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records = SaveClients(static_cast<int>(state.range(0)));
  const std::vector<ClientSession*> some = Spread(records);
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(Store().ResumeClientSession(some[i++ % some.size()]));
  DestroyClients(records);
}

// Save and destroy of batches of fresh sessions among count saved ones; only
// the services themselves are timed, a whole batch per iteration.
template <bool kTimeSave>
void SaveOrDestroy(benchmark::State& state) {
  SetUpModule();
  const int count = static_cast<int>(state.range(0));
  std::vector<ClientSession*> records = SaveClients(count);
  int next = count;
  for (auto _ : state) {
    std::vector<ClientSession*> batch;
    for (int k = 0; k < kBatch; ++k) batch.push_back(NewClient(next++));
    WithoutFile([&] {
      const auto start = Clock::now();
      for (ClientSession* record : batch) Store().SaveClientSession(record);
      const auto saved = Clock::now();
      for (ClientSession* record : batch) Store().DestroyClientSession(record);
      const auto end = Clock::now();
      const auto timed = kTimeSave ? saved - start : end - saved;
      state.SetIterationTime(Seconds(timed));
    });
  }
  DestroyClients(records);
}

void BM_Save(benchmark::State& state) {
  SaveOrDestroy<true>(state);
}
void BM_Destroy(benchmark::State& state) {
  SaveOrDestroy<false>(state);
}

#define OBEXSES_SERVICE(name) \
  BENCHMARK(name)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kNanosecond)
OBEXSES_SERVICE(BM_Find);
OBEXSES_SERVICE(BM_Resume);
OBEXSES_SERVICE(BM_Save)->UseManualTime();
OBEXSES_SERVICE(BM_Destroy)->UseManualTime();

// ---- A host process ----

// Bytes of a field of /proc/self/status ("VmRSS:", "VmHWM:"), given in kB.
size_t StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size(), field) == 0)
      return std::stoul(line.substr(field.size())) * 1024;
  }
  return 0;
}

// In a fresh process: what a restore keeps (the records, resident after it)
// and its peak above that, written to report as "file kept peak_above".
int ReportRestoreMemory(const std::string& report) {
  SetUpModule();
  const size_t file = ReadWhole(Store().client_session_path()).size();
  malloc_trim(0);
  const size_t before = StatusBytes("VmRSS:");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  Store().RestoreClientSession();
  const size_t peak = StatusBytes("VmHWM:");
  malloc_trim(0);
  const size_t after = StatusBytes("VmRSS:");
  std::ofstream(report) << file << " " << after - before << " " << peak - after << "\n";
  return 0;
}

// The child's side: "idle" exits at once; "start" loads the library and
// initialises it, which restores both files; "memory" restores the client
// file in this process and reports what it took.
int RunChild(const std::string& mode, const std::string& report) {
  if (mode == "idle") return 0;
  if (mode == "memory") return ReportRestoreMemory(report);
  // Another build of the library may stand in, to compare start-ups.
  const char* other = std::getenv("OBEXSES_BENCH_LIBRARY");
  std::string error;
  std::unique_ptr<host::Library> library =
      host::Library::Open(other != nullptr ? other : OBEXSES_LIBRARY, &error);
  auto* initialize =
      library != nullptr ? reinterpret_cast<InitializeFn>(library->Symbol("Initialize")) : nullptr;
  static int core = 0;
  return initialize != nullptr && initialize(reinterpret_cast<ICore*>(&core)) == 1 ? 0 : 1;
}

// Start-up of a host process with count client and count server sessions
// saved (0: the same process that exits at once).
void BM_StartUp(benchmark::State& state) {
  SetUpModule();
  const int count = static_cast<int>(state.range(0));
  const std::string mode = count == 0 ? "idle" : "start";
  for (auto _ : state) {
    if (count != 0) {
      PutFile(Store().client_session_path(), ClientFile(count));
      PutFile(Store().server_session_path(), ServerFile(count));
    }
    const auto start = Clock::now();
    const int status = host::RunProgram({host::ExecutablePath(), "--child", mode});
    state.SetIterationTime(Seconds(Clock::now() - start));
    if (status != 0) state.SkipWithError("the child failed");
  }
}
BENCHMARK(BM_StartUp)->Arg(0)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

// A hostile file of megabytes MB: '=""' over and over, an attribute every
// three units.
std::string EqualsFile(int megabytes) {
  std::string bytes;
  for (size_t i = 0; i < static_cast<size_t>(megabytes) * 1000000 / 6; ++i) {
    bytes.append("=\0\"\0\"\0", 6);
  }
  return bytes;
}

// The memory of a restore in a fresh process, as counters: of count sessions,
// or (a negative count) of that many MB of '=""'.
void BM_RestoreMemory(benchmark::State& state) {
  SetUpModule();
  const std::string report = g_folder + "/memory.txt";
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    PutFile(Store().client_session_path(), count > 0 ? ClientFile(count) : EqualsFile(-count));
    if (host::RunProgram({host::ExecutablePath(), "--child", "memory", report}) != 0) {
      state.SkipWithError("the child failed");
    }
  }
  double file = 0, kept = 0, peak_above = 0;
  std::ifstream(report) >> file >> kept >> peak_above;
  state.counters["file_MB"] = file / 1e6;
  state.counters["kept_MB"] = kept / 1e6;
  state.counters["peak_above_kept_MB"] = peak_above / 1e6;
  state.counters["peak_per_file"] = file > 0 ? peak_above / file : 0;
}
BENCHMARK(BM_RestoreMemory)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(-6)
    ->Arg(-18)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// ---- The table ----

// Keeps each benchmark's time (the median when repeated) and counters, and
// prints the ratios the targets are set on.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string key = run.run_name.function_name + "/" + run.run_name.args;
      if (median || medians_.count(key) == 0) {
        const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
        seconds_[key] = run.GetAdjustedRealTime() / unit;
        cpu_seconds_[key] = run.GetAdjustedCPUTime() / unit;
        for (const auto& [name, counter] : run.counters) counters_[key + ":" + name] = counter;
      }
      if (median) medians_.insert(key);
    }
  }

  void PrintTable() {
    std::printf(
        "\n| measure | ours | baseline | ratio | CPU ratio | target |\n"
        "|---|---|---|---|---|---|\n");
    Row("restore of 100 vs pugixml parse", "BM_Restore/100", "BM_PugixmlParse/100", 0);
    Row("restore of 1,000 vs pugixml parse", "BM_Restore/1000", "BM_PugixmlParse/1000", 2);
    Row("restore of 10,000 vs pugixml parse", "BM_Restore/10000", "BM_PugixmlParse/10000", 0);
    Row("parse alone of 1,000 vs pugixml parse", "BM_ReaderParse/1000", "BM_PugixmlParse/1000", 0);
    Row("records of 1,000 (parse and read) vs pugixml parse", "BM_ReadClientFile/1000",
        "BM_PugixmlParse/1000", 0);
    Row("slot 11 with the 1,000 saved vs start-up restore", "BM_RestoreSaved/1000",
        "BM_Restore/1000", 1.3);
    Row("slot 11 with the 10,000 saved vs start-up restore", "BM_RestoreSaved/10000",
        "BM_Restore/10000", 0);
    for (const char* n : {"1000", "10000", "100000"}) {
      Row(std::string("store of ") + Count(n) + " vs write+fsync+rename+folder fsync",
          std::string("BM_Store/") + n, std::string("BM_RawReplace/") + n,
          std::string(n) == "1000" ? 1.5 : 0);
    }
    for (const char* service : {"Save", "Destroy", "Find", "Resume"}) {
      const std::string name = std::string("BM_") + service;
      const bool batched = name == "BM_Save" || name == "BM_Destroy";
      Row(std::string(service) + " at 100,000 saved vs at 1,000", name + "/100000", name + "/1000",
          batched ? 2 : 0, batched ? kBatch : 1);
    }
    Row("start-up with 1,000 + 1,000 sessions vs the empty process", "BM_StartUp/1000",
        "BM_StartUp/0", 3);
    ContentionRows();
    for (const char* n : {"1000", "10000", "-6", "-18"}) {
      const std::string key = std::string("BM_RestoreMemory/") + n;
      if (counters_.count(key + ":file_MB") == 0) continue;
      const double ratio = counters_[key + ":peak_per_file"];
      const std::string what = n[0] == '-' ? "'=\"\"' over and over" : Count(n) + " sessions";
      std::printf(
          "| restore peak above the records, %s (%.1f MB file) | %.1f MB | file size | %.2f | - | "
          "%s |\n",
          what.c_str(), counters_[key + ":file_MB"], counters_[key + ":peak_above_kept_MB"], ratio,
          ratio <= 2 ? "<= 2: met" : "<= 2: NOT met");
    }
  }

 private:
  // The services while a store waits for the disk or for another process.
  void ContentionRows() {
    const auto counter = [&](const std::string& key) {
      auto found = counters_.find(key);
      return found != counters_.end() ? found->second : -1.0;
    };
    const auto microseconds = [&](const std::string& what, const std::string& key,
                                  const char* target) {
      if (counter(key) < 0) return;
      const double us = counter(key);
      std::printf("| %s | %.0f us | - | - | - | %s |\n", what.c_str(), us, target);
    };
    microseconds("longest find while another thread saves, 200 sessions, this disk",
                 "BM_FindWhileSaving/0:find_longest_us", "<= 1 ms");
    microseconds("longest find while another thread saves, syncs delayed 50 ms",
                 "BM_FindWhileSaving/50:find_longest_us", "<= 1 ms");
    const std::string held = "BM_ServicesWhileLockHeld/:";
    for (const char* call : {"find", "create", "enumerate"}) {
      microseconds(std::string("longest ") + call + " while another process holds the lock 10 s",
                   held + call + "_longest_us", "<= 1 ms");
    }
    if (counter(held + "save_s") >= 0) {
      std::printf(
          "| save meanwhile | %.2f s, result %.0f | bound %.0f s | - | - | 0 within the bound |\n",
          counter(held + "save_s"), counter(held + "save_result"),
          SessionStore::kLockWait.count() / 1e3);
    }
    const double one = counter("BM_SavesPerSecond/1:saves_per_s");
    const double four = counter("BM_SavesPerSecond/4:saves_per_s");
    if (one > 0 && four > 0) {
      std::printf("| saves per second, 4 threads vs 1 | %.0f | %.0f | %.2f | - | >= 2.5 |\n", four,
                  one, four / one);
    }
  }

  static std::string Count(const std::string& n) {
    return n.size() > 3 ? n.substr(0, n.size() - 3) + "," + n.substr(n.size() - 3) : n;
  }

  static std::string Time(double seconds) {
    char text[32];
    if (seconds >= 1e-5) {
      std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else {
      std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    }
    return text;
  }

  // One line: both times (per operation: divided by per), the ratio of the
  // wall-clock times the target is set on, and that of the CPU times, which
  // leaves out the waits for the disk.
  void Row(const std::string& what, const std::string& ours, const std::string& base, double target,
           double per = 1) {
    if (seconds_.count(ours) == 0 || seconds_.count(base) == 0) return;
    const double ratio = seconds_[ours] / seconds_[base];
    char goal[32] = "-";
    if (target > 0) {
      std::snprintf(goal, sizeof goal, "<= %.1f: %s", target, ratio <= target ? "met" : "NOT met");
    }
    std::printf("| %s | %s | %s | %.2f | %.2f | %s |\n", what.c_str(),
                Time(seconds_[ours] / per).c_str(), Time(seconds_[base] / per).c_str(), ratio,
                cpu_seconds_[ours] / cpu_seconds_[base], goal);
  }

  std::map<std::string, double> seconds_;
  std::map<std::string, double> cpu_seconds_;
  std::map<std::string, double> counters_;
  std::set<std::string> medians_;
};

}  // namespace

namespace obexses::bench {
int RunContentionChild(const std::vector<std::string>& arguments);
}  // namespace obexses::bench

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--child") {
    if (std::string(argv[2]) == "hold-lock") {
      return obexses::bench::RunContentionChild(std::vector<std::string>(argv + 2, argv + argc));
    }
    return RunChild(argv[2], argc > 3 ? argv[3] : "");
  }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
