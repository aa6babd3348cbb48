// SPDX-License-Identifier: MIT
// Settings and session folders: the three 4-byte machine settings under
// HKEY_LOCAL_MACHINE\Software\Velmora\Brindleway, and the paths of the two
// session files in the user's application-data folder.
//
// These read the platform each time they are called and keep nothing; the
// session store keeps what it read. A settings store that is there but
// unusable is traced (level 2) and reads as missing.
#pragma once

#include <cstdint>

#include "obexses/obexses.h"
#include "settings/debug_trace.h"

namespace obexses::platform {
class Env;
class SettingsStore;
}  // namespace obexses::platform

namespace obexses {

inline constexpr uint32_t kDefaultObsoleteAge = 86400;

// Reads the 4-byte setting name into *value; false, leaving *value as it
// was, when it cannot be read.
bool ReadDwordSetting(platform::SettingsStore* settings, const DebugTracer& trace,
                      const char16_t* name, uint32_t* value) noexcept;

// ObexSesObsoleteTime, read afresh: seconds after which a saved session is
// dropped at restore; 86400 when it cannot be read.
uint32_t ReadObsoleteAge(platform::SettingsStore* settings, const DebugTracer& trace) noexcept;

// Builds the full path of ClientSession.xml (client nonzero) or
// ServerSession.xml into out (260 units), creating the Velmora and Session
// folders on the way. Returns 1. Throws std::bad_alloc when memory runs out,
// leaving out as it was.
int MakeSessionFilePath(platform::Env* env, const DebugTracer& trace, int client, char16_t* out);

}  // namespace obexses
