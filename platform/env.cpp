// SPDX-License-Identifier: MIT
#include "platform/env.h"

namespace obexses::platform {

Status ReadFileUnits(Env* env, const std::u16string& path, uint64_t limit, std::u16string* units,
                     size_t* bytes) {
  StringTarget<std::u16string> target(units);
  const Status status = env->ReadFile(path, limit, &target);
  *bytes = status.ok() ? target.bytes() : 0;
  return status;
}

}  // namespace obexses::platform
