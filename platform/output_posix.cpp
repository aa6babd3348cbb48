// SPDX-License-Identifier: MIT
// The debugger output on POSIX: standard error, one whole line at a time.
#include <unistd.h>

#include <string>

#include "platform/forever.h"
#include "platform/platform.h"
#include "text/wide.h"

namespace obexses::platform {
namespace {

class StandardError final : public DebugOutput {
 public:
  void Write(const char16_t* line) override {
    const std::string bytes = text::ToUtf8(line);
    // One write, so that lines of concurrent callers do not interleave.
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
  }
};

}  // namespace

DebugOutput* DebugOutput::Default() {
  return Forever<StandardError>();
}

}  // namespace obexses::platform
