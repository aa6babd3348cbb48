// list: every session of both files in one table, numbered for show.
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

// A file the start-up cannot take in is a problem worth an error line.
bool ReportUnloaded(const SessionFile& file) {
  if (file.state == FileState::kLoaded || file.state == FileState::kMissing) return false;
  PrintError(ShownPath(file.path) + " " + FileStateText(file.state, file.side) +
             "; obexsesctl verify says more");
  return true;
}

void PrintText(const Context& context, const std::vector<SessionFile>& files) {
  Table table(SessionHeader("NEXT START-UP"));
  size_t count = 0;
  for (const SessionFile& file : files) {
    for (const Session& session : file.sessions) {
      std::vector<std::string> row = SessionCells(context, session);
      row.push_back(StartUpText(session.fate));
      table.Add(std::move(row));
      ++count;
    }
  }
  if (count == 0) {
    std::printf("no sessions\n");
    return;
  }
  table.Print(stdout);
}

void PrintJsonList(const Context& context, const std::u16string& app_data,
                   const std::vector<SessionFile>& files) {
  Json json = Json::Object();
  Json file_list = Json::Array();
  Json sessions = Json::Array();
  for (const SessionFile& file : files) {
    file_list.Add(FileJson(file));
    for (const Session& session : file.sessions) sessions.Add(SessionJson(context, session));
  }
  json.Set("app_data", ShownPath(app_data))
      .Set("now", context.now)
      .Set("obsolete_at_or_before", context.Threshold())
      .Set("files", std::move(file_list))
      .Set("sessions", std::move(sessions));
  PrintJson(json);
}

}  // namespace

int RunList(const Context& context) {
  std::u16string app_data;
  if (!FindAppData(context, &app_data)) return kExitProblems;
  const std::vector<SessionFile> files = ReadBothFiles(context, app_data);
  bool problems = false;
  for (const SessionFile& file : files) problems |= ReportUnloaded(file);
  if (context.json()) {
    PrintJsonList(context, app_data, files);
  } else {
    PrintText(context, files);
  }
  return problems ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
