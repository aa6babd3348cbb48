// Client services of the table: create, destroy, save, find, resume, enumerate.
#include <cstring>

#include "platform/env.h"
#include "records/record_memory.h"
#include "records/record_paths.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "settings/settings.h"

namespace obexses {

ClientSession* tvr_create_client_session(uint32_t profile) noexcept try {
  records::ClientRecordPtr record(records::NewClientRecord(profile));
  if (record == nullptr) return nullptr;
  record->create_time_stamp = platform::GetEnv()->NowSeconds();
  {
    SessionGuard lock(g_session_lock);
    Hold(record.get());
  }
  DebugTrace(3,
             profile == OBEXSES_PROFILE_OPP ? u"create opp client session success %p\n"
                                            : u"create ftp client session success %p\n",
             record.get());
  try {
    RegisterLiveSession(record.get());
  } catch (...) {
    SessionGuard lock(g_session_lock);
    Release(record.get());
    throw;
  }
  return record.release();
} catch (...) {
  return nullptr;
}

int32_t tvr_destroy_client_session(ClientSession* record) noexcept try {
  if (record == nullptr) return 0;
  bool was_saved = false;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    const ClientKeyText key = ClientRecordKey(record);
    was_saved = Release(record);
    DebugTrace(3,
               was_saved ? u"destroy one client session: %s %p\n"
                         : u"destroy one client session:no found %s %p\n",
               key, record);
    UnregisterLiveSession(record);
    records::DeleteClientRecord(record);
  }
  if (was_saved) tvr_store_client_session();
  return 1;
} catch (...) {
  return 0;
}

int32_t tvr_save_client_session(ClientSession* record) noexcept try {
  if (record == nullptr) return 0;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    if (record->file_name[0] == 0) return 1;
    char16_t path[OBEXSES_NAME_UNITS] = {};
    records::ClientTransferFilePath(record, path);
    record->FO_timeStamp = FileStampOf(path);
    const ClientKeyText key = ClientRecordKey(record);
    DebugTrace(3, u"save one client session: %s %p \n", key, record);
    if (key.empty()) return 0;
    SaveUnderKey(record, std::u16string(key.view()),
                 u"client session[%p] already saved, you are saving it again! \n");
    record->resumed = 0;
  }
  return tvr_store_client_session();
} catch (...) {
  return 0;
}

ClientSession* tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                       uint32_t profile) noexcept try {
  if (address == nullptr || name == nullptr || name[0] == 0) return nullptr;
  ClientSession* found = nullptr;
  ClientKeyText key;
  {
    SessionGuard lock(g_session_lock);
    key = ClientKeyOf(address, name, profile);
    if (!key.empty()) {
      auto it = g_saved_client_sessions.find(std::u16string(key.view()));
      if (it != g_saved_client_sessions.end()) found = it->second;
    }
  }
  if (found != nullptr) {
    DebugTrace(3, u"find client:True %s %p\n", key, found);
  } else {
    DebugTrace(3, u"find client:no found %s\n", key);
  }
  return found;
} catch (...) {
  return nullptr;
}

int32_t tvr_resume_client_session(ClientSession* record) noexcept try {
  int32_t result = 0;
  ClientKeyText key;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    key = ClientRecordKey(record);
    if (record->profile_id == OBEXSES_PROFILE_OPP || record->profile_id == OBEXSES_PROFILE_FTP) {
      record->resumed = 1;
      result = 1;
    }
  }
  DebugTrace(3, u"resume client session:%s %p\n", key, record);
  return result;
} catch (...) {
  return 0;
}

int32_t tvr_enum_client_session(const uint8_t* address, uint32_t profile, SessionCallback callback,
                                void* context) noexcept try {
  if (callback == nullptr || address == nullptr) return 0;
  ClientMap snapshot = MakeClientMap();
  {
    SessionGuard lock(g_session_lock);
    for (const auto& [key, record] : g_saved_client_sessions) {
      if (record->profile_id == profile && std::memcmp(record->bdaddr, address, 6) == 0) {
        snapshot.emplace(key, record);
      }
    }
  }
  // Called without any lock: a callback may call any service.
  for (const auto& entry : snapshot) callback(entry.second, context);
  return 1;
} catch (...) {
  return 0;
}

}  // namespace obexses
