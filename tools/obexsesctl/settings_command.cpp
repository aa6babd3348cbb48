// settings: the values the library would take, where each comes from, and
// the folders and files it uses.
#include "platform/platform.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

namespace platform = obexses::platform;

struct Setting {
  const char16_t* name;
  uint32_t fallback;  // the library's value when the store does not give one
  uint32_t value = 0;
  platform::SettingStatus status = platform::SettingStatus::kMissing;
};

const char* SourceName(platform::SettingStatus status) {
  return status == platform::SettingStatus::kRead ? "settings" : "default";
}

std::vector<Setting> ReadSettingValues(platform::SettingsStore* store) {
  std::vector<Setting> settings = {
      {u"ObexSesSaveFile", 0}, {u"ObexSesDebugLevel", 0}, {u"ObexSesObsoleteTime", 86400}};
  for (Setting& setting : settings) {
    uint32_t value = 0;
    setting.status = store->QueryDword(setting.name, &value);
    setting.value = setting.status == platform::SettingStatus::kRead ? value : setting.fallback;
  }
  return settings;
}

struct Place {
  const char* key;    // JSON
  const char* label;  // text
  std::u16string path;
};

std::vector<Place> Places(const std::u16string& app_data) {
  return {{"app_data", "application data", app_data},
          {"session_folder", "session folder", SessionFolder(app_data)},
          {"client_file", "client file", SessionFilePath(app_data, Side::kClient)},
          {"server_file", "server file", SessionFilePath(app_data, Side::kServer)},
          {"temp_list", "temporary file list", TempListPath(app_data)}};
}

void PrintText(const std::u16string& store, const std::vector<Setting>& settings,
               const std::u16string& app_data) {
  Table values({"SETTING", "VALUE", "SOURCE"});
  for (const Setting& setting : settings) {
    values.Add({Utf8(setting.name), std::to_string(setting.value), SourceName(setting.status)});
  }
  values.Print(stdout);
  std::printf("\n");
  Table places({"settings store", ShownPath(store)});
  for (const Place& place : Places(app_data)) places.Add({place.label, ShownPath(place.path)});
  places.Print(stdout);
}

void PrintJsonSettings(const std::u16string& store, const std::vector<Setting>& settings,
                       const std::u16string& app_data) {
  Json values = Json::Array();
  for (const Setting& setting : settings) {
    Json value = Json::Object();
    value.Set("name", Utf8(setting.name))
        .Set("value", setting.value)
        .Set("source", SourceName(setting.status));
    values.Add(std::move(value));
  }
  Json folders = Json::Object();
  for (const Place& place : Places(app_data)) folders.Set(place.key, ShownPath(place.path));
  Json json = Json::Object();
  json.Set("settings_store", ShownPath(store))
      .Set("settings", std::move(values))
      .Set("folders", std::move(folders));
  PrintJson(json);
}

}  // namespace

int RunSettings(const Context& context) {
  std::u16string app_data;
  if (!FindAppData(context, &app_data)) return kExitProblems;
  platform::SettingsStore* settings_store = platform::SettingsStore::Default();
  const std::u16string store = settings_store->Location();
  const std::vector<Setting> settings = ReadSettingValues(settings_store);
  bool rejected = false;
  for (const Setting& setting : settings) {
    rejected = rejected || setting.status == platform::SettingStatus::kRejected;
  }
  if (rejected) {
    PrintError("the settings store " + ShownPath(store) +
               " is not a regular file of at most 1 MiB: the library ignores it");
  }
  if (context.json()) {
    PrintJsonSettings(store, settings, app_data);
  } else {
    PrintText(store, settings, app_data);
  }
  return rejected ? kExitProblems : kExitOk;
}

}  // namespace obexsesctl
