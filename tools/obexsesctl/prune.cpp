// SPDX-License-Identifier: MIT
// prune: the old sessions out of both files of a data folder, each file read
// and replaced under the lock its library's stores take, so that no store
// comes in between; a file whose lock a running library holds is left alone.
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/durable_file.h"
#include "platform/file_names.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {
namespace {

namespace platform = obexses::platform;

struct Pruned {
  SessionFile file;
  std::string result;  // "pruned", "would_prune", "nothing_to_prune", "missing", or a failure's
  std::string error;   // a failure's cause, for a person
  std::vector<const Session*> removed;
};

bool Failed(const Pruned& pruned) {
  return !pruned.error.empty();
}

// The lock of a file that is there, taken at once.
bool Lock(const Context& context, Pruned* pruned, std::unique_ptr<platform::FileLock>* lock) {
  const std::u16string& path = pruned->file.path;
  const platform::Status status =
      platform::LockForReplace(context.env, path, std::chrono::milliseconds(0), lock);
  if (status.ok()) return true;
  const bool held = status.kind() == platform::Status::Kind::kBusy;
  pruned->result = held ? "locked" : "lock_failed";
  pruned->error =
      held ? "left alone: a running library holds its store lock"
           : fmt::format("left alone: its lock file {}: {}",
                         Utf8(platform::names::NameOf(platform::names::LockFilePath(path))),
                         context.env->Describe(status));
  return false;
}

// What stays of the file, written as the library writes one.
std::string Rewritten(const SessionFile& file, const std::vector<const Session*>& removed) {
  obexses::persist::SessionFileBuilder builder(file.side);
  for (const Session& session : file.sessions) {
    if (std::find(removed.begin(), removed.end(), &session) != removed.end()) continue;
    session.WithRecord([&builder](const auto& record) { builder.Add(&record); });
  }
  return builder.Finish();
}

// Sessions created at or before the cutoff go, and so do those of an
// unreadable profile, which cannot be written back, when the file is
// rewritten at all.
void Choose(const Context& context, Pruned* pruned) {
  const int64_t cutoff = context.now - context.options.older_than;
  Judge(&pruned->file, [cutoff] { return cutoff; });
  bool old = false;
  for (const Session& session : pruned->file.sessions) {
    old |= session.fate == obexses::Fate::kObsolete;
    if (session.fate == obexses::Fate::kObsolete || !session.readable()) {
      pruned->removed.push_back(&session);
    }
  }
  if (!old) pruned->removed.clear();
}

void Rewrite(const Context& context, Pruned* pruned) {
  const std::string bytes = Rewritten(pruned->file, pruned->removed);
  const platform::Status status =
      platform::ReplaceFileLocked(context.env, pruned->file.path, bytes);
  pruned->result = status.ok() ? "pruned" : "write_failed";
  if (!status.ok()) {
    pruned->error =
        fmt::format("cannot be rewritten: {}; it stays as it was", context.env->Describe(status));
  }
}

Pruned PruneFile(const Context& context, Side side, const std::u16string& path, int first) {
  Pruned pruned{ReadSessionFile(context.env, side, path, first)};
  const Reading reading = pruned.file.reading;
  std::unique_ptr<platform::FileLock> lock;
  if (reading != Reading::kMissing && reading != Reading::kUnreadable && !context.options.dry_run) {
    if (!Lock(context, &pruned, &lock)) return pruned;
    pruned.file = ReadSessionFile(context.env, side, path, first);  // as it stands, locked
  }
  if (pruned.file.reading == Reading::kMissing) {
    pruned.result = "missing";
  } else if (pruned.file.Problem()) {
    pruned.result = ReadingName(pruned.file.reading);
    pruned.error = pruned.file.reading == Reading::kUnreadable
                       ? pruned.file.Trouble(context.env)
                       : "left alone: it " + pruned.file.Trouble(context.env);
  } else {
    Choose(context, &pruned);
    if (pruned.removed.empty()) {
      pruned.result = "nothing_to_prune";
    } else if (context.options.dry_run) {
      pruned.result = "would_prune";
    } else {
      Rewrite(context, &pruned);
    }
  }
  return pruned;
}

std::string Headline(const Pruned& pruned) {
  const std::string path = ShownPath(pruned.file.path);
  if (Failed(pruned)) return fmt::format("{}: {}", path, pruned.error);
  const std::string counted =
      fmt::format("{} of {}", pruned.removed.size(), Count(pruned.file.sessions.size(), "session"));
  if (pruned.result == "missing") return path + ": not there";
  if (pruned.result == "nothing_to_prune") return path + ": nothing to prune";
  if (pruned.result == "would_prune") return path + ": would remove " + counted + " (dry run)";
  return path + ": removed " + counted;
}

std::string Reason(const Session& session) {
  return session.readable() ? "old" : ReasonText(obexses::Fate::kUnreadable);
}

void PrintText(const Context& context, const std::vector<Pruned>& results) {
  for (const Pruned& pruned : results) {
    if (Failed(pruned)) {
      PrintError(Headline(pruned));
      continue;
    }
    fmt::print("{}\n", Headline(pruned));
    PrintSessions(context, pruned.removed, "REMOVED", Reason);
  }
}

void PrintJsonResults(const Context& context, const std::vector<Pruned>& results) {
  Json files = Json::array();
  for (const Pruned& pruned : results) {
    Json removed = Json::array();
    for (const Session* session : pruned.removed) {
      removed.push_back(SessionJson(context, *session));
      removed.back()["reason"] = session->readable() ? "old" : "unreadable";
    }
    Json file = FileJson(context, pruned.file);
    file["result"] = pruned.result;
    if (Failed(pruned)) file["error"] = pruned.error;
    file["kept"] = pruned.file.sessions.size() - pruned.removed.size();
    file["removed"] = std::move(removed);
    files.push_back(std::move(file));
  }
  PrintJson({{"older_than", context.options.older_than},
             {"removed_if_created_by", context.now - context.options.older_than},
             {"dry_run", context.options.dry_run},
             {"files", std::move(files)}});
}

}  // namespace

int RunPrune(const Context& context) {
  std::u16string app_data;
  if (!context.AppData(&app_data)) return kExitProblems;
  std::vector<Pruned> results;
  int first = 1;
  bool failed = false;
  for (const Side side : {Side::kClient, Side::kServer}) {
    const std::u16string path = platform::names::SessionFilePath(app_data, side == Side::kClient);
    results.push_back(PruneFile(context, side, path, first));
    first += static_cast<int>(results.back().file.sessions.size());
    failed |= Failed(results.back());
  }
  if (context.options.json) {
    PrintJsonResults(context, results);
  } else {
    PrintText(context, results);
  }
  return failed ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
