// SPDX-License-Identifier: MIT
#include "bench/child.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "host/host.h"

namespace obexses::bench {
namespace {

long PageFaults() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

}  // namespace

double CpuSeconds(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

ProcessClock::ProcessClock()
    : wall_(std::chrono::steady_clock::now()),
      cpu_(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID)),
      faults_(PageFaults()) {}

void ProcessClock::AddTo(Report* report) const {
  const auto wall = std::chrono::steady_clock::now() - wall_;
  (*report)["wall_s"] = std::chrono::duration<double>(wall).count();
  (*report)["cpu_s"] = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu_;
  (*report)["faults"] = static_cast<double>(PageFaults() - faults_);
}

bool WriteReport(const std::string& path, const Report& report) {
  std::ofstream out(path, std::ios::trunc);
  out.precision(17);
  for (const auto& [name, value] : report) out << name << ' ' << value << '\n';
  return static_cast<bool>(out.flush());
}

std::optional<Report> RunChild(const std::string& report_path, const std::string& mode,
                               const std::vector<std::string>& arguments) {
  ::unlink(report_path.c_str());  // an old report never stands for this run
  std::vector<std::string> command = {host::ExecutablePath(), "--child", mode, report_path};
  command.insert(command.end(), arguments.begin(), arguments.end());
  if (host::RunProgram(command) != 0) return std::nullopt;
  std::ifstream in(report_path);
  Report report;
  std::string name;
  double value = 0;
  while (in >> name >> value) report[name] = value;
  if (report.empty()) return std::nullopt;
  return report;
}

}  // namespace obexses::bench
