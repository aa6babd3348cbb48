// SPDX-License-Identifier: MIT
// The fields of the four record layouts as the session files hold them: for
// each layout (client and server, OPP and FTP) its attributes, the elements
// of its profile part and of its common tail, in the order the files give
// them, each with its XML name, its place in the record and its value kind.
// The writer and the reader walk these tables; so may any code that shows a
// record field by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace obexses::persist {

// The names the files give the layout's choice and the request list's parts.
inline constexpr char16_t kProfileType[] = u"profile_type";
inline constexpr char16_t kRequestCount[] = u"num";
inline constexpr char16_t kRequest[] = u"req";
inline constexpr char16_t kRequestType[] = u"reqType";

// hex value, text value, buffer value (length and block), and the FTP client's
// request list
enum class Kind { kHex, kText, kBuffer, kRequests };

struct Field {
  const char16_t* name;
  size_t offset;
  Kind kind;
  size_t width;                          // bytes of a hex value, units of a text value
  const char16_t* block_name = nullptr;  // buffer value: the element of the block
  size_t block_offset = 0;               // buffer value: the block's pointer
  // What stands before and after the value in the file, made once: "<name>"
  // and "</name>" for an element, " name=\"" and "\"" for an attribute; and
  // the tags of a buffer value's block element.
  std::u16string_view before, after;
  std::u16string_view block_before = {}, block_after = {};
};

struct Layout {
  uint32_t profile;
  const char16_t* profile_type;
  size_t record_bytes;  // the size of the record of this profile
  std::span<const Field> attributes;
  std::span<const Field> part;
  std::span<const Field> tail;
};

// The two layouts of each side.
std::span<const Layout> ClientLayouts();
std::span<const Layout> ServerLayouts();
// The layout of a profile id, or of a profile_type text ("opp", "ftp"); null
// when none has it.
const Layout* LayoutFor(std::span<const Layout> layouts, uint32_t profile);
const Layout* LayoutNamed(std::span<const Layout> layouts, std::u16string_view profile_type);

}  // namespace obexses::persist
