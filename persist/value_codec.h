// How a field of a session record becomes text in a session file and back:
// hex values, text values and buffer values. Both session files use these
// rules unchanged. Nothing here locks; each call works on its own buffers.
#pragma once

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

// A session file while it is written: its bytes (the byte-order mark FF FE,
// then the text as UTF-16LE) built in the one buffer that is written, piece
// by piece. Appends throw std::bad_alloc when memory runs out.
class SessionText {
 public:
  SessionText();

  // Room for a file of about that many bytes, made before it is written: a
  // buffer that never moves is touched once, page by page, as it fills.
  void Reserve(size_t bytes) { bytes_.reserve(bytes); }
  void Append(std::u16string_view units) {
    bytes_.append(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(char16_t));
  }
  // 2*count uppercase hex digits, the bytes in order, high nibble first.
  void AppendHex(const void* bytes, size_t count);
  // A text value, its markup escaped (see EscapeText).
  void AppendEscaped(std::u16string_view value);

  const std::string& bytes() const { return bytes_; }
  // The text behind the byte-order mark.
  std::u16string Units() const;
  // The whole file; the text is spent.
  std::string TakeBytes() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

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
