// SPDX-License-Identifier: MIT
// The machine settings on POSIX: a file in the registry export format,
// $OBEXSES_REGISTRY or /etc/obexses/registry.reg, read only when it is a
// regular file of at most 1 MiB and parsed again only when its bytes change.
// It is read at every query: its times cannot tell a file rewritten within
// the file system's clock tick.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/file_names.h"
#include "platform/platform.h"
#include "platform/reg_file.h"
#include "text/wide.h"

namespace obexses::platform {
namespace {

constexpr uint64_t kMaxSettingsBytes = 1 << 20;

std::string SettingsFile() {
  const char* file = std::getenv(names::kSettingsFileVariable);
  return file != nullptr && *file != 0 ? file : names::kDefaultSettingsFile;
}

class FileSettings final : public SettingsStore {
 public:
  SettingStatus QueryDword(const char16_t* name, uint32_t* value) override {
    RegSection section;
    const SettingStatus status = Section(&section);
    if (status != SettingStatus::kRead) return status;
    auto it = section.find(RegValueKey(name));
    if (it == section.end() || it->second.size() > 4) return SettingStatus::kMissing;
    std::memcpy(value, it->second.data(), it->second.size());
    return SettingStatus::kRead;
  }

  std::u16string Location() override { return text::FromUtf8(SettingsFile()); }

  // Frees what the cache holds, when the library is unloaded.
  void Drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string().swap(bytes_);
    RegSection().swap(section_);
  }

 private:
  // The section of the module's key.
  SettingStatus Section(RegSection* section) {
    std::string bytes;
    StringTarget<std::string> target(&bytes);
    const Status read = Env::Default()->ReadFile(Location(), kMaxSettingsBytes, &target);
    if (read.kind() == Status::Kind::kTooLarge || read.kind() == Status::Kind::kNotAFile) {
      return SettingStatus::kRejected;
    }
    if (!read.ok()) return SettingStatus::kMissing;
    std::lock_guard<std::mutex> lock(mutex_);
    // Empty bytes_ stand for the empty section, so a first file needs no flag.
    if (bytes != bytes_) {
      section_ = ReadRegSection(bytes, names::kSettingsKey);
      bytes_ = std::move(bytes);
    }
    *section = section_;
    return SettingStatus::kRead;
  }

  std::mutex mutex_;
  std::string bytes_;
  RegSection section_;
};

// Built in static storage and never destroyed: usable until the very end of
// the process. What it caches on the heap is dropped when the library is
// unloaded, so that nothing stays behind it.
alignas(FileSettings) unsigned char g_storage[sizeof(FileSettings)];
std::atomic<FileSettings*> g_settings{nullptr};

struct CacheRelease {
  ~CacheRelease() {
    if (FileSettings* settings = g_settings.load()) settings->Drop();
  }
} g_cache_release;

}  // namespace

SettingsStore* SettingsStore::Default() {
  static FileSettings* settings = [] {
    FileSettings* made = new (g_storage) FileSettings;
    g_settings.store(made);
    return made;
  }();
  return settings;
}

}  // namespace obexses::platform
