// SPDX-License-Identifier: MIT
// The debugger output on Windows: OutputDebugStringW.
#include <windows.h>

#include "platform/forever.h"
#include "platform/platform.h"

namespace obexses::platform {
namespace {

class Debugger final : public DebugOutput {
 public:
  void Write(const char16_t* line) override {
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line));
  }
};

}  // namespace

DebugOutput* DebugOutput::Default() {
  return Forever<Debugger>();
}

}  // namespace obexses::platform
