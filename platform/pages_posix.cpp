// SPDX-License-Identifier: MIT
#include <sys/mman.h>

#include <cstdint>

#include "platform/pages.h"

namespace obexses::platform {
namespace {

// Below this the pages are few, and left to the faults.
constexpr size_t kMadeAtOnce = size_t{256} << 10;
constexpr uintptr_t kPage = 4096;

}  // namespace

// Only the whole pages inside the memory: the pages at its ends may be the
// heap's, and are left as they are. Memory whose first page is there already
// is taken for memory the heap hands out again, its pages made before.
void MakePages(void* memory, size_t bytes) noexcept {
  if (bytes < kMadeAtOnce) return;
  const auto start = reinterpret_cast<uintptr_t>(memory);
  auto* const first = reinterpret_cast<void*>((start + kPage - 1) / kPage * kPage);
  const uintptr_t end = (start + bytes) / kPage * kPage;
  unsigned char resident = 0;
  if (::mincore(first, kPage, &resident) == 0 && (resident & 1) != 0) return;
  ::madvise(first, end - reinterpret_cast<uintptr_t>(first), MADV_POPULATE_WRITE);
}

}  // namespace obexses::platform
