// How a field of a session record becomes text in a session file and back:
// hex values, text values and buffer values, written as pieces through
// FilePrintf. Both session files use these rules unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/format.h"

namespace obexses::persist {

// The text of a session file while it is written: UTF-16 units, no
// terminator, appended piece by piece. Turned into the file's bytes (byte-order
// mark, then UTF-16LE) by FileBytes.
struct SessionText {
  std::u16string units;
};

// Appends the formatted piece whole, whatever its length. Returns 1; throws
// std::bad_alloc when memory runs out.
template <typename... Args>
int FilePrintf(SessionText* stream, const char16_t* format, const Args&... args) {
  const text::FormatArg list[] = {text::FormatArg(args)..., text::FormatArg(nullptr)};
  text::FormatAppend(stream->units, SIZE_MAX, format, list, sizeof...(Args));
  return 1;
}

// FF FE and the text as UTF-16LE.
std::string FileBytes(const SessionText& text);

// 2*count uppercase hex digits in a new malloc block (free it), or null when
// count < 1 or memory runs out.
char16_t* BinToHex(const void* bytes, int32_t count);
// The bytes of a hex text (pairs of digits, either case; an odd last digit is
// ignored; other characters give nibble 0) in a new malloc block (free it);
// *count receives the byte count. Null (and a count of 0) when memory runs out.
uint8_t* HexToBin(const char16_t* text, uint32_t* count);

// Markup in text values: <, >, =, ' and " are written as &lt; &gt; &#61;
// &apos; &quot;, and & as &amp; only where it would begin one of these six
// forms. Reading decodes exactly these six forms.
std::u16string EscapeText(std::u16string_view value);
std::u16string UnescapeText(std::u16string_view text);

}  // namespace obexses::persist
