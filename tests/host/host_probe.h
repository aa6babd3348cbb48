// Host tests run their scenarios in a child process: the test executable runs
// itself again with "--probe NAME", the child loads the built library the way
// the host does and uses it only through its exports and the service table.
// The child's exit code is the number of failed checks.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "host/host.h"
#include "obexses/obexses.h"
#include "platform/env.h"

namespace obexses::host_test {

// What a scenario gets: the loaded library, room for its table, and a check
// counter.
struct Probe {
  host::Library* library = nullptr;
  SessionDdi table{};
  int failures = 0;
  void Check(bool ok, const char* what);
  template <typename Fn>
  Fn Export(const char* name) {
    return reinterpret_cast<Fn>(library->Symbol(name));
  }
};

using Scenario = std::function<void(Probe&)>;

// Registers a scenario under name (at static initialisation).
bool RegisterScenario(const std::string& name, Scenario scenario);

// Runs the named scenario in a child process; returns its failure count
// (or a large number when the child could not run).
int RunInChild(const std::string& name);

}  // namespace obexses::host_test
