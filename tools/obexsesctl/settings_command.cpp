// SPDX-License-Identifier: MIT
// settings: the values the library would take, where each comes from, and
// the folders and files it uses.
#include <fmt/format.h>

#include "platform/file_names.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/output.h"

namespace obexsesctl {
namespace {

namespace platform = obexses::platform;
namespace names = obexses::platform::names;

struct Setting {
  const char16_t* name;
  uint32_t value;  // the library's own until the store gives one
  platform::SettingStatus status = platform::SettingStatus::kMissing;
};

std::vector<Setting> ReadSettings(platform::SettingsStore* store) {
  std::vector<Setting> settings = {{u"ObexSesSaveFile", 0},
                                   {u"ObexSesDebugLevel", 0},
                                   {u"ObexSesObsoleteTime", obexses::kDefaultObsoleteAge}};
  for (Setting& setting : settings) {
    uint32_t value = 0;
    setting.status = store->QueryDword(setting.name, &value);
    if (setting.status == platform::SettingStatus::kRead) setting.value = value;
  }
  return settings;
}

const char* Source(const Setting& setting) {
  return setting.status == platform::SettingStatus::kRead ? "settings" : "default";
}

// The folders and files below the application-data folder: JSON key, label, path.
std::vector<std::tuple<const char*, const char*, std::u16string>> Places(
    const std::u16string& app_data) {
  return {{"app_data", "application data", app_data},
          {"session_folder", "session folder", names::SessionFolder(app_data)},
          {"client_file", "client file", names::SessionFilePath(app_data, true)},
          {"server_file", "server file", names::SessionFilePath(app_data, false)},
          {"temp_list", "temporary file list", names::TempListPath(app_data)}};
}

void PrintText(const std::u16string& store, const std::vector<Setting>& settings,
               const std::u16string& app_data) {
  Table values({"SETTING", "VALUE", "SOURCE"});
  for (const Setting& setting : settings) {
    values.Add({Utf8(setting.name), std::to_string(setting.value), Source(setting)});
  }
  values.Print();
  fmt::print("\n");
  Table places({"settings store", ShownPath(store)});
  for (const auto& [key, label, path] : Places(app_data)) places.Add({label, ShownPath(path)});
  places.Print();
}

void PrintJsonSettings(const std::u16string& store, const std::vector<Setting>& settings,
                       const std::u16string& app_data) {
  Json values = Json::array(), folders = Json::object();
  for (const Setting& setting : settings) {
    values.push_back(
        {{"name", Utf8(setting.name)}, {"value", setting.value}, {"source", Source(setting)}});
  }
  for (const auto& [key, label, path] : Places(app_data)) folders[key] = ShownPath(path);
  PrintJson({{"settings_store", ShownPath(store)},
             {"settings", std::move(values)},
             {"folders", std::move(folders)}});
}

}  // namespace

int RunSettings(const Context& context) {
  std::u16string app_data;
  if (!context.AppData(&app_data)) return kExitProblems;
  platform::SettingsStore* store = platform::SettingsStore::Default();
  const std::vector<Setting> settings = ReadSettings(store);
  const bool rejected = std::any_of(settings.begin(), settings.end(), [](const Setting& setting) {
    return setting.status == platform::SettingStatus::kRejected;
  });
  if (rejected) {
    PrintError(fmt::format("{}: not a regular file of at most 1 MiB: the library ignores it",
                           ShownPath(store->Location())));
  }
  if (context.options.json) {
    PrintJsonSettings(store->Location(), settings, app_data);
  } else {
    PrintText(store->Location(), settings, app_data);
  }
  return rejected ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
