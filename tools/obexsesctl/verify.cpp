// SPDX-License-Identifier: MIT
// verify: each file loaded as the start-up loads it; what it keeps, what it
// drops and why, and for a file that does not load, what salvage recovers.
#include <fmt/format.h>

#include <algorithm>

#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {
namespace {

size_t Kept(const SessionFile& file) {
  return static_cast<size_t>(
      std::count_if(file.sessions.begin(), file.sessions.end(),
                    [](const Session& session) { return session.fate == obexses::Fate::kKept; }));
}

size_t Recoverable(const SessionFile& file) {
  return static_cast<size_t>(
      std::count_if(file.sessions.begin(), file.sessions.end(),
                    [](const Session& session) { return session.readable(); }));
}

// The sessions of the file that the next start-up is known to lose.
size_t Lost(const SessionFile& file) {
  return file.sessions.size() - Kept(file) + (file.Problem() ? file.lost.size() : 0);
}

std::string Summary(const Context& context, const SessionFile& file) {
  const std::string path = ShownPath(file.path);
  if (file.reading == Reading::kMissing) return path + ": not there";
  if (file.reading == Reading::kLoaded) {
    return fmt::format("{}: loads, {}: {} kept, {} dropped", path,
                       Count(file.sessions.size(), "session"), Kept(file),
                       file.sessions.size() - Kept(file));
  }
  std::string text =
      fmt::format("{}: {}; the next start-up restores none of it", path, file.Trouble(context.env));
  if (Recoverable(file) != 0) {
    text += fmt::format(". {} can be recovered: obexsesctl salvage {} -o NEW",
                        Count(Recoverable(file), "whole session element"), path);
  }
  return text;
}

std::string Conclusion(size_t lost, size_t unrestored) {
  if (unrestored == 0) {
    return lost == 0 ? "nothing would be lost at the next start-up"
                     : Count(lost, "session") + " would be lost at the next start-up";
  }
  return fmt::format("the next start-up would restore nothing from {}{}", Count(unrestored, "file"),
                     lost == 0 ? "" : " and lose at least " + Count(lost, "session"));
}

void PrintText(const Context& context, const std::vector<SessionFile>& files, size_t lost,
               size_t unrestored) {
  for (const SessionFile& file : files) {
    if (file.reading == Reading::kUnreadable) continue;  // told on standard error
    fmt::print("{}\n", Summary(context, file));
    for (const std::string& line : Losses(file)) fmt::print("  {}\n", line);
    PrintSessions(context, SessionsOf({&file, 1}), "NEXT START-UP",
                  [](const Session& session) { return StartUpText(session.fate); });
  }
  fmt::print("{}\n", Conclusion(lost, unrestored));
}

void PrintJsonVerdicts(const Context& context, const std::vector<SessionFile>& files, size_t lost,
                       size_t unrestored) {
  Json list = Json::array();
  for (const SessionFile& file : files) {
    Json json = FileJson(context, file), sessions = Json::array();
    for (const Session& session : file.sessions) sessions.push_back(SessionJson(context, session));
    json["sessions"] = std::move(sessions);
    json["kept"] = Kept(file);
    json["dropped"] = file.sessions.size() - Kept(file);
    json["recoverable"] = Recoverable(file);
    list.push_back(std::move(json));
  }
  PrintJson({{"ok", lost == 0 && unrestored == 0},
             {"lost", lost},
             {"unrestored_files", unrestored},
             {"files", std::move(list)}});
}

}  // namespace

int RunVerify(const Context& context) {
  std::vector<SessionFile> files(1);
  if (!context.options.operand.empty()) {
    if (!ReadGivenFile(context, &files.front())) return kExitProblems;
    Judge(&files.front(), [&context] { return context.Threshold(); });
  } else {
    std::u16string app_data;
    if (!context.AppData(&app_data)) return kExitProblems;
    files = ReadBothFiles(context, app_data);
  }
  size_t lost = 0, unrestored = 0;
  for (const SessionFile& file : files) {
    lost += Lost(file);
    unrestored += file.Problem() ? 1 : 0;
    if (file.reading == Reading::kUnreadable) PrintFailure(context.env, file.path, file.status);
  }
  if (context.options.json) {
    PrintJsonVerdicts(context, files, lost, unrestored);
  } else {
    PrintText(context, files, lost, unrestored);
  }
  return lost == 0 && unrestored == 0 ? kExitOk : kExitProblems;
}

}  // namespace obexsesctl
