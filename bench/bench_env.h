// SPDX-License-Identifier: MIT
// Where the benchmarks keep their session files, and the platform they run
// the store on: folders of their own (on the disk, and on a memory file
// system where there is one), removed with everything in them at the end; an
// Env whose application-data folder is such a folder; and settings that say
// only whether saving to the file is on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/platform.h"

namespace obexses::bench {

// A fresh private folder, removed with its contents when destroyed.
class ScratchFolder {
 public:
  // A folder made below base; null when it cannot be made.
  static std::unique_ptr<ScratchFolder> Under(const std::string& base);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::string& path() const { return path_; }

 private:
  explicit ScratchFolder(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// Where folders on the disk go: $OBEXSES_BENCH_DIR, else $TMPDIR, else /tmp.
std::string DiskBase();
// Where folders in memory go: /dev/shm when it is a folder, else empty.
std::string MemoryBase();

// A path of the store (UTF-16, backslashes) as the file system names it.
std::string NativePath(const std::u16string& path);

// The process's files, with the application-data folder the bench chose.
class FolderEnv : public platform::EnvWrapper {
 public:
  explicit FolderEnv(const std::string& folder);
  platform::Status AppDataFolder(std::u16string* path) override;

 private:
  std::u16string folder_;
};

// ObexSesSaveFile as the bench sets it, and no other setting.
class BenchSettings : public platform::SettingsStore {
 public:
  explicit BenchSettings(uint32_t save_file) : save_file_(save_file) {}
  platform::SettingStatus QueryDword(const char16_t* name, uint32_t* value) override;
  std::u16string Location() override { return u"benchmark"; }
  void set_save_file(uint32_t value) { save_file_ = value; }

 private:
  std::atomic<uint32_t> save_file_;
};

// The process's platform with the bench's settings, and its files reached
// through files unless that is null.
platform::Platform BenchPlatform(BenchSettings* settings, platform::Env* files = nullptr);

}  // namespace obexses::bench
