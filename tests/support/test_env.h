// SPDX-License-Identifier: MIT
// An Env for in-process tests: a settable clock, captured debug output and
// host-log lines, DWORD settings from a map, and everything else from the real
// backend (files go to a private temporary folder that is the app-data folder).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "registry/session_store.h"
#include "text/wide.h"

namespace obexses::testing {

class TestEnv : public platform::EnvWrapper,
                public platform::SettingsStore,
                public platform::DebugOutput,
                public platform::HostLog {
 public:
  TestEnv();
  ~TestEnv() override;

  // The temporary folder standing for the roaming application-data folder.
  const std::filesystem::path& app_data() const { return app_data_; }
  // The same folder as the module writes it (backslash-separated).
  std::u16string app_data_u16() const;
  // This as the four seams, its files those of env when given.
  platform::Platform seams(platform::Env* env = nullptr) {
    return {env ? env : this, this, this, this};
  }

  void set_now(int64_t seconds) { now_ = seconds; }
  void set_dword(const std::u16string& name, uint32_t value) { settings_[name] = value; }
  // From now on the settings store is there but unusable (a FIFO, say).
  void reject_settings() { settings_rejected_ = true; }

  // Captured output, UTF-8, one entry per call.
  std::vector<std::string> trace_lines();
  std::vector<std::string> host_lines();
  void clear_output();

  platform::Status AppDataFolder(std::u16string* path) override;
  int64_t NowSeconds() override { return now_; }
  platform::SettingStatus QueryDword(const char16_t* name, uint32_t* value) override;
  std::u16string Location() override { return u"test.reg"; }
  void Write(const char16_t* line) override;
  void Format(uint32_t level, const char16_t* tag, const char16_t* format,
              const char* argument) override;
  void Text(uint32_t level, const char* tag, const char* text) override;

 private:
  std::filesystem::path app_data_;
  int64_t now_ = 1700000000;
  std::map<std::u16string, uint32_t> settings_;
  bool settings_rejected_ = false;
  std::mutex mutex_;
  std::vector<std::string> trace_;
  std::vector<std::string> host_;
};

// An application-data folder of the test's choosing ("" for none) in front of
// another Env; folder and file calls are counted and fail, touching nothing.
class FolderEnv : public platform::EnvWrapper {
 public:
  FolderEnv(platform::Env* target, std::u16string folder)
      : EnvWrapper(target), folder_(std::move(folder)) {}
  platform::Status AppDataFolder(std::u16string* path) override {
    *path = folder_;
    return folder_.empty() ? platform::Status(platform::Status::Kind::kNotFound, 0)
                           : platform::Status();
  }
  platform::Status CreateFolder(const std::u16string&) override { return Fail(); }
  platform::Status Remove(const std::u16string&) override { return Fail(); }
  platform::Status ReadFile(const std::u16string&, uint64_t, platform::ReadTarget*) override {
    return Fail();
  }
  platform::Status CreateExclusive(const std::u16string&,
                                   std::unique_ptr<platform::WritableFile>*) override {
    return Fail();
  }
  int calls = 0;

 private:
  platform::Status Fail() {
    ++calls;
    return platform::Status(platform::Status::Kind::kNotFound, 0);
  }
  std::u16string folder_;
};

// A fresh store for one test, on a TestEnv of its own: no records, no saved
// sessions, no paths, settings at 0. Records still held at the end are freed.
class StoreFixture {
 public:
  StoreFixture() { Restart(); }
  TestEnv& env() { return env_; }
  SessionStore& store() { return *store_; }
  // Builds the two session paths as the start-up does.
  void MakePaths() { store_->MakePaths(); }
  // The settings of the start-up, as if the settings store said so.
  void SetSaveFile(uint32_t value);
  void SetDebugLevel(uint32_t value);
  // The host goes down and comes back: a new store starts empty, on the same
  // folder and settings store, its stores waiting lock_wait for another's,
  // its files reached through files when given.
  void Restart(std::chrono::milliseconds lock_wait = SessionStore::kLockWait,
               platform::Env* files = nullptr);

 private:
  TestEnv env_;
  std::unique_ptr<SessionStore> store_;
};

// Copies text into a record's 260-unit name or path field, as far as it fits.
inline void SetText(char16_t* field, std::u16string_view text) {
  text::CopyBounded(field, 260, text);
}

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// UTF-16LE bytes of text, for comparing with session files.
std::string Utf16Le(const std::u16string& text);

}  // namespace obexses::testing
