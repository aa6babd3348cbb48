#include "tests/host/host_probe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace obexses::host_test {
namespace {

struct Entry {
  Scenario scenario;
  bool initialize;
};

std::map<std::string, Entry>& Scenarios() {
  static auto* scenarios = new std::map<std::string, Entry>;
  return *scenarios;
}

int RunScenario(const std::string& name) {
  auto it = Scenarios().find(name);
  if (it == Scenarios().end()) return 101;
  std::string error;
  auto library = platform::Library::Open(OBEXSES_LIBRARY, &error);
  if (!library) {
    std::fprintf(stderr, "cannot load the library: %s\n", error.c_str());
    return 100;
  }
  Probe probe;
  probe.library = library.get();
  if (it->second.initialize) {
    auto initialize = probe.Export<InitializeFn>("Initialize");
    auto command = probe.Export<CallProfileCommandFn>("CallProfileCommand");
    if (initialize == nullptr || command == nullptr) return 102;
    probe.Check(initialize(reinterpret_cast<ICore*>(&probe)) == 1, "Initialize gives 1");
    command(u"QueryDdi", 1, &probe.table);
  }
  it->second.scenario(probe);
  return probe.failures;
}

}  // namespace

void Probe::Check(bool ok, const char* what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "check failed: %s\n", what);
}

bool RegisterScenario(const std::string& name, Scenario scenario, bool initialize) {
  Scenarios()[name] = Entry{std::move(scenario), initialize};
  return true;
}

int RunInChild(const std::string& name) {
  return platform::RunProgram({platform::ExecutablePath(), "--probe", name});
}

}  // namespace obexses::host_test

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--probe") == 0) {
    return obexses::host_test::RunScenario(argv[2]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
