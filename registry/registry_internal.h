// Helpers shared by the registry's own files.
#pragma once

#include <string>
#include <string_view>

#include "records/client_session.h"
#include "records/server_session.h"

namespace obexses {

// The ClientKey of a record: its bdaddr, file_name (bounded) and profile_id.
std::u16string ClientRecordKey(const ClientSession* record);
std::u16string ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile);

// Low 32 bits of the last-write time of the file at path; 0 for an empty
// path or a file that cannot be queried.
uint32_t FileStampOf(const char16_t* path);

// Is the server record in g_server_sessions? Caller holds g_session_lock.
bool HoldsServerRecord(const ServerSession* record);

}  // namespace obexses
