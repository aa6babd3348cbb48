#include "tests/support/file_faults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_calls.h"
#include "tests/support/test_env.h"

namespace obexses::testing {
namespace {

namespace fs = std::filesystem;

FileFaults* g_faults = nullptr;

const platform::PosixCalls& System() {
  return platform::SystemCalls();
}

}  // namespace

// The replacements: each counts and maybe fails a primitive on the watched
// folder, and passes everything else to the system.
struct FileFaults::Calls {
  static int Open(const char* path, int flags, mode_t mode) {
    if (!g_faults->Watches(path)) return System().open(path, flags, mode);
    const bool create = (flags & O_CREAT) != 0;
    if (create) {
      g_faults->create_flags_ = flags;
      g_faults->create_mode_ = mode;
    }
    const std::string name(path);
    const bool lock = name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
    const Primitive kind = lock ? Primitive::kLock : create ? Primitive::kCreate : Primitive::kOpen;
    if (g_faults->Fails(kind, name)) return -1;
    const int fd = System().open(path, flags, mode);
    struct stat status;
    if (fd >= 0 && System().fstat(fd, &status) == 0) {
      g_faults->open_[fd] =
          FileFaults::Open{name, S_ISDIR(status.st_mode), lock, status.st_ino, {}};
    }
    return fd;
  }

  // A call on a descriptor of the watched folder counts; one on no open
  // descriptor at all is noted.
  static bool Watched(int fd) {
    if (fd < 0) ++g_faults->bad_descriptors_;
    return g_faults->open_.count(fd) != 0;
  }

  // Closing the folder ends its sync, closing the lock file releases the lock.
  static int Close(int fd) {
    if (!Watched(fd)) return System().close(fd);
    const FileFaults::Open file = g_faults->open_[fd];
    g_faults->open_.erase(fd);
    const bool fails = g_faults->Fails(file.folder ? Primitive::kFolderSync
                                       : file.lock ? Primitive::kUnlock
                                                   : Primitive::kClose,
                                       file.path);
    const int result = System().close(fd);  // released either way, as the system does
    return fails ? -1 : result;
  }

  static ssize_t Read(int fd, void* buffer, size_t size) {
    if (!Watched(fd)) return System().read(fd, buffer, size);
    return g_faults->Fails(Primitive::kRead, g_faults->open_[fd].path)
               ? -1
               : System().read(fd, buffer, size);
  }

  static ssize_t Write(int fd, const void* buffer, size_t size) {
    if (!Watched(fd)) return System().write(fd, buffer, size);
    if (g_faults->Fails(Primitive::kWrite, g_faults->open_[fd].path)) return -1;
    const ssize_t n = System().write(fd, buffer, size);
    if (n > 0) g_faults->open_[fd].written.append(static_cast<const char*>(buffer), n);
    return n;
  }

  static int Fsync(int fd) {
    if (!Watched(fd)) return System().fsync(fd);
    const FileFaults::Open& file = g_faults->open_[fd];
    if (g_faults->Fails(file.folder ? Primitive::kFolderSync : Primitive::kFsync, file.path)) {
      return -1;
    }
    const int result = System().fsync(fd);
    if (result == 0) g_faults->Synced(file);
    return result;
  }

  static int Rename(const char* from, const char* to) {
    if (!g_faults->Watches(to)) return System().rename(from, to);
    return g_faults->Fails(Primitive::kRename, to) ? -1 : System().rename(from, to);
  }

  static int Unlink(const char* path) {
    if (!g_faults->Watches(path)) return System().unlink(path);
    return g_faults->Fails(Primitive::kRemove, path) ? -1 : System().unlink(path);
  }

  static int Flock(int fd, int operation) {
    if (!Watched(fd)) return System().flock(fd, operation);
    return g_faults->Fails(Primitive::kLock, g_faults->open_[fd].path)
               ? -1
               : System().flock(fd, operation);
  }
};

FileFaults::FileFaults(const fs::path& folder) : folder_(fs::absolute(folder).string()) {
  TakeDiskState();
  g_faults = this;
  platform::PosixCalls& calls = platform::ActiveCalls();
  calls.open = Calls::Open;
  calls.close = Calls::Close;
  calls.read = Calls::Read;
  calls.write = Calls::Write;
  calls.fsync = Calls::Fsync;
  calls.rename = Calls::Rename;
  calls.unlink = Calls::Unlink;
  calls.flock = Calls::Flock;
}

FileFaults::~FileFaults() {
  platform::ActiveCalls() = platform::SystemCalls();
  g_faults = nullptr;
}

void FileFaults::FailAt(int n, int error, bool crash) {
  countdown_ = n;
  error_ = error;
  crash_ = crash;
  dead_ = false;
  reached_ = false;
}

bool FileFaults::Watches(const char* path) const {
  const std::string absolute = fs::absolute(path).lexically_normal().string();
  return absolute == folder_ || absolute.compare(0, folder_.size() + 1, folder_ + "/") == 0;
}

bool FileFaults::Fails(Primitive kind, const std::string& path) {
  if (dead_ || (countdown_ > 0 && --countdown_ == 0)) {
    if (!reached_) {
      failed_kind_ = kind;
      failed_path_ = path;
    }
    reached_ = true;
    dead_ = crash_;
    errno = dead_ ? EIO : error_;
    return true;
  }
  return false;
}

void FileFaults::Synced(const Open& file) {
  if (file.folder) {
    TakeDiskState(/*contents=*/false);
  } else {
    durable_contents_[file.inode] = file.written;
  }
}

void FileFaults::TakeDiskState(bool contents) {
  durable_entries_.clear();
  if (contents) durable_contents_.clear();
  for (const auto& entry : fs::directory_iterator(folder_)) {
    struct stat status;
    if (::stat(entry.path().c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    durable_entries_[entry.path().filename().string()] = status.st_ino;
    if (contents) durable_contents_[status.st_ino] = ReadFile(entry.path());
  }
}

void FileFaults::PowerLoss() {
  for (const auto& entry : fs::directory_iterator(folder_)) {
    if (entry.is_regular_file()) fs::remove(entry.path());
  }
  for (const auto& [name, inode] : durable_entries_) {
    WriteFile(fs::path(folder_) / name, durable_contents_[inode]);
  }
  TakeDiskState();
}

}  // namespace obexses::testing
