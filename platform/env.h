// The module's only window on the operating system.
//
// Everything the module needs from its platform goes through an Env: the
// roaming application-data folder, the machine settings, file attributes and
// times, whole-file reads and atomic replacement, directories, deletion, the
// clock, the debugger output and the host's log. Env::Default() is the
// process's backend (POSIX or Windows); tests install their own with SetEnv,
// usually an EnvWrapper overriding a few calls.
//
// Paths are UTF-16 and use backslashes, as the module builds them; a backend
// maps them to its file system. On POSIX a name is bytes, read and written
// with text::FromUtf8 and text::ToUtf8: each byte that is not part of valid
// UTF-8 stands for itself as the lone unit U+DC80..U+DCFF and turns back into
// the same byte, so a folder or a listed file whose name is not UTF-8 is
// reached exactly as it was found.
//
// Calls may come from any thread. Failures are results (false, null, a
// status), never exceptions, except std::bad_alloc when memory runs out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace obexses::platform {

struct FileAttributes {
  uint64_t last_write_time = 0;  // Windows file time: 100-ns units since 1601-01-01 UTC
  uint64_t size = 0;
};

// What a settings query found.
enum class SettingStatus {
  kRead,      // the value, of at most 4 bytes, is in *value
  kMissing,   // no such key or value, or a value longer than 4 bytes
  kRejected,  // the settings store itself is unusable (POSIX: not a regular
              // file, or larger than 1 MiB); every value counts as missing
};

// Held while a session file is replaced; released when destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process's own backend; never null, never deleted.
  static Env* Default();

  // The current user's roaming application-data folder, without a trailing
  // separator. False when none can be found.
  virtual bool AppDataFolder(std::u16string* path) = 0;

  // Reads a machine setting under HKEY_LOCAL_MACHINE\Software\Velmora\Brindleway
  // into a 4-byte buffer, as RegQueryValueExW does: a value of up to 4 bytes
  // fills the low bytes of *value (which the caller has zeroed), a longer one
  // is missing.
  virtual SettingStatus QuerySettingDword(const char16_t* name, uint32_t* value) = 0;
  // Where the settings come from, for messages: the settings file (POSIX) or
  // the registry key (Windows).
  virtual std::u16string SettingsLocation() = 0;

  // Does a file or folder exist at path?
  virtual bool PathExists(const std::u16string& path) = 0;
  virtual bool ReadAttributes(const std::u16string& path, FileAttributes* attributes) = 0;
  // Creates one folder; false when it cannot (it may exist already).
  virtual bool CreateFolder(const std::u16string& path) = 0;
  virtual bool RemoveFile(const std::u16string& path) = 0;

  // Reads a whole session file, byte for byte, into UTF-16 units as they lie
  // in the file: two bytes to a unit, the first the low one; an odd last byte
  // is the low half of a last unit. *bytes is the file's byte count. False
  // when it cannot be opened or read.
  virtual bool ReadFileUnits(const std::u16string& path, std::u16string* units, size_t* bytes) = 0;

  // Takes the lock that serializes the replacements of path across processes
  // (a lock file beside it), waiting at most wait while another holds it.
  // Null when the wait runs out (then *busy is set, if given), and when the
  // lock file cannot be used at all: replacements then go on without it.
  virtual std::unique_ptr<FileLock> LockReplacements(const std::u16string& path,
                                                     std::chrono::milliseconds wait,
                                                     bool* busy = nullptr) = 0;
  // Replaces the file's contents atomically under that lock: the bytes go to
  // a new temporary file of this store's own in the same folder, reach the
  // disk, and are renamed over path, and the folder reaches the disk too;
  // temporary files that crashed stores left are removed. On failure the old
  // file stays as it was and no temporary file is left. A reader sees the old
  // file or the new one, never a part.
  // A replacement that cannot take the lock within lock_wait fails.
  virtual bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes,
                                std::chrono::milliseconds lock_wait) = 0;
  // The same for a caller that holds the lock already.
  virtual bool ReplaceFileBytesLocked(const std::u16string& path, const std::string& bytes,
                                      const FileLock& held) = 0;

  // Text files in the platform's text encoding and line ends (the temporary
  // file list): the whole text, with line breaks as "\n".
  virtual bool ReadTextFile(const std::u16string& path, std::u16string* text) = 0;
  virtual bool WriteTextFile(const std::u16string& path, const std::u16string& text) = 0;

  // Seconds since 1970-01-01 UTC.
  virtual int64_t NowSeconds() = 0;

  // One whole trace buffer to the debugger output.
  virtual void DebugOutput(const char16_t* text) = 0;

  // The host's log (utils.dll). HostLogFormat is the wide-format call
  // (ordinal 9), with the one narrow-string argument the module ever passes;
  // HostLogText the narrow-text call (ordinal 8).
  virtual void HostLogFormat(uint32_t level, const char16_t* tag, const char16_t* format,
                             const char* argument) = 0;
  virtual void HostLogText(uint32_t level, const char* tag, const char* text) = 0;
};

// Forwards every call to another Env; tests override what they replace.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}

  bool AppDataFolder(std::u16string* path) override { return target_->AppDataFolder(path); }
  SettingStatus QuerySettingDword(const char16_t* name, uint32_t* value) override {
    return target_->QuerySettingDword(name, value);
  }
  std::u16string SettingsLocation() override { return target_->SettingsLocation(); }
  bool PathExists(const std::u16string& path) override { return target_->PathExists(path); }
  bool ReadAttributes(const std::u16string& path, FileAttributes* attributes) override {
    return target_->ReadAttributes(path, attributes);
  }
  bool CreateFolder(const std::u16string& path) override { return target_->CreateFolder(path); }
  bool RemoveFile(const std::u16string& path) override { return target_->RemoveFile(path); }
  bool ReadFileUnits(const std::u16string& path, std::u16string* units, size_t* bytes) override {
    return target_->ReadFileUnits(path, units, bytes);
  }
  std::unique_ptr<FileLock> LockReplacements(const std::u16string& path,
                                             std::chrono::milliseconds wait,
                                             bool* busy = nullptr) override {
    return target_->LockReplacements(path, wait, busy);
  }
  bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes,
                        std::chrono::milliseconds lock_wait) override {
    return target_->ReplaceFileBytes(path, bytes, lock_wait);
  }
  bool ReplaceFileBytesLocked(const std::u16string& path, const std::string& bytes,
                              const FileLock& held) override {
    return target_->ReplaceFileBytesLocked(path, bytes, held);
  }
  bool ReadTextFile(const std::u16string& path, std::u16string* text) override {
    return target_->ReadTextFile(path, text);
  }
  bool WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    return target_->WriteTextFile(path, text);
  }
  int64_t NowSeconds() override { return target_->NowSeconds(); }
  void DebugOutput(const char16_t* text) override { target_->DebugOutput(text); }
  void HostLogFormat(uint32_t level, const char16_t* tag, const char16_t* format,
                     const char* argument) override {
    target_->HostLogFormat(level, tag, format, argument);
  }
  void HostLogText(uint32_t level, const char* tag, const char* text) override {
    target_->HostLogText(level, tag, text);
  }

 protected:
  Env* target() const { return target_; }

 private:
  Env* target_;
};

// The Env the module uses: the one installed with SetEnv, else Env::Default().
Env* GetEnv();
// Installs env (null restores the default). Not synchronised with running
// services: install before calling the module from other threads.
void SetEnv(Env* env);

}  // namespace obexses::platform
