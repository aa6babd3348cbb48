// SPDX-License-Identifier: MIT
// UTF-16 string helpers: bounded copies into the fixed arrays of records and
// local buffers, and conversion to and from UTF-8 at the edges of the system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace obexses::text {

// Units before the terminator, looking at no more than max units.
size_t BoundedLength(const char16_t* s, size_t max);

// Copies src into dst (capacity units, terminator included) as far as it
// fits; dst is always terminated. Returns the units copied.
size_t CopyBounded(char16_t* dst, size_t capacity, std::u16string_view src);

// Appends src behind the terminated string in dst as far as it fits.
void AppendBounded(char16_t* dst, size_t capacity, std::u16string_view src);

// The string held by a terminated fixed array, never reading past it.
std::u16string_view FixedView(const char16_t* array, size_t capacity);

// UTF-8 and back, for names and text at the edges of the system. Bytes that
// form valid UTF-8 become the characters they encode; every other byte
// 0x80..0xFF becomes the lone unit U+DC80..U+DCFF and turns back into the same
// byte, so a POSIX name (bytes) read into UTF-16 reaches the file system again
// exactly as it came. Other lone surrogates are written as their three-byte form.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// A unit as the C runtime's _wcsicmp folds it in its default locale: only the
// letters A-Z, to a-z.
constexpr char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
// Equal once both are folded so.
bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace obexses::text
