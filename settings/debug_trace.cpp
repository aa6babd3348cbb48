// SPDX-License-Identifier: MIT
#include "settings/debug_trace.h"

#include <string>

#include "platform/platform.h"

namespace obexses {

void DebugTracer::Write(const char16_t* format, const text::FormatArg* args,
                        size_t count) const noexcept {
  char16_t buffer[kTraceUnits] = {};
  const size_t prefix = std::char_traits<char16_t>::length(kTracePrefix);
  std::char_traits<char16_t>::copy(buffer, kTracePrefix, prefix);
  text::FormatBoundedV(buffer + prefix, kTraceUnits - prefix, format, args, count);
  try {
    output_->Write(buffer);
  } catch (...) {
    // The debugger output is diagnostics: it never fails the caller tracing.
  }
}

}  // namespace obexses
