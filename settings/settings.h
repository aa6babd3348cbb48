// Settings, session folders and the module's debug trace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/format.h"

namespace obexses {

// Reads ObexSesSaveFile into g_save_file and ObexSesDebugLevel into
// g_debug_level; a setting that cannot be read keeps its value.
void ReadSettings();

// Builds the full path of ClientSession.xml (client nonzero) or
// ServerSession.xml into out (260 units), creating the Velmora and Session
// folders on the way. Returns 1.
int MakeSessionFilePath(int client, char16_t* out);

// ObexSesObsoleteTime, read afresh: seconds after which a saved session is
// dropped at restore; 86400 when it cannot be read.
uint32_t ReadObsoleteAge();

inline constexpr size_t kTraceUnits = 2048;
inline constexpr char16_t kTracePrefix[] = u"\nTavrin: ";

void DebugTraceV(unsigned level, const char16_t* format, const text::FormatArg* args, size_t count);

// Writes "\nTavrin: " and the formatted message to the debugger output when
// level is at most ObexSesDebugLevel. The message holds at most 2038 units.
template <typename... Args>
void DebugTrace(unsigned level, const char16_t* format, const Args&... args) {
  const text::FormatArg list[] = {text::FormatArg(args)..., text::FormatArg(nullptr)};
  DebugTraceV(level, format, list, sizeof...(Args));
}

}  // namespace obexses
