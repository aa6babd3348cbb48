#include "tests/host/host_probe.h"
#include "host/host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace obexses::host_test {
namespace {

std::map<std::string, Scenario>& Scenarios() {
  static auto* scenarios = new std::map<std::string, Scenario>;
  return *scenarios;
}

int RunScenario(const std::string& name) {
  auto it = Scenarios().find(name);
  if (it == Scenarios().end()) return 101;
  std::string error;
  auto library = host::Library::Open(OBEXSES_LIBRARY, &error);
  if (!library) {
    std::fprintf(stderr, "cannot load the library: %s\n", error.c_str());
    return 100;
  }
  Probe probe;
  probe.library = library.get();
  it->second(probe);
  return probe.failures;
}

}  // namespace

void Probe::Check(bool ok, const char* what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "check failed: %s\n", what);
}

bool RegisterScenario(const std::string& name, Scenario scenario) {
  Scenarios()[name] = std::move(scenario);
  return true;
}

int RunInChild(const std::string& name) {
  return host::RunProgram({host::ExecutablePath(), "--probe", name});
}

}  // namespace obexses::host_test

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--probe") == 0) {
    return obexses::host_test::RunScenario(argv[2]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
