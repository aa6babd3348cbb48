// SPDX-License-Identifier: MIT
// The Windows backend: each primitive of Env mapped to the Windows API. Paths
// are UTF-16 as the module builds them; on Windows wchar_t is a UTF-16 unit,
// so they pass through unchanged.
#include <windows.h>
// The rest after windows.h, which they build on.
#include <direct.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "platform/env.h"
#include "platform/forever.h"
#include "platform/read_whole.h"
#include "text/wide.h"

namespace obexses::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");
static_assert(CSIDL_APPDATA == 26, "the roaming application-data folder");

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

Status Error(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return Status();
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return Status(Status::Kind::kNotFound, static_cast<int>(error));
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Status(Status::Kind::kExists, static_cast<int>(error));
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return Status(Status::Kind::kDenied, static_cast<int>(error));
    case ERROR_LOCK_VIOLATION:
      return Status(Status::Kind::kBusy, static_cast<int>(error));
    default:
      return Status(Status::Kind::kFailed, static_cast<int>(error));
  }
}

Status LastError() {
  return Error(GetLastError());
}

// Closes a handle on every path unless handed on.
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
  HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

FileId IdOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information = {};
  GetFileInformationByHandle(file, &information);
  return {information.dwVolumeSerialNumber,
          (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// Written with WriteFile and made durable with FlushFileBuffers. It is opened
// sharing nothing, so no other process deletes it while it is written.
class WindowsWritableFile final : public WritableFile {
 public:
  explicit WindowsWritableFile(HANDLE file) : file_(file) {}
  ~WindowsWritableFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

  Status Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_, bytes.data(), chunk, &written, nullptr)) return LastError();
      if (written == 0) return Status(Status::Kind::kFailed, ERROR_WRITE_FAULT);
      bytes.remove_prefix(written);
    }
    return Status();
  }
  Status Sync() override { return FlushFileBuffers(file_) ? Status() : LastError(); }
  Status Close() override {
    return CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE)) ? Status() : LastError();
  }

 private:
  HANDLE file_;
};

class WindowsFileLock final : public FileLock {
 public:
  WindowsFileLock(HANDLE file, FileId id) : file_(file), id_(id) {}
  ~WindowsFileLock() override { CloseHandle(file_); }  // closing releases the lock
  FileId id() const override { return id_; }

 private:
  HANDLE file_;
  FileId id_;
};

// Takes the file's exclusive lock, trying again while another holds it until
// wait has passed.
Status LockWithin(HANDLE file, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    OVERLAPPED whole = {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &whole)) return Status();
    const DWORD error = GetLastError();
    const auto now = std::chrono::steady_clock::now();
    if (error != ERROR_LOCK_VIOLATION || now >= deadline) return Error(error);
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

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

class WindowsEnv final : public Env {
 public:
  Status AppDataFolder(std::u16string* path) override {
    LPITEMIDLIST list = nullptr;
    const HRESULT located = SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list);
    if (FAILED(located)) return Status(Status::Kind::kNotFound, static_cast<int>(located));
    wchar_t folder[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(list, folder);
    CoTaskMemFree(list);
    if (!found) return Status(Status::Kind::kNotFound, 0);
    *path = reinterpret_cast<const char16_t*>(folder);
    return Status();
  }

  // _wmkdir, which is CreateDirectoryW underneath.
  Status CreateFolder(const std::u16string& path) override {
    if (_wmkdir(Wide(path)) == 0) return Status();
    return errno == EEXIST ? Status(Status::Kind::kExists, ERROR_ALREADY_EXISTS) : LastError();
  }

  Status ListFolder(const std::u16string& path, std::vector<std::u16string>* names) override {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(path + u"\\*"), &found);
    if (search == INVALID_HANDLE_VALUE) return LastError();
    names->clear();
    do {
      const std::u16string name = reinterpret_cast<const char16_t*>(found.cFileName);
      if (name != u"." && name != u"..") names->push_back(name);
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? Status() : Error(error);
  }

  // A move is written through (MOVEFILE_WRITE_THROUGH): once it returns, the
  // folder's entry is on the disk.
  Status SyncFolder(const std::u16string& path) override {
    return PathFileExistsW(Wide(path)) ? Status() : Status(Status::Kind::kNotFound, 0);
  }

  Status CreateExclusive(const std::u16string& path, std::unique_ptr<WritableFile>* file) override {
    HANDLE made = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made == INVALID_HANDLE_VALUE) return LastError();
    *file = std::make_unique<WindowsWritableFile>(made);
    return Status();
  }

  // Opened sharing deletion, so that a store may replace the file while it
  // is read: the reader goes on reading the file it opened.
  Status ReadFile(const std::u16string& path, uint64_t limit, ReadTarget* target) override {
    Handle file(CreateFileW(Wide(path), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return LastError();
    LARGE_INTEGER length{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &length)) {
      return Status(Status::Kind::kNotAFile, 0);
    }
    return ReadWhole(static_cast<uint64_t>(length.QuadPart), limit, target,
                     [&file](char* buffer, size_t count, size_t* n) {
                       const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
                       DWORD got = 0;
                       if (!::ReadFile(file.get(), buffer, chunk, &got, nullptr)) {
                         return LastError();
                       }
                       *n = got;
                       return Status();
                     });
  }

  // Written through. A reader that opened the file without sharing its
  // deletion (another program, or a virus scanner) holds the move up for a
  // moment: it is tried again for about a second, as long as that is why it
  // fails.
  Status Rename(const std::u16string& from, const std::u16string& to) override {
    for (int attempt = 1;; ++attempt) {
      if (MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Status();
      }
      const DWORD error = GetLastError();
      if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == 20) {
        return Error(error);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
    }
  }

  Status Remove(const std::u16string& path) override {
    if (path.empty()) return Status(Status::Kind::kNotFound, ERROR_FILE_NOT_FOUND);
    return DeleteFileW(Wide(path)) ? Status() : LastError();
  }

  // A writer opened its file sharing nothing: while it has it open, the
  // deletion fails.
  Status RemoveIfAbandoned(const std::u16string& path) override {
    if (DeleteFileW(Wide(path))) return Status();
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION ? Status(Status::Kind::kBusy, static_cast<int>(error))
                                            : Error(error);
  }

  bool PathExists(const std::u16string& path) override {
    return !path.empty() && PathFileExistsW(Wide(path)) != FALSE;
  }

  Status Attributes(const std::u16string& path, FileAttributes* attributes) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty()) return Status(Status::Kind::kNotFound, ERROR_FILE_NOT_FOUND);
    if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return LastError();
    attributes->last_write_time =
        (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    attributes->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes->size =
        attributes->folder ? 0 : (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return Status();
  }

  Status Identity(const std::u16string& path, FileId* id) override {
    Handle file(CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return LastError();
    *id = IdOf(file.get());
    return Status();
  }

  // Opened without sharing its deletion, so that no one removes the lock
  // file from under the one who holds it; a link there is opened as itself,
  // never followed, and a folder cannot be opened at all.
  Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                  std::unique_ptr<FileLock>* lock) override {
    Handle file(CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return LastError();
    const Status locked = LockWithin(file.get(), wait);
    if (!locked.ok()) return locked;
    const FileId id = IdOf(file.get());
    *lock = std::make_unique<WindowsFileLock>(file.Release(), id);
    return Status();
  }

  // The runtime's text mode: CR LF is a line break, a byte 0x1A ends the
  // text, and the rest is the current locale's multibyte encoding.
  std::u16string DecodeText(std::string_view bytes) override {
    std::u16string text;
    text.reserve(bytes.size());
    std::mbstate_t state{};
    for (size_t i = 0; i < bytes.size();) {
      if (bytes[i] == '\x1A') break;
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
        ++i;
        continue;
      }
      wchar_t unit = 0;
      const size_t n = std::mbrtowc(&unit, bytes.data() + i, bytes.size() - i, &state);
      if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
        unit = static_cast<unsigned char>(bytes[i]);
        state = std::mbstate_t{};
        ++i;
      } else {
        i += n == 0 ? 1 : n;
      }
      text.push_back(static_cast<char16_t>(unit));
    }
    return text;
  }

  // A character the locale cannot write ends the text there, as fputws does.
  std::string EncodeText(std::u16string_view text) override {
    std::string bytes;
    bytes.reserve(text.size());
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    for (char16_t unit : text) {
      if (unit == u'\n') bytes.push_back('\r');
      const size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(unit), &state);
      if (n == static_cast<size_t>(-1)) break;
      bytes.append(buffer, n);
    }
    return bytes;
  }

  int64_t NowSeconds() override { return static_cast<int64_t>(_time64(nullptr)); }
  uint64_t Random() override { return RandomBits(); }

  std::string Describe(const Status& status) override {
    if (status.kind() == Status::Kind::kBusy) return "held by another process";
    if (status.kind() == Status::Kind::kTooLarge) return "too large";
    if (status.kind() == Status::Kind::kNotAFile && status.system_error() == 0) {
      return "not a regular file";
    }
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(status.system_error()), 0, reinterpret_cast<wchar_t*>(&message),
        0, nullptr);
    std::u16string text(reinterpret_cast<const char16_t*>(message), length);
    LocalFree(message);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u'.')) {
      text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(status.system_error()) : text::ToUtf8(text);
  }
};

}  // namespace

Env* Env::Default() {
  return Forever<WindowsEnv>();
}

}  // namespace obexses::platform
