// SPDX-License-Identifier: MIT
// The module's debug trace: "\nTavrin: " and a formatted message, one whole
// line to the debugger output, written when its level is at most the store's
// ObexSesDebugLevel (2 shows the four file errors, 3 everything).
//
// A tracer holds the level and the output it writes to; it keeps no other
// state and takes no lock, so any thread may trace at any time, and the
// level may be set while others trace. Tracing never fails its caller: a
// line that cannot be written is lost.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "text/format.h"

namespace obexses::platform {
class DebugOutput;
}  // namespace obexses::platform

namespace obexses {

inline constexpr size_t kTraceUnits = 2048;
inline constexpr char16_t kTracePrefix[] = u"\nTavrin: ";

class DebugTracer {
 public:
  // Lines go to output; the level starts at 0 (nothing shown).
  explicit DebugTracer(platform::DebugOutput* output) : output_(output) {}

  uint32_t level() const { return debug_level_.load(std::memory_order_relaxed); }
  void set_level(uint32_t level) { debug_level_.store(level, std::memory_order_relaxed); }
  // Would a line of this level be written?
  bool Shows(unsigned level) const { return level <= this->level(); }

  // The message holds at most 2038 units; a longer one is cut.
  template <typename... Args>
  void DebugTrace(unsigned level, const char16_t* format, const Args&... args) const noexcept {
    if (!Shows(level)) return;  // nothing is formatted
    const text::FormatArg list[] = {text::FormatArg(args)..., text::FormatArg(nullptr)};
    Write(format, list, sizeof...(Args));
  }

 private:
  void Write(const char16_t* format, const text::FormatArg* args, size_t count) const noexcept;

  platform::DebugOutput* output_;
  std::atomic<uint32_t> debug_level_{0};
};

}  // namespace obexses
