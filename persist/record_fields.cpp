// SPDX-License-Identifier: MIT
#include "persist/record_fields.h"

#include <string_view>

namespace obexses::persist {

const Layout* LayoutFor(std::span<const Layout> layouts, uint32_t profile) {
  for (const Layout& layout : layouts) {
    if (layout.profile == profile) return &layout;
  }
  return nullptr;
}

const Layout* LayoutNamed(std::span<const Layout> layouts, std::u16string_view profile_type) {
  for (const Layout& layout : layouts) {
    if (profile_type == layout.profile_type) return &layout;
  }
  return nullptr;
}

}  // namespace obexses::persist
