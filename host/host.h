// SPDX-License-Identifier: MIT
// What a host of the library needs around it, for obexsesctl and the tests:
// loading the library, the running executable, child processes, the process
// environment, temporary folders, and a sandbox of the library's own (its
// application-data folder and machine settings). The module links none of this.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace obexses::host {

// A loaded library.
class Library {
 public:
  virtual ~Library() = default;
  // Null, with a message in *error, when it cannot be loaded.
  static std::unique_ptr<Library> Open(const std::string& path, std::string* error);
  virtual void* Symbol(const char* name) = 0;
};

// The platform's file name of a shared library: "libNAME.so", "NAME.dll".
std::string SharedLibraryName(const std::string& stem);

// Path of the running executable.
std::string ExecutablePath();
// The program's arguments after its name, in UTF-8: argv itself on POSIX;
// on Windows the wide command line, whatever the ANSI code page holds.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Runs another program to completion with this process's standard handles;
// its exit code, or -1 when it cannot be started or does not exit.
int RunProgram(const std::vector<std::string>& argv);
// Sets a variable of the process environment, for this process and the
// programs it starts.
void SetProcessVariable(const std::string& name, const std::string& value);
// Makes a fresh private folder under the system's temporary folder.
bool MakeTemporaryFolder(std::string* path);

// A file held open for reading as another program may hold it: sharing its
// reading but not its deletion, which on Windows keeps it from being
// replaced until it is closed (at destruction).
class OpenFile {
 public:
  virtual ~OpenFile() = default;
  // Null when the file cannot be opened.
  static std::unique_ptr<OpenFile> ForReading(const std::string& path);
};

// A sandbox of the library's own for this process: an application-data
// folder and machine settings that libraries loaded from now on take instead
// of the user's folder and the machine's settings, which it never touches.
// POSIX: XDG_DATA_HOME names the folder and OBEXSES_REGISTRY a settings file
// written beside it, for this process and the programs it starts. Windows:
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are overridden, for this process
// alone, with volatile keys of the sandbox's own that hold the settings and
// name the folder as the user's application-data folder; each process enters
// the sandbox itself. Leaving it (destroying it) puts both keys back and
// deletes the sandbox's own.
class Sandbox {
 public:
  using Settings = std::vector<std::pair<std::string, uint32_t>>;  // 4-byte values by name

  virtual ~Sandbox() = default;
  // Enters a sandbox whose application-data folder is app_data (an existing,
  // absolute folder) and whose settings file, where the platform keeps one,
  // is settings_file. Null, with *error, when it cannot be made or when the
  // platform does not then resolve the application-data folder to app_data;
  // nothing is left changed then.
  static std::unique_ptr<Sandbox> Enter(const std::string& app_data,
                                        const std::string& settings_file, const Settings& settings,
                                        std::string* error);
};

}  // namespace obexses::host
