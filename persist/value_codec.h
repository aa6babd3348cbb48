// SPDX-License-Identifier: MIT
// How a field of a session record becomes text in a session file and back:
// hex values, text values and buffer values. Both session files use these
// rules unchanged. Nothing here locks; each call works on its own buffers.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/format.h"

namespace obexses::persist {

// The files hold UTF-16LE text and the records' own bytes as they lie in
// memory, the layouts of a little-endian machine.
static_assert(std::endian::native == std::endian::little, "session files are little-endian");

// A session file while it is written: the byte-order mark, then the text as
// UTF-16LE, built in one buffer that keeps its room from one file to the
// next. Each append makes sure of its room once and then writes units
// straight into the buffer. Appends throw std::bad_alloc when memory runs out.
class SessionText {
 public:
  SessionText() { Clear(); }

  // Empties the text (the byte-order mark alone), keeping the room.
  void Clear();
  // Empties it wholly, the mark too, keeping the room: for the pieces after
  // the first of a file written piece by piece.
  void Empty() { used_ = 0; }
  // Room for about that many bytes in all, made before a file is written.
  void Reserve(size_t bytes);
  void Append(std::u16string_view units) {
    char16_t* out = Room(units.size());
    std::copy(units.begin(), units.end(), out);
    used_ += units.size();
  }
  // 2*count uppercase hex digits, the bytes in order, high nibble first.
  void AppendHex(const void* bytes, size_t count);
  // A text value, its markup escaped (see EscapeText).
  void AppendEscaped(std::u16string_view value);

  // For a writer that knows how much it writes at most: room for max units,
  // written through the pointer given, and the end of what was written.
  char16_t* BeginWrite(size_t max) { return Room(max); }
  void EndWrite(const char16_t* end) { used_ = static_cast<size_t>(end - units_.data()); }

  // The whole file as it stands.
  std::string_view bytes() const {
    return {reinterpret_cast<const char*>(units_.data()), used_ * sizeof(char16_t)};
  }
  // The text behind the byte-order mark.
  std::u16string_view Units() const { return {units_.data() + 1, used_ - 1}; }

 private:
  // Room for count more units at the end of the text.
  char16_t* Room(size_t count) {
    if (units_.size() - used_ < count) Grow(count);
    return units_.data() + used_;
  }
  void Grow(size_t count);

  std::u16string units_;  // its size is the room; the text is its first used_ units
  size_t used_ = 0;
};

// The Put functions write straight into room the caller made, and give the
// end of what they wrote. Some write by blocks, and may leave scratch up to
// kPutSlack units past that end: the room must have it too.
inline constexpr size_t kPutSlack = 16;

// Writes 2*count uppercase hex digits at out (scratch may follow).
char16_t* PutHex(char16_t* out, const void* bytes, size_t count);
// Writes the value, its markup escaped, at out (at most 6 units a unit).
char16_t* PutEscaped(char16_t* out, std::u16string_view value);
inline constexpr size_t kMaxEscapedUnits = 6;
// The units a text value may need a form for, each below 64.
inline constexpr std::u16string_view kMarkupUnits = u"<>='\"&";
// The writing of short hex fields and text fields by blocks is inline, in
// persist/block_writes.h.

// Appends the formatted piece whole, whatever its length. Returns 1; throws
// std::bad_alloc when memory runs out.
template <typename... Args>
int FilePrintf(SessionText* stream, const char16_t* format, const Args&... args) {
  const text::FormatArg list[] = {text::FormatArg(args)..., text::FormatArg(nullptr)};
  std::u16string piece;
  text::FormatAppend(piece, SIZE_MAX, format, list, sizeof...(Args));
  stream->Append(piece);
  return 1;
}

// 2*count uppercase hex digits in a new malloc block (free it), or null when
// count < 1 or memory runs out.
char16_t* BinToHex(const void* bytes, int32_t count);
// The bytes of a hex text (pairs of digits, either case; an odd last digit is
// ignored; other characters give nibble 0) in a new malloc block (free it);
// *count receives the byte count. Null (and a count of 0) when memory runs out.
uint8_t* HexToBin(const char16_t* text, uint32_t* count);
// The same bytes written straight to out, no more than room of them; returns
// the text's whole byte count.
size_t HexInto(std::u16string_view digits, uint8_t* out, size_t room);

// Markup in text values: <, >, =, ' and " are written as &lt; &gt; &#61;
// &apos; &quot;, and & as &amp; only where it would begin one of these six
// forms. Reading decodes exactly these six forms.
std::u16string EscapeText(std::u16string_view value);
std::u16string UnescapeText(std::u16string_view text);
// Decodes text into a field of capacity units (terminator included), as far
// as it fits; the field is always terminated.
void UnescapeInto(std::u16string_view text, char16_t* field, size_t capacity);

}  // namespace obexses::persist
