#include "tests/support/test_env.h"

#include <fstream>
#include <sstream>

#include "host/host.h"
#include "module/module.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/state.h"
#include "settings/settings.h"
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

bool TestEnv::AppDataFolder(std::u16string* path) {
  *path = app_data_u16();
  return true;
}

platform::SettingStatus TestEnv::QuerySettingDword(const char16_t* name, uint32_t* value) {
  if (settings_rejected_) return platform::SettingStatus::kRejected;
  auto it = settings_.find(name);
  if (it == settings_.end()) return platform::SettingStatus::kMissing;
  *value = it->second;
  return platform::SettingStatus::kRead;
}

void TestEnv::DebugOutput(const char16_t* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  trace_.push_back(text::ToUtf8(text));
}

void TestEnv::HostLogFormat(uint32_t level, const char16_t* tag, const char16_t* format,
                            const char* argument) {
  const std::u16string line = text::Format(u"%u %s: ", level, tag) + text::Format(format, argument);
  std::lock_guard<std::mutex> lock(mutex_);
  host_.push_back(text::ToUtf8(line));
}

void TestEnv::HostLogText(uint32_t level, const char* tag, const char* text) {
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

ModuleFixtureBase::ModuleFixtureBase() {
  ResetModuleState();
  platform::SetEnv(&env_);
}

ModuleFixtureBase::~ModuleFixtureBase() {
  ResetModuleState();
  platform::SetEnv(nullptr);
}

void ModuleFixtureBase::MakePaths() {
  MakeSessionFilePath(0, g_server_session_path);
  MakeSessionFilePath(1, g_client_session_path);
}

void ResetModuleState() {
  SessionGuard lock(g_session_lock);
  for (ClientSession* record : g_client_sessions) records::DeleteClientRecordDeep(record);
  for (ServerSession* record : g_server_sessions) records::DeleteServerRecordDeep(record);
  g_client_sessions.clear();
  g_server_sessions.clear();
  g_saved_client_sessions.clear();
  g_saved_server_sessions.clear();
  g_client_places.clear();
  g_server_places.clear();
  {
    std::lock_guard<std::mutex> live(g_live_lock);
    g_live_sessions.clear();
  }
  g_client_session_path[0] = 0;
  g_server_session_path[0] = 0;
  g_save_file = 0;
  g_debug_level = 0;
  g_initialized = 0;
}

namespace {

template <typename Record>
std::string SideDisagreement(const char* side) {
  const auto& list = Holdings<Record>::List();
  const auto& places = Holdings<Record>::Places();
  const auto& saved = Holdings<Record>::Saved();
  const std::string prefix = std::string(side) + ": ";
  if (list.size() != places.size()) return prefix + "list and places differ in size";
  size_t keyed = 0;
  for (auto cell = list.begin(); cell != list.end(); ++cell) {
    auto place = places.find(*cell);
    if (place == places.end() || place->second.cell != cell) return prefix + "a cell out of place";
    if (place->second.saved_key == nullptr) continue;
    ++keyed;
    auto entry = saved.find(*place->second.saved_key);
    if (entry == saved.end() || entry->second != *cell || &entry->first != place->second.saved_key)
      return prefix + "a place names a key the saved map does not give it";
  }
  return keyed == saved.size() ? std::string() : prefix + "a saved record without its place";
}

}  // namespace

std::string RegistryDisagreement() {
  SessionGuard lock(g_session_lock);
  std::string problem = SideDisagreement<ClientSession>("client");
  if (problem.empty()) problem = SideDisagreement<ServerSession>("server");
  if (!problem.empty()) return problem;
  std::lock_guard<std::mutex> live(g_live_lock);
  if (g_live_sessions.size() != g_client_sessions.size()) return "live set and client list differ";
  for (ClientSession* record : g_client_sessions) {
    if (g_live_sessions.count(record) == 0) return "a held client record is not live";
  }
  return std::string();
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
