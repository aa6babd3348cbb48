// SPDX-License-Identifier: MIT
#include "platform/pages.h"

namespace obexses::platform {

// Windows makes the pages of heap memory as they are first written.
void MakePages(void*, size_t) noexcept {}

}  // namespace obexses::platform
