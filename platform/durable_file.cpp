// SPDX-License-Identifier: MIT
#include "platform/durable_file.h"

#include <algorithm>
#include <vector>

#include "platform/file_names.h"

namespace obexses::platform {
namespace {

using Clock = std::chrono::steady_clock;

std::u16string Joined(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u"\\" + std::u16string(name);
}

// Removes the temporary files of path whose writers are gone. What cannot be
// removed (a live one, or one the system refuses) stays for a later store.
void RemoveAbandonedTemporaries(Env* env, const std::u16string& path) {
  const std::u16string_view folder = names::FolderOf(path);
  const std::u16string_view file = names::NameOf(path);
  std::vector<std::u16string> entries;
  if (!env->ListFolder(std::u16string(folder), &entries).ok()) return;
  for (const std::u16string& name : entries) {
    if (names::IsTemporaryOf(name, file)) env->RemoveIfAbandoned(Joined(folder, name));
  }
}

// A new temporary file of this store's own beside path.
Status CreateTemporary(Env* env, const std::u16string& path, std::u16string* temporary,
                       std::unique_ptr<WritableFile>* file) {
  Status status;
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temporary = names::TemporaryPath(path, env->Random());
    status = env->CreateExclusive(*temporary, file);
    if (status.kind() != Status::Kind::kExists) return status;
  }
  return status;
}

// Writes, syncs (when asked) and closes file; the first failure is the
// result, and the file is closed whatever happens.
Status WriteAndClose(WritableFile* file, const FileWriter& write, Sync sync) {
  Status status = write(file);
  if (status.ok() && sync == Sync::kDurable) status = file->Sync();
  const Status closed = file->Close();
  return status.ok() ? closed : status;
}

FileWriter AppendAll(std::string_view bytes) {
  return [bytes](WritableFile* file) { return file->Append(bytes); };
}

}  // namespace

Status LockForReplace(Env* env, const std::u16string& path, std::chrono::milliseconds wait,
                      std::unique_ptr<FileLock>* lock) {
  const std::u16string lock_path = names::LockFilePath(path);
  const Clock::time_point deadline = Clock::now() + wait;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const Status status =
        env->LockFile(lock_path, std::max(left, std::chrono::milliseconds(0)), lock);
    if (!status.ok()) return status;
    FileId at_name;
    if (env->Identity(lock_path, &at_name).ok() && at_name == (*lock)->id()) return Status();
    // Removed or replaced since it was opened: whoever holds the file at the
    // name now is the one to take turns with.
    lock->reset();
    if (Clock::now() >= deadline) return Status(Status::Kind::kBusy, 0);
  }
}

Status ReplaceFileLocked(Env* env, const std::u16string& path, std::string_view bytes, Sync sync) {
  return ReplaceFileLockedWith(env, path, AppendAll(bytes), sync);
}

Status ReplaceFileLockedWith(Env* env, const std::u16string& path, const FileWriter& write,
                             Sync sync) {
  RemoveAbandonedTemporaries(env, path);
  std::u16string temporary;
  std::unique_ptr<WritableFile> file;
  Status status = CreateTemporary(env, path, &temporary, &file);
  if (!status.ok()) return status;
  status = WriteAndClose(file.get(), write, sync);
  if (status.ok()) status = env->Rename(temporary, path);
  if (!status.ok()) {
    env->Remove(temporary);
    return status;
  }
  // Once moved, the new file stands: a folder that cannot be synced (nor even
  // named, memory running out) leaves only its surviving a power loss unsure,
  // and the replacement is done.
  if (sync == Sync::kDurable) {
    try {
      env->SyncFolder(std::u16string(names::FolderOf(path)));
    } catch (...) {
    }
  }
  return Status();
}

Status ReplaceFile(Env* env, const std::u16string& path, std::string_view bytes,
                   std::chrono::milliseconds lock_wait, Sync sync) {
  return ReplaceFileWith(env, path, AppendAll(bytes), lock_wait, sync);
}

Status ReplaceFileWith(Env* env, const std::u16string& path, const FileWriter& write,
                       std::chrono::milliseconds lock_wait, Sync sync) {
  std::unique_ptr<FileLock> lock;
  const Status locked = LockForReplace(env, path, lock_wait, &lock);
  if (locked.kind() == Status::Kind::kBusy) return locked;
  return ReplaceFileLockedWith(env, path, write, sync);
}

}  // namespace obexses::platform
