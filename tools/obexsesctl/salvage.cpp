// salvage: each session element of a damaged or cut file read on its own,
// and the ones that read written to a new file, the first of each key.
#include "platform/durable_file.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

// The input's side: --side, else its text or its name. Unknown: nullopt.
std::optional<Side> SideToUse(const Context& context, const std::u16string& units,
                              const std::u16string& path) {
  if (context.invocation.side.empty()) return SideOfFile(units, path);
  return context.invocation.side == "client" ? Side::kClient : Side::kServer;
}

// Every element of the text, read alone; obsolete sessions stay, repeated
// keys and key-less sessions go.
std::vector<Session> ReadEveryPiece(const std::u16string& units, Side side) {
  std::vector<Session> sessions;
  StartUpRule first_of_each_key(0);
  for (const Piece& piece : SessionPieces(units)) {
    Session session = ReadPiece(units, piece, side);
    session.index = static_cast<int>(sessions.size()) + 1;
    if (session.readable()) session.fate = first_of_each_key.JudgeKey(session);
    sessions.push_back(std::move(session));
  }
  return sessions;
}

std::string Outcome(Fate fate) {
  return fate == Fate::kKept ? "recovered" : std::string("lost: ") + FateText(fate);
}

void PrintText(const Context& context, const std::string& input, Side side,
               const std::vector<Session>& sessions, const std::string& output, size_t kept) {
  std::printf("%s: %s of a %s file\n", input.c_str(),
              Count(sessions.size(), "session element").c_str(), SideName(side));
  if (!sessions.empty()) {
    Table table(SessionHeader("SALVAGE"));
    for (const Session& session : sessions) {
      std::vector<std::string> row = SessionCells(context, session);
      row.push_back(Outcome(session.fate));
      table.Add(std::move(row));
    }
    table.Print(stdout);
  }
  std::printf("wrote %s: %s\n", output.c_str(), Count(kept, "session").c_str());
}

void PrintJsonResult(const Context& context, const std::string& input, Side side,
                     const std::vector<Session>& sessions, const std::string& output, size_t kept) {
  Json list = Json::Array();
  for (const Session& session : sessions) list.Add(SessionJson(context, session));
  Json json = Json::Object();
  json.Set("input", input)
      .Set("side", SideName(side))
      .Set("output", output)
      .Set("recovered", kept)
      .Set("lost", sessions.size() - kept)
      .Set("sessions", std::move(list));
  PrintJson(json);
}

bool Write(const Context& context, const std::u16string& path, const std::string& bytes) {
  const auto lock = LockStore(context.env, path);
  if (lock == nullptr) {
    PrintError("cannot take the store lock of " + context.invocation.out +
               ": a running library holds it, or its lock file cannot be made there");
    return false;
  }
  if (!obexses::platform::ReplaceFileLocked(context.env, path, bytes).ok()) {
    PrintError("cannot write " + context.invocation.out);
    return false;
  }
  return true;
}

}  // namespace

int RunSalvage(const Context& context) {
  const std::string& input = context.invocation.operands.front();
  const std::u16string path = PathFromArgument(input);
  std::u16string units;
  size_t bytes = 0;
  if (!obexses::platform::ReadFileUnits(context.env, path, obexses::persist::kMaxFileBytes, &units,
                                        &bytes)
           .ok()) {
    PrintError("cannot read " + input);
    return kExitProblems;
  }
  const std::optional<Side> side = SideToUse(context, units, path);
  if (!side) {
    PrintError("cannot tell whether " + input + " is a client or a server file; give --side");
    return kExitUsage;
  }
  const std::vector<Session> sessions = ReadEveryPiece(units, *side);
  obexses::persist::SessionFileBuilder builder(*side);
  size_t kept = 0;
  for (const Session& session : sessions) {
    if (session.fate != Fate::kKept) continue;
    if (session.client != nullptr) builder.Add(session.client.get());
    if (session.server != nullptr) builder.Add(session.server.get());
    ++kept;
  }
  if (!Write(context, PathFromArgument(context.invocation.out), builder.Finish())) {
    return kExitProblems;
  }
  if (context.json()) {
    PrintJsonResult(context, input, *side, sessions, context.invocation.out, kept);
  } else {
    PrintText(context, input, *side, sessions, context.invocation.out, kept);
  }
  return kept == sessions.size() ? kExitOk : kExitProblems;
}

}  // namespace obexsesctl
