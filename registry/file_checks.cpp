// The checks of slots 16 to 21: is the session's file missing or rewritten
// since the last save, and how large is it.
#include "platform/env.h"
#include "records/record_paths.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"

namespace obexses {
namespace {

using ClientRule = void (*)(const ClientSession*, char16_t*);
using ServerRule = void (*)(const ServerSession*, char16_t*);

uint32_t ChangedAgainst(const char16_t* path, uint32_t stamp) {
  if (path[0] == 0) return 0;
  platform::Env* env = platform::GetEnv();
  if (!env->PathExists(path)) return 1;
  platform::FileAttributes attributes;
  env->ReadAttributes(path, &attributes);
  return static_cast<uint32_t>(attributes.last_write_time) != stamp ? 1 : 0;
}

uint32_t SizeOf(const char16_t* path) {
  if (path[0] == 0) return 0;
  platform::Env* env = platform::GetEnv();
  if (!env->PathExists(path)) return 0;
  platform::FileAttributes attributes;
  env->ReadAttributes(path, &attributes);
  return static_cast<uint32_t>(attributes.size);
}

// The record is read under the session lock, so that a concurrent destroy
// cannot free it between the live test and the read. Null is never live.
bool ClientPathAndStamp(ClientSession* record, ClientRule rule, char16_t* path, uint32_t* stamp) {
  SessionGuard lock(g_session_lock);
  if (!IsLiveSession(record)) return false;
  rule(record, path);
  *stamp = record->FO_timeStamp;
  return true;
}

uint32_t ClientChanged(ClientSession* record, ClientRule rule) {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, rule, path, &stamp)) return 0;
  return ChangedAgainst(path, stamp);
}

uint32_t ServerChanged(ServerSession* record, ServerRule rule) {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  rule(record, path);
  return ChangedAgainst(path, record->FO_timeStamp);
}

}  // namespace

uint32_t FileStampOf(const char16_t* path) {
  platform::FileAttributes attributes;
  if (path[0] == 0 || !platform::GetEnv()->ReadAttributes(path, &attributes)) return 0;
  return static_cast<uint32_t>(attributes.last_write_time);
}

uint32_t tvr_client_file_changed(ClientSession* record) noexcept try {
  return ClientChanged(record, records::ClientFilePath);
} catch (...) {
  return 0;
}

uint32_t tvr_server_file_changed(ServerSession* record) noexcept try {
  return ServerChanged(record, records::ServerFilePath);
} catch (...) {
  return 0;
}

uint32_t tvr_client_transfer_file_changed(ClientSession* record) noexcept try {
  return ClientChanged(record, records::ClientTransferFilePath);
} catch (...) {
  return 0;
}

uint32_t tvr_server_transfer_file_changed(ServerSession* record) noexcept try {
  return ServerChanged(record, records::ServerTransferFilePath);
} catch (...) {
  return 0;
}

uint32_t tvr_client_file_size(ClientSession* record) noexcept try {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, records::ClientFilePath, path, &stamp)) return 0;
  return SizeOf(path);
} catch (...) {
  return 0;
}

uint32_t tvr_server_file_size(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  records::ServerFilePath(record, path);
  return SizeOf(path);
} catch (...) {
  return 0;
}

}  // namespace obexses
