// SPDX-License-Identifier: MIT
#include "bench/bench_env.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "text/wide.h"

namespace obexses::bench {

std::unique_ptr<ScratchFolder> ScratchFolder::Under(const std::string& base) {
  if (base.empty()) return nullptr;
  std::string pattern = base + "/obexses-bench.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return nullptr;
  return std::unique_ptr<ScratchFolder>(new ScratchFolder(pattern));
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : "";
}

}  // namespace

std::string DiskBase() {
  for (const char* name : {"OBEXSES_BENCH_DIR", "TMPDIR"}) {
    if (std::string base = AbsoluteVariable(name); !base.empty()) return base;
  }
  return "/tmp";
}

std::string MemoryBase() {
  struct stat status;
  return ::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) ? "/dev/shm" : "";
}

std::string NativePath(const std::u16string& path) {
  std::string native = text::ToUtf8(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

FolderEnv::FolderEnv(const std::string& folder)
    : EnvWrapper(platform::Env::Default()), folder_(text::FromUtf8(folder)) {}

platform::Status FolderEnv::AppDataFolder(std::u16string* path) {
  *path = folder_;
  return platform::Status();
}

platform::SettingStatus BenchSettings::QueryDword(const char16_t* name, uint32_t* value) {
  if (std::u16string_view(name) != u"ObexSesSaveFile") return platform::SettingStatus::kMissing;
  *value = save_file_.load();
  return platform::SettingStatus::kRead;
}

platform::Platform BenchPlatform(BenchSettings* settings, platform::Env* files) {
  platform::Platform seams = platform::Platform::Default();
  seams.settings = settings;
  if (files != nullptr) seams.env = files;
  return seams;
}

}  // namespace obexses::bench
