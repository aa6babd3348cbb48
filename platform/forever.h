// SPDX-License-Identifier: MIT
// The process's backends hold no state that needs tearing down: each is
// built once, in static storage, and never destroyed, so that it can be used
// until the very end of the process and leaves nothing on the heap when the
// library is unloaded.
#pragma once

#include <new>

namespace obexses::platform {

template <typename T>
T* Forever() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* made = new (storage) T;
  return made;
}

}  // namespace obexses::platform
