// The Windows backend: the machine settings from the registry, the roaming
// application-data folder from the shell, files through the runtime's wide
// file functions, the debugger output, and the host's log in utils.dll
// (imported by ordinal). Paths are UTF-16 as the module builds them; on
// Windows wchar_t is a UTF-16 unit, so they pass through unchanged.
#include <windows.h>
// The rest after windows.h, which they build on.
#include <direct.h>
#include <io.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cwctype>
#include <iterator>
#include <memory>
#include <new>
#include <thread>

#include "platform/env.h"
#include "text/wide.h"
#include "utils/utils.h"

namespace obexses::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");
static_assert(CSIDL_APPDATA == 26, "the roaming application-data folder");

constexpr wchar_t kSettingsKey[] = L"Software\\Velmora\\Brindleway";

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
const wchar_t* Wide(const std::u16string& text) {
  return Wide(text.c_str());
}
std::u16string FromWide(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr wchar_t kLockSuffix[] = L".lock";
constexpr size_t kRandomDigits = 16;

// Closes a handle on every path.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes now; false when the close reports an error.
  bool Close() { return CloseHandle(Release()) != FALSE; }

 private:
  HANDLE handle_;
};

uint64_t RandomBits() {
  static std::atomic<uint64_t> counter{0};
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  uint64_t bits = static_cast<uint64_t>(ticks.QuadPart) ^ (uint64_t{GetCurrentProcessId()} << 32) ^
                  (uint64_t{GetCurrentThreadId()} << 16) ^ counter.fetch_add(0x9E3779B97F4A7C15ULL);
  bits ^= bits >> 30;
  bits *= 0xBF58476D1CE4E5B9ULL;
  bits ^= bits >> 27;
  return bits * 0x94D049BB133111EBULL;
}

std::wstring RandomPart() {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  uint64_t bits = RandomBits();
  std::wstring part(kRandomDigits, L'0');
  for (wchar_t& c : part) {
    c = kDigits[bits & 0xF];
    bits >>= 4;
  }
  return part;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// Is name "<file>.<16 hex digits>.tmp"?
bool IsTemporaryOf(const std::wstring& name, const std::wstring& file) {
  const size_t suffix = std::size(kTemporarySuffix) - 1;
  if (name.size() != file.size() + 1 + kRandomDigits + suffix ||
      _wcsnicmp(name.c_str(), file.c_str(), file.size()) != 0 || name[file.size()] != L'.' ||
      _wcsicmp(name.c_str() + name.size() - suffix, kTemporarySuffix) != 0) {
    return false;
  }
  for (size_t i = file.size() + 1; i < file.size() + 1 + kRandomDigits; ++i) {
    if (!iswxdigit(name[i])) return false;
  }
  return true;
}

// Removes the temporary files that stores of target left when they died. Only
// a store that holds the lock calls this, so none of them is being written.
void RemoveLeftTemporaries(const std::wstring& target) {
  const std::wstring folder = FolderOf(target);
  const std::wstring file = target.substr(folder.size() + 1);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((target + L".*" + kTemporarySuffix).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (IsTemporaryOf(found.cFileName, file))
      DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A new temporary file of this store's own beside target, never over
// anything found there (a link included).
HANDLE CreateTemporary(const std::wstring& target, std::wstring* temporary) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    *temporary = target + L"." + RandomPart() + kTemporarySuffix;
    HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Moves from over to, written through. A reader that opened the file without
// sharing its deletion (another program, or a virus scanner) holds the move
// up for a moment: it is tried again for about a second, as long as that is
// the reason it fails.
bool MoveOver(const std::wstring& from, const std::wstring& to) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == 20) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
  }
}

// The bytes reach the disk (FlushFileBuffers) before the move makes them the
// file; the move itself is written through.
bool ReplaceWhole(const std::wstring& target, const std::string& bytes) {
  std::wstring temporary;
  Handle file(CreateTemporary(target, &temporary));
  if (!file.valid()) return false;
  bool ok = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get()) != FALSE;
  ok = file.Close() && ok;
  if (!ok || !MoveOver(temporary, target)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

// Takes the file's exclusive lock, trying again while another holds it until
// wait has passed; false when it cannot be taken (with *busy set when it was
// held the whole time).
bool LockWithin(HANDLE file, std::chrono::milliseconds wait, bool* busy) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    OVERLAPPED whole = {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &whole)) return true;
    const DWORD error = GetLastError();
    const auto now = std::chrono::steady_clock::now();
    if (error != ERROR_LOCK_VIOLATION || now >= deadline) {
      if (busy != nullptr) *busy = error == ERROR_LOCK_VIOLATION;
      return false;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

class WindowsFileLock final : public FileLock {
 public:
  explicit WindowsFileLock(HANDLE file) : file_(file) {}
  ~WindowsFileLock() override { CloseHandle(file_); }  // closing releases the lock

 private:
  HANDLE file_;
};

class WindowsEnv final : public Env {
 public:
  bool AppDataFolder(std::u16string* path) override {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list))) return false;
    wchar_t folder[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(list, folder);
    CoTaskMemFree(list);
    if (!found) return false;
    *path = FromWide(folder);
    return true;
  }

  // The type is not asked for: any value of up to 4 bytes is taken.
  SettingStatus QuerySettingDword(const char16_t* name, uint32_t* value) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
      return SettingStatus::kMissing;
    }
    DWORD size = sizeof(*value);
    const LSTATUS status =
        RegQueryValueExW(key, Wide(name), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? SettingStatus::kRead : SettingStatus::kMissing;
  }

  std::u16string SettingsLocation() override {
    return u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";
  }

  bool PathExists(const std::u16string& path) override {
    return !path.empty() && PathFileExistsW(Wide(path)) != FALSE;
  }

  bool ReadAttributes(const std::u16string& path, FileAttributes* attributes) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) {
      return false;
    }
    attributes->last_write_time =
        (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    attributes->size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
  }

  // One call for both uses, the session folders and the folder of the
  // temporary file list: _wmkdir, which is CreateDirectoryW underneath.
  bool CreateFolder(const std::u16string& path) override { return _wmkdir(Wide(path)) == 0; }

  bool RemoveFile(const std::u16string& path) override {
    return !path.empty() && DeleteFileW(Wide(path)) != FALSE;
  }

  // Opened sharing deletion, so that a store may replace the file while it
  // is read: the reader goes on reading the file it opened.
  bool ReadFileUnits(const std::u16string& path, std::u16string* units, size_t* bytes) override {
    Handle file(CreateFileW(Wide(path), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER length{};
    GetFileSizeEx(file.get(), &length);
    units->assign(length.QuadPart > 0 ? static_cast<size_t>(length.QuadPart) / 2 + 1 : 1, u'\0');
    size_t used = 0;
    for (;;) {
      const size_t room = units->size() * 2;
      if (used == room) units->resize(units->size() + units->size() / 2 + 2048);
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(units->size() * 2 - used, 1u << 30));
      DWORD n = 0;
      if (!ReadFile(file.get(), reinterpret_cast<char*>(units->data()) + used, chunk, &n,
                    nullptr)) {
        return false;
      }
      used += n;
      if (n == 0) break;
    }
    units->resize((used + 1) / 2);
    *bytes = used;
    return true;
  }

  std::unique_ptr<FileLock> LockReplacements(const std::u16string& path,
                                             std::chrono::milliseconds wait, bool* busy) override {
    const std::wstring lock_path = std::wstring(Wide(path)) + kLockSuffix;
    Handle file(CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
    if (!file.valid()) return nullptr;
    if (!LockWithin(file.get(), wait, busy)) return nullptr;
    auto lock = std::make_unique<WindowsFileLock>(file.get());
    file.Release();
    return lock;
  }

  bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes,
                        std::chrono::milliseconds lock_wait) override {
    bool busy = false;
    const std::unique_ptr<FileLock> lock = LockReplacements(path, lock_wait, &busy);
    if (busy) return false;
    if (lock == nullptr) return ReplaceWhole(Wide(path), bytes);
    return ReplaceFileBytesLocked(path, bytes, *lock);
  }

  bool ReplaceFileBytesLocked(const std::u16string& path, const std::string& bytes,
                              const FileLock&) override {
    const std::wstring target = Wide(path);
    RemoveLeftTemporaries(target);
    return ReplaceWhole(target, bytes);
  }

  // Text mode: the runtime turns CR LF into "\n" and the bytes into wide
  // characters by the current locale's multibyte encoding.
  bool ReadTextFile(const std::u16string& path, std::u16string* text) override {
    std::FILE* file = nullptr;
    if (_wfopen_s(&file, Wide(path), L"rt") != 0 || file == nullptr) return false;
    text->clear();
    wchar_t line[260];
    while (std::fgetws(line, 260, file) != nullptr) text->append(FromWide(line));
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
  }

  bool WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    std::FILE* file = nullptr;
    if (_wfopen_s(&file, Wide(path), L"wt") != 0 || file == nullptr) return false;
    const bool ok = std::fputws(Wide(text), file) >= 0;
    return std::fclose(file) == 0 && ok;
  }

  int64_t NowSeconds() override { return static_cast<int64_t>(_time64(nullptr)); }

  void DebugOutput(const char16_t* text) override { OutputDebugStringW(Wide(text)); }

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
  alignas(WindowsEnv) static unsigned char storage[sizeof(WindowsEnv)];
  static Env* env = new (storage) WindowsEnv;
  return env;
}

}  // namespace obexses::platform
