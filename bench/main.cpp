// SPDX-License-Identifier: MIT
// The benchmarks, then the table of their comparisons; or, started with
// "--child MODE ...", one of the child processes the benchmarks run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/child.h"
#include "bench/table.h"

int main(int argc, char** argv) {
  using namespace obexses::bench;
  if (argc >= 3 && std::string(argv[1]) == "--child") {
    const std::vector<std::string> arguments(argv + 2, argv + argc);
    for (auto run : {RunStartUpChild, RunContentionChild}) {
      if (const std::optional<int> code = run(arguments)) return *code;
    }
    std::fprintf(stderr, "unknown child mode: %s\n", argv[2]);
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
