// prune: old sessions out of both files, each file read and replaced under
// the store lock, so that no store of a library comes in between.
#include <algorithm>

#include "platform/durable_file.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

enum class Result { kMissing, kLocked, kNotLoaded, kNothing, kWouldPrune, kPruned, kWriteFailed };

struct FileResult {
  SessionFile file;
  Result result = Result::kMissing;
  std::vector<size_t> removed;  // indexes into file.sessions
};

const char* ResultName(Result result) {
  switch (result) {
    case Result::kMissing:
      return "missing";
    case Result::kLocked:
      return "locked";
    case Result::kNotLoaded:
      return "not_loaded";
    case Result::kNothing:
      return "nothing_to_prune";
    case Result::kWouldPrune:
      return "would_prune";
    case Result::kPruned:
      return "pruned";
    case Result::kWriteFailed:
      return "write_failed";
  }
  return "?";
}

bool Failed(Result result) {
  return result == Result::kLocked || result == Result::kNotLoaded ||
         result == Result::kWriteFailed;
}

// What the old file keeps, as the library writes a file.
std::string Rewritten(const SessionFile& file, const std::vector<size_t>& removed) {
  obexses::persist::SessionFileBuilder builder(file.side);
  for (size_t i = 0; i < file.sessions.size(); ++i) {
    if (std::find(removed.begin(), removed.end(), i) != removed.end()) continue;
    const Session& session = file.sessions[i];
    if (session.client != nullptr) builder.Add(session.client.get());
    if (session.server != nullptr) builder.Add(session.server.get());
  }
  return builder.Finish();
}

// Reads and, unless dry, rewrites one file; sessions numbered from first.
FileResult PruneFile(const Context& context, Side side, const std::u16string& path, int first) {
  FileResult out;
  out.file.side = side;
  out.file.path = path;
  if (!context.env->PathExists(path)) return out;
  std::unique_ptr<obexses::platform::FileLock> lock;
  if (!context.invocation.dry_run && (lock = LockStore(context.env, path)) == nullptr) {
    out.result = Result::kLocked;
    return out;
  }
  out.file = ReadSessionFile(context.env, side, path, context.Threshold(), first);
  if (out.file.state != FileState::kLoaded) {
    out.result = out.file.state == FileState::kMissing ? Result::kMissing : Result::kNotLoaded;
    return out;
  }
  const StartUpRule older(context.now - context.invocation.older_than);
  bool old = false;
  for (size_t i = 0; i < out.file.sessions.size(); ++i) {
    const Session& session = out.file.sessions[i];
    // An element of an unreadable profile cannot be written back: it goes
    // when the file is rewritten, and only then.
    const bool gone = !session.readable() || older.Obsolete(session.created());
    old = old || (gone && session.readable());
    if (gone) out.removed.push_back(i);
  }
  if (!old) {
    out.removed.clear();
    out.result = Result::kNothing;
  } else if (context.invocation.dry_run) {
    out.result = Result::kWouldPrune;
  } else {
    const std::string bytes = Rewritten(out.file, out.removed);
    out.result = obexses::platform::ReplaceFileLocked(context.env, path, bytes).ok()
                     ? Result::kPruned
                     : Result::kWriteFailed;
  }
  return out;
}

std::string Reason(const Session& session) {
  return session.readable() ? "old" : FateText(Fate::kUnreadableProfile);
}

std::string Headline(const FileResult& out) {
  const std::string path = ShownPath(out.file.path);
  const std::string counted =
      std::to_string(out.removed.size()) + " of " + Count(out.file.sessions.size(), "session");
  switch (out.result) {
    case Result::kMissing:
      return path + ": not there";
    case Result::kLocked:
      return path +
             ": left alone: a running library holds its store lock (or the lock file "
             "cannot be used)";
    case Result::kNotLoaded:
      return path + ": left alone: it " + FileStateText(out.file.state, out.file.side) +
             "; obexsesctl salvage recovers its complete sessions";
    case Result::kNothing:
      return path + ": nothing to prune";
    case Result::kWouldPrune:
      return path + ": would remove " + counted + " (dry run: nothing changed)";
    case Result::kPruned:
      return path + ": removed " + counted;
    case Result::kWriteFailed:
      return path + ": cannot be written; it stays as it was";
  }
  return path;
}

void PrintText(const Context& context, const std::vector<FileResult>& results) {
  for (const FileResult& out : results) {
    if (Failed(out.result)) {
      PrintError(Headline(out));
    } else {
      std::printf("%s\n", Headline(out).c_str());
    }
    if (out.removed.empty()) continue;
    Table table(SessionHeader("REMOVED"));
    for (const size_t i : out.removed) {
      const Session& session = out.file.sessions[i];
      std::vector<std::string> row = SessionCells(context, session);
      row.push_back(Reason(session));
      table.Add(std::move(row));
    }
    table.Print(stdout);
  }
}

void PrintJsonResults(const Context& context, const std::vector<FileResult>& results) {
  Json files = Json::Array();
  for (const FileResult& out : results) {
    Json removed = Json::Array();
    for (const size_t i : out.removed) {
      const Session& session = out.file.sessions[i];
      removed.Add(SessionJson(context, session).Set("reason", Reason(session)));
    }
    Json file = FileJson(out.file);
    file.Set("result", ResultName(out.result))
        .Set("kept", out.file.sessions.size() - out.removed.size())
        .Set("removed", std::move(removed));
    files.Add(std::move(file));
  }
  Json json = Json::Object();
  json.Set("older_than", context.invocation.older_than)
      .Set("removed_if_created_by", context.now - context.invocation.older_than)
      .Set("dry_run", context.invocation.dry_run)
      .Set("files", std::move(files));
  PrintJson(json);
}

}  // namespace

int RunPrune(const Context& context) {
  std::u16string app_data;
  if (!FindAppData(context, &app_data)) return kExitProblems;
  std::vector<FileResult> results;
  int first = 1;
  bool failed = false;
  for (const Side side : {Side::kClient, Side::kServer}) {
    results.push_back(PruneFile(context, side, SessionFilePath(app_data, side), first));
    first += static_cast<int>(results.back().file.sessions.size());
    failed = failed || Failed(results.back().result);
  }
  if (context.json()) {
    PrintJsonResults(context, results);
  } else {
    PrintText(context, results);
  }
  return failed ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
