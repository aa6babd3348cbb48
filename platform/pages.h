// SPDX-License-Identifier: MIT
// Memory the caller is about to write whole, such as a file read in one go:
// its pages are made together now rather than one page fault at a time as
// they are first written, which on a virtual machine costs microseconds each.
// A hint: what the system does not offer, it leaves to the faults. The memory
// is the caller's, from its own allocation; nothing is kept.
#pragma once

#include <cstddef>

namespace obexses::platform {

// Makes the pages of the bytes at memory, where they are many.
void MakePages(void* memory, size_t bytes) noexcept;

}  // namespace obexses::platform
