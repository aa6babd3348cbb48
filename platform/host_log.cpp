// SPDX-License-Identifier: MIT
// The host's log: the host's utils.dll on Windows (ordinals 9 and 8), the
// host-log library that ships beside the module elsewhere.
#include "platform/forever.h"
#include "platform/platform.h"
#include "utils/utils.h"

namespace obexses::platform {
namespace {

class UtilsLog final : public HostLog {
 public:
  void Format(uint32_t level, const char16_t* tag, const char16_t* format,
              const char* argument) override {
    UtilsLogFormat(level, tag, format, argument);
  }
  void Text(uint32_t level, const char* tag, const char* text) override {
    UtilsLogText(level, tag, text);
  }
};

}  // namespace

HostLog* HostLog::Default() {
  return Forever<UtilsLog>();
}

}  // namespace obexses::platform
