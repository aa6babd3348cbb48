// SPDX-License-Identifier: MIT
// list: every session of both files in one table, numbered for show, and
// what the next start-up does with it.
#include <fmt/format.h>

#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {
namespace {

void PrintText(const Context& context, const std::vector<SessionFile>& files, bool problems) {
  const std::vector<const Session*> sessions = SessionsOf(files);
  PrintSessions(context, sessions, "NEXT START-UP",
                [](const Session& session) { return StartUpText(session.fate); });
  // A file that cannot be read is not one without sessions.
  if (sessions.empty() && !problems) fmt::print("no sessions\n");
}

void PrintJsonList(const Context& context, const std::u16string& app_data,
                   const std::vector<SessionFile>& files) {
  Json file_list = Json::array(), sessions = Json::array();
  for (const SessionFile& file : files) {
    file_list.push_back(FileJson(context, file));
    for (const Session& session : file.sessions) sessions.push_back(SessionJson(context, session));
  }
  PrintJson({{"app_data", ShownPath(app_data)},
             {"now", context.now},
             {"obsolete_at_or_before", context.Threshold()},
             {"files", std::move(file_list)},
             {"sessions", std::move(sessions)}});
}

}  // namespace

int RunList(const Context& context) {
  std::u16string app_data;
  if (!context.AppData(&app_data)) return kExitProblems;
  const std::vector<SessionFile> files = ReadBothFiles(context, app_data);
  bool problems = false;
  for (const SessionFile& file : files) problems |= ReportTrouble(context, file);
  if (context.options.json) {
    PrintJsonList(context, app_data, files);
  } else {
    PrintText(context, files, problems);
  }
  return problems ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
