// Client services of the table: create, destroy, save, find, resume, enumerate.
#include <algorithm>
#include <cstring>
#include <new>

#include "module/state.h"
#include "persist/session_files.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "settings/settings.h"

namespace obexses {
namespace {

bool IsKnownProfile(uint32_t profile) {
  return profile == records::kProfileOpp || profile == records::kProfileFtp;
}

}  // namespace

void AppendClientRecord(ClientSession* record) {
  SessionGuard lock(g_session_lock);
  g_client_sessions.push_back(record);
}

void RemoveClientRecord(const ClientSession* record) {
  SessionGuard lock(g_session_lock);
  auto it = std::find(g_client_sessions.begin(), g_client_sessions.end(), record);
  if (it != g_client_sessions.end()) g_client_sessions.erase(it);
}

ClientSession* tvr_create_client_session(uint32_t profile) {
  ClientSession* record = records::NewClientRecord(profile);
  if (record == nullptr) return nullptr;
  record->create_time_stamp = platform::GetEnv()->NowSeconds();
  try {
    AppendClientRecord(record);
  } catch (const std::bad_alloc&) {
    records::DeleteClientRecord(record);
    return nullptr;
  }
  DebugTrace(3,
             profile == records::kProfileOpp ? u"create opp client session success %p\n"
                                             : u"create ftp client session success %p\n",
             record);
  try {
    RegisterLiveSession(record);
  } catch (const std::bad_alloc&) {
    RemoveClientRecord(record);
    records::DeleteClientRecord(record);
    return nullptr;
  }
  return record;
}

int32_t tvr_destroy_client_session(ClientSession* record) {
  if (record == nullptr) return 0;
  bool was_saved = false;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    was_saved = UnsaveRecord(g_saved_client_sessions, record);
    const std::u16string key = ClientRecordKey(record);
    DebugTrace(3,
               was_saved ? u"destroy one client session: %s %p\n"
                         : u"destroy one client session:no found %s %p\n",
               key, record);
    RemoveClientRecord(record);
    UnregisterLiveSession(record);
    records::DeleteClientRecord(record);
  }
  if (was_saved) tvr_store_client_session();
  return 1;
}

int32_t tvr_save_client_session(ClientSession* record) {
  if (record == nullptr) return 0;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    if (record->file_name[0] == 0) return 1;
    char16_t path[kPathUnits] = {};
    ClientTransferFilePath(record, path);
    record->FO_timeStamp = FileStampOf(path);
    std::u16string key = ClientRecordKey(record);
    DebugTrace(3, u"save one client session: %s %p \n", key, record);
    if (key.empty()) return 0;
    SaveUnderKey(g_saved_client_sessions, record, std::move(key),
                 u"client session[%p] already saved, you are saving it again! \n");
  }
  return tvr_store_client_session();
}

ClientSession* tvr_find_client_session(const uint8_t* address, const char16_t* name,
                                       uint32_t profile) {
  if (address == nullptr || name == nullptr || name[0] == 0) return nullptr;
  ClientSession* found = nullptr;
  std::u16string key;
  {
    SessionGuard lock(g_session_lock);
    key = BuildClientKey(address, name, profile);
    if (!key.empty()) {
      auto it = g_saved_client_sessions.find(key);
      if (it != g_saved_client_sessions.end()) found = it->second;
    }
  }
  if (found != nullptr) {
    DebugTrace(3, u"find client:True %s %p\n", key, found);
  } else {
    DebugTrace(3, u"find client:no found %s\n", key);
  }
  return found;
}

int32_t tvr_resume_client_session(ClientSession* record) {
  int32_t result = 0;
  std::u16string key;
  {
    SessionGuard lock(g_session_lock);
    if (!IsLiveSession(record)) return 0;
    key = ClientRecordKey(record);
    if (IsKnownProfile(record->profile_id)) {
      record->resumed = 1;
      result = 1;
    }
  }
  DebugTrace(3, u"resume client session:%s %p\n", key, record);
  return result;
}

int32_t tvr_enum_client_session(const uint8_t* address, uint32_t profile, SessionCallback callback,
                                void* context) {
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
}

}  // namespace obexses
