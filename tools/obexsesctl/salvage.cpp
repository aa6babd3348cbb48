// SPDX-License-Identifier: MIT
// salvage: every whole session element that the library's reader finds in a
// damaged or cut file, written to a new file that loads: the first of each
// key, whatever its age (the start-up after judges that).
#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "platform/durable_file.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace obexsesctl {
namespace {

// Is OUT the input itself, by whatever path (a link, another spelling)?
bool SameFile(const std::string& input, const std::string& output) {
  std::error_code error;
  return output != "-" && std::filesystem::equivalent(NativePath(input), NativePath(output), error);
}

// The start-up's rule with the age set aside: the first of each key with a
// layout the library knows.
bool Recovered(const Session& session) {
  return session.fate == obexses::Fate::kKept || session.fate == obexses::Fate::kObsolete;
}

std::string Outcome(const Session& session) {
  if (Recovered(session)) return "recovered";
  return "lost: " + ReasonText(*session.fate);
}

void PrintText(const Context& context, const SessionFile& file, size_t recovered, std::FILE* out) {
  fmt::print(out, "{}: {}; {} recovered\n", context.options.operand,
             file.reading == Reading::kLoaded ? "loads" : file.Trouble(context.env),
             Count(recovered, "session"));
  for (const std::string& line : Losses(file)) fmt::print(out, "  {}\n", line);
  PrintSessions(context, SessionsOf({&file, 1}), "SALVAGE", Outcome, out);
}

void PrintJsonResult(const Context& context, const SessionFile& file, size_t recovered,
                     bool written, std::FILE* out) {
  Json sessions = Json::array();
  for (const Session& session : file.sessions) {
    Json json = SessionJson(context, session);
    json["recovered"] = Recovered(session);
    sessions.push_back(std::move(json));
  }
  Json input = FileJson(context, file);
  input["path"] = context.options.operand;
  PrintJson({{"input", std::move(input)},
             {"output", context.options.out},
             {"written", written},
             {"recovered", recovered},
             {"sessions", std::move(sessions)}},
            out);
}

// The new file: the sessions recovered, written as the library writes a file.
std::string Recover(SessionFile* file, size_t* recovered) {
  const auto no_age = [] { return std::numeric_limits<int64_t>::min(); };
  Judge(file, no_age, true);  // only a session of the very first moment is that old
  obexses::persist::SessionFileBuilder builder(file->side);
  for (const Session& session : file->sessions) {
    if (!Recovered(session)) continue;
    session.WithRecord([&builder](const auto& record) { builder.Add(&record); });
    ++*recovered;
  }
  return builder.Finish();
}

bool Write(const Context& context, const std::string& bytes) {
  if (context.options.out == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  }
  // A file of no library's: replaced durably, with no lock file beside it.
  const std::u16string path = PathArgument(context.options.out);
  const obexses::platform::Status status =
      obexses::platform::ReplaceFileLocked(context.env, path, bytes);
  if (!status.ok()) PrintFailure(context.env, path, status);
  return status.ok();
}

}  // namespace

int RunSalvage(const Context& context) {
  const Options& options = context.options;
  SessionFile file;
  if (!ReadGivenFile(context, &file)) return kExitProblems;
  if (SameFile(options.operand, options.out)) {
    PrintError(fmt::format("{} is {} itself: salvage writes a new file beside the damaged one",
                           options.out, options.operand));
    return kExitUsage;
  }
  if (file.reading == Reading::kForeignEncoding) {
    PrintError(fmt::format("{}: {}; nothing recovered, nothing written", options.operand,
                           file.Trouble(context.env)));
    return kExitProblems;
  }
  size_t recovered = 0;
  const std::string bytes = Recover(&file, &recovered);
  std::FILE* report = options.out == "-" ? stderr : stdout;  // the file goes to stdout
  const bool written = recovered != 0 && Write(context, bytes);
  if (options.json) {
    PrintJsonResult(context, file, recovered, written, report);
  } else {
    PrintText(context, file, recovered, report);
    if (written && options.out != "-") fmt::print(report, "wrote {}\n", options.out);
  }
  if (recovered == 0) {
    PrintError(fmt::format("nothing recovered from {}; nothing written", options.operand));
  }
  const bool whole =
      file.reading == Reading::kLoaded && file.lost.empty() && recovered == file.sessions.size();
  return written && whole ? kExitOk : kExitProblems;
}

}  // namespace obexsesctl
