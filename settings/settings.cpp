// SPDX-License-Identifier: MIT
#include "settings/settings.h"

#include <string>

#include "platform/file_names.h"
#include "platform/platform.h"
#include "text/wide.h"

namespace obexses {

bool ReadDwordSetting(platform::SettingsStore* settings, const DebugTracer& trace,
                      const char16_t* name, uint32_t* value) noexcept {
  try {
    uint32_t read = 0;
    const platform::SettingStatus status = settings->QueryDword(name, &read);
    if (status == platform::SettingStatus::kRejected) {
      trace.DebugTrace(2, u"settings store %s ignored: not a regular file of at most 1 MiB\n",
                       settings->Location());
    }
    if (status != platform::SettingStatus::kRead) return false;
    *value = read;
    return true;
  } catch (...) {
    return false;  // unreadable for want of memory: as if missing
  }
}

uint32_t ReadObsoleteAge(platform::SettingsStore* settings, const DebugTracer& trace) noexcept {
  uint32_t age = kDefaultObsoleteAge;
  ReadDwordSetting(settings, trace, u"ObexSesObsoleteTime", &age);
  return age;
}

// Without an application-data folder the path starts empty, at the root.
int MakeSessionFilePath(platform::Env* env, const DebugTracer& trace, int client, char16_t* out) {
  std::u16string app_data;
  if (!env->AppDataFolder(&app_data).ok()) app_data.clear();
  env->CreateFolder(platform::names::VendorFolder(app_data));
  env->CreateFolder(platform::names::SessionFolder(app_data));
  const std::u16string path = platform::names::SessionFilePath(app_data, client != 0);
  trace.DebugTrace(3, u"%s\n", path);
  text::CopyBounded(out, OBEXSES_NAME_UNITS, path);
  return 1;
}

}  // namespace obexses
