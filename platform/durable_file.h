// SPDX-License-Identifier: MIT
// Replacing a file whole and durably, and the lock with which processes take
// turns at it: written once, on the primitives of Env, for every backend, and
// used by the session store and by obexsesctl alike.
//
// A replacement writes the bytes to a new temporary file of its own beside
// the file (names::TemporaryPath), makes them durable, moves the temporary
// file over the file and makes the folder's entries durable. A crash or a
// power loss leaves the old file or the new one, never a part of either; a
// replacement that fails leaves the old file as it was and no temporary file.
// Temporary files that dead stores left are removed first; one whose writer
// is alive is never touched, so processes that cannot share a lock still
// never disturb each other.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace obexses::platform {

// Takes the lock of path's stores (its lock file, names::LockFilePath),
// waiting at most wait while another process holds it: kBusy when it held
// it all that while. The locked file is checked to be the one at the lock
// file's name still (another may have removed or replaced it): if not, the
// lock is taken again. Another failure means the lock file cannot be used.
Status LockForReplace(Env* env, const std::u16string& path, std::chrono::milliseconds wait,
                      std::unique_ptr<FileLock>* lock);

// Whether a replacement waits for the disk. kUnsynced leaves the new file's
// bytes and the folder's entries to the system: a crash may then leave the
// old file, the new one or a cut new one, for bytes whose loss costs nothing.
enum class Sync { kDurable, kUnsynced };

// What puts a replacement's bytes into the new file, by one Append or many;
// its first failure is the replacement's, which then leaves the old file and
// no temporary file, as any failure does.
using FileWriter = std::function<Status(WritableFile* file)>;

// The replacement itself, for a caller that holds path's lock (or found it
// unusable).
Status ReplaceFileLocked(Env* env, const std::u16string& path, std::string_view bytes,
                         Sync sync = Sync::kDurable);
Status ReplaceFileLockedWith(Env* env, const std::u16string& path, const FileWriter& write,
                             Sync sync = Sync::kDurable);

// Both: the lock, then the replacement. A lock file that cannot be used at
// all does not stop it; a lock held elsewhere for all of lock_wait does
// (kBusy).
Status ReplaceFile(Env* env, const std::u16string& path, std::string_view bytes,
                   std::chrono::milliseconds lock_wait, Sync sync = Sync::kDurable);
Status ReplaceFileWith(Env* env, const std::u16string& path, const FileWriter& write,
                       std::chrono::milliseconds lock_wait, Sync sync = Sync::kDurable);

}  // namespace obexses::platform
