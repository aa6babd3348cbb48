// What a host of the library needs around it, for obexsesctl and the tests:
// loading the library, the running executable, child processes, the process
// environment, temporary folders, and staging the library's application-data
// folder and machine settings. The module itself links none of this.
#pragma once

#include <memory>
#include <string>
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
// Runs another program to completion with this process's standard handles;
// its exit code, or -1 when it cannot be started or does not exit.
int RunProgram(const std::vector<std::string>& argv);
// Sets a variable of the process environment, for this process and the
// programs it starts.
void SetProcessVariable(const std::string& name, const std::string& value);
// Makes a fresh private folder under the system's temporary folder.
bool MakeTemporaryFolder(std::string* path);

// For libraries loaded from now on in this process and the programs it starts:
//
// Asks for folder as the application-data folder and returns the one the
// library will use: folder itself where a process can choose it (POSIX:
// XDG_DATA_HOME), else the user's own (Windows: the shell's folder, which one
// process cannot move).
std::string UseAppDataFolder(const std::string& folder);
// Makes the settings in a .reg file (the registry export format) the machine
// settings. POSIX: OBEXSES_REGISTRY names the file. Windows: the registry key
// HKEY_LOCAL_MACHINE\Software\Velmora\Brindleway is replaced with the file's
// contents (reg.exe import), for the whole machine; an empty reg_file only
// removes the key. False when that fails.
bool UseMachineSettings(const std::string& reg_file);

}  // namespace obexses::host
