// Settings, session folders and the module's debug trace.
//
// The two settings and the two session file paths are written by the first
// successful Initialize only (and the save flag, for the length of their
// rewrite, by the restores under g_session_lock); atomics, so that services
// running on other threads read them cleanly.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "obexses/obexses.h"
#include "text/format.h"

namespace obexses {

extern std::atomic<uint32_t> g_save_file;
extern std::atomic<uint32_t> g_debug_level;
extern char16_t g_client_session_path[OBEXSES_NAME_UNITS];
extern char16_t g_server_session_path[OBEXSES_NAME_UNITS];

// Reads ObexSesSaveFile into g_save_file and ObexSesDebugLevel into
// g_debug_level; a setting that cannot be read keeps its value.
void ReadSettings() noexcept;

// Builds the full path of ClientSession.xml (client nonzero) or
// ServerSession.xml into out (260 units), creating the Velmora and Session
// folders on the way. Returns 1. Throws std::bad_alloc when memory runs out,
// leaving out as it was.
int MakeSessionFilePath(int client, char16_t* out);

// ObexSesObsoleteTime, read afresh: seconds after which a saved session is
// dropped at restore; 86400 when it cannot be read. Throws std::bad_alloc when
// memory runs out.
uint32_t ReadObsoleteAge();

inline constexpr size_t kTraceUnits = 2048;
inline constexpr char16_t kTracePrefix[] = u"\nTavrin: ";

void DebugTraceV(unsigned level, const char16_t* format, const text::FormatArg* args,
                 size_t count) noexcept;

// Writes "\nTavrin: " and the formatted message to the debugger output when
// level is at most ObexSesDebugLevel. The message holds at most 2038 units.
// Never fails its caller: a line that cannot be written is lost.
template <typename... Args>
void DebugTrace(unsigned level, const char16_t* format, const Args&... args) noexcept {
  const text::FormatArg list[] = {text::FormatArg(args)..., text::FormatArg(nullptr)};
  DebugTraceV(level, format, list, sizeof...(Args));
}

}  // namespace obexses
