// The demo of obexsesctl: the typical road of the profile modules, in two
// processes so that the saved sessions are seen to survive a restart. Both
// processes work in a sandbox of the demo's own (host::Sandbox) and refuse
// to run where the platform cannot give them one.
#pragma once

#include <string>

namespace obexsesctl {

struct DemoOptions {
  std::string data_dir;  // empty: a new temporary folder
  std::string library;   // empty: the library next to this program
  bool trace = false;
  bool json = false;
  std::string report;  // second process, JSON: the file its account goes to
};

// First process: sets up the folder, saves sessions, then runs the restart.
// Its exit status, or the second process's.
int RunDemo(DemoOptions options);
// Second process: restarts the module on the same folder and finds them again.
int RunDemoRestart(const DemoOptions& options);

}  // namespace obexsesctl
