// SPDX-License-Identifier: MIT
// The 22 services of the table: thin entry points onto the module's store.
#include "module/module.h"
#include "registry/session_store.h"

namespace obexses {

ClientSession* OBEXSES_CALL tvr_create_client_session(uint32_t profile) {
  return ModuleStore().CreateClientSession(profile);
}
int32_t OBEXSES_CALL tvr_destroy_client_session(ClientSession* record) {
  return ModuleStore().DestroyClientSession(record);
}
int32_t OBEXSES_CALL tvr_save_client_session(ClientSession* record) {
  return ModuleStore().SaveClientSession(record);
}
ClientSession* OBEXSES_CALL tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                                    uint32_t profile) {
  return ModuleStore().FindClientSession(address, name, profile);
}
int32_t OBEXSES_CALL tvr_resume_client_session(ClientSession* record) {
  return ModuleStore().ResumeClientSession(record);
}
ServerSession* OBEXSES_CALL tvr_create_server_session(uint32_t profile) {
  return ModuleStore().CreateServerSession(profile);
}
int32_t OBEXSES_CALL tvr_destroy_server_session(ServerSession* record) {
  return ModuleStore().DestroyServerSession(record);
}
int32_t OBEXSES_CALL tvr_save_server_session(ServerSession* record) {
  return ModuleStore().SaveServerSession(record);
}
ServerSession* OBEXSES_CALL tvr_find_server_session(const uint8_t* id) {
  return ModuleStore().FindServerSession(id);
}
int32_t OBEXSES_CALL tvr_resume_server_session(ServerSession* record) {
  return ModuleStore().ResumeServerSession(record);
}
int32_t OBEXSES_CALL tvr_store_client_session(void) {
  return ModuleStore().StoreClientSession();
}
int32_t OBEXSES_CALL tvr_restore_client_session(void) {
  return ModuleStore().RestoreClientSession();
}
int32_t OBEXSES_CALL tvr_store_server_session(void) {
  return ModuleStore().StoreServerSession();
}
int32_t OBEXSES_CALL tvr_restore_server_session(void) {
  return ModuleStore().RestoreServerSession();
}
int32_t OBEXSES_CALL tvr_enum_client_session(const uint8_t* address, uint32_t profile,
                                             SessionCallback callback, void* context) {
  return ModuleStore().EnumClientSession(address, profile, callback, context);
}
int32_t OBEXSES_CALL tvr_enum_server_session(uint32_t profile, SessionCallback callback,
                                             void* context) {
  return ModuleStore().EnumServerSession(profile, callback, context);
}
uint32_t OBEXSES_CALL tvr_client_file_changed(ClientSession* record) {
  return ModuleStore().ClientFileChanged(record);
}
uint32_t OBEXSES_CALL tvr_server_file_changed(ServerSession* record) {
  return ModuleStore().ServerFileChanged(record);
}
uint32_t OBEXSES_CALL tvr_client_transfer_file_changed(ClientSession* record) {
  return ModuleStore().ClientTransferFileChanged(record);
}
uint32_t OBEXSES_CALL tvr_server_transfer_file_changed(ServerSession* record) {
  return ModuleStore().ServerTransferFileChanged(record);
}
uint32_t OBEXSES_CALL tvr_client_file_size(ClientSession* record) {
  return ModuleStore().ClientFileSize(record);
}
uint32_t OBEXSES_CALL tvr_server_file_size(ServerSession* record) {
  return ModuleStore().ServerFileSize(record);
}

}  // namespace obexses
