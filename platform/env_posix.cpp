// The POSIX backend. Paths arrive with backslashes and leave as UTF-8 with
// slashes; folders are private (0700) and so are the files written (0600).
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/env.h"
#include "platform/reg_file.h"
#include "text/wide.h"
#include "utils/utils.h"

namespace obexses::platform {
namespace {

constexpr char16_t kSettingsKey[] = u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";
constexpr char kDefaultRegistryFile[] = "/etc/obexses/registry.reg";
// Seconds from 1601-01-01 (the Windows file-time epoch) to 1970-01-01.
constexpr uint64_t kEpochDelta = 11644473600ULL;

std::string NativePath(const std::u16string& path) {
  std::string native = text::ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(const std::string& path, std::string* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes->clear();
  char chunk[1 << 14];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes->append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool WriteWhole(const std::string& path, const std::string& bytes, bool sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  if (ok && sync) ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

  bool QuerySettingDword(const char16_t* name, uint32_t* value) override {
    const char* file = std::getenv("OBEXSES_REGISTRY");
    std::string bytes;
    if (!ReadAll(file != nullptr && *file != 0 ? file : kDefaultRegistryFile, &bytes)) {
      return false;
    }
    std::string data;
    if (!FindRegFileValue(bytes, kSettingsKey, name, &data) || data.size() > 4) return false;
    auto* out = reinterpret_cast<unsigned char*>(value);
    for (size_t i = 0; i < data.size(); ++i) out[i] = static_cast<unsigned char>(data[i]);
    return true;
  }

  bool PathExists(const std::u16string& path) override {
    struct stat st;
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0;
  }

  bool ReadAttributes(const std::u16string& path, FileAttributes* attributes) override {
    struct stat st;
    if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return false;
    const uint64_t seconds = static_cast<uint64_t>(st.st_mtim.tv_sec) + kEpochDelta;
    attributes->last_write_time =
        seconds * 10000000ULL + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
    attributes->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool CreateFolder(const std::u16string& path) override {
    return ::mkdir(NativePath(path).c_str(), 0700) == 0;
  }

  bool RemoveFile(const std::u16string& path) override {
    return !path.empty() && ::unlink(NativePath(path).c_str()) == 0;
  }

  bool ReadFileBytes(const std::u16string& path, std::string* bytes) override {
    return ReadAll(NativePath(path), bytes);
  }

  bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes) override {
    const std::string target = NativePath(path);
    const std::string temporary = target + ".tmp";
    if (!WriteWhole(temporary, bytes, true) || ::rename(temporary.c_str(), target.c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
    SyncFolderOf(target);
    return true;
  }

  bool ReadTextFile(const std::u16string& path, std::u16string* text) override {
    std::string bytes;
    if (!ReadAll(NativePath(path), &bytes)) return false;
    *text = text::FromUtf8(bytes);
    return true;
  }

  bool WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    return WriteWhole(NativePath(path), text::ToUtf8(text), false);
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
};

}  // namespace

Env* Env::Default() {
  // Built in static storage and never destroyed: usable until the very end of
  // the process, and nothing on the heap when the library is unloaded.
  alignas(PosixEnv) static unsigned char storage[sizeof(PosixEnv)];
  static Env* env = new (storage) PosixEnv;
  return env;
}

}  // namespace obexses::platform
