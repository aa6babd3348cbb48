// SPDX-License-Identifier: MIT
// A hint to the processor that memory is read soon, for the loops that walk
// records and set entries lying apart in memory. It changes nothing a program
// can observe, and costs nothing where the compiler offers no such hint.
#pragma once

namespace obexses::persist {

inline void PrefetchLine(const void* at) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(at);
#else
  static_cast<void>(at);
#endif
}

}  // namespace obexses::persist
