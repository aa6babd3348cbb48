#include "settings/settings.h"

#include <string>

#include "platform/env.h"
#include "text/wide.h"

namespace obexses {

bool ReadDwordSetting(platform::Env* env, const DebugTracer& trace, const char16_t* name,
                      uint32_t* value) noexcept {
  try {
    uint32_t read = 0;
    const platform::SettingStatus status = env->QuerySettingDword(name, &read);
    if (status == platform::SettingStatus::kRejected) {
      trace.DebugTrace(2, u"settings store %s ignored: not a regular file of at most 1 MiB\n",
                       env->SettingsLocation());
    }
    if (status != platform::SettingStatus::kRead) return false;
    *value = read;
    return true;
  } catch (...) {
    return false;  // unreadable for want of memory: as if missing
  }
}

uint32_t ReadObsoleteAge(platform::Env* env, const DebugTracer& trace) noexcept {
  uint32_t age = kDefaultObsoleteAge;
  ReadDwordSetting(env, trace, u"ObexSesObsoleteTime", &age);
  return age;
}

int MakeSessionFilePath(platform::Env* env, const DebugTracer& trace, int client, char16_t* out) {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  std::u16string base;
  // Without an application-data folder the path starts empty, at the root.
  if (env->AppDataFolder(&base)) text::CopyBounded(path, OBEXSES_NAME_UNITS, base);
  text::AppendBounded(path, OBEXSES_NAME_UNITS, u"\\Velmora");
  env->CreateFolder(path);
  text::AppendBounded(path, OBEXSES_NAME_UNITS, u"\\Session");
  env->CreateFolder(path);
  text::AppendBounded(path, OBEXSES_NAME_UNITS,
                      client != 0 ? u"\\ClientSession.xml" : u"\\ServerSession.xml");
  trace.DebugTrace(3, u"%s\n", static_cast<const char16_t*>(path));
  text::CopyBounded(out, OBEXSES_NAME_UNITS, text::FixedView(path, OBEXSES_NAME_UNITS));
  return 1;
}

}  // namespace obexses
