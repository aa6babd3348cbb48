// SPDX-License-Identifier: MIT
// A measure and its baseline taken side by side, in the same repetition: the
// benchmark's iterations time ours, and as many runs of the baseline follow
// them at once (after one run that is not timed, since ours has just pushed
// its bytes out of the caches). A slow spell of the machine then weighs on
// both alike, and the ratio of each repetition compares work done in the
// same second. Benchmarks that use it call UseManualTime().
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

#include "bench/child.h"

namespace obexses::bench {

// The wall-clock and CPU time of a call.
struct Timed {
  template <typename Call>
  explicit Timed(Call call) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    call();
    cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  double wall = 0;
  double cpu = 0;
};

// Reports ours as the iteration time and cpu_s, the baseline as base_s and
// base_cpu_s (each per iteration), and ratio: ours over the baseline in this
// repetition.
class SideBySide {
 public:
  explicit SideBySide(benchmark::State& state) : state_(state) {}

  // One iteration of ours, within the benchmark's loop.
  template <typename Call>
  void Ours(Call call) {
    const Timed timed(call);
    state_.SetIterationTime(timed.wall);
    ours_ = Add(ours_, timed);
  }

  // After the loop: the baseline, once untimed and then once per iteration.
  template <typename Call>
  void Baseline(Call call) {
    call();
    Totals base;
    for (benchmark::IterationCount i = 0; i < state_.iterations(); ++i)
      base = Add(base, Timed(call));
    using benchmark::Counter;
    state_.counters["cpu_s"] = Counter(ours_.cpu, Counter::kAvgIterations);
    state_.counters["base_s"] = Counter(base.wall, Counter::kAvgIterations);
    state_.counters["base_cpu_s"] = Counter(base.cpu, Counter::kAvgIterations);
    state_.counters["ratio"] = base.wall > 0 ? ours_.wall / base.wall : 0;
  }

 private:
  struct Totals {
    double wall = 0;
    double cpu = 0;
  };
  static Totals Add(Totals totals, const Timed& timed) {
    return {totals.wall + timed.wall, totals.cpu + timed.cpu};
  }

  benchmark::State& state_;
  Totals ours_;
};

}  // namespace obexses::bench
