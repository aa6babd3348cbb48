// The session registry: keys, the client and server services of the table,
// the live set of client records and the transfer-file checks.
#pragma once

#include <cstdint>
#include <string>

#include "obexses/obexses.h"
#include "records/client_session.h"
#include "records/server_session.h"

namespace obexses {

// "client_%02x:%02x:%02x:%02x:%02x:%02x_%04x_%s", or empty for a missing
// address or name, or a key that would not fit into 520 units.
std::u16string BuildClientKey(const uint8_t* address, const char16_t* name, uint32_t profile);
// The ClientKey of a record: its bdaddr, file_name (read no further than its
// 260 units) and profile_id.
std::u16string ClientRecordKey(const ClientSession* record);
// "server_" and the 16 id bytes in lowercase hex, or empty for a null id.
std::u16string BuildServerKey(const uint8_t* id);

// Live set of client records (g_live_sessions, under g_live_lock).
void RegisterLiveSession(const ClientSession* record);
bool IsLiveSession(const ClientSession* record);
void UnregisterLiveSession(const ClientSession* record);

// Appends a restored record to the end of its list (takes g_session_lock).
void AppendClientRecord(ClientSession* record);
void AppendServerRecord(ServerSession* record);
// Removes the first list node that refers to the record (takes g_session_lock).
void RemoveClientRecord(const ClientSession* record);
void RemoveServerRecord(const ServerSession* record);

// Path rules into a zeroed 260-unit buffer; no path leaves it empty.
void ClientFilePath(const ClientSession* record, char16_t* buffer);
void ClientTransferFilePath(const ClientSession* record, char16_t* buffer);
void ServerFilePath(const ServerSession* record, char16_t* buffer);
void ServerTransferFilePath(const ServerSession* record, char16_t* buffer);

// Services of the table.
ClientSession* tvr_create_client_session(uint32_t profile);
int32_t tvr_destroy_client_session(ClientSession* record);
int32_t tvr_save_client_session(ClientSession* record);
ClientSession* tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                       uint32_t profile);
int32_t tvr_resume_client_session(ClientSession* record);
int32_t tvr_enum_client_session(const uint8_t* address, uint32_t profile, SessionCallback callback,
                                void* context);

ServerSession* tvr_create_server_session(uint32_t profile);
int32_t tvr_destroy_server_session(ServerSession* record);
int32_t tvr_save_server_session(ServerSession* record);
ServerSession* tvr_find_server_session(const uint8_t* id);
int32_t tvr_resume_server_session(ServerSession* record);
int32_t tvr_enum_server_session(uint32_t profile, SessionCallback callback, void* context);

uint32_t tvr_client_file_changed(ClientSession* record);
uint32_t tvr_server_file_changed(ServerSession* record);
uint32_t tvr_client_transfer_file_changed(ClientSession* record);
uint32_t tvr_server_transfer_file_changed(ServerSession* record);
uint32_t tvr_client_file_size(ClientSession* record);
uint32_t tvr_server_file_size(ServerSession* record);

}  // namespace obexses
