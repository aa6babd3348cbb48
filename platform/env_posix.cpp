// SPDX-License-Identifier: MIT
// The POSIX backend: each primitive of Env mapped to its system calls. Paths
// arrive with backslashes and leave as native names (text::ToUtf8, which
// keeps bytes that are not UTF-8) with slashes; folders are private (0700)
// and so are the files made (0600).
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
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>
#include <utility>

#include "platform/env.h"
#include "platform/forever.h"
#include "platform/read_whole.h"
#include "text/wide.h"

namespace obexses::platform {
namespace {

static_assert(std::endian::native == std::endian::little,
              "session files are UTF-16LE and are read into units as they lie");

// Seconds from 1601-01-01 (the Windows file-time epoch) to 1970-01-01.
constexpr uint64_t kEpochDelta = 11644473600ULL;

std::string NativePath(const std::u16string& path) {
  std::string native = text::ToUtf8(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

Status Error(int error) {
  switch (error) {
    case 0:
      return Status();
    case ENOENT:
    case ENOTDIR:
      return Status(Status::Kind::kNotFound, error);
    case EEXIST:
      return Status(Status::Kind::kExists, error);
    case EACCES:
    case EPERM:
    case EROFS:
      return Status(Status::Kind::kDenied, error);
    case EWOULDBLOCK:
      return Status(Status::Kind::kBusy, error);
    case EISDIR:
    case ELOOP:
      return Status(Status::Kind::kNotAFile, error);
    default:
      return Status(Status::Kind::kFailed, error);
  }
}

Status LastError() {
  return Error(errno);
}

template <typename Call>
auto Retrying(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

int Open(const std::string& path, int flags, mode_t mode = 0) {
  return Retrying([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
}

// Closes a descriptor on every path unless handed on.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

FileId IdOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  Status Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? LastError() : Status(Status::Kind::kFailed, EIO);
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return Status();
  }
  Status Sync() override { return ::fsync(fd_) == 0 ? Status() : LastError(); }
  Status Close() override {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 ? Status() : LastError();
  }

 private:
  int fd_;
};

class PosixFileLock final : public FileLock {
 public:
  PosixFileLock(int fd, FileId id) : fd_(fd), id_(id) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing releases the lock
  FileId id() const override { return id_; }

 private:
  int fd_;
  FileId id_;
};

// Takes fd's exclusive lock, trying again while another holds it until wait
// has passed.
Status LockWithin(int fd, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (Retrying([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) return Status();
    const int error = errno;
    const auto now = std::chrono::steady_clock::now();
    if (error != EWOULDBLOCK || now >= deadline) return Error(error);
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
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
    if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0700);
  }
}

uint64_t RandomBits() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
    return bits;
  }
  // No entropy to be had: the exclusive create keeps a name unique anyway.
  static std::atomic<uint64_t> counter{0};
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  bits = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
         (static_cast<uint64_t>(getpid()) << 17) ^ counter.fetch_add(0x9E3779B97F4A7C15ULL);
  bits ^= bits >> 31;
  return bits * 0xBF58476D1CE4E5B9ULL;
}

class PosixEnv final : public Env {
 public:
  Status AppDataFolder(std::u16string* path) override {
    std::string folder;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
      folder = xdg;
    } else {
      const std::string home = HomeFolder();
      if (home.empty()) return Status(Status::Kind::kNotFound, 0);
      folder = home + "/.local/share";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    MakeFoldersTo(folder);
    *path = text::FromUtf8(folder);
    return Status();
  }

  Status CreateFolder(const std::u16string& path) override {
    return ::mkdir(NativePath(path).c_str(), 0700) == 0 ? Status() : LastError();
  }

  Status ListFolder(const std::u16string& path, std::vector<std::u16string>* names) override {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(NativePath(path).c_str()), ::closedir);
    if (dir == nullptr) return LastError();
    names->clear();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names->push_back(text::FromUtf8(name));
    }
    return Error(errno);
  }

  Status SyncFolder(const std::u16string& path) override {
    Descriptor fd(Open(NativePath(path), O_RDONLY | O_DIRECTORY));
    if (!fd.valid()) return LastError();
    return ::fsync(fd.get()) == 0 ? Status() : LastError();
  }

  // The new file is locked at once, so that no clean-up takes it for one
  // whose writer died; a clean-up that removed it in the moment before is
  // told by its link count, and the name is made again.
  Status CreateExclusive(const std::u16string& path, std::unique_ptr<WritableFile>* file) override {
    const std::string native = NativePath(path);
    Descriptor fd(Open(native, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
    if (!fd.valid()) return LastError();
    struct stat status;
    if (Retrying([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0 ||
        ::fstat(fd.get(), &status) != 0 || status.st_nlink == 0) {
      return Status(Status::Kind::kExists, EEXIST);
    }
    *file = std::make_unique<PosixWritableFile>(fd.get());
    fd.Release();
    return Status();
  }

  Status ReadFile(const std::u16string& path, uint64_t limit, ReadTarget* target) override {
    Descriptor fd(Open(NativePath(path), O_RDONLY | O_NONBLOCK));
    struct stat status;
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return LastError();
    if (!S_ISREG(status.st_mode)) return Status(Status::Kind::kNotAFile, 0);
    return ReadWhole(static_cast<uint64_t>(status.st_size), limit, target,
                     [&fd](char* buffer, size_t count, size_t* n) {
                       for (;;) {
                         const ssize_t got = ::read(fd.get(), buffer, count);
                         if (got < 0 && errno == EINTR) continue;
                         if (got < 0) return LastError();
                         *n = static_cast<size_t>(got);
                         return Status();
                       }
                     });
  }

  Status Rename(const std::u16string& from, const std::u16string& to) override {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 ? Status() : LastError();
  }

  Status Remove(const std::u16string& path) override {
    if (path.empty()) return Status(Status::Kind::kNotFound, ENOENT);
    return ::unlink(NativePath(path).c_str()) == 0 ? Status() : LastError();
  }

  // A writer holds its file's lock until it closes it, which a dead one did.
  Status RemoveIfAbandoned(const std::u16string& path) override {
    const std::string native = NativePath(path);
    Descriptor fd(Open(native, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid()) return LastError();
    if (Retrying([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) return LastError();
    return ::unlink(native.c_str()) == 0 ? Status() : LastError();
  }

  bool PathExists(const std::u16string& path) override {
    struct stat status;
    return !path.empty() && ::stat(NativePath(path).c_str(), &status) == 0;
  }

  Status Attributes(const std::u16string& path, FileAttributes* attributes) override {
    struct stat status;
    if (path.empty()) return Status(Status::Kind::kNotFound, ENOENT);
    if (::stat(NativePath(path).c_str(), &status) != 0) return LastError();
    const uint64_t seconds = static_cast<uint64_t>(status.st_mtim.tv_sec) + kEpochDelta;
    attributes->last_write_time =
        seconds * 10000000ULL + static_cast<uint64_t>(status.st_mtim.tv_nsec) / 100;
    attributes->folder = S_ISDIR(status.st_mode);
    attributes->size = attributes->folder ? 0 : static_cast<uint64_t>(status.st_size);
    return Status();
  }

  Status Identity(const std::u16string& path, FileId* id) override {
    struct stat status;
    if (::lstat(NativePath(path).c_str(), &status) != 0) return LastError();
    *id = IdOf(status);
    return Status();
  }

  // A link found at the lock file's name is removed rather than followed.
  Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                  std::unique_ptr<FileLock>* lock) override {
    const std::string native = NativePath(path);
    const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK;
    int opened = Open(native, flags, 0600);
    if (opened < 0 && errno == ELOOP && ::unlink(native.c_str()) == 0) {
      opened = Open(native, flags, 0600);
    }
    Descriptor fd(opened);
    struct stat status;
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return LastError();
    const Status locked = LockWithin(fd.get(), wait);
    if (!locked.ok()) return locked;
    *lock = std::make_unique<PosixFileLock>(fd.get(), IdOf(status));
    fd.Release();
    return Status();
  }

  std::u16string DecodeText(std::string_view bytes) override { return text::FromUtf8(bytes); }
  std::string EncodeText(std::u16string_view text) override { return text::ToUtf8(text); }

  int64_t NowSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }
  uint64_t Random() override { return RandomBits(); }

  std::string Describe(const Status& status) override {
    if (status.kind() == Status::Kind::kBusy) return "held by another process";
    if (status.kind() == Status::Kind::kTooLarge) return "too large";
    if (status.kind() == Status::Kind::kNotAFile && status.system_error() == 0) {
      return "not a regular file";
    }
    char buffer[256] = {};
    return strerror_r(status.system_error(), buffer, sizeof buffer);
  }
};

}  // namespace

Env* Env::Default() {
  return Forever<PosixEnv>();
}

}  // namespace obexses::platform
