// SPDX-License-Identifier: MIT
// The host side of the Windows backend, for obexsesctl and the tests:
// loading a library, the running executable, child processes, the process
// environment and temporary folders. Kept apart from the module's Env so that
// the DLL does not link it.
#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "host/host.h"
#include "platform/env.h"
#include "text/wide.h"

namespace obexses::host {
namespace {

std::wstring WideFromUtf8(const std::string& text) {
  const std::u16string units = text::FromUtf8(text);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8FromWide(const std::wstring& text) {
  return text::ToUtf8(std::u16string(text.begin(), text.end()));
}

class WindowsLibrary final : public Library {
 public:
  explicit WindowsLibrary(HMODULE module) : module_(module) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }
  void* Symbol(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  std::string message = "error " + std::to_string(code);
  if (FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr) != 0) {
    message += ": " + Utf8FromWide(text);
    LocalFree(text);
  }
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

// Waits for a started process to end; its exit code, or -1.
int WaitAndClose(const PROCESS_INFORMATION& process) {
  CloseHandle(process.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.hProcess, &code)) {
    code = static_cast<DWORD>(-1);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// One argument as the runtime's command-line parser reads it back: quoted
// when needed, backslashes doubled only where they precede a quote.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const auto& argument : argv) {
    if (!line.empty()) line += L' ';
    AppendQuoted(line, WideFromUtf8(argument));
  }
  return line;
}

}  // namespace

std::unique_ptr<Library> Library::Open(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryW(WideFromUtf8(path).c_str());
  if (module == nullptr) {
    if (error != nullptr) *error = SystemMessage(GetLastError());
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(module);
}

std::string SharedLibraryName(const std::string& stem) {
  return stem + ".dll";
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return Utf8FromWide(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  if (wide != nullptr) LocalFree(wide);
  return arguments;
}

// The child shares this process's console and standard handles.
int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::wstring line = CommandLine(argv);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  return WaitAndClose(process);
}

// Both environments: the system's, which child processes inherit, and the
// runtime's copy, which getenv reads.
void SetProcessVariable(const std::string& name, const std::string& value) {
  const std::wstring wide_name = WideFromUtf8(name);
  const std::wstring wide_value = WideFromUtf8(value);
  SetEnvironmentVariableW(wide_name.c_str(), wide_value.c_str());
  _wputenv((wide_name + L"=" + wide_value).c_str());
}

bool MakeTemporaryFolder(std::string* path) {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) return false;
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"obexses.%lx.%llx.%x",
                  static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long long>(GetTickCount64()), counter.fetch_add(1));
    const std::wstring folder = std::wstring(base) + name;
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
      *path = Utf8FromWide(folder);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

namespace {

class WindowsOpenFile final : public OpenFile {
 public:
  explicit WindowsOpenFile(HANDLE file) : file_(file) {}
  ~WindowsOpenFile() override { CloseHandle(file_); }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<OpenFile> OpenFile::ForReading(const std::string& path) {
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WindowsOpenFile>(file);
}

namespace {

// The sandbox's keys: one volatile key under the user's own Software key,
// gone at log-off even when a process dies inside the sandbox.
constexpr wchar_t kSandboxKeyPrefix[] = L"Software\\obexsesctl sandbox ";
constexpr wchar_t kSettingsKey[] = L"Software\\Velmora\\Brindleway";
constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  // Creates (or opens) a volatile key below parent.
  bool Create(HKEY parent, const std::wstring& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key_, nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool SetFolder(HKEY key, const wchar_t* name, DWORD type, const std::wstring& path) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(path.c_str()),
                        static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The shell folders of the sandbox's user: its own application-data folder,
// and the user's desktop, through which the shell turns a path into the
// item list the library asks for.
bool SetShellFolders(HKEY user, const wchar_t* path, DWORD type, const std::wstring& app_data,
                     const std::wstring& desktop) {
  Key key;
  return key.Create(user, path) && SetFolder(key.get(), L"AppData", type, app_data) &&
         (desktop.empty() || SetFolder(key.get(), L"Desktop", type, desktop));
}

// Asked before the keys are overridden; empty when the shell has none.
std::wstring UserDesktop() {
  wchar_t folder[MAX_PATH] = {};
  return SUCCEEDED(
             SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder))
             ? folder
             : std::wstring();
}

bool SetSettings(HKEY machine, const Sandbox::Settings& settings) {
  Key key;
  if (!key.Create(machine, kSettingsKey)) return false;
  for (const auto& [name, value] : settings) {
    const DWORD data = value;
    if (RegSetValueExW(key.get(), WideFromUtf8(name).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), sizeof data) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

class WindowsSandbox final : public Sandbox {
 public:
  WindowsSandbox() {
    static std::atomic<unsigned> counter{0};
    name_ = kSandboxKeyPrefix + std::to_wstring(GetCurrentProcessId()) + L"." +
            std::to_wstring(GetTickCount64()) + L"." + std::to_wstring(counter.fetch_add(1));
  }
  ~WindowsSandbox() override {
    if (overridden_) {
      RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
      RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }
    if (made_) RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    if (made_) RegDeleteKeyW(HKEY_CURRENT_USER, name_.c_str());
  }

  // The keys, filled; then both predefined keys point at them.
  bool Make(const std::wstring& app_data, const Settings& settings) {
    const std::wstring desktop = UserDesktop();
    Key root, machine, user;
    made_ = root.Create(HKEY_CURRENT_USER, name_);
    if (!made_ || !machine.Create(root.get(), L"HKLM") || !user.Create(root.get(), L"HKCU") ||
        !SetSettings(machine.get(), settings) ||
        !SetShellFolders(user.get(), kUserShellFolders, REG_EXPAND_SZ, app_data, desktop) ||
        !SetShellFolders(user.get(), kShellFolders, REG_SZ, app_data, desktop)) {
      return false;
    }
    overridden_ = true;
    return RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine.get()) == ERROR_SUCCESS &&
           RegOverridePredefKey(HKEY_CURRENT_USER, user.get()) == ERROR_SUCCESS;
  }

 private:
  std::wstring name_;
  bool made_ = false;
  bool overridden_ = false;
};

}  // namespace

std::unique_ptr<Sandbox> Sandbox::Enter(const std::string& app_data, const std::string&,
                                        const Settings& settings, std::string* error) {
  const std::wstring wanted = WithoutTrailingSeparator(WideFromUtf8(app_data));
  auto sandbox = std::make_unique<WindowsSandbox>();
  if (!sandbox->Make(wanted, settings)) {
    *error = "cannot make the sandbox's registry keys below HKEY_CURRENT_USER\\Software";
    return nullptr;
  }
  // The shell decides where the library's folder is: the sandbox holds only
  // when the shell, asked as the library asks it, answers with its folder.
  std::u16string found;
  const bool answered = platform::Env::Default()->AppDataFolder(&found).ok();
  const std::wstring shell = WithoutTrailingSeparator(std::wstring(found.begin(), found.end()));
  if (!answered || _wcsicmp(shell.c_str(), wanted.c_str()) != 0) {
    *error = "the shell keeps the application-data folder at " +
             (answered ? Utf8FromWide(shell) : std::string("(none)")) + ", not at " +
             Utf8FromWide(wanted);
    return nullptr;
  }
  return sandbox;
}

}  // namespace obexses::host
