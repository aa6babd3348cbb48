// The POSIX backend. Paths arrive with backslashes and leave as native names
// (text::ToUtf8, which keeps bytes that are not UTF-8) with slashes; folders are private (0700) and
// so are the files written (0600). Every call on a file goes through ActiveCalls().
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <thread>

#include "platform/env.h"
#include "platform/posix_calls.h"
#include "platform/reg_file.h"
#include "text/wide.h"
#include "utils/utils.h"

namespace obexses::platform {
namespace {

static_assert(std::endian::native == std::endian::little,
              "session files are UTF-16LE and are read into units as they lie");

constexpr char16_t kSettingsKey[] = u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";
constexpr char kDefaultRegistryFile[] = "/etc/obexses/registry.reg";
constexpr size_t kMaxSettingsBytes = 1 << 20;
// Seconds from 1601-01-01 (the Windows file-time epoch) to 1970-01-01.
constexpr uint64_t kEpochDelta = 11644473600ULL;
// A temporary file is "<file>.<16 hex digits>.tmp", beside the file.
constexpr size_t kRandomDigits = 16;
constexpr char kTemporarySuffix[] = ".tmp";
constexpr char kLockSuffix[] = ".lock";

const PosixCalls& Calls() {
  return ActiveCalls();
}

std::string NativePath(const std::u16string& path) {
  std::string native = text::ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

// Closes a descriptor on every path; Release() hands the close to the caller.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) Calls().close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false when the close reports an error.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return Calls().close(fd) == 0;
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  for (;;) {
    const int fd = Calls().open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = Calls().write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads fd to its end into buffer (a string of bytes or of UTF-16 units),
// starting with room for expected bytes and one unit more, so that a file of
// the expected size ends with one extra read; false past limit bytes or on a
// read error. The odd half of a last unit is zero. *bytes is the count read.
template <typename Buffer>
bool ReadToEnd(int fd, size_t expected, size_t limit, Buffer* buffer, size_t* bytes) {
  constexpr size_t kUnit = sizeof(typename Buffer::value_type);
  buffer->assign(expected / kUnit + 1, 0);
  size_t& used = *bytes;
  used = 0;
  for (;;) {
    const size_t room = buffer->size() * kUnit;
    if (used == room) {
      if (room > limit) return false;
      buffer->resize(buffer->size() + buffer->size() / 2 + 4096 / kUnit);
      continue;
    }
    const ssize_t n = Calls().read(fd, reinterpret_cast<char*>(buffer->data()) + used, room - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  if (used > limit) return false;
  buffer->resize((used + kUnit - 1) / kUnit);
  return true;
}

// A regular file's whole contents; false for anything else found at path
// (a FIFO is never waited on).
template <typename Buffer>
bool ReadRegularFile(const std::string& path, Buffer* buffer, size_t* bytes) {
  Descriptor fd(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status;
  return fd.valid() && Calls().fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) &&
         ReadToEnd(fd.get(), static_cast<size_t>(status.st_size), SIZE_MAX, buffer, bytes);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the folder's entries durable. Its outcome is not a store's: once the
// rename is done the new file stands, only its surviving a power loss is then
// not assured.
void SyncFolder(const std::string& folder) {
  Descriptor fd(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) Calls().fsync(fd.get());
}

uint64_t RandomBits() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
    return bits;
  }
  // No entropy to be had: the exclusive create keeps the name unique anyway.
  static std::atomic<uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  bits = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
         (static_cast<uint64_t>(getpid()) << 17) ^ counter.fetch_add(0x9E3779B97F4A7C15ULL);
  bits ^= bits >> 31;
  return bits * 0xBF58476D1CE4E5B9ULL;
}

std::string RandomPart() {
  static constexpr char kDigits[] = "0123456789abcdef";
  uint64_t bits = RandomBits();
  std::string part(kRandomDigits, '0');
  for (char& c : part) {
    c = kDigits[bits & 0xF];
    bits >>= 4;
  }
  return part;
}

// Is name "<file>.<16 hex digits>.tmp"?
bool IsTemporaryOf(const std::string& name, const std::string& file) {
  const size_t suffix = sizeof kTemporarySuffix - 1;
  if (name.size() != file.size() + 1 + kRandomDigits + suffix ||
      name.compare(0, file.size(), file) != 0 || name[file.size()] != '.' ||
      name.compare(name.size() - suffix, suffix, kTemporarySuffix) != 0) {
    return false;
  }
  for (size_t i = file.size() + 1; i < file.size() + 1 + kRandomDigits; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

// Removes the temporary files that stores of target left when they died. Only
// a store that holds the lock calls this, so none of them is being written.
void RemoveLeftTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string file = NameOf(target);
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (IsTemporaryOf(entry->d_name, file)) Calls().unlink((folder + "/" + entry->d_name).c_str());
  }
}

// A new temporary file of this store's own beside target, never through a
// link nor over anything found there; -1 when none can be made.
int CreateTemporary(const std::string& target, std::string* temporary) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temporary = target + "." + RandomPart() + kTemporarySuffix;
    const int fd = OpenRetrying(temporary->c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool ReplaceWhole(const std::string& target, const std::string& bytes) {
  std::string temporary;
  Descriptor fd(CreateTemporary(target, &temporary));
  if (!fd.valid()) return false;
  bool ok = WriteAll(fd.get(), bytes) && Calls().fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  if (!ok || Calls().rename(temporary.c_str(), target.c_str()) != 0) {
    Calls().unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(target));
  return true;
}

class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { Calls().close(fd_); }  // closing releases the lock

 private:
  int fd_;
};

int FlockRetrying(int fd, int operation) {
  for (;;) {
    const int result = Calls().flock(fd, operation);
    if (result == 0 || errno != EINTR) return result;
  }
}

// Takes fd's exclusive lock, trying again while another holds it until wait
// has passed; false when it cannot be taken (with *busy set when it was held
// the whole time).
bool LockWithin(int fd, std::chrono::milliseconds wait, bool* busy) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0) return true;
    const auto now = std::chrono::steady_clock::now();
    if (errno != EWOULDBLOCK || now >= deadline) {
      if (busy != nullptr) *busy = errno == EWOULDBLOCK;
      return false;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

// The lock file beside target. A link found there is removed rather than
// followed; anything else that cannot be opened leaves the store unlocked.
int OpenLockFile(const std::string& target) {
  const std::string path = target + kLockSuffix;
  const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  int fd = OpenRetrying(path.c_str(), flags, 0600);
  if (fd < 0 && errno == ELOOP && Calls().unlink(path.c_str()) == 0) {
    fd = OpenRetrying(path.c_str(), flags, 0600);
  }
  return fd;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) return home;
  struct passwd entry;
  struct passwd* result = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return std::string();
}

void MakeFoldersTo(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') Calls().mkdir(path.substr(0, i).c_str(), 0700);
  }
}

std::string SettingsFile() {
  const char* file = std::getenv("OBEXSES_REGISTRY");
  return file != nullptr && *file != 0 ? file : kDefaultRegistryFile;
}

// The settings file, parsed again only when its bytes changed. It is read
// at every query (at most 1 MiB): its times cannot tell a file rewritten
// within the file system's clock tick.
class SettingsCache {
 public:
  // The section of the module's key, or false when the file is missing;
  // *rejected when it is there but not a regular file of at most 1 MiB.
  bool Section(RegSection* section, bool* rejected) {
    const std::string path = SettingsFile();
    *rejected = false;
    Descriptor fd(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status;
    if (!fd.valid() || Calls().fstat(fd.get(), &status) != 0) return false;
    if (!S_ISREG(status.st_mode) || static_cast<uint64_t>(status.st_size) > kMaxSettingsBytes) {
      *rejected = true;
      return false;
    }
    std::string bytes;
    size_t used = 0;
    if (!ReadToEnd(fd.get(), static_cast<size_t>(status.st_size), kMaxSettingsBytes, &bytes,
                   &used)) {
      *rejected = used > kMaxSettingsBytes;  // it grew past the bound while read
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // Empty bytes_ stand for the empty section, so a first file needs no flag.
    if (bytes != bytes_) {
      section_ = ReadRegSection(bytes, kSettingsKey);
      bytes_ = std::move(bytes);
    }
    *section = section_;
    return true;
  }

  // Frees what the cache holds, when the library is unloaded.
  void Drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string().swap(bytes_);
    RegSection().swap(section_);
  }

 private:
  std::mutex mutex_;
  std::string bytes_;
  RegSection section_;
};

class PosixEnv final : public Env {
 public:
  bool AppDataFolder(std::u16string* path) override {
    std::string folder;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
      folder = xdg;
    } else {
      const std::string home = HomeFolder();
      if (home.empty()) return false;
      folder = home + "/.local/share";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    MakeFoldersTo(folder);
    *path = text::FromUtf8(folder);
    return true;
  }

  SettingStatus QuerySettingDword(const char16_t* name, uint32_t* value) override {
    RegSection section;
    bool rejected = false;
    if (!settings_.Section(&section, &rejected)) {
      return rejected ? SettingStatus::kRejected : SettingStatus::kMissing;
    }
    auto it = section.find(RegValueKey(name));
    if (it == section.end() || it->second.size() > 4) return SettingStatus::kMissing;
    std::memcpy(value, it->second.data(), it->second.size());
    return SettingStatus::kRead;
  }

  std::u16string SettingsLocation() override { return text::FromUtf8(SettingsFile()); }

  bool PathExists(const std::u16string& path) override {
    struct stat status;
    return !path.empty() && Calls().stat(NativePath(path).c_str(), &status) == 0;
  }

  bool ReadAttributes(const std::u16string& path, FileAttributes* attributes) override {
    struct stat status;
    if (path.empty() || Calls().stat(NativePath(path).c_str(), &status) != 0) return false;
    const uint64_t seconds = static_cast<uint64_t>(status.st_mtim.tv_sec) + kEpochDelta;
    attributes->last_write_time =
        seconds * 10000000ULL + static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100;
    attributes->size = S_ISDIR(status.st_mode) ? 0 : static_cast<uint64_t>(status.st_size);
    return true;
  }

  bool CreateFolder(const std::u16string& path) override {
    return Calls().mkdir(NativePath(path).c_str(), 0700) == 0;
  }

  bool RemoveFile(const std::u16string& path) override {
    return !path.empty() && Calls().unlink(NativePath(path).c_str()) == 0;
  }

  bool ReadFileUnits(const std::u16string& path, std::u16string* units, size_t* bytes) override {
    return ReadRegularFile(NativePath(path), units, bytes);
  }

  std::unique_ptr<FileLock> LockReplacements(const std::u16string& path,
                                             std::chrono::milliseconds wait, bool* busy) override {
    const int fd = OpenLockFile(NativePath(path));
    if (fd < 0) return nullptr;
    if (!LockWithin(fd, wait, busy)) {
      Calls().close(fd);
      return nullptr;
    }
    try {
      return std::make_unique<PosixFileLock>(fd);
    } catch (...) {
      Calls().close(fd);
      throw;
    }
  }

  bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes,
                        std::chrono::milliseconds lock_wait) override {
    bool busy = false;
    const std::unique_ptr<FileLock> lock = LockReplacements(path, lock_wait, &busy);
    if (busy) return false;
    if (lock == nullptr) return ReplaceWhole(NativePath(path), bytes);
    return ReplaceFileBytesLocked(path, bytes, *lock);
  }

  bool ReplaceFileBytesLocked(const std::u16string& path, const std::string& bytes,
                              const FileLock&) override {
    const std::string target = NativePath(path);
    RemoveLeftTemporaries(target);
    return ReplaceWhole(target, bytes);
  }

  bool ReadTextFile(const std::u16string& path, std::u16string* text) override {
    std::string bytes;
    size_t used = 0;
    if (!ReadRegularFile(NativePath(path), &bytes, &used)) return false;
    *text = text::FromUtf8(bytes);
    return true;
  }

  bool WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    Descriptor fd(OpenRetrying(NativePath(path).c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return false;
    const bool ok = WriteAll(fd.get(), text::ToUtf8(text));
    return fd.Close() && ok;
  }

  int64_t NowSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }

  void DebugOutput(const char16_t* text) override {
    const std::string line = text::ToUtf8(text);
    // One write, so that lines of concurrent callers do not interleave.
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
  }

  void HostLogFormat(uint32_t level, const char16_t* tag, const char16_t* format,
                     const char* argument) override {
    UtilsLogFormat(level, tag, format, argument);
  }

  void HostLogText(uint32_t level, const char* tag, const char* text) override {
    UtilsLogText(level, tag, text);
  }

  void DropCaches() { settings_.Drop(); }

 private:
  SettingsCache settings_;
};

// Built in static storage and never destroyed: usable until the very end of
// the process. What it caches on the heap is dropped when the library is
// unloaded, so that nothing stays behind it.
alignas(PosixEnv) unsigned char g_env_storage[sizeof(PosixEnv)];
std::atomic<PosixEnv*> g_env{nullptr};

struct CacheRelease {
  ~CacheRelease() {
    if (PosixEnv* env = g_env.load()) env->DropCaches();
  }
} g_cache_release;

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = [] {
    PosixEnv* made = new (g_env_storage) PosixEnv;
    g_env.store(made);
    return made;
  }();
  return env;
}

}  // namespace obexses::platform
