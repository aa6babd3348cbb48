// SPDX-License-Identifier: MIT
// The keys the saved sessions are filed under: a client session by its
// peer's device address, its profile and its name, a server session by its
// 16-byte id. Keys compare as exact UTF-16 strings; the empty key is the key
// of nothing, never filed nor looked up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "obexses/client_session.h"
#include "settings/debug_trace.h"

namespace obexses {

// A key formatted in its fixed buffer, so that building one for a look-up or
// a trace line needs no memory: the client key holds at most 519 units and
// its terminator, the server key 39. Empty when the inputs make no key.
template <size_t kUnits>
struct KeyText {
  char16_t units[kUnits] = {};
  size_t size = 0;
  std::u16string_view view() const { return {units, size}; }
  bool empty() const { return size == 0; }
  operator const char16_t*() const { return units; }  // for the trace's %s
};
using ClientKeyText = KeyText<520>;
using ServerKeyText = KeyText<40>;

// "client_%02x:%02x:%02x:%02x:%02x:%02x_%04x_%s", or empty for a missing
// address or name, or a key that would not fit into 520 units.
ClientKeyText ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile);
// The key of a client record: its bdaddr, file_name and profile_id.
ClientKeyText ClientRecordKey(const ClientSession* record);
// "server_" and the 16 id bytes in lowercase hex, or empty for a null id.
ServerKeyText ServerKeyOf(const uint8_t* id);

// The trace line of a client key that was made: "build client key %s\n", at
// kKeyTraceLevel.
inline constexpr unsigned kKeyTraceLevel = 3;
void TraceClientKey(const DebugTracer& trace, const ClientKeyText& key);

// The same keys as strings.
std::u16string BuildClientKey(const uint8_t* address, const char16_t* name, uint32_t profile);
std::u16string BuildServerKey(const uint8_t* id);

}  // namespace obexses
