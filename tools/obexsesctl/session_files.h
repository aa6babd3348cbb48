// The two session files as obexsesctl sees them: where they lie, what they
// hold, and what the library's next start-up makes of each session. Files
// are read with the library's own reader and records (persist/); the
// start-up rule is stated once, in StartUpRule. Reading never changes a
// file; a file is replaced only under the lock the library's stores take
// (LockStore).
// Records belong to the Session that read them. Failures are results;
// memory exhaustion throws std::bad_alloc.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "persist/session_file.h"
#include "platform/env.h"

namespace obexsesctl {

using obexses::persist::Side;

const char* SideName(Side side);  // "client", "server"

// What becomes of a session element: kept, or dropped (at the next start-up,
// or by a salvage) for the reason given.
enum class Fate {
  kKept,
  kObsolete,           // created at or before the start-up's threshold
  kNoName,             // no key: a client session without a name
  kRepeatedKey,        // an earlier session of the file has its key
  kUnreadableProfile,  // an element of a layout the library does not know
  kDamaged,            // salvage: the element does not load on its own
  kCutOff,             // salvage: the file ends inside the element
};
// "kept", "obsolete", "no name", "repeated key", "unreadable profile",
// "damaged", "cut off".
const char* FateText(Fate fate);

enum class TransferState { kNone, kUnchanged, kChanged, kMissing };
const char* TransferText(TransferState state);  // "-", "unchanged", "changed", "missing"

// One session element of a file, in file order, with its record when it
// reads as one.
struct Session {
  int index = 0;  // 1-based, across what a command shows
  Side side = Side::kClient;
  obexses::persist::ClientRecordDeepPtr client;
  obexses::persist::ServerRecordDeepPtr server;
  Fate fate = Fate::kKept;

  bool readable() const { return client != nullptr || server != nullptr; }
  // Of a readable session only:
  const uint8_t* bytes() const;
  uint32_t profile() const;
  int64_t created() const;
  uint32_t amount() const;
  uint32_t length() const;
  std::u16string Key() const;
  std::u16string TransferPath() const;
  TransferState Transfer(obexses::platform::Env* env) const;
};

// The start-up's rule: a session survives when it was created after the
// threshold (now minus ObexSesObsoleteTime), has a key, and is the first of
// the file with that key.
class StartUpRule {
 public:
  explicit StartUpRule(int64_t threshold) : threshold_(threshold) {}
  bool Obsolete(int64_t created) const { return created <= threshold_; }
  // Judges the next session of a file, in file order.
  Fate Judge(const Session& session);
  // The same without the age: kept, no name, repeated key or unreadable.
  Fate JudgeKey(const Session& session);

 private:
  int64_t threshold_;
  std::set<std::u16string> keys_;
};

enum class FileState { kMissing, kUnreadable, kNotLoaded, kNoTopElement, kLoaded };
const char* FileStateName(FileState state);  // JSON: "missing", "unreadable", ...
std::string FileStateText(FileState state, Side side);

struct SessionFile {
  Side side = Side::kClient;
  std::u16string path;
  FileState state = FileState::kMissing;
  std::u16string units;  // the contents, as the reader takes them
  size_t bytes = 0;
  std::vector<Session> sessions;
};

// Reads path as a session file of side: its sessions numbered from
// first_index and judged by the start-up rule with threshold.
SessionFile ReadSessionFile(obexses::platform::Env* env, Side side, const std::u16string& path,
                            int64_t threshold, int first_index);

// The places of the library's files below an application-data folder.
std::u16string SessionFolder(const std::u16string& app_data);
std::u16string SessionFilePath(const std::u16string& app_data, Side side);
std::u16string TempListPath(const std::u16string& app_data);

// A path from the command line in the library's form.
std::u16string PathFromArgument(const std::string& argument);

// The side of a file: the top element its text opens, else its name
// (ClientSession.xml, ServerSession.xml).
std::optional<Side> SideOfFile(std::u16string_view units, std::u16string_view path);

// Where each session element of a text begins and ends, whole or cut off;
// an element ends at the first end tag after it, and a start tag that meets
// another start tag before its end is cut off there.
struct Piece {
  size_t begin = 0;
  size_t end = 0;  // one past "</session>"; for a cut-off piece, where it stops
  bool complete = false;
};
std::vector<Piece> SessionPieces(std::u16string_view units);
// Reads one piece alone, as a file of side holding that element only: the
// session, or one without a record (kUnreadableProfile, kDamaged, kCutOff).
Session ReadPiece(std::u16string_view units, const Piece& piece, Side side);

// The library's store lock of path, taken without waiting; null while
// another process holds it, or when its lock file cannot be used. Whoever
// holds it may read the file and then replace it
// (Env::ReplaceFileBytesLocked) with no store of the library in between.
std::unique_ptr<obexses::platform::FileLock> LockStore(obexses::platform::Env* env,
                                                       const std::u16string& path);

}  // namespace obexsesctl
