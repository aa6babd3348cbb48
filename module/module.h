// SPDX-License-Identifier: MIT
// The module's face to its host: start-up, the profile command and the
// service table, over the one session store the loaded module keeps.
// module/exports.cpp exports the entry points under the host's names; the
// table's services are thin entry points onto the same store. Nothing here
// throws: every failure inside ends in the entry point's own result.
#pragma once

#include <cstdint>

#include "obexses/obexses.h"

namespace obexses {

class SessionStore;

// The store of the loaded module: made when first used, and gone when the
// module is unloaded, leaving the records it still holds.
SessionStore& ModuleStore();

// Initialize: 3 for a null core; otherwise 1, running the start-up on store
// once.
uint32_t InitializeModule(SessionStore& store, ICore* core) noexcept;
// CallProfileCommand: only "QueryDdi" with argument 1 and a table does
// anything: it fills the table with the module's services.
void RunProfileCommand(SessionStore& store, const char16_t* name, uint32_t argument,
                       void* output) noexcept;
// Writes the 22 service addresses into table, in slot order.
void FillDdi(SessionStore& store, SessionDdi* table) noexcept;

// The services of the table, on ModuleStore().
ClientSession* OBEXSES_CALL tvr_create_client_session(uint32_t profile);
int32_t OBEXSES_CALL tvr_destroy_client_session(ClientSession* record);
int32_t OBEXSES_CALL tvr_save_client_session(ClientSession* record);
ClientSession* OBEXSES_CALL tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                                    uint32_t profile);
int32_t OBEXSES_CALL tvr_resume_client_session(ClientSession* record);
ServerSession* OBEXSES_CALL tvr_create_server_session(uint32_t profile);
int32_t OBEXSES_CALL tvr_destroy_server_session(ServerSession* record);
int32_t OBEXSES_CALL tvr_save_server_session(ServerSession* record);
ServerSession* OBEXSES_CALL tvr_find_server_session(const uint8_t* id);
int32_t OBEXSES_CALL tvr_resume_server_session(ServerSession* record);
int32_t OBEXSES_CALL tvr_store_client_session(void);
int32_t OBEXSES_CALL tvr_restore_client_session(void);
int32_t OBEXSES_CALL tvr_store_server_session(void);
int32_t OBEXSES_CALL tvr_restore_server_session(void);
int32_t OBEXSES_CALL tvr_enum_client_session(const uint8_t* address, uint32_t profile,
                                             SessionCallback callback, void* context);
int32_t OBEXSES_CALL tvr_enum_server_session(uint32_t profile, SessionCallback callback,
                                             void* context);
uint32_t OBEXSES_CALL tvr_client_file_changed(ClientSession* record);
uint32_t OBEXSES_CALL tvr_server_file_changed(ServerSession* record);
uint32_t OBEXSES_CALL tvr_client_transfer_file_changed(ClientSession* record);
uint32_t OBEXSES_CALL tvr_server_transfer_file_changed(ServerSession* record);
uint32_t OBEXSES_CALL tvr_client_file_size(ClientSession* record);
uint32_t OBEXSES_CALL tvr_server_file_size(ServerSession* record);

}  // namespace obexses
