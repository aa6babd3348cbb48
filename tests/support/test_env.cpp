// SPDX-License-Identifier: MIT
#include "tests/support/test_env.h"

#include <fstream>
#include <sstream>

#include "host/host.h"
#include "text/format.h"
#include "text/wide.h"

namespace obexses::testing {

TestEnv::TestEnv() : EnvWrapper(platform::Env::Default()) {
  std::string folder;
  host::MakeTemporaryFolder(&folder);
  app_data_ = folder;
}

TestEnv::~TestEnv() {
  std::error_code ignored;
  std::filesystem::remove_all(app_data_, ignored);
}

std::u16string TestEnv::app_data_u16() const {
  return text::FromUtf8(app_data_.string());
}

platform::Status TestEnv::AppDataFolder(std::u16string* path) {
  *path = app_data_u16();
  return platform::Status();
}

platform::SettingStatus TestEnv::QueryDword(const char16_t* name, uint32_t* value) {
  if (settings_rejected_) return platform::SettingStatus::kRejected;
  auto it = settings_.find(name);
  if (it == settings_.end()) return platform::SettingStatus::kMissing;
  *value = it->second;
  return platform::SettingStatus::kRead;
}

void TestEnv::Write(const char16_t* line) {
  std::lock_guard<std::mutex> lock(mutex_);
  trace_.push_back(text::ToUtf8(line));
}

void TestEnv::Format(uint32_t level, const char16_t* tag, const char16_t* format,
                     const char* argument) {
  const std::u16string line = text::Format(u"%u %s: ", level, tag) + text::Format(format, argument);
  std::lock_guard<std::mutex> lock(mutex_);
  host_.push_back(text::ToUtf8(line));
}

void TestEnv::Text(uint32_t level, const char* tag, const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  host_.push_back(std::to_string(level) + " " + tag + ": " + text);
}

std::vector<std::string> TestEnv::trace_lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return trace_;
}

std::vector<std::string> TestEnv::host_lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return host_;
}

void TestEnv::clear_output() {
  std::lock_guard<std::mutex> lock(mutex_);
  trace_.clear();
  host_.clear();
}

void StoreFixture::SetSaveFile(uint32_t value) {
  env_.set_dword(u"ObexSesSaveFile", value);
  store_->ReadSettings();
}

void StoreFixture::SetDebugLevel(uint32_t value) {
  env_.set_dword(u"ObexSesDebugLevel", value);
  store_->ReadSettings();
}

void StoreFixture::Restart(std::chrono::milliseconds lock_wait, platform::Env* files) {
  store_.reset();
  store_ = std::make_unique<SessionStore>(env_.seams(files), SessionStore::AtEnd::kFreeRecords,
                                          lock_wait);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

}  // namespace obexses::testing
