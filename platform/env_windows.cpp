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

#include <cstdio>
#include <ctime>
#include <new>

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

// Flushes the runtime's buffer and then the system's, so that the bytes are
// on the disk before the rename makes them the file.
bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != FALSE;
}

bool WriteAndFlush(const std::wstring& path, const std::string& bytes) {
  std::FILE* file = nullptr;
  if (_wfopen_s(&file, path.c_str(), L"wb") != 0 || file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = ok && FlushToDisk(file);
  return std::fclose(file) == 0 && ok;
}

// The temporary file beside path. Its name is fixed, so that one left by a
// crash is overwritten by the next store rather than piling up; the stores of
// one module take turns under the session lock.
std::wstring TemporaryNameFor(const std::wstring& path) { return path + L".tmp"; }

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
  bool QuerySettingDword(const char16_t* name, uint32_t* value) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    DWORD size = sizeof(*value);
    const LSTATUS status =
        RegQueryValueExW(key, Wide(name), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
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

  bool ReadFileBytes(const std::u16string& path, std::string* bytes) override {
    std::FILE* file = _wfopen(Wide(path), L"rb");
    if (file == nullptr) return false;
    bytes->clear();
    char chunk[1 << 14];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
  }

  bool ReplaceFileBytes(const std::u16string& path, const std::string& bytes) override {
    const std::wstring target = Wide(path);
    const std::wstring temporary = TemporaryNameFor(target);
    if (!WriteAndFlush(temporary, bytes) ||
        !MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DeleteFileW(temporary.c_str());
      return false;
    }
    return true;
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
