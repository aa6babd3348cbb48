#include "tools/obexsesctl/cli.h"

#include <cctype>
#include <cstring>

namespace obexsesctl {
namespace {

#ifdef OBEXSES_VERSION_STRING
constexpr char kVersion[] = OBEXSES_VERSION_STRING;
#else
constexpr char kVersion[] = "0.2.0";
#endif

// Options beyond the ones every command takes (--data, --output, --help).
enum Option : unsigned {
  kOut = 1u << 0,
  kSide = 1u << 1,
  kOlderThan = 1u << 2,
  kDryRun = 1u << 3,
  kLib = 1u << 4,
  kTrace = 1u << 5,
  kReport = 1u << 6,
};

struct OptionSpec {
  const char* name;  // long form
  const char* short_name;
  unsigned bit;  // 0: every command takes it
  bool takes_value;
};

constexpr OptionSpec kOptions[] = {
    {"--data", nullptr, 0, true},
    {"--output", nullptr, 0, true},
    {"--help", "-h", 0, false},
    {"--help-all", nullptr, 0, false},
    {"--version", nullptr, 0, false},
    {"--out", "-o", kOut, true},
    {"--side", nullptr, kSide, true},
    {"--older-than", nullptr, kOlderThan, true},
    {"--dry-run", nullptr, kDryRun, false},
    {"--lib", nullptr, kLib, true},
    {"--trace", nullptr, kTrace, false},
    {"--report", nullptr, kReport, true},
};

struct CommandRule {
  const char* name;
  size_t min_operands;
  size_t max_operands;
  unsigned options;   // the options it takes beyond the common ones
  unsigned required;  // of those, the ones it cannot do without
  const char* help;   // its own help text, usage line first
};

constexpr CommandRule kCommands[] = {
    {"list", 0, 0, 0, 0,
     "Usage: obexsesctl list [--data DIR] [--output FORMAT]\n"
     "List the sessions of ClientSession.xml and then of ServerSession.xml, one row\n"
     "each, numbered across both files (the INDEX that show takes): side, profile,\n"
     "device address (client sessions), name (client) or session id (server),\n"
     "creation time as local time and age, bytes done of the transfer's total,\n"
     "whether the transfer file is there and unchanged since the session was saved\n"
     "(unchanged, changed, missing, or - when the session names none), and whether\n"
     "the session survives the next start-up, or why not.\n"
     "Exit status 1 when a session file cannot be read or does not load.\n"},
    {"show", 1, 1, 0, 0,
     "Usage: obexsesctl show KEY|INDEX [--data DIR] [--output FORMAT]\n"
     "Show every stored field of one session by its name in the file, decoded where\n"
     "that reads better: numbers in decimal, the device address with colons, the\n"
     "creation time as local time, texts as they stand, buffers and the FTP request\n"
     "list in full. INDEX is the number that list shows; KEY is the session's key\n"
     "(client_<address>_<profile>_<name> or server_<session id>), the first session\n"
     "with that key when there are several.\n"
     "Exit status 1 when there is no such session or it cannot be read.\n"},
    {"verify", 0, 1, kSide, 0,
     "Usage: obexsesctl verify [FILE] [--side SIDE] [--data DIR] [--output FORMAT]\n"
     "Load both session files (or FILE alone) as the library's start-up does and say\n"
     "whether each loads at all, and which of its sessions are kept or dropped, and\n"
     "why: obsolete, no name, repeated key or unreadable profile. A file that does not\n"
     "load is also searched for complete sessions that salvage can recover.\n"
     "Exit status 1 when anything would be lost.\n"},
    {"salvage", 1, 1, kOut | kSide, kOut,
     "Usage: obexsesctl salvage FILE -o OUT [--side SIDE] [--output FORMAT]\n"
     "Recover every complete session of a damaged or cut session file: each session\n"
     "element of FILE is read on its own with the library's reader, and those that\n"
     "read are written to OUT, a new file that loads (the first of each key; obsolete\n"
     "sessions are kept). OUT is replaced atomically, as the library replaces a\n"
     "session file. Exit status 1 when a session could not be recovered or OUT could\n"
     "not be written.\n"},
    {"prune", 0, 0, kOlderThan | kDryRun, kOlderThan,
     "Usage: obexsesctl prune --older-than DURATION [--dry-run] [--data DIR] [--output FORMAT]\n"
     "Remove from both session files the sessions created at least DURATION ago,\n"
     "rewriting each file as the library does: whole and atomically, under the lock\n"
     "its stores take. A file whose lock a running library holds is left alone; stop\n"
     "the host first, since a running library writes its own sessions back at its\n"
     "next store. Sessions of an unreadable profile cannot be written back: they go\n"
     "too when a file is rewritten.\n"
     "Exit status 1 when a file does not load, is locked or cannot be written.\n"},
    {"settings", 0, 0, 0, 0,
     "Usage: obexsesctl settings [--data DIR] [--output FORMAT]\n"
     "Show the effective values of ObexSesSaveFile, ObexSesDebugLevel and\n"
     "ObexSesObsoleteTime with their source (the settings store, or the default), and\n"
     "the folders and files the library uses.\n"
     "Exit status 1 when the settings store is there but unusable.\n"},
    {"demo", 0, 0, kLib | kTrace, 0,
     "Usage: obexsesctl demo [--data DIR] [--lib PATH] [--trace] [--output FORMAT]\n"
     "Load the library as the Bluetooth host does and walk the typical road of its\n"
     "profile modules: create, save, find, check, resume and destroy client and\n"
     "server sessions of both profiles, restart the library in a new process, find\n"
     "the sessions again and show the start-up clean-up of a temporary file. It works\n"
     "in a sandbox of its own (a new temporary folder, or DIR) with settings of its\n"
     "own, and never touches the user's settings, session files or tmp_lst; where\n"
     "the platform cannot give it such a sandbox it refuses, with exit status 1.\n"},
    {"demo-restart", 0, 0, kLib | kTrace | kReport, 0, nullptr},  // the demo's second process
};

constexpr char kOverview[] =
    "Usage: obexsesctl COMMAND [OPTION]...\n"
    "Look into the session files of the obexses OBEX session store, check and repair\n"
    "them, and run the library through a demonstration.\n"
    "\n"
    "Session files are read offline with the library's own reader and records: in\n"
    "the current user's application-data folder, or in the one given with --data\n"
    "(a copy taken from another machine, for instance). Every command takes\n"
    "--output json for a stable JSON form of what it prints; errors go to standard\n"
    "error.\n"
    "\n"
    "Commands:\n"
    "  list                  list the sessions of both session files\n"
    "  show KEY|INDEX        show every stored field of one session\n"
    "  verify [FILE]         load the session files (or FILE) as the next start-up\n"
    "                        would and say which sessions it keeps\n"
    "  salvage FILE -o OUT   write every complete session of a damaged or cut FILE\n"
    "                        into OUT, a new file that loads\n"
    "  prune --older-than DURATION [--dry-run]\n"
    "                        remove the sessions created at least DURATION ago\n"
    "  settings              show the effective settings and the folders used\n"
    "  demo                  run the library through a typical session, in a\n"
    "                        sandbox of its own\n"
    "\n"
    "Options:\n"
    "  --data DIR            the application-data folder to work on (the one that\n"
    "                        holds Velmora; default: the current user's); demo: the\n"
    "                        folder of its sandbox (default: a new temporary one)\n"
    "  --output FORMAT       text (the default) or json\n"
    "  -o, --out FILE        salvage: the file to write\n"
    "  --side SIDE           verify, salvage: client or server, for a file whose\n"
    "                        contents and name do not tell\n"
    "  --older-than DURATION\n"
    "                        prune: remove the sessions created at least DURATION\n"
    "                        ago\n"
    "  --dry-run             prune: say what would be removed, change nothing\n"
    "  --lib PATH            demo: the library to load (default: beside obexsesctl)\n"
    "  --trace               demo: show the library's debug trace on standard error\n"
    "  -h, --help            show this help; after a command, that command's help\n"
    "  --help-all            show this help with every command's own help\n"
    "  --version             show the version\n"
    "\n"
    "Next start-up:\n"
    "  A saved session survives the library's next start-up when it was created\n"
    "  less than ObexSesObsoleteTime seconds ago (one day by default), has a key (a\n"
    "  client session needs a name) and is the first in its file with that key.\n"
    "  Otherwise it is dropped: obsolete, no name, repeated key, or unreadable\n"
    "  profile (an element of a layout the library does not know).\n"
    "\n"
    "Durations:\n"
    "  A whole number with a unit: s (seconds, the default), m, h, d or w; units\n"
    "  may be combined, as in 1d12h.\n"
    "\n"
    "Exit status:\n"
    "  0  fine\n"
    "  1  problems found: a file that does not load, a session that would be lost,\n"
    "     a change that was refused or failed\n"
    "  2  usage error\n"
    "\n"
    "Environment:\n"
    "  OBEXSESCTL_NOW        seconds since 1970-01-01 UTC to take as the present, for\n"
    "                        ages and the start-up rule (default: the clock)\n"
    "  TZ                    the time zone of the local times shown\n"
    "  OBEXSES_REGISTRY      POSIX: the settings file, in the registry export\n"
    "                        format (default: /etc/obexses/registry.reg)\n"
    "  XDG_DATA_HOME, HOME   POSIX: the current user's application-data folder is\n"
    "                        $XDG_DATA_HOME when absolute, else $HOME/.local/share\n"
    "\n"
    "Files:\n"
    "  DIR/Velmora/Session/ClientSession.xml  the saved client sessions\n"
    "  DIR/Velmora/Session/ServerSession.xml  the saved server sessions\n"
    "  DIR/Velmora/tmp_lst                    the temporary file list\n"
    "\n"
    "Examples:\n"
    "  $ obexsesctl list\n"
    "  $ obexsesctl show 2 --output json\n"
    "  $ obexsesctl verify --data /mnt/backup/AppData/Roaming\n"
    "  $ obexsesctl salvage ClientSession.xml -o ClientSession.recovered.xml\n"
    "  $ obexsesctl prune --older-than 7d --dry-run\n";

const CommandRule* FindCommand(const std::string& name) {
  for (const CommandRule& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

const OptionSpec* FindOption(const std::string& name) {
  for (const OptionSpec& option : kOptions) {
    if (name == option.name || (option.short_name != nullptr && name == option.short_name)) {
      return &option;
    }
  }
  return nullptr;
}

bool Store(const OptionSpec& option, const std::string& value, Invocation* invocation,
           std::string* error) {
  const std::string name = option.name;
  if (name == "--output") {
    if (value != "text" && value != "json") {
      *error = "--output takes text or json, not '" + value + "'";
      return false;
    }
    invocation->format = value == "json" ? Format::kJson : Format::kText;
  } else if (name == "--side") {
    if (value != "client" && value != "server") {
      *error = "--side takes client or server, not '" + value + "'";
      return false;
    }
    invocation->side = value;
  } else if (name == "--older-than") {
    invocation->older_than = ParseDuration(value);
    if (invocation->older_than < 0) {
      *error = "--older-than takes a duration such as 90m, 12h or 7d, not '" + value + "'";
      return false;
    }
  } else {
    std::string* target = name == "--data"  ? &invocation->data
                          : name == "--out" ? &invocation->out
                          : name == "--lib" ? &invocation->library
                                            : &invocation->report;
    *target = value;
  }
  return true;
}

void SetFlag(const OptionSpec& option, Invocation* invocation) {
  const std::string name = option.name;
  if (name == "--help") invocation->help = true;
  if (name == "--help-all") invocation->help = invocation->help_all = true;
  if (name == "--version") invocation->version = true;
  if (name == "--dry-run") invocation->dry_run = true;
  if (name == "--trace") invocation->trace = true;
}

// Splits the arguments into options (checked against the table) and words.
bool ReadArguments(const std::vector<std::string>& args, Invocation* invocation,
                   std::vector<std::string>* words, unsigned* used, std::string* error) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      words->push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const bool joined = arg.compare(0, 2, "--") == 0 && equals != std::string::npos;
    const std::string name = joined ? arg.substr(0, equals) : arg;
    const OptionSpec* option = FindOption(name);
    if (option == nullptr) {
      *error = "unknown option " + name;
      return false;
    }
    *used |= option->bit;
    if (!option->takes_value) {
      if (joined) {
        *error = name + " takes no value";
        return false;
      }
      SetFlag(*option, invocation);
      continue;
    }
    if (!joined && i + 1 == args.size()) {
      *error = name + " needs a value";
      return false;
    }
    if (!Store(*option, joined ? arg.substr(equals + 1) : args[++i], invocation, error)) {
      return false;
    }
  }
  return true;
}

// The options of the command line that command does not take, as a message.
std::string Unwanted(unsigned used, const CommandRule& command) {
  for (const OptionSpec& option : kOptions) {
    if ((used & option.bit & ~command.options) != 0) {
      return std::string(command.name) + " does not take " + option.name;
    }
  }
  return std::string();
}

std::string Missing(unsigned used, const CommandRule& command) {
  for (const OptionSpec& option : kOptions) {
    if ((command.required & option.bit & ~used) != 0) {
      return std::string(command.name) + " needs " + option.name;
    }
  }
  return std::string();
}

bool CheckCommand(const CommandRule& command, unsigned used, const Invocation& invocation,
                  std::string* error) {
  *error = Unwanted(used, command);
  if (error->empty() && !invocation.help) *error = Missing(used, command);
  if (!error->empty() || invocation.help) return error->empty();
  const size_t count = invocation.operands.size();
  if (count < command.min_operands) {
    *error = std::string(command.name) + " needs " +
             (command.min_operands == 1 ? "an operand" : "more operands");
  } else if (count > command.max_operands) {
    *error = "too many operands for " + std::string(command.name) + ": " +
             invocation.operands[command.max_operands];
  }
  return error->empty();
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error) {
  std::vector<std::string> words;
  unsigned used = 0;
  if (!ReadArguments(args, invocation, &words, &used, error)) return false;
  if (words.empty()) {
    if (invocation->help || invocation->version) return true;
    *error = "no command given";
    return false;
  }
  invocation->command = words.front();
  invocation->operands.assign(words.begin() + 1, words.end());
  const CommandRule* command = FindCommand(invocation->command);
  if (command == nullptr) {
    *error = "unknown command " + invocation->command;
    return false;
  }
  return CheckCommand(*command, used, *invocation, error);
}

// The overview with every command's own help after its list of commands:
// the text the manual page is made from.
std::string FullHelp() {
  std::string details;
  for (const CommandRule& command : kCommands) {
    if (command.help == nullptr) continue;
    std::string help = command.help;
    help.erase(0, help.find("obexsesctl"));  // "Usage: " goes
    const size_t first_line = help.find('\n');
    details += help.substr(0, first_line) + ":\n";
    for (size_t at = first_line + 1; at < help.size();) {
      const size_t end = help.find('\n', at);
      details += "  " + help.substr(at, end - at) + "\n";
      at = end + 1;
    }
    details += "\n";
  }
  std::string text = kOverview;
  return text.insert(text.find("Options:\n"), details);
}

std::string HelpText(const std::string& command, bool full) {
  if (full) return FullHelp();
  const CommandRule* found = FindCommand(command);
  if (found == nullptr || found->help == nullptr) return kOverview;
  return std::string(found->help) +
         "\nSee obexsesctl --help for the options every command takes.\n";
}

std::string VersionText() {
  return std::string("obexsesctl ") + kVersion + "\n";
}

int64_t ParseDuration(const std::string& text) {
  struct Unit {
    char name;
    int64_t seconds;
  };
  static constexpr Unit kUnits[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}, {'w', 604800}};
  constexpr int64_t kLimit = INT64_MAX / 604800 / 2;  // no sum of parts can overflow
  int64_t total = 0;
  size_t i = 0;
  while (i < text.size()) {
    int64_t number = 0;
    const size_t start = i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
      number = number * 10 + (text[i] - '0');
      if (number > kLimit) return -1;
    }
    if (i == start) return -1;
    int64_t unit = i == text.size() ? 1 : 0;
    for (const Unit& u : kUnits) {
      if (i < text.size() && text[i] == u.name) unit = u.seconds;
    }
    if (unit == 0) return -1;
    if (i < text.size()) ++i;
    total += number * unit;
    if (total > INT64_MAX / 2) return -1;
  }
  return text.empty() ? -1 : total;
}

}  // namespace obexsesctl
