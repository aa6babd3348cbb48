// verify: each file loaded as the start-up loads it; what it keeps, what it
// drops and why, and, for a file that does not load, what salvage recovers.
#include <algorithm>
#include <optional>

#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

struct Verdict {
  SessionFile file;
  size_t elements = 0;     // session elements in the text
  size_t dropped = 0;      // read, but dropped by the start-up
  size_t unread = 0;       // in the text of a file that loads, but not read
  size_t recoverable = 0;  // complete elements that read on their own
  // Sessions the start-up loses, one way or another.
  size_t Lost() const { return file.state == FileState::kLoaded ? dropped + unread : elements; }
  bool Problem() const {
    return Lost() != 0 || (file.state != FileState::kLoaded && file.state != FileState::kMissing);
  }
};

Verdict Judge(SessionFile file) {
  Verdict verdict;
  const std::vector<Piece> pieces = SessionPieces(file.units);
  verdict.elements = pieces.size();
  for (const Piece& piece : pieces) {
    verdict.recoverable += ReadPiece(file.units, piece, file.side).readable() ? 1 : 0;
  }
  for (const Session& session : file.sessions) {
    verdict.dropped += session.fate == Fate::kKept ? 0 : 1;
  }
  if (file.state == FileState::kLoaded && pieces.size() > file.sessions.size()) {
    verdict.unread = pieces.size() - file.sessions.size();
  }
  verdict.file = std::move(file);
  return verdict;
}

std::string Summary(const Verdict& verdict) {
  const SessionFile& file = verdict.file;
  std::string text = ShownPath(file.path) + ": " + FileStateText(file.state, file.side);
  if (file.state == FileState::kLoaded) {
    text += ", " + Count(file.sessions.size(), "session") + ": " +
            std::to_string(file.sessions.size() - verdict.dropped) + " kept, " +
            std::to_string(verdict.dropped) + " dropped";
    if (verdict.unread != 0) {
      text += "; " + Count(verdict.unread, "session element") + " in its text not read";
    }
  } else if (file.state != FileState::kMissing) {
    text += "; nothing in it is restored. " + std::to_string(verdict.recoverable) + " of " +
            Count(verdict.elements, "session element") + " can be recovered: obexsesctl salvage " +
            ShownPath(file.path) + " -o NEW";
  }
  return text;
}

void PrintText(const Context& context, const std::vector<Verdict>& verdicts, size_t lost) {
  for (const Verdict& verdict : verdicts) {
    std::printf("%s\n", Summary(verdict).c_str());
    if (verdict.file.sessions.empty()) continue;
    Table table(SessionHeader("NEXT START-UP"));
    for (const Session& session : verdict.file.sessions) {
      std::vector<std::string> row = SessionCells(context, session);
      row.push_back(StartUpText(session.fate));
      table.Add(std::move(row));
    }
    table.Print(stdout);
  }
  if (lost == 0) {
    std::printf("nothing would be lost at the next start-up\n");
  } else {
    std::printf("%s would be lost at the next start-up\n", Count(lost, "session").c_str());
  }
}

void PrintJsonVerdicts(const Context& context, const std::vector<Verdict>& verdicts, size_t lost,
                       bool ok) {
  Json files = Json::Array();
  for (const Verdict& verdict : verdicts) {
    Json file = FileJson(verdict.file);
    Json sessions = Json::Array();
    for (const Session& session : verdict.file.sessions) {
      sessions.Add(SessionJson(context, session));
    }
    file.Set("sessions", std::move(sessions))
        .Set("elements", verdict.elements)
        .Set("kept", verdict.file.sessions.size() - verdict.dropped)
        .Set("dropped", verdict.dropped)
        .Set("unread", verdict.unread)
        .Set("recoverable", verdict.recoverable)
        .Set("lost", verdict.Lost());
    files.Add(std::move(file));
  }
  Json json = Json::Object();
  json.Set("files", std::move(files)).Set("lost", lost).Set("ok", ok);
  PrintJson(json);
}

// FILE alone: its side from --side, its text or its name. An exit status
// when it cannot be read as either side.
std::optional<int> ReadGivenFile(const Context& context, std::vector<SessionFile>* files) {
  const std::string& argument = context.invocation.operands.front();
  const std::u16string path = PathFromArgument(argument);
  std::u16string units;
  size_t bytes = 0;
  if (!obexses::platform::ReadFileUnits(context.env, path, obexses::persist::kMaxFileBytes, &units,
                                        &bytes)
           .ok()) {
    PrintError("cannot read " + argument);
    return kExitProblems;
  }
  std::optional<Side> side = SideOfFile(units, path);
  if (!context.invocation.side.empty()) {
    side = context.invocation.side == "client" ? Side::kClient : Side::kServer;
  }
  if (!side) {
    PrintError("cannot tell whether " + argument + " is a client or a server file; give --side");
    return kExitUsage;
  }
  files->push_back(ReadSessionFile(context.env, *side, path, context.Threshold(), 1));
  return std::nullopt;
}

}  // namespace

int RunVerify(const Context& context) {
  std::vector<SessionFile> files;
  if (!context.invocation.operands.empty()) {
    if (const std::optional<int> failed = ReadGivenFile(context, &files)) return *failed;
  } else {
    std::u16string app_data;
    if (!FindAppData(context, &app_data)) return kExitProblems;
    files = ReadBothFiles(context, app_data);
  }
  std::vector<Verdict> verdicts;
  size_t lost = 0;
  bool ok = true;
  for (SessionFile& file : files) {
    verdicts.push_back(Judge(std::move(file)));
    lost += verdicts.back().Lost();
    ok = ok && !verdicts.back().Problem();
  }
  if (context.json()) {
    PrintJsonVerdicts(context, verdicts, lost, ok);
  } else {
    PrintText(context, verdicts, lost);
  }
  return ok ? kExitOk : kExitProblems;
}

}  // namespace obexsesctl
