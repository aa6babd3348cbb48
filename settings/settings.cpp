#include "settings/settings.h"

#include <string>

#include "platform/env.h"
#include "text/wide.h"

namespace obexses {

std::atomic<uint32_t> g_save_file{0};
std::atomic<uint32_t> g_debug_level{0};
char16_t g_client_session_path[OBEXSES_NAME_UNITS] = {};
char16_t g_server_session_path[OBEXSES_NAME_UNITS] = {};

namespace {

constexpr uint32_t kDefaultObsoleteAge = 86400;

// One 4-byte setting into *value (which starts at 0); false when it cannot
// be read. A settings store that is there but unusable is traced, once per
// query, and reads as missing.
bool QueryDword(const char16_t* name, uint32_t* value) {
  platform::Env* env = platform::GetEnv();
  const platform::SettingStatus status = env->QuerySettingDword(name, value);
  if (status == platform::SettingStatus::kRejected) {
    DebugTrace(2, u"settings store %s ignored: not a regular file of at most 1 MiB\n",
               env->SettingsLocation());
  }
  return status == platform::SettingStatus::kRead;
}

// A failed query leaves *setting as it was.
void ReadDwordSetting(const char16_t* name, std::atomic<uint32_t>* setting) noexcept {
  try {
    uint32_t value = 0;
    if (QueryDword(name, &value)) setting->store(value);
  } catch (...) {
    // Unreadable for want of memory: as if missing.
  }
}

}  // namespace

void ReadSettings() noexcept {
  ReadDwordSetting(u"ObexSesSaveFile", &g_save_file);
  ReadDwordSetting(u"ObexSesDebugLevel", &g_debug_level);
}

uint32_t ReadObsoleteAge() {
  uint32_t age = 0;
  return QueryDword(u"ObexSesObsoleteTime", &age) ? age : kDefaultObsoleteAge;
}

int MakeSessionFilePath(int client, char16_t* out) {
  platform::Env* env = platform::GetEnv();
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
  DebugTrace(3, u"%s\n", static_cast<const char16_t*>(path));
  text::CopyBounded(out, OBEXSES_NAME_UNITS, text::FixedView(path, OBEXSES_NAME_UNITS));
  return 1;
}

void DebugTraceV(unsigned level, const char16_t* format, const text::FormatArg* args,
                 size_t count) noexcept {
  if (level > g_debug_level.load(std::memory_order_relaxed)) return;
  char16_t buffer[kTraceUnits] = {};
  const size_t prefix = std::char_traits<char16_t>::length(kTracePrefix);
  std::char_traits<char16_t>::copy(buffer, kTracePrefix, prefix);
  text::FormatBoundedV(buffer + prefix, kTraceUnits - prefix, format, args, count);
  try {
    platform::GetEnv()->DebugOutput(buffer);
  } catch (...) {
    // The debugger output is diagnostics: it never fails the service tracing.
  }
}

}  // namespace obexses
