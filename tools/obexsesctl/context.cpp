// SPDX-License-Identifier: MIT
#include <fmt/format.h>

#include "platform/platform.h"
#include "registry/restore_rule.h"
#include "settings/settings.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/output.h"

namespace obexsesctl {

int64_t Context::Threshold() const {
  // Level 0: the tool shows none of the library's trace.
  const obexses::DebugTracer silent(obexses::platform::DebugOutput::Default());
  return obexses::ObsoleteThreshold(
      now, obexses::ReadObsoleteAge(obexses::platform::SettingsStore::Default(), silent));
}

int64_t Context::AgeOf(int64_t created) const {
  int64_t age = 0;
  if (!__builtin_sub_overflow(now, created, &age)) return age;
  return created < 0 ? INT64_MAX : INT64_MIN;
}

bool Context::AppData(std::u16string* folder) const {
  if (options.data.empty()) {
    if (env->AppDataFolder(folder).ok()) return true;
    PrintError("cannot find the current user's application-data folder; give --data DIR");
    return false;
  }
  // A mistyped folder would read as one without sessions.
  *folder = PathArgument(options.data);
  obexses::platform::FileAttributes attributes;
  const obexses::platform::Status status = env->Attributes(*folder, &attributes);
  if (!status.ok()) {
    PrintFailure(env, *folder, status);
  } else if (!attributes.folder) {
    PrintError(fmt::format("{}: not a folder", options.data));
  }
  return status.ok() && attributes.folder;
}

}  // namespace obexsesctl
