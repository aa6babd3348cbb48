// obexsesctl: the support tool of the obexses session store, and a small
// host of the library for its demo. See commands.h for the commands and
// cli.cpp for the command line and its help.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/env.h"
#include "tools/obexsesctl/cli.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/demo.h"

namespace obexsesctl {
namespace {

// OBEXSESCTL_NOW when set (a whole number of seconds), else the clock.
bool Now(obexses::platform::Env* env, int64_t* now) {
  const char* pinned = std::getenv("OBEXSESCTL_NOW");
  if (pinned == nullptr || *pinned == 0) {
    *now = env->NowSeconds();
    return true;
  }
  char* end = nullptr;
  const long long value = std::strtoll(pinned, &end, 10);
  // Far beyond any clock, and far enough from the ends of the range that
  // no age or threshold reckoned from it overflows.
  constexpr long long kLimit = 1LL << 62;
  if (*end != 0 || value > kLimit || value < -kLimit) return false;
  *now = value;
  return true;
}

int RunDemoCommand(const Invocation& invocation) {
  DemoOptions options;
  options.data_dir = invocation.data;
  options.library = invocation.library;
  options.trace = invocation.trace;
  options.json = invocation.format == Format::kJson;
  options.report = invocation.report;
  if (invocation.command == "demo") return RunDemo(options);
  if (options.data_dir.empty()) {
    PrintError("demo-restart is the demo's own second process; run demo");
    return kExitUsage;
  }
  return RunDemoRestart(options);
}

int Run(const Invocation& invocation) {
  if (invocation.command == "demo" || invocation.command == "demo-restart") {
    return RunDemoCommand(invocation);
  }
  obexses::platform::Env* env = obexses::platform::Env::Default();
  int64_t now = 0;
  if (!Now(env, &now)) {
    PrintError("OBEXSESCTL_NOW must be a whole number of seconds since 1970");
    return kExitUsage;
  }
  const Context context{invocation, env, now};
  struct {
    const char* name;
    int (*run)(const Context&);
  } static constexpr kRunners[] = {{"list", RunList},     {"show", RunShow},
                                   {"verify", RunVerify}, {"salvage", RunSalvage},
                                   {"prune", RunPrune},   {"settings", RunSettings}};
  for (const auto& runner : kRunners) {
    if (invocation.command == runner.name) return runner.run(context);
  }
  return kExitUsage;
}

}  // namespace
}  // namespace obexsesctl

int main(int argc, char** argv) {
  using namespace obexsesctl;
  const std::vector<std::string> args = obexses::host::ProgramArguments(argc, argv);
  Invocation invocation;
  std::string error;
  if (!ParseCommandLine(args, &invocation, &error)) {
    PrintError(error);
    std::fputs("Try 'obexsesctl --help' for more information.\n", stderr);
    return kExitUsage;
  }
  if (invocation.help) {
    std::fputs(HelpText(invocation.command, invocation.help_all).c_str(), stdout);
    return kExitOk;
  }
  if (invocation.version) {
    std::fputs(VersionText().c_str(), stdout);
    return kExitOk;
  }
  try {
    return Run(invocation);
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
    return kExitProblems;
  }
}
