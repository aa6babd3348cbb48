// SPDX-License-Identifier: MIT
// The table printed after the runs: one row per comparison, each side as the
// median of its repetitions with their spread (the lowest to the highest) and
// its CPU time, then the ratio of the medians and the target where there is
// one. A row whose benchmark failed says it was skipped and why.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace obexses::bench {

// Adds the lowest and the highest repetition to the aggregates of a
// benchmark: every benchmark of the table applies it.
void WithSpread(benchmark::internal::Benchmark* benchmark);

// WithSpread, over 15 short runs rather than a few long ones: for the
// measures that move most with the machine's other work (the file writes,
// the warm parses and restores, each run beside its baseline), so that a
// slow spell spoils a few runs rather than the median.
void ShortRuns(benchmark::internal::Benchmark* benchmark);

// A measure over the repetitions of a benchmark (all three the same for a
// single run).
struct Stat {
  double median = 0;
  double low = 0;
  double high = 0;
};

// What the runs measured, by benchmark ("BM_Store/1000/0") and metric: "wall"
// and "cpu" (seconds per iteration) and every counter by its name.
class Results {
 public:
  void Keep(const benchmark::BenchmarkReporter::Run& run);
  // Null when the benchmark did not measure it.
  const Stat* Find(const std::string& key, const std::string& metric) const;
  // Why the benchmark was skipped; null when it was not.
  const std::string* Error(const std::string& key) const;

 private:
  std::map<std::string, std::map<std::string, Stat>> values_;
  std::set<std::string> aggregated_;  // whose values are the aggregates of repetitions
  std::map<std::string, std::string> errors_;
};

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;
  void PrintTable() const;

 private:
  Results results_;
};

}  // namespace obexses::bench
