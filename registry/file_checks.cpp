// SPDX-License-Identifier: MIT
// The checks of slots 16 to 21: is the session's file missing or rewritten
// since the last save, and how large is it. A client record's path and stamp
// are copied under the lock (the record must be live); the file is looked at
// outside it. The server rules do not consult what the store holds.
#include "registry/file_checks.h"

#include "platform/env.h"
#include "records/record_paths.h"
#include "registry/store_internal.h"

namespace obexses {
namespace {

using ClientRule = void (*)(const ClientSession*, char16_t*);
using ServerRule = void (*)(const ServerSession*, char16_t*);

uint32_t SizeOf(platform::Env* env, const char16_t* path) {
  if (path[0] == 0 || !env->PathExists(path)) return 0;
  platform::FileAttributes attributes;  // a failing read leaves it zero
  env->Attributes(path, &attributes);
  return static_cast<uint32_t>(attributes.size);
}

}  // namespace

FileState CheckFile(platform::Env* env, const char16_t* path, uint32_t stamp) {
  if (path[0] == 0) return FileState::kNoPath;
  if (!env->PathExists(path)) return FileState::kMissing;
  platform::FileAttributes attributes;  // a failing read leaves it zero
  env->Attributes(path, &attributes);
  return static_cast<uint32_t>(attributes.last_write_time) != stamp ? FileState::kChanged
                                                                    : FileState::kUnchanged;
}

uint32_t FileStampOf(platform::Env* env, const char16_t* path) {
  platform::FileAttributes attributes;
  if (path[0] == 0 || !env->Attributes(path, &attributes).ok()) return 0;
  return static_cast<uint32_t>(attributes.last_write_time);
}

uint32_t ChangedSince(platform::Env* env, const char16_t* path, uint32_t stamp) {
  const FileState state = CheckFile(env, path, stamp);
  return state == FileState::kMissing || state == FileState::kChanged ? 1 : 0;
}

// The record's path by rule and its stamp, read under the lock; false for a
// record that is not live (null never is).
bool SessionStore::ClientPathAndStamp(ClientSession* record, ClientRule rule, char16_t* path,
                                      uint32_t* stamp) {
  StoreLock lock(session_lock_);
  if (record == nullptr || client_sessions_.count(record) == 0) return false;
  rule(record, path);
  *stamp = record->FO_timeStamp;
  return true;
}

uint32_t SessionStore::ClientFileChanged(ClientSession* record) noexcept try {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, records::ClientFilePath, path, &stamp)) return 0;
  return ChangedSince(env_, path, stamp);
} catch (...) {
  return 0;
}

uint32_t SessionStore::ClientTransferFileChanged(ClientSession* record) noexcept try {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, records::ClientTransferFilePath, path, &stamp)) return 0;
  return ChangedSince(env_, path, stamp);
} catch (...) {
  return 0;
}

uint32_t SessionStore::ClientFileSize(ClientSession* record) noexcept try {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, records::ClientFilePath, path, &stamp)) return 0;
  return SizeOf(env_, path);
} catch (...) {
  return 0;
}

uint32_t SessionStore::ServerFileChanged(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  records::ServerFilePath(record, path);
  return ChangedSince(env_, path, record->FO_timeStamp);
} catch (...) {
  return 0;
}

uint32_t SessionStore::ServerTransferFileChanged(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  records::ServerTransferFilePath(record, path);
  return ChangedSince(env_, path, record->FO_timeStamp);
} catch (...) {
  return 0;
}

uint32_t SessionStore::ServerFileSize(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  records::ServerFilePath(record, path);
  return SizeOf(env_, path);
} catch (...) {
  return 0;
}

}  // namespace obexses
