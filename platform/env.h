// SPDX-License-Identifier: MIT
// The module's window on the operating system's files, folders, locks, clock
// and randomness: primitives, each mapped by a backend (POSIX or Windows) to
// its system calls and nothing more. Policy, such as how a file is replaced
// durably, lives above (platform/durable_file.h). The settings store, the
// debugger output and the host's log are seams of their own
// (platform/platform.h).
//
// Env::Default() is the process's backend; tests wrap it (EnvWrapper) to
// watch calls, fail them or delay them.
//
// Paths are UTF-16 and use backslashes, as the module builds them; a backend
// maps them to its file system. On POSIX a name is bytes, read and written
// with text::FromUtf8 and text::ToUtf8: each byte that is not part of valid
// UTF-8 stands for itself as the lone unit U+DC80..U+DCFF and turns back into
// the same byte, so a folder or a listed file whose name is not UTF-8 is
// reached exactly as it was found.
//
// Calls may come from any thread. Failures are Status values, never
// exceptions, except std::bad_alloc when memory runs out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace obexses::platform {

struct FileAttributes {
  uint64_t last_write_time = 0;  // Windows file time: 100-ns units since 1601-01-01 UTC
  uint64_t size = 0;             // 0 for a folder
  bool folder = false;
};

// Which file a name or a handle is, on its volume.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

// A file being written, made by Env::CreateExclusive. Until it is closed no
// other process takes it for one whose writer is gone (RemoveIfAbandoned).
// Destroying it closes it, if need be, ignoring errors.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual Status Append(std::string_view bytes) = 0;
  // What was appended reaches the disk.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

// A lock taken with Env::LockFile; released when destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
  // The file that is locked, to tell whether it is still the one at its name.
  virtual FileId id() const = 0;
};

// Where Env::ReadFile puts a file's bytes.
class ReadTarget {
 public:
  virtual ~ReadTarget() = default;
  // Room for bytes bytes in all, the ones read so far kept at its start.
  // Throws std::bad_alloc when memory runs out.
  virtual char* Room(size_t bytes) = 0;
  // The read is whole: it gave bytes bytes.
  virtual void Read(size_t bytes) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process's own backend; never null, never deleted.
  static Env* Default();

  // ---- Folders ----

  // The current user's roaming application-data folder, without a trailing
  // separator (POSIX: $XDG_DATA_HOME when absolute, else the home folder's
  // .local/share, made when missing).
  virtual Status AppDataFolder(std::u16string* path) = 0;
  // Makes one folder (POSIX: private, 0700). kExists when something is there.
  virtual Status CreateFolder(const std::u16string& path) = 0;
  // The names in a folder, "." and ".." left out.
  virtual Status ListFolder(const std::u16string& path, std::vector<std::u16string>* names) = 0;
  // The folder's entries (names made, moved and removed) reach the disk.
  virtual Status SyncFolder(const std::u16string& path) = 0;

  // ---- Files ----

  // A new file of this process's own (POSIX: 0600), never made through a
  // link nor over anything at the name (kExists).
  virtual Status CreateExclusive(const std::u16string& path,
                                 std::unique_ptr<WritableFile>* file) = 0;
  // A regular file's whole contents into target: kNotAFile for anything
  // else (a pipe is never waited on), kTooLarge, told by its size before
  // anything is read, for one of more than limit bytes.
  virtual Status ReadFile(const std::u16string& path, uint64_t limit, ReadTarget* target) = 0;
  // Moves from over to, replacing what is there.
  virtual Status Rename(const std::u16string& from, const std::u16string& to) = 0;
  virtual Status Remove(const std::u16string& path) = 0;
  // Removes a file that CreateExclusive made, unless its writer still has it
  // open (kBusy): one whose writer died is removed, one being written never.
  virtual Status RemoveIfAbandoned(const std::u16string& path) = 0;
  // Is there a file or folder at path?
  virtual bool PathExists(const std::u16string& path) = 0;
  virtual Status Attributes(const std::u16string& path, FileAttributes* attributes) = 0;
  // Which file is at path now.
  virtual Status Identity(const std::u16string& path, FileId* id) = 0;
  // Opens the file at path (made when missing, never through a link) and
  // takes its exclusive lock, which serializes processes, waiting at most
  // wait while another holds it (then kBusy).
  virtual Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                          std::unique_ptr<FileLock>* lock) = 0;

  // ---- The platform's text files (the temporary file list) ----

  // Bytes on disk to text with "\n" line breaks, and back: UTF-8 and LF on
  // POSIX; on Windows the runtime's text mode (the current locale's
  // multibyte encoding, CR LF, and a byte 0x1A that ends the text).
  virtual std::u16string DecodeText(std::string_view bytes) = 0;
  virtual std::string EncodeText(std::u16string_view text) = 0;

  // ---- Clock, randomness, errors ----

  // Seconds since 1970-01-01 UTC.
  virtual int64_t NowSeconds() = 0;
  // 64 bits for names nobody can guess.
  virtual uint64_t Random() = 0;
  // The system's words for what went wrong, in UTF-8.
  virtual std::string Describe(const Status& status) = 0;
};

// Forwards every call to another Env; tests override what they replace.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}

  Status AppDataFolder(std::u16string* path) override { return target_->AppDataFolder(path); }
  Status CreateFolder(const std::u16string& path) override { return target_->CreateFolder(path); }
  Status ListFolder(const std::u16string& path, std::vector<std::u16string>* names) override {
    return target_->ListFolder(path, names);
  }
  Status SyncFolder(const std::u16string& path) override { return target_->SyncFolder(path); }
  Status CreateExclusive(const std::u16string& path, std::unique_ptr<WritableFile>* file) override {
    return target_->CreateExclusive(path, file);
  }
  Status ReadFile(const std::u16string& path, uint64_t limit, ReadTarget* target) override {
    return target_->ReadFile(path, limit, target);
  }
  Status Rename(const std::u16string& from, const std::u16string& to) override {
    return target_->Rename(from, to);
  }
  Status Remove(const std::u16string& path) override { return target_->Remove(path); }
  Status RemoveIfAbandoned(const std::u16string& path) override {
    return target_->RemoveIfAbandoned(path);
  }
  bool PathExists(const std::u16string& path) override { return target_->PathExists(path); }
  Status Attributes(const std::u16string& path, FileAttributes* attributes) override {
    return target_->Attributes(path, attributes);
  }
  Status Identity(const std::u16string& path, FileId* id) override {
    return target_->Identity(path, id);
  }
  Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                  std::unique_ptr<FileLock>* lock) override {
    return target_->LockFile(path, wait, lock);
  }
  std::u16string DecodeText(std::string_view bytes) override { return target_->DecodeText(bytes); }
  std::string EncodeText(std::u16string_view text) override { return target_->EncodeText(text); }
  int64_t NowSeconds() override { return target_->NowSeconds(); }
  uint64_t Random() override { return target_->Random(); }
  std::string Describe(const Status& status) override { return target_->Describe(status); }

 protected:
  Env* target() const { return target_; }

 private:
  Env* target_;
};

// A whole file read into a string of bytes or of UTF-16 units (two bytes to
// a unit, the first the low one; an odd last byte is the low half of a last
// unit, its high half zero).
template <typename String>
class StringTarget final : public ReadTarget {
 public:
  explicit StringTarget(String* into) : into_(into) {}
  char* Room(size_t bytes) override {
    into_->resize((bytes + kUnit - 1) / kUnit);
    return reinterpret_cast<char*>(into_->data());
  }
  void Read(size_t bytes) override {
    into_->resize((bytes + kUnit - 1) / kUnit);
    if (bytes % kUnit != 0) (*into_)[bytes / kUnit] &= 0xFF;
    bytes_ = bytes;
  }
  size_t bytes() const { return bytes_; }

 private:
  static constexpr size_t kUnit = sizeof(typename String::value_type);
  String* into_;
  size_t bytes_ = 0;
};

// Reads a whole file into *units (and its byte count into *bytes).
Status ReadFileUnits(Env* env, const std::u16string& path, uint64_t limit, std::u16string* units,
                     size_t* bytes);

}  // namespace obexses::platform
