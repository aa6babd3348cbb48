#include "tests/host/host_sandbox.h"

#include <fstream>
#include <sstream>

#include "host/host.h"
#include "platform/env.h"

namespace obexses::host_test {
namespace fs = std::filesystem;

HostSandbox::HostSandbox() {
  std::string folder;
  if (!host::MakeTemporaryFolder(&folder)) return;
  dir_ = folder;
  std::error_code ec;
  fs::create_directory(dir_ / "appdata", ec);
  app_data_ = host::UseAppDataFolder((dir_ / "appdata").string());
  host::SetProcessVariable("OBEXSES_HOST_LOG", (dir_ / "host.log").string());
  if (app_data_.empty() || !UseSettings("")) return;
  if (!private_app_data()) {
    set_aside_ = app_data_ / "Velmora.set-aside-by-host-test";
    if (fs::exists(set_aside_)) {
      // Left by an interrupted run: that one is the user's, this one a test's.
      fs::remove_all(velmora(), ec);
    } else if (fs::exists(velmora())) {
      fs::rename(velmora(), set_aside_, ec);
    }
    if (ec) return;
  }
  ok_ = true;
}

HostSandbox::~HostSandbox() {
  std::error_code ec;
  if (!private_app_data() && !app_data_.empty()) {
    UseSettings("");
    fs::remove_all(velmora(), ec);
    if (fs::exists(set_aside_)) fs::rename(set_aside_, velmora(), ec);
  }
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

std::string HostSandbox::HostLog() const {
  std::ifstream in(dir_ / "host.log", std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool HostSandbox::UseSettings(const std::string& values) {
  const fs::path file = dir_ / "registry.reg";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway]\n"
        << values;
    if (!out) return false;
  }
  return host::UseMachineSettings(file.string());
}

}  // namespace obexses::host_test
