// What a host test gives the library in its child processes: a private
// folder, the host's log in it, the machine settings and the application-data
// folder.
//
// Where a process can choose the application-data folder (Linux:
// XDG_DATA_HOME) it lies in the private folder. On Windows it is the user's
// own, the shell's folder, which one process cannot move: there the
// library's "Velmora" folder found in it is moved aside for the test and put
// back at the end, and the settings, which live in the machine's registry,
// are removed at the end. The host tests take turns (a ctest resource lock).
#pragma once

#include <filesystem>
#include <string>

namespace obexses::host_test {

class HostSandbox {
 public:
  HostSandbox();
  ~HostSandbox();
  HostSandbox(const HostSandbox&) = delete;
  HostSandbox& operator=(const HostSandbox&) = delete;

  // False when the folder could not be made or the surroundings not set.
  bool ok() const { return ok_; }
  const std::filesystem::path& dir() const { return dir_; }
  // The application-data folder that the library finds.
  const std::filesystem::path& app_data() const { return app_data_; }
  std::filesystem::path velmora() const { return app_data_ / "Velmora"; }
  std::filesystem::path sessions() const { return velmora() / "Session"; }

  // The lines the library wrote to the host's log so far.
  std::string HostLog() const;
  // Makes values (lines of a .reg file, such as "\"ObexSesSaveFile\"=dword:00000001")
  // the settings under the library's key, and nothing else.
  bool UseSettings(const std::string& values);

 private:
  bool private_app_data() const { return app_data_ == dir_ / "appdata"; }

  std::filesystem::path dir_;
  std::filesystem::path app_data_;
  std::filesystem::path set_aside_;  // the user's own Velmora folder during the test
  bool ok_ = false;
};

}  // namespace obexses::host_test
