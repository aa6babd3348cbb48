// SPDX-License-Identifier: MIT
// Client services of the table: create, destroy, save, find, resume,
// enumerate. A client record is live while the store holds it. Trace lines
// are written after the lock is released, in the order the service makes them.
#include <cstring>

#include "platform/env.h"
#include "records/record_paths.h"
#include "registry/store_internal.h"
#include "settings/settings.h"

namespace obexses {
ClientSession* SessionStore::CreateClientSession(uint32_t profile) noexcept try {
  records::ClientRecordPtr record(records::NewClientRecord(profile));
  if (record == nullptr) return nullptr;
  record->create_time_stamp = env_->NowSeconds();
  {
    StoreLock lock(session_lock_);
    Hold(record.get());
  }
  trace_.DebugTrace(3,
                    profile == OBEXSES_PROFILE_OPP ? u"create opp client session success %p\n"
                                                   : u"create ftp client session success %p\n",
                    record.get());
  return record.release();
} catch (...) {
  return nullptr;
}

int32_t SessionStore::DestroyClientSession(ClientSession* record) noexcept try {
  if (record == nullptr) return 0;
  ClientKeyText key;
  bool was_saved = false;
  RecordToFree<ClientSession> to_free;
  {
    StoreLock lock(session_lock_);
    if (client_sessions_.count(record) == 0) return 0;
    key = ClientRecordKey(record);
    was_saved = Release(record);
    if (Retire(record)) to_free.Reset(record);
  }
  TraceClientKey(trace_, key);
  trace_.DebugTrace(3,
                    was_saved ? u"destroy one client session: %s %p\n"
                              : u"destroy one client session:no found %s %p\n",
                    key, record);
  if (was_saved) StoreClientSession();
  return 1;
} catch (...) {
  return 0;
}

// The transfer file's time is taken outside the lock, so the record is
// looked at twice: a record destroyed in between (its address perhaps made
// again) is not saved.
int32_t SessionStore::SaveClientSession(ClientSession* record) noexcept try {
  if (record == nullptr) return 0;
  char16_t path[OBEXSES_NAME_UNITS] = {};
  uint64_t serial = 0;
  {
    StoreLock lock(session_lock_);
    auto place = client_sessions_.find(record);
    if (place == client_sessions_.end()) return 0;
    if (record->file_name[0] == 0) return 1;
    records::ClientTransferFilePath(record, path);
    serial = place->second.serial;
  }
  const uint32_t stamp = FileStampOf(env_, path);
  ClientKeyText key;
  bool resaved = false;
  {
    StoreLock lock(session_lock_);
    if (!HeldAs(record, serial)) return 0;
    record->FO_timeStamp = stamp;
    key = ClientRecordKey(record);
    if (!key.empty()) {
      resaved = SaveUnderKey(record, std::u16string(key.view()));
      record->resumed = 0;
    }
  }
  TraceClientKey(trace_, key);
  trace_.DebugTrace(3, u"save one client session: %s %p \n", key, record);
  if (key.empty()) return 0;
  if (resaved) {
    trace_.DebugTrace(3, u"client session[%p] already saved, you are saving it again! \n",
                      static_cast<const void*>(record));
  }
  return StoreClientSession();
} catch (...) {
  return 0;
}

ClientSession* SessionStore::FindClientSession(const uint8_t* address, const char16_t* name,
                                               uint32_t profile) noexcept try {
  if (address == nullptr || name == nullptr || name[0] == 0) return nullptr;
  ClientSession* found = nullptr;
  const ClientKeyText key = ClientKeyOf(address, name, profile);
  if (!key.empty()) {
    SharedStoreLock lock(session_lock_);
    auto entry = saved_client_sessions_.find(key.view());
    if (entry != saved_client_sessions_.end()) found = entry->second;
  }
  TraceClientKey(trace_, key);
  if (found != nullptr) {
    trace_.DebugTrace(3, u"find client:True %s %p\n", key, found);
  } else {
    trace_.DebugTrace(3, u"find client:no found %s\n", key);
  }
  return found;
} catch (...) {
  return nullptr;
}

int32_t SessionStore::ResumeClientSession(ClientSession* record) noexcept try {
  int32_t result = 0;
  ClientKeyText key;
  {
    StoreLock lock(session_lock_);
    if (record == nullptr || client_sessions_.count(record) == 0) return 0;
    key = ClientRecordKey(record);
    if (record->profile_id == OBEXSES_PROFILE_OPP || record->profile_id == OBEXSES_PROFILE_FTP) {
      record->resumed = 1;
      result = 1;
    }
  }
  TraceClientKey(trace_, key);
  trace_.DebugTrace(3, u"resume client session:%s %p\n", key, record);
  return result;
} catch (...) {
  return 0;
}

int32_t SessionStore::EnumClientSession(const uint8_t* address, uint32_t profile,
                                        SessionCallback callback, void* context) noexcept try {
  if (callback == nullptr || address == nullptr) return 0;
  return Enumerate<ClientSession>(
      [&](const ClientSession* record) {
        return record->profile_id == profile && std::memcmp(record->bdaddr, address, 6) == 0;
      },
      callback, context);
} catch (...) {
  return 0;
}

}  // namespace obexses
