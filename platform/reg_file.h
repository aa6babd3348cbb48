// SPDX-License-Identifier: MIT
// Reader for settings kept in the Windows registry export format (.reg), the
// form the POSIX backend keeps the machine settings in. The same file can be
// imported on Windows with `reg import`.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace obexses::platform {

// Looks up value_name in the section [key_path] of a .reg file's bytes (UTF-8,
// or UTF-16LE with its byte-order mark). Section and value names compare
// without regard to case. On success *data holds the value's bytes as the
// registry stores them: dword:XXXXXXXX gives 4 bytes, "text" gives its UTF-16LE
// units and terminator, hex:01,02 (and hex(N):...) the listed bytes. The last
// assignment in the file wins; "Name"=- deletes.
bool FindRegFileValue(const std::string& file_bytes, std::u16string_view key_path,
                      std::u16string_view value_name, std::string* data);

// Every value of the section [key_path], parsed once: by name with A-Z
// folded to lowercase, the data as FindRegFileValue gives it.
using RegSection = std::map<std::u16string, std::string>;
RegSection ReadRegSection(const std::string& file_bytes, std::u16string_view key_path);
// The lookup key of a value name in a RegSection.
std::u16string RegValueKey(std::u16string_view value_name);

}  // namespace obexses::platform
