// SPDX-License-Identifier: MIT
// An Env that fails on purpose, in front of another: it counts the primitives
// made on one folder and its files (create, append, sync, close, rename,
// remove, folder sync, list, read, lock, identity), fails a chosen one with a
// chosen error, and keeps what a power loss would leave: each file's contents
// as of its last sync, and the folder's entries as of its last sync.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/env.h"

namespace obexses::testing {

enum class Primitive {
  kCreate,
  kAppend,
  kSync,
  kClose,
  kRename,
  kRemove,
  kFolderSync,
  kList,
  kRead,
  kLock,
  kIdentity
};

class FaultEnv : public platform::EnvWrapper {
 public:
  // Watches folder; what is in it now counts as already on the disk.
  FaultEnv(platform::Env* target, const std::filesystem::path& folder);

  // The nth primitive from now fails with kind. With crash, the process
  // counts as dead from then on: every later primitive fails too and changes
  // nothing on the disk.
  void FailAt(int n, platform::Status::Kind kind, bool crash = false);
  // Did the chosen failure happen, and on which primitive and path?
  bool reached() const { return reached_; }
  Primitive failed_primitive() const { return failed_kind_; }
  const std::u16string& failed_path() const { return failed_path_; }
  // Calls on a file after it was closed: a result that went unchecked.
  int misuses() const { return misuses_; }

  // Leaves the folder as a power loss now would. What is there afterwards
  // counts as on the disk.
  void PowerLoss();
  // Nothing fails any more, and what is in the folder now counts as on the disk.
  void Reset();

  platform::Status CreateExclusive(const std::u16string& path,
                                   std::unique_ptr<platform::WritableFile>* file) override;
  platform::Status ReadFile(const std::u16string& path, uint64_t limit,
                            platform::ReadTarget* target) override;
  platform::Status Rename(const std::u16string& from, const std::u16string& to) override;
  platform::Status Remove(const std::u16string& path) override;
  platform::Status RemoveIfAbandoned(const std::u16string& path) override;
  platform::Status SyncFolder(const std::u16string& path) override;
  platform::Status ListFolder(const std::u16string& path,
                              std::vector<std::u16string>* names) override;
  platform::Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                            std::unique_ptr<platform::FileLock>* lock) override;
  platform::Status Identity(const std::u16string& path, platform::FileId* id) override;

 private:
  class File;
  struct Contents {
    std::string written;
    std::string synced;
  };

  // The name of a path in the watched folder (or the folder itself: ""), or
  // none for a path elsewhere.
  std::optional<std::string> Watched(const std::u16string& path) const;
  // Counts one primitive on a watched path; the failure when it is to fail.
  std::optional<platform::Status> Fails(Primitive kind, const std::u16string& path);
  void TakeDiskState();

  std::string folder_;  // generic form, '/' separated
  int countdown_ = 0;
  platform::Status::Kind kind_ = platform::Status::Kind::kFailed;
  bool crash_ = false;
  bool dead_ = false;
  bool reached_ = false;
  Primitive failed_kind_ = Primitive::kCreate;
  std::u16string failed_path_;
  int misuses_ = 0;
  int next_contents_ = 0;
  std::map<int, Contents> contents_;
  std::map<std::string, int> live_;     // name -> contents
  std::map<std::string, int> durable_;  // as of the folder's last sync
};

}  // namespace obexses::testing
