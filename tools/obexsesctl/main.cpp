// SPDX-License-Identifier: MIT
// obexsesctl's command line: its commands, options and help (CLI11), and the
// exit status of what runs. A command line that does not fit is a usage
// error, exit status 2; see commands.h for the commands.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "host/host.h"
#include "obexses/version.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/output.h"

namespace obexsesctl {
namespace {

// "90", "90s", "15m", "2h30m", "7d", "1w": seconds; -1 when text is not a
// duration, or one so long that no reckoning with it could overflow.
int64_t ParseDuration(const std::string& text) {
  static constexpr std::string_view kUnits = "smhdw";
  static constexpr int64_t kSeconds[] = {1, 60, 3600, 86400, 604800};
  constexpr int64_t kLimit = INT64_MAX / 604800 / 2;
  int64_t total = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t end = std::min(text.find_first_not_of("0123456789", i), text.size());
    if (end == i || end - i > 15) return -1;
    const int64_t number = std::stoll(text.substr(i, end - i));
    const size_t unit = end == text.size() ? 0 : kUnits.find(text[end]);
    if (unit == std::string_view::npos || number > kLimit) return -1;
    total += number * kSeconds[unit];
    if (total > INT64_MAX / 2) return -1;
    i = std::min(end + 1, text.size());
  }
  return text.empty() ? -1 : total;
}

// OBEXSESCTL_NOW when set (a whole number of seconds), else the clock; far
// enough from the ends of the range that no age reckoned from it overflows.
bool Now(obexses::platform::Env* env, int64_t* now) {
  const char* pinned = std::getenv("OBEXSESCTL_NOW");
  if (pinned == nullptr || *pinned == 0) {
    *now = env->NowSeconds();
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(pinned, &end, 10);
  constexpr long long kLimit = 1LL << 62;
  *now = value;
  return *end == 0 && errno == 0 && value <= kLimit && value >= -kLimit;
}

const auto kNotEmpty = CLI::Validator(
    [](std::string& text) { return text.empty() ? std::string("must not be empty") : ""; }, "");

CLI::App* Command(CLI::App& app, const char* name, const char* about) {
  CLI::App* command = app.add_subcommand(name, about);
  command->fallthrough();  // --data and --output after the command too
  return command;
}

void AddSide(CLI::App* command, Options& options) {
  command
      ->add_option("--side", options.side,
                   "client or server, for a file whose contents and name do not tell")
      ->check(CLI::IsMember({"client", "server"}));
}

void AddReadingCommands(CLI::App& app, Options& options) {
  Command(app, "list", "list the sessions of both session files, numbered for show");
  Command(app, "show", "show every stored field of one session")
      ->add_option("session", options.operand, "the session's number in list, or its key")
      ->type_name("KEY|INDEX")
      ->required();
  CLI::App* verify = Command(app, "verify",
                             "load the session files (or FILE) as the next start-up does, and "
                             "say what it keeps, what it drops and why");
  verify->add_option("file", options.operand, "a session file anywhere")->type_name("FILE");
  AddSide(verify, options);
  Command(app, "settings", "show the effective settings and the folders and files used");
}

void AddChangingCommands(CLI::App& app, Options& options) {
  CLI::App* salvage = Command(app, "salvage",
                              "write every whole session element of a damaged or cut FILE "
                              "into OUT, a new file that loads");
  salvage->add_option("file", options.operand, "the damaged file")->type_name("FILE")->required();
  salvage->add_option("-o,--out", options.out, "the new file; - for standard output")
      ->type_name("OUT")
      ->required()
      ->check(kNotEmpty);
  AddSide(salvage, options);
  CLI::App* prune = Command(app, "prune", "remove the sessions created at least DURATION ago");
  prune
      ->add_option_function<std::string>(
          "--older-than",
          [&options](const std::string& text) { options.older_than = ParseDuration(text); },
          "a whole number with a unit: s (the default), m, h, d or w, combined as in 1d12h")
      ->type_name("DURATION")
      ->required()
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseDuration(text) < 0 ? "is not a duration such as 90m, 12h or 7d" : "";
          },
          ""));
  prune->add_flag("--dry-run", options.dry_run, "say what would be removed, change nothing");
}

void AddDemo(CLI::App& app, Options& options) {
  CLI::App* demo = Command(app, "demo",
                           "run the library through a typical session of its profile modules, in "
                           "a sandbox of its own");
  CLI::App* restart = Command(app, "demo-restart", "the demo's second process");
  restart->group("");
  restart->add_option("--report", options.report);
  for (CLI::App* command : {demo, restart}) {
    command->add_option("--lib", options.library,
                        "the library to load (default: the one this obexsesctl was built or "
                        "installed with)");
    command->add_flag("--trace", options.trace, "show the library's debug trace");
  }
}

void DefineCommandLine(CLI::App& app, Options& options, bool* version) {
  app.set_help_all_flag("--help-all", "show this help with every command's own");
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return fmt::format("obexsesctl: {}\nTry 'obexsesctl --help' for more information.\n",
                       error.what());
  });
  app.add_option("--data", options.data,
                 "the application-data folder that holds Velmora (default: the current user's); "
                 "demo: the folder of its sandbox (default: a new temporary one)")
      ->type_name("DIR")
      ->check(kNotEmpty);
  app.add_option_function<std::string>(
         "--output", [&options](const std::string& format) { options.json = format == "json"; },
         "text (the default) or json")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "json"}));
  app.add_flag("--version", *version, "show the version");
  app.require_subcommand(0, 1);
  app.footer(
      "Every command takes --data DIR and --output FORMAT, before or after its name.\n"
      "Exit status: 0 all is well, 1 problems found or an error, 2 usage error.\n"
      "See obexsesctl(1) for the rules of the next start-up and the JSON form.");
  AddReadingCommands(app, options);
  AddChangingCommands(app, options);
  AddDemo(app, options);
}

int PrintVersion(bool json) {
  if (json) {
    PrintJson({{"program", "obexsesctl"}, {"version", OBEXSES_VERSION_STRING}});
  } else {
    fmt::print("obexsesctl {}\n", OBEXSES_VERSION_STRING);
  }
  return kExitOk;
}

int Run(const Options& options) {
  if (options.command == "demo") return RunDemo(options);
  if (options.command == "demo-restart") return RunDemoRestart(options);
  obexses::platform::Env* env = obexses::platform::Env::Default();
  int64_t now = 0;
  if (!Now(env, &now)) {
    PrintError("OBEXSESCTL_NOW must be a whole number of seconds since 1970");
    return kExitUsage;
  }
  static constexpr struct {
    const char* name;
    int (*run)(const Context&);
  } kCommands[] = {{"list", RunList},       {"show", RunShow},   {"verify", RunVerify},
                   {"salvage", RunSalvage}, {"prune", RunPrune}, {"settings", RunSettings}};
  const Context context{options, env, now};
  for (const auto& command : kCommands) {
    if (options.command == command.name) return command.run(context);
  }
  return kExitUsage;
}

// Standard output reached its file, or the command fails: a listing that
// was cut short is no listing.
int Flushed(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  PrintError(fmt::format("standard output: {}", std::strerror(errno)));
  return kExitProblems;
}

int ParseAndRun(std::vector<std::string> args) {
  CLI::App app(
      "Look into the session files of the obexses OBEX session store, check and "
      "repair them, and run the library through a demonstration.",
      "obexsesctl");
  Options options;
  bool version = false;
  DefineCommandLine(app, options, &version);
  try {
    std::reverse(args.begin(), args.end());
    app.parse(args);
  } catch (const CLI::ParseError& error) {
    const int shown = app.exit(error);
    return shown == 0 ? kExitOk : kExitUsage;
  }
  if (version) return PrintVersion(options.json);
  if (app.get_subcommands().empty()) {
    PrintError("a command is needed; obexsesctl --help lists them");
    return kExitUsage;
  }
  options.command = app.get_subcommands().front()->get_name();
  return Run(options);
}

}  // namespace
}  // namespace obexsesctl

int main(int argc, char** argv) {
  using namespace obexsesctl;
  try {
    return Flushed(ParseAndRun(obexses::host::ProgramArguments(argc, argv)));
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
  } catch (const std::system_error& error) {
    PrintError(fmt::format("standard output: {}", error.code().message()));
  }
  return kExitProblems;
}
