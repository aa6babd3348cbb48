// SPDX-License-Identifier: MIT
// How the file checks see a session's file (slots 16 to 21): missing, or
// written since the save took its stamp (the low 32 bits of its last-write
// time), or unchanged. The store's checks and obexsesctl both look so.
#pragma once

#include <cstdint>

namespace obexses::platform {
class Env;
}  // namespace obexses::platform

namespace obexses {

enum class FileState { kNoPath, kMissing, kChanged, kUnchanged };

// The file at path (260 units, the path rules' buffer) against stamp.
FileState CheckFile(platform::Env* env, const char16_t* path, uint32_t stamp);

// Low 32 bits of the last-write time of the file at path; 0 for an empty
// path or a file that cannot be queried.
uint32_t FileStampOf(platform::Env* env, const char16_t* path);

}  // namespace obexses
