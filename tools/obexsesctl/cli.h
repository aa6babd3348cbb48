// The command line of obexsesctl: the command, its options and operands, the
// help texts (the manual page is made from the full one) and the version.
// Parsing only reads its arguments; what does not fit is a usage error,
// returned as a message for standard error and exit status 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace obexsesctl {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;  // something was found wrong or could not be done
inline constexpr int kExitUsage = 2;

enum class Format { kText, kJson };

struct Invocation {
  std::string command;  // empty with --help or --version alone
  std::vector<std::string> operands;
  Format format = Format::kText;
  std::string data;         // --data: the application-data folder (demo: its sandbox)
  std::string out;          // -o, --out: the file salvage writes
  std::string side;         // --side: "client" or "server", or empty
  int64_t older_than = -1;  // --older-than, in seconds; -1 when not given
  bool dry_run = false;
  std::string library;  // --lib
  bool trace = false;
  std::string report;  // --report: where a restarted demo leaves its JSON
  bool help = false;
  bool help_all = false;  // --help-all: the overview and every command's help
  bool version = false;
};

// False, with the message in *error, when the arguments do not make a
// command line of obexsesctl.
bool ParseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error);

// The help of one command, or the overview for an empty command; full: the
// overview with every command's help (the manual page's text).
std::string HelpText(const std::string& command, bool full = false);
std::string VersionText();

// "90", "90s", "15m", "2h30m", "7d", "1w": seconds; -1 when text is not a
// duration.
int64_t ParseDuration(const std::string& text);

}  // namespace obexsesctl
