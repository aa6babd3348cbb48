// SPDX-License-Identifier: MIT
// The start-up in fresh processes, beside pugixml reading and parsing the
// same files in a fresh process of its own: both pay the page faults of what
// they read and make. Each child times the work alone with its own clocks
// (bench/child.h); the parent puts the files in place before each child and
// runs kChildRuns pairs of children a row, the module's and then pugixml's,
// whose medians, spreads and median ratio the table shows.
// Also the memory a restore takes in a fresh process.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench/child.h"
#include "bench/sessions.h"
#include "bench/table.h"
#include "host/host.h"
#include "obexses/obexses.h"

namespace obexses::bench {
namespace {

constexpr int kChildRuns = 15;

// ---- The children ----

using Arguments = std::vector<std::string>;

// Reads and parses each file with pugixml; arguments: the sessions each file
// holds, then the files.
int PugixmlChild(const std::string& report_path, const Arguments& arguments) {
  const size_t count = std::stoul(arguments.at(0));
  std::vector<pugi::xml_document> documents(arguments.size() - 1);
  Report report;
  const ProcessClock clock;
  bool loaded = true;
  for (size_t i = 0; i < documents.size(); ++i) {
    loaded = documents[i].load_file(arguments[i + 1].c_str()) && loaded;
  }
  clock.AddTo(&report);
  for (const pugi::xml_document& document : documents) {
    const auto sessions = document.document_element().children();
    loaded =
        loaded && static_cast<size_t>(std::distance(sessions.begin(), sessions.end())) == count;
  }
  return loaded && WriteReport(report_path, report) ? 0 : 1;
}

// The store a start-up makes: the process's own platform, whose
// application-data folder is the disk configuration's (XDG_DATA_HOME), with
// the bench's settings; saving is off, as before a start-up reads them.
struct StartUpStore {
  StartUpStore() { store.MakePaths(); }
  BenchSettings settings{0};
  SessionStore store{BenchPlatform(&settings), SessionStore::AtEnd::kKeepRecords};
};

// Slot 11 at start-up; arguments: the sessions the client file holds.
int RestoreChild(const std::string& report_path, const Arguments& arguments) {
  const size_t count = std::stoul(arguments.at(0));
  StartUpStore start_up;
  Report report;
  const ProcessClock clock;
  const int32_t restored = start_up.store.RestoreClientSession();
  clock.AddTo(&report);
  const bool whole = restored == 1 && start_up.store.Contents().client_saved.size() == count;
  return whole && WriteReport(report_path, report) ? 0 : 1;
}

void NoteCall(void*, void* calls) {
  ++*static_cast<int*>(calls);
}

// Whether a start-up restored count sessions of each side: every server
// session is enumerated, and the last client session.
bool RestoredBoth(const SessionDdi& ddi, int count) {
  if (ddi.enum_client_session == nullptr || ddi.enum_server_session == nullptr) return false;
  int servers = 0, clients = 0;
  ddi.enum_server_session(OBEXSES_PROFILE_OPP, NoteCall, &servers);
  uint8_t address[6];
  ClientAddress(count - 1, address);
  ddi.enum_client_session(address, OBEXSES_PROFILE_OPP, NoteCall, &clients);
  return servers == count && clients == 1;
}

// The library's Initialize in a host process that has just loaded it (or the
// build OBEXSES_BENCH_LIBRARY names); arguments: the sessions each file holds.
int InitializeChild(const std::string& report_path, const Arguments& arguments) {
  const int count = std::stoi(arguments.at(0));
  const char* other = std::getenv("OBEXSES_BENCH_LIBRARY");
  std::string error;
  const std::unique_ptr<host::Library> library =
      host::Library::Open(other != nullptr ? other : OBEXSES_LIBRARY, &error);
  if (library == nullptr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  auto* initialize = reinterpret_cast<InitializeFn>(library->Symbol("Initialize"));
  auto* command = reinterpret_cast<CallProfileCommandFn>(library->Symbol("CallProfileCommand"));
  if (initialize == nullptr || command == nullptr) return 1;
  static int core = 0;
  Report report;
  const ProcessClock clock;
  const uint32_t started = initialize(reinterpret_cast<ICore*>(&core));
  clock.AddTo(&report);
  SessionDdi ddi{};
  command(u"QueryDdi", 1, &ddi);
  return started == 1 && RestoredBoth(ddi, count) && WriteReport(report_path, report) ? 0 : 1;
}

// Bytes of a field of /proc/self/status ("VmRSS:", "VmHWM:"), given in kB.
double StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size(), field) == 0)
      return std::stod(line.substr(field.size())) * 1024;
  }
  return 0;
}

// What a restore keeps (the records, resident after it) and its peak above
// that, against the size of the file.
int MemoryChild(const std::string& report_path, const Arguments&) {
  StartUpStore start_up;
  struct stat file {};
  if (::stat(NativePath(start_up.store.client_session_path()).c_str(), &file) != 0) return 1;
  malloc_trim(0);
  const double before = StatusBytes("VmRSS:");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  Report report;
  const ProcessClock clock;
  start_up.store.RestoreClientSession();
  clock.AddTo(&report);
  const double peak = StatusBytes("VmHWM:");
  malloc_trim(0);
  const double after = StatusBytes("VmRSS:");
  report["file_MB"] = static_cast<double>(file.st_size) / 1e6;
  report["kept_MB"] = (after - before) / 1e6;
  report["peak_above_kept_MB"] = (peak - after) / 1e6;
  return WriteReport(report_path, report) ? 0 : 1;
}

// ---- The rows ----

std::string ReportPath() {
  return Disk().folder() + "/child-report.txt";
}

std::string ClientPath() {
  return NativePath(Disk().store().client_session_path());
}

std::string ServerPath() {
  return NativePath(Disk().store().server_session_path());
}

// One child, put run before it to put its files in place; nothing, and the
// row skipped, when the child fails.
std::optional<Report> RunOne(benchmark::State& state, const std::string& mode,
                             const Arguments& arguments, const std::function<void()>& put) {
  put();
  std::optional<Report> report = RunChild(ReportPath(), mode, arguments);
  if (!report || report->count("wall_s") == 0 || report->count("cpu_s") == 0) {
    state.SkipWithError(("the " + mode + " child failed").c_str());
    return std::nullopt;
  }
  return report;
}

// One child per iteration: the child's wall-clock time is the iteration's,
// and all it reported (cpu_s, faults, ...) are counters.
void RunChildRow(benchmark::State& state, const std::string& mode, const Arguments& arguments,
                 const std::function<void()>& put) {
  for (auto _ : state) {
    const std::optional<Report> report = RunOne(state, mode, arguments, put);
    if (!report) break;
    state.SetIterationTime(report->at("wall_s"));
    for (const auto& [name, value] : *report) state.counters[name] = value;
  }
}

struct Child {
  std::string mode;
  Arguments arguments;
};

// Ours and its baseline side by side: each iteration starts ours and then the
// baseline, each after put. Ours is reported as by RunChildRow, the
// baseline's times as base_s and base_cpu_s, and their ratio as ratio (as
// bench/side_by_side.h reports them).
void RunChildPair(benchmark::State& state, const Child& ours, const Child& base,
                  const std::function<void()>& put) {
  for (auto _ : state) {
    const std::optional<Report> mine = RunOne(state, ours.mode, ours.arguments, put);
    const std::optional<Report> theirs =
        mine ? RunOne(state, base.mode, base.arguments, put) : std::nullopt;
    if (!theirs) break;
    state.SetIterationTime(mine->at("wall_s"));
    for (const auto& [name, value] : *mine) state.counters[name] = value;
    state.counters["base_s"] = theirs->at("wall_s");
    state.counters["base_cpu_s"] = theirs->at("cpu_s");
    state.counters["ratio"] = mine->at("wall_s") / theirs->at("wall_s");
  }
}

int CountOf(const benchmark::State& state) {
  return static_cast<int>(state.range(0));
}

void PutClientFile(int count) {
  PutFile(Disk().store().client_session_path(), ClientFile(count));
}

void PutBothFiles(int count) {
  PutClientFile(count);
  PutFile(Disk().store().server_session_path(), ServerFile(count));
}

// A start-up restore beside pugixml reading and parsing the client file.
void BM_FreshRestore(benchmark::State& state) {
  const std::string count = std::to_string(CountOf(state));
  RunChildPair(state, {"restore", {count}}, {"pugixml", {count, ClientPath()}},
               [&] { PutClientFile(CountOf(state)); });
}

// Initialize beside pugixml reading and parsing both files.
void BM_FreshInitialize(benchmark::State& state) {
  const std::string count = std::to_string(CountOf(state));
  RunChildPair(state, {"initialize", {count}}, {"pugixml", {count, ClientPath(), ServerPath()}},
               [&] { PutBothFiles(CountOf(state)); });
}

// A row of kChildRuns pairs of children, whatever repetitions the run asks for.
void ChildRuns(benchmark::internal::Benchmark* benchmark) {
  benchmark->Iterations(1)->Repetitions(kChildRuns)->UseManualTime()->Unit(benchmark::kMillisecond);
  WithSpread(benchmark);
}

BENCHMARK(BM_FreshRestore)->Arg(1000)->Arg(10000)->Apply(ChildRuns);
BENCHMARK(BM_FreshInitialize)->Arg(1000)->Apply(ChildRuns);

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
  const int count = CountOf(state);
  const std::string bytes = count > 0 ? ClientFile(count) : EqualsFile(-count);
  RunChildRow(state, "memory", {}, [&] { PutFile(Disk().store().client_session_path(), bytes); });
}
BENCHMARK(BM_RestoreMemory)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(-6)
    ->Arg(-18)
    ->Iterations(1)
    ->UseManualTime()
    ->Apply(WithSpread)
    ->Unit(benchmark::kMillisecond);

}  // namespace

std::optional<int> RunStartUpChild(const std::vector<std::string>& arguments) {
  using Mode = int (*)(const std::string& report_path, const Arguments& arguments);
  static const std::map<std::string, Mode> modes = {{"pugixml", PugixmlChild},
                                                    {"restore", RestoreChild},
                                                    {"initialize", InitializeChild},
                                                    {"memory", MemoryChild}};
  if (arguments.size() < 2) return std::nullopt;
  auto found = modes.find(arguments[0]);
  if (found == modes.end()) return std::nullopt;
  return found->second(arguments[1], Arguments(arguments.begin() + 2, arguments.end()));
}

}  // namespace obexses::bench
