// obexsesctl: a command-line host for the obexses library. It loads the
// library the way the Bluetooth host does (by path, Initialize,
// CallProfileCommand("QueryDdi"), then only the service table) and walks the
// typical road of a profile module, saying what each step returned.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/obexsesctl/demo.h"

namespace {

void PrintUsage() {
  std::puts(
      "usage: obexsesctl demo [--data DIR] [--lib PATH] [--trace]\n"
      "\n"
      "  demo      create, save, find, check, resume and destroy client and server\n"
      "            sessions of both profiles, restart the module in a new process,\n"
      "            find the saved sessions again and show what is on disk.\n"
      "  --data    keep the application-data folder, settings and logs in DIR\n"
      "            (default: a new temporary folder)\n"
      "  --lib     the library to load (default: next to this program)\n"
      "  --trace   show the module's debug trace (ObexSesDebugLevel 3) on stderr");
}

}  // namespace

int main(int argc, char** argv) {
  obexsesctl::DemoOptions options;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--data" || arg == "--lib") && i + 1 < argc) {
      (arg == "--data" ? options.data_dir : options.library) = argv[++i];
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage();
      return 0;
    } else if (command.empty()) {
      command = arg;
    } else {
      PrintUsage();
      return 2;
    }
  }
  if (command == "demo") return obexsesctl::RunDemo(options);
  if (command == "demo-restart") return obexsesctl::RunDemoRestart(options);
  PrintUsage();
  return command.empty() ? 0 : 2;
}
