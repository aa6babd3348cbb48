// SPDX-License-Identifier: MIT
// Child processes of the bench: this program started again as
// "PROGRAM --child MODE REPORT ARGUMENTS...". A child does its work once,
// times the part it was started for with its own clocks, and writes what it
// measured to the file REPORT as lines of "name value"; the parent reads
// them back. A child that cannot do its work exits with another code than 0.
#pragma once

#include <time.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace obexses::bench {

// What a child measured, by name.
using Report = std::map<std::string, double>;

// The CPU time of this process or of this thread (CLOCK_PROCESS_CPUTIME_ID,
// CLOCK_THREAD_CPUTIME_ID), in seconds.
double CpuSeconds(clockid_t clock);

// The clocks of this process from its construction on: wall-clock time, the
// CPU time of all its threads, and the page faults it took.
class ProcessClock {
 public:
  ProcessClock();
  // wall_s, cpu_s and faults since the construction.
  void AddTo(Report* report) const;

 private:
  std::chrono::steady_clock::time_point wall_;
  double cpu_;
  long faults_;
};

bool WriteReport(const std::string& path, const Report& report);

// Runs this program as a child in mode with arguments and reads what it
// reported to report_path; nothing when it could not be started, exited
// with another code than 0, or left no report.
std::optional<Report> RunChild(const std::string& report_path, const std::string& mode,
                               const std::vector<std::string>& arguments);

// The child modes of the benchmark files that have them, given the arguments
// after "--child": the exit code, or nothing when the mode is not theirs.
std::optional<int> RunStartUpChild(const std::vector<std::string>& arguments);
std::optional<int> RunContentionChild(const std::vector<std::string>& arguments);

}  // namespace obexses::bench
