// The session registry: the client and server services of the table, their
// keys, the live set of client records, the file checks, and the two session
// files (slots 10 to 13), which the registry stores from and restores into.
//
// Every service is noexcept: a null or foreign record, an unknown profile, a
// file that cannot be written and a lack of memory all give the service's
// failure value (0 or null) and leave the registry as it was. Services take
// g_session_lock themselves; callbacks of the enumerations and the file
// stores that saves and destroys make run after it is released.
#pragma once

#include <cstdint>
#include <string>

#include "obexses/client_session.h"
#include "obexses/obexses.h"
#include "obexses/server_session.h"

namespace obexses {

// "client_%02x:%02x:%02x:%02x:%02x:%02x_%04x_%s", or empty for a missing
// address or name, or a key that would not fit into 520 units.
std::u16string BuildClientKey(const uint8_t* address, const char16_t* name, uint32_t profile);
// "server_" and the 16 id bytes in lowercase hex, or empty for a null id.
std::u16string BuildServerKey(const uint8_t* id);

// Live set of client records (g_live_sessions, under g_live_lock).
void RegisterLiveSession(const ClientSession* record);
bool IsLiveSession(const ClientSession* record) noexcept;
void UnregisterLiveSession(const ClientSession* record) noexcept;

// Services of the table.
ClientSession* tvr_create_client_session(uint32_t profile) noexcept;
int32_t tvr_destroy_client_session(ClientSession* record) noexcept;
int32_t tvr_save_client_session(ClientSession* record) noexcept;
ClientSession* tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                       uint32_t profile) noexcept;
int32_t tvr_resume_client_session(ClientSession* record) noexcept;
int32_t tvr_enum_client_session(const uint8_t* address, uint32_t profile, SessionCallback callback,
                                void* context) noexcept;

ServerSession* tvr_create_server_session(uint32_t profile) noexcept;
int32_t tvr_destroy_server_session(ServerSession* record) noexcept;
int32_t tvr_save_server_session(ServerSession* record) noexcept;
ServerSession* tvr_find_server_session(const uint8_t* id) noexcept;
int32_t tvr_resume_server_session(ServerSession* record) noexcept;
int32_t tvr_enum_server_session(uint32_t profile, SessionCallback callback, void* context) noexcept;

// Writes every saved (and, for clients, live) session to its file while
// ObexSesSaveFile is on. 1 when written or when saving is off; 0 when the file
// cannot be written (the old file then stays as it was).
int32_t tvr_store_client_session() noexcept;
int32_t tvr_store_server_session() noexcept;
// Reads the file back, dropping obsolete and repeated sessions, rewrites the
// file from the set saved so far and installs what was read as the saved set.
// 0 when the file cannot be loaded (nothing changes then); 1 otherwise.
int32_t tvr_restore_client_session() noexcept;
int32_t tvr_restore_server_session() noexcept;

uint32_t tvr_client_file_changed(ClientSession* record) noexcept;
uint32_t tvr_server_file_changed(ServerSession* record) noexcept;
uint32_t tvr_client_transfer_file_changed(ClientSession* record) noexcept;
uint32_t tvr_server_transfer_file_changed(ServerSession* record) noexcept;
uint32_t tvr_client_file_size(ClientSession* record) noexcept;
uint32_t tvr_server_file_size(ServerSession* record) noexcept;

}  // namespace obexses
