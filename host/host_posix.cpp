// SPDX-License-Identifier: MIT
// The host side of the POSIX backend, for obexsesctl and the tests: loading
// a library, the running executable, child processes, the process
// environment and temporary folders.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "host/host.h"

extern char** environ;

namespace obexses::host {
namespace {

class PosixLibrary final : public Library {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { ::dlclose(handle_); }
  void* Symbol(const char* name) override { return ::dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<Library> Library::Open(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) *error = ::dlerror();
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle);
}

std::string SharedLibraryName(const std::string& stem) {
  return "lib" + stem + ".so";
}

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SetProcessVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

bool MakeTemporaryFolder(std::string* path) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/obexses.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  *path = pattern;
  return true;
}

namespace {

class PosixOpenFile final : public OpenFile {
 public:
  explicit PosixOpenFile(int fd) : fd_(fd) {}
  ~PosixOpenFile() override { ::close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<OpenFile> OpenFile::ForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixOpenFile>(fd);
}

namespace {

// The environment names both places; there is nothing to put back.
class PosixSandbox final : public Sandbox {};

bool WriteSettingsFile(const std::string& path, const Sandbox::Settings& settings) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway]\n";
  for (const auto& [name, value] : settings) {
    char line[160];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name.c_str(), value);
    out << line;
  }
  return static_cast<bool>(out.flush());
}

}  // namespace

std::unique_ptr<Sandbox> Sandbox::Enter(const std::string& app_data,
                                        const std::string& settings_file, const Settings& settings,
                                        std::string* error) {
  if (app_data.empty() || app_data[0] != '/') {
    *error = "the sandbox's application-data folder must be an absolute path: " + app_data;
    return nullptr;
  }
  if (!WriteSettingsFile(settings_file, settings)) {
    *error = "cannot write " + settings_file;
    return nullptr;
  }
  ::setenv("XDG_DATA_HOME", app_data.c_str(), 1);
  ::setenv("OBEXSES_REGISTRY", settings_file.c_str(), 1);
  return std::make_unique<PosixSandbox>();
}

}  // namespace obexses::host
