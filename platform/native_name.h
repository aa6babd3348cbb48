// POSIX names are bytes, the module's names UTF-16. Bytes that form valid
// UTF-8 become the characters they encode; every other byte 0x80..0xFF
// becomes the lone unit U+DC80..U+DCFF and turns back into the same byte, so
// a name read from the file system reaches it again exactly as it came.
// Units that are neither part of a pair nor such an escape (other lone
// surrogates) are written as their three-byte form.
#pragma once

#include <string>
#include <string_view>

namespace obexses::platform {

std::u16string NameFromNative(std::string_view bytes);
std::string NativeFromName(std::u16string_view name);

}  // namespace obexses::platform
