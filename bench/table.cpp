// SPDX-License-Identifier: MIT
#include "bench/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "bench/sessions.h"
#include "registry/session_store.h"

namespace obexses::bench {
namespace {

double Lowest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Highest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string KeyOf(const benchmark::BenchmarkReporter::Run& run) {
  const std::string& args = run.run_name.args;
  return run.run_name.function_name + (args.empty() ? "" : "/" + args);
}

// Calls take(metric, value) for each value of a run.
template <typename Take>
void ForEachValue(const benchmark::BenchmarkReporter::Run& run, Take take) {
  const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
  take("wall", run.GetAdjustedRealTime() / unit);
  take("cpu", run.GetAdjustedCPUTime() / unit);
  for (const auto& [name, counter] : run.counters) take(name, counter.value);
}

}  // namespace

void WithSpread(benchmark::internal::Benchmark* benchmark) {
  benchmark->ComputeStatistics("min", Lowest)->ComputeStatistics("max", Highest);
}

void ShortRuns(benchmark::internal::Benchmark* benchmark) {
  constexpr int kRuns = 15;
  constexpr double kRunSeconds = 0.1;
  WithSpread(benchmark->Repetitions(kRuns)->MinTime(kRunSeconds));
}

void Results::Keep(const benchmark::BenchmarkReporter::Run& run) {
  const std::string key = KeyOf(run);
  if (run.error_occurred) {
    errors_[key] = run.error_message;
    return;
  }
  if (run.run_type == benchmark::BenchmarkReporter::Run::RT_Iteration) {
    if (aggregated_.count(key) != 0) return;
    ForEachValue(run, [&](const std::string& metric, double value) {
      values_[key][metric] = {value, value, value};
    });
    return;
  }
  double Stat::*field = run.aggregate_name == "median" ? &Stat::median
                        : run.aggregate_name == "min"  ? &Stat::low
                        : run.aggregate_name == "max"  ? &Stat::high
                                                       : nullptr;
  if (field == nullptr) return;
  // The aggregates of the repetitions replace what the single runs left.
  if (aggregated_.insert(key).second) values_[key].clear();
  ForEachValue(
      run, [&](const std::string& metric, double value) { values_[key][metric].*field = value; });
}

const Stat* Results::Find(const std::string& key, const std::string& metric) const {
  auto benchmark = values_.find(key);
  if (benchmark == values_.end()) return nullptr;
  auto found = benchmark->second.find(metric);
  return found != benchmark->second.end() ? &found->second : nullptr;
}

const std::string* Results::Error(const std::string& key) const {
  auto found = errors_.find(key);
  return found != errors_.end() ? &found->second : nullptr;
}

namespace {

enum class Unit { kSeconds, kMegabytes, kPerSecond };

// One side of a row: a measure of a benchmark (its wall-clock time or a
// counter), or a fixed bound.
struct Quantity {
  std::string key;  // the benchmark and its arguments; empty for a bound
  std::string metric = "wall";
  double scale = 1;  // into the unit: 1/n for n operations an iteration, 1e-6 from microseconds
  Unit unit = Unit::kSeconds;
  double bound = 0;        // the value of a bound, in the unit
  std::string cpu_metric;  // the CPU time of a time counter
};

Quantity Wall(const std::string& key, double operations = 1) {
  return {key, "wall", 1 / operations};
}
Quantity Microseconds(const std::string& key, const std::string& counter) {
  return {key, counter, 1e-6};
}
Quantity Megabytes(const std::string& key, const std::string& counter) {
  return {key, counter, 1, Unit::kMegabytes};
}
Quantity PerSecond(const std::string& key, const std::string& counter) {
  return {key, counter, 1, Unit::kPerSecond};
}
Quantity Bound(double seconds) {
  return {"", "", 1, Unit::kSeconds, seconds};
}
// The baseline a benchmark ran side by side with its own measure.
Quantity BaselineOf(const std::string& key) {
  return {key, "base_s", 1, Unit::kSeconds, 0, "base_cpu_s"};
}

// At most or at least value: of the ratio, or of ours where there is no
// baseline (then in ours' unit).
struct Target {
  enum Kind { kNone, kAtMost, kAtLeast } kind = kNone;
  double value = 0;
};

Target AtMost(double value) {
  return {Target::kAtMost, value};
}
Target AtLeast(double value) {
  return {Target::kAtLeast, value};
}

struct Row {
  std::string what;
  Quantity ours;
  std::optional<Quantity> base;
  Target target;
  // A counter of what ours returned, which must be 0 in every run for the
  // target to be met.
  std::string returns_zero;
  // Whether the baseline ran beside ours: the ratio is then the median of
  // the ratios of the repetitions rather than that of the medians.
  bool side_by_side = false;
};

// A row whose benchmark measured ours and its baseline side by side.
Row SideBySideRow(const std::string& what, const std::string& key, Target target = Target()) {
  Row row{what, Wall(key), BaselineOf(key), target};
  row.side_by_side = true;
  return row;
}

struct Scale {
  double factor;
  const char* suffix;
  int decimals;
};

Scale ScaleOf(double value, Unit unit) {
  if (unit == Unit::kMegabytes) return {1, "MB", 1};
  if (unit == Unit::kPerSecond) return {1, "per s", 0};
  if (value >= 1) return {1, "s", 2};
  if (value >= 1e-3) return {1e3, "ms", 2};
  if (value >= 1e-6) return {1e6, "us", 1};
  return {1e9, "ns", 0};
}

std::string Number(double value, const Scale& scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", scale.decimals, value * scale.factor);
  return text;
}

std::string Amount(double value, Unit unit) {
  const Scale scale = ScaleOf(value, unit);
  return Number(value, scale) + " " + scale.suffix;
}

// "10000" as "10,000".
std::string Count(const std::string& n) {
  return n.size() > 3 ? n.substr(0, n.size() - 3) + "," + n.substr(n.size() - 3) : n;
}

// What the runs measured of a row's sides.
class Sides {
 public:
  explicit Sides(const Results& results) : results_(results) {}

  bool Measured(const Quantity& side) const {
    return side.key.empty() || results_.Find(side.key, side.metric) != nullptr;
  }
  // Whether the run measured it or tried to (a bound alone makes no row).
  bool Attempted(const Quantity& side) const {
    return !side.key.empty() &&
           (results_.Find(side.key, side.metric) != nullptr || results_.Error(side.key) != nullptr);
  }
  // In the side's unit; a bound has no spread.
  Stat Value(const Quantity& side) const {
    if (side.key.empty()) return {side.bound, side.bound, side.bound};
    Stat stat = *results_.Find(side.key, side.metric);
    for (double* value : {&stat.median, &stat.low, &stat.high}) *value *= side.scale;
    return stat;
  }
  // The CPU time of a wall-clock time: the child's own or the timed part's
  // where the benchmark reports it (cpu_s), else the benchmark thread's; that
  // of a time counter where it has one.
  std::optional<double> Cpu(const Quantity& side) const {
    if (side.key.empty() || (side.metric != "wall" && side.cpu_metric.empty())) {
      return std::nullopt;
    }
    const Stat* cpu = results_.Find(side.key, side.cpu_metric);
    if (cpu == nullptr) cpu = results_.Find(side.key, "cpu_s");
    if (cpu == nullptr) cpu = results_.Find(side.key, "cpu");
    if (cpu == nullptr) return std::nullopt;
    return cpu->median * side.scale;
  }
  // The ratio of ours to the baseline: of the medians, or the median ratio
  // of the repetitions where they ran side by side.
  double Ratio(const Row& row) const {
    const Stat* ratio = row.side_by_side ? results_.Find(row.ours.key, "ratio") : nullptr;
    return ratio != nullptr ? ratio->median : Value(row.ours).median / Value(*row.base).median;
  }
  bool AllZero(const std::string& key, const std::string& counter) const {
    const Stat* stat = results_.Find(key, counter);
    return stat != nullptr && stat->low == 0 && stat->high == 0;
  }

  // Median, spread and CPU time, or why there are none.
  std::vector<std::string> Cells(const Quantity& side) const {
    if (!Measured(side)) {
      const std::string* error = results_.Error(side.key);
      return {error != nullptr ? "skipped: " + *error : "not run", "-", "-"};
    }
    const Stat stat = Value(side);
    const Scale scale = ScaleOf(stat.median, side.unit);
    const std::optional<double> cpu = Cpu(side);
    return {Number(stat.median, scale) + " " + scale.suffix,
            side.key.empty()
                ? "-"
                : Number(stat.low, scale) + "–" + Number(stat.high, scale) + " " + scale.suffix,
            cpu ? Amount(*cpu, side.unit) : "-"};
  }

 private:
  const Results& results_;
};

std::string TargetText(const Row& row) {
  const Target& target = row.target;
  if (target.kind == Target::kNone) return "-";
  std::string text = target.kind == Target::kAtMost ? "<= " : ">= ";
  if (row.base) {
    char ratio[16];
    std::snprintf(ratio, sizeof ratio, "%.2f", target.value);
    if (ratio[std::strlen(ratio) - 1] == '0') ratio[std::strlen(ratio) - 1] = 0;  // 1.5, 1.02
    text += ratio;
  } else {
    const Scale scale = ScaleOf(target.value, row.ours.unit);
    char amount[32];
    std::snprintf(amount, sizeof amount, "%g %s", target.value * scale.factor, scale.suffix);
    text += amount;
  }
  if (!row.returns_zero.empty()) text += " and returns 0";
  return text;
}

// The row as a line of the table; empty when the run tried neither side.
std::string Line(const Sides& sides, const Row& row) {
  const bool ours = sides.Measured(row.ours);
  const bool base = row.base && sides.Measured(*row.base);
  if (!sides.Attempted(row.ours) && !(row.base && sides.Attempted(*row.base))) return "";
  std::string ratio = "-";
  std::optional<double> judged;  // what the target is set on
  if (ours && base) {
    const double r = sides.Ratio(row);
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", r);
    ratio = text;
    judged = r;
  } else if (ours && !row.base) {
    judged = sides.Value(row.ours).median;
  }
  std::string target = TargetText(row);
  if (row.target.kind != Target::kNone) {
    bool met = judged && (row.target.kind == Target::kAtMost ? *judged <= row.target.value
                                                             : *judged >= row.target.value);
    if (!row.returns_zero.empty()) met = met && sides.AllZero(row.ours.key, row.returns_zero);
    target += !judged ? ": not measured" : met ? ": met" : ": not met";
  }
  std::vector<std::string> cells = sides.Cells(row.ours);
  const std::vector<std::string> base_cells =
      row.base ? sides.Cells(*row.base) : std::vector<std::string>{"-", "-", "-"};
  cells.insert(cells.end(), base_cells.begin(), base_cells.end());
  cells.push_back(ratio);
  cells.push_back(target);
  std::string line = "| " + row.what + " |";
  for (const std::string& cell : cells) line += " " + cell + " |";
  return line + "\n";
}

void AddFileRows(std::vector<Row>* rows) {
  for (const std::string n : {"1000", "10000"}) {
    rows->push_back(SideBySideRow("start-up restore of " + Count(n) +
                                      " in a fresh process vs pugixml reading and parsing the "
                                      "file in one",
                                  "BM_FreshRestore/" + n, AtMost(1.0)));
  }
  rows->push_back(SideBySideRow(
      "start-up (Initialize) with 1,000 + 1,000 in a fresh host process vs pugixml reading and "
      "parsing both files in one",
      "BM_FreshInitialize/1000", AtMost(1.2)));
  for (const std::string n : {"1000", "10000"}) {
    rows->push_back(
        SideBySideRow("restore of " + Count(n) + " with nothing saved vs pugixml's warm parse",
                      "BM_Restore/" + n));
    rows->push_back(
        SideBySideRow("slot 11 with the same " + Count(n) + " saved vs pugixml's warm parse",
                      "BM_RestoreSaved/" + n, AtMost(1.5)));
  }
  for (const std::string n : {"1000", "10000"}) {
    rows->push_back(
        SideBySideRow("store of " + Count(n) + " on a memory file system vs write + rename",
                      "BM_Store/" + n + "/1", AtMost(1.5)));
    rows->push_back(SideBySideRow(
        "store of " + Count(n) + " on the disk vs write + fsync + rename + folder fsync",
        "BM_Store/" + n + "/0", AtMost(1.2)));
  }
  for (const std::string n : {"1000", "10000"}) {
    rows->push_back(SideBySideRow("reader's parse of " + Count(n) + " vs pugixml's warm parse",
                                  "BM_ReaderParse/" + n));
    rows->push_back(
        SideBySideRow("records of " + Count(n) + " read from the text vs pugixml's warm parse",
                      "BM_ReadClientFile/" + n));
  }
}

void AddServiceRows(std::vector<Row>* rows) {
  for (const std::string service : {"Save", "Destroy", "Find", "Resume"}) {
    const std::string name = "BM_" + service;
    const bool batched = service == "Save" || service == "Destroy";
    const double per = batched ? kBatch : 1;
    rows->push_back({service + " at 100,000 saved vs at 1,000", Wall(name + "/100000", per),
                     Wall(name + "/1000", per), batched ? AtMost(2.0) : Target()});
  }
  for (const std::string n : {"1000", "10000", "-6", "-18"}) {
    const std::string key = "BM_RestoreMemory/" + n;
    const std::string what =
        n[0] == '-' ? n.substr(1) + " MB of '=\"\"' over and over" : Count(n) + " sessions";
    rows->push_back({"restore's peak above the records, " + what + ", vs the file's size",
                     Megabytes(key, "peak_above_kept_MB"), Megabytes(key, "file_MB"), AtMost(2.0)});
  }
}

void AddContentionRows(std::vector<Row>* rows) {
  rows->push_back({"longest find while another thread saves, 200 sessions, this disk",
                   Microseconds("BM_FindWhileSaving/0", "find_longest_us"), std::nullopt,
                   AtMost(1e-3)});
  rows->push_back({"longest find while another thread saves, syncs delayed 50 ms",
                   Microseconds("BM_FindWhileSaving/50", "find_longest_us"), std::nullopt,
                   AtMost(1e-3)});
  for (const std::string call : {"find", "create", "enumerate"}) {
    rows->push_back({"longest " + call + " while another process holds the lock file 10 s",
                     Microseconds("BM_ServicesWhileLockHeld", call + "_longest_us"), std::nullopt,
                     AtMost(1e-3)});
  }
  // The save gives up once its wait is over: a little past it, never much.
  const double wait = std::chrono::duration<double>(SessionStore::kLockWait).count();
  rows->push_back({"save meanwhile vs its wait for the lock",
                   {"BM_ServicesWhileLockHeld", "save_s"},
                   Bound(wait),
                   AtMost(1.02),
                   "save_result"});
  rows->push_back({"saves per second, 4 threads vs 1",
                   PerSecond("BM_SavesPerSecond/4", "saves_per_s"),
                   PerSecond("BM_SavesPerSecond/1", "saves_per_s"), AtLeast(2.5)});
}

}  // namespace

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) results_.Keep(run);
}

void TableReporter::PrintTable() const {
  std::vector<Row> rows;
  AddFileRows(&rows);
  AddServiceRows(&rows);
  AddContentionRows(&rows);
  const Sides sides(results_);
  std::string lines;
  for (const Row& row : rows) lines += Line(sides, row);
  if (lines.empty()) return;
  std::printf(
      "\n| measure | ours | spread | CPU | baseline | spread | CPU | ratio | target |\n"
      "|---|---|---|---|---|---|---|---|---|\n%s",
      lines.c_str());
}

}  // namespace obexses::bench
