// SPDX-License-Identifier: MIT
// Server services of the table: create, destroy, save, find, resume,
// enumerate. A server record counts as held while the store holds it; it is
// never in the live set. Trace lines are written after the lock is released,
// in the order the service makes them.
#include <cstring>

#include "platform/env.h"
#include "records/record_paths.h"
#include "registry/store_internal.h"
#include "settings/settings.h"

namespace obexses {
ServerSession* SessionStore::CreateServerSession(uint32_t profile) noexcept try {
  records::ServerRecordPtr record(records::NewServerRecord(profile));
  if (record == nullptr) return nullptr;
  record->create_time_stamp = env_->NowSeconds();
  {
    StoreLock lock(session_lock_);
    Hold(record.get());
  }
  trace_.DebugTrace(3,
                    profile == OBEXSES_PROFILE_OPP ? u"create server opp session success %p\n"
                                                   : u"create server ftp session success %p\n",
                    record.get());
  return record.release();
} catch (...) {
  return nullptr;
}

int32_t SessionStore::DestroyHeldServer(ServerSession* record, uint64_t serial) {
  ServerKeyText key;
  bool was_saved = false;
  RecordToFree<ServerSession> to_free;
  {
    StoreLock lock(session_lock_);
    auto place = server_sessions_.find(record);
    if (place == server_sessions_.end() || (serial != 0 && place->second.serial != serial)) {
      return 0;
    }
    key = ServerKeyOf(record->session_id);
    was_saved = Release(record);
    if (Retire(record)) to_free.Reset(record);
  }
  trace_.DebugTrace(3,
                    was_saved ? u"destroy server session success %s %p\n"
                              : u"destroy server session: no found %s %p\n",
                    key, record);
  if (was_saved) StoreServerSession();
  return 1;
}

int32_t SessionStore::DestroyServerSession(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  return DestroyHeldServer(record, 0);
} catch (...) {
  return 0;
}

// As the client save, the transfer file's time is taken outside the lock.
int32_t SessionStore::SaveServerSession(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint64_t serial = 0;
  {
    StoreLock lock(session_lock_);
    auto place = server_sessions_.find(record);
    if (place == server_sessions_.end()) return 0;
    std::memcpy(record->session_id, record->GoepServer_sessionId, sizeof record->session_id);
    records::ServerTransferFilePath(record, path);
    serial = place->second.serial;
  }
  const uint32_t stamp = FileStampOf(env_, path);
  ServerKeyText key;
  bool resaved = false;
  {
    StoreLock lock(session_lock_);
    if (!HeldAs(record, serial)) return 0;
    record->FO_timeStamp = stamp;
    key = ServerKeyOf(record->session_id);
    resaved = SaveUnderKey(record, std::u16string(key.view()));
    record->resumed = 0;
  }
  trace_.DebugTrace(3, u"save server session: %s %p\n", key, record);
  if (resaved) {
    trace_.DebugTrace(3, u"server session[%p] already saved, you are saving it again! \n",
                      static_cast<const void*>(record));
  }
  // Unlike the client save, the store's result is not reported.
  StoreServerSession();
  return 1;
} catch (...) {
  return 0;
}

// A saved FTP session whose transfer file has gone or changed is destroyed.
// The file is looked at outside the lock, and only the record found (not a
// later one at its address) is destroyed.
ServerSession* SessionStore::FindServerSession(const uint8_t* id) noexcept try {
  const ServerKeyText key = ServerKeyOf(id);
  ServerSession* found = nullptr;
  uint64_t serial = 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint32_t stamp = 0;
  {
    SharedStoreLock lock(session_lock_);
    auto entry =
        key.empty() ? saved_server_sessions_.end() : saved_server_sessions_.find(key.view());
    if (entry != saved_server_sessions_.end()) {
      found = entry->second;
      serial = server_sessions_.at(found).serial;
      if (found->profile_id == OBEXSES_PROFILE_FTP) {
        records::ServerTransferFilePath(found, path);
        stamp = found->FO_timeStamp;
      }
    }
  }
  if (found == nullptr) {
    trace_.DebugTrace(3, u"find server session: no found %s %p\n", key, nullptr);
    return nullptr;
  }
  trace_.DebugTrace(3, u"find server session: True  %s %p\n", key, found);
  if (ChangedSince(env_, path, stamp) != 0) {
    DestroyHeldServer(found, serial);
    return nullptr;
  }
  return found;
} catch (...) {
  return nullptr;
}

int32_t SessionStore::ResumeServerSession(ServerSession* record) noexcept try {
  int32_t result = 0;
  ServerKeyText key;
  {
    StoreLock lock(session_lock_);
    if (record == nullptr || server_sessions_.count(record) == 0) return 0;
    key = ServerKeyOf(record->session_id);
    if (record->profile_id == OBEXSES_PROFILE_OPP || record->profile_id == OBEXSES_PROFILE_FTP) {
      record->resumed = 1;
      result = 1;
    }
  }
  trace_.DebugTrace(3, u"resume server session: %s %p\n", key, record);
  return result;
} catch (...) {
  return 0;
}

int32_t SessionStore::EnumServerSession(uint32_t profile, SessionCallback callback,
                                        void* context) noexcept try {
  if (callback == nullptr) return 0;
  return Enumerate<ServerSession>(
      [&](const ServerSession* record) { return record->profile_id == profile; }, callback,
      context);
} catch (...) {
  return 0;
}

}  // namespace obexses
