// SPDX-License-Identifier: MIT
// The session files as obexsesctl sees them: what the library's reader makes
// of each (the session elements it completed, where each lies, those that
// opened and never completed, where it stopped), and what the library's
// rules make of each session: what the next start-up keeps or drops and why
// (RestoreRule, with ObexSesObsoleteTime as the library reads it), and
// whether its transfer file is unchanged (CheckFile). Reading never changes
// a file. Failures are results; memory exhaustion throws std::bad_alloc.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "persist/session_file.h"
#include "platform/env.h"
#include "registry/file_checks.h"
#include "registry/restore_rule.h"
#include "tools/obexsesctl/output.h"

namespace obexsesctl {

using obexses::persist::Side;

const char* SideName(Side side);  // "client", "server"

// One session element that the reader completed, in file order, with its
// record when its layout is known.
struct Session {
  int index = 0;  // 1-based, across what a command shows
  Side side = Side::kClient;
  obexses::persist::ClientRecordDeepPtr client;
  obexses::persist::ServerRecordDeepPtr server;
  obexses::persist::ElementSpan span{};
  // What the rule made of it; none while it is unjudged, and for good in a
  // file that does not load, of which nothing is restored.
  std::optional<obexses::Fate> fate;

  bool readable() const { return client != nullptr || server != nullptr; }
  // Of a readable session only:
  template <typename F>
  auto WithRecord(F f) const {
    return client != nullptr ? f(*client) : f(*server);
  }
  std::string Key() const;  // empty when it has none
  std::u16string TransferPath() const;
  obexses::FileState Transfer(obexses::platform::Env* env) const;
};

// "kept", "unreadable", "obsolete", "no_key", "repeated_key", and
// "not_loaded" for none.
const char* FateName(std::optional<obexses::Fate> fate);
// A fate for a person: "obsolete", "no key", "unreadable profile", ...
std::string ReasonText(obexses::Fate fate);
// "kept", "dropped: obsolete", ..., "lost: the file does not load".
std::string StartUpText(std::optional<obexses::Fate> fate);
// "no_path", "missing", "changed", "unchanged".
const char* TransferName(obexses::FileState state);

enum class Reading {
  kMissing,          // nothing at the path: no sessions, and nothing wrong
  kUnreadable,       // the system refused the read: status says why
  kForeignEncoding,  // not UTF-16LE: encoding names it
  kNotLoaded,
  kNoTopElement,
  kLoaded,
};
const char* ReadingName(Reading reading);  // "missing", ..., "no_top_element", "loaded"

struct SessionFile {
  Side side = Side::kClient;
  bool side_known = true;  // false: neither its text nor its name told, and none was given
  std::u16string path;
  Reading reading = Reading::kMissing;
  obexses::platform::Status status;
  const char* encoding = nullptr;
  std::u16string units;  // the contents as the reader takes them
  size_t bytes = 0;
  size_t stopped_at = 0;          // where the reader stopped
  std::vector<Session> sessions;  // every element it completed, kept or not
  std::vector<size_t> lost;       // where each element that never completed began

  // A file the start-up cannot take in whole.
  bool Problem() const { return reading != Reading::kMissing && reading != Reading::kLoaded; }
  // Where a unit of the text lies: {"line": 2, "column": 120}, and the same
  // as "line 2, column 120".
  Json At(size_t unit) const;
  std::string Where(size_t unit) const;
  // What is wrong with it, said for a person: "does not load", ...
  std::string Trouble(obexses::platform::Env* env) const;
};

// Reads path as a session file of side with the library's reader, its
// sessions numbered from first_index and not yet judged.
SessionFile ReadSessionFile(obexses::platform::Env* env, Side side, std::u16string path,
                            int first_index);
// Judges the sessions of a file that loads as a restore does: sessions
// created at or before threshold() are obsolete. every: those of a file that
// does not load too (for salvage).
void Judge(SessionFile* file, std::function<int64_t()> threshold, bool every = false);

struct Context;

// Both session files of an application-data folder, the client file first,
// their sessions numbered across both and judged as the next start-up will.
std::vector<SessionFile> ReadBothFiles(const Context& context, const std::u16string& app_data);

// FILE of verify and salvage, read as the side that --side names, or its
// text or its name tells (else as a client file). False, with the error
// told, when it cannot be read.
bool ReadGivenFile(const Context& context, SessionFile* file);
// On standard error, what keeps the start-up from taking a file in whole;
// false when nothing does.
bool ReportTrouble(const Context& context, const SessionFile& file);
// The lines that say what of a file that does not load could not be read.
std::vector<std::string> Losses(const SessionFile& file);

// The sessions of files, in file order.
std::vector<const Session*> SessionsOf(std::span<const SessionFile> files);
// Sessions in a table, one a row, whose last column (headed last_column)
// says what becomes of each by outcome; nothing at all for no session.
void PrintSessions(const Context& context, const std::vector<const Session*>& sessions,
                   const char* last_column,
                   const std::function<std::string(const Session&)>& outcome,
                   std::FILE* out = stdout);
// The same as JSON, with its "fate" last.
Json SessionJson(const Context& context, const Session& session);
// A file's "side", "path", "state" and what its reading found.
Json FileJson(const Context& context, const SessionFile& file);

// The side a file's text says (the top element it opens first), else its
// name's (ClientSession.xml, ServerSession.xml); none when neither tells.
std::optional<Side> SideOfFile(std::u16string_view units, std::u16string_view path);

}  // namespace obexsesctl
