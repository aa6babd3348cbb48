// Server services of the table: create, destroy, save, find, resume, enumerate.
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
namespace {}  // namespace

bool HoldsServerRecord(const ServerSession* record) {
  return std::find(g_server_sessions.begin(), g_server_sessions.end(), record) !=
         g_server_sessions.end();
}

void AppendServerRecord(ServerSession* record) {
  SessionGuard lock(g_session_lock);
  g_server_sessions.push_back(record);
}

void RemoveServerRecord(const ServerSession* record) {
  SessionGuard lock(g_session_lock);
  auto it = std::find(g_server_sessions.begin(), g_server_sessions.end(), record);
  if (it != g_server_sessions.end()) g_server_sessions.erase(it);
}

ServerSession* tvr_create_server_session(uint32_t profile) {
  ServerSession* record = records::NewServerRecord(profile);
  if (record == nullptr) return nullptr;
  record->create_time_stamp = platform::GetEnv()->NowSeconds();
  try {
    AppendServerRecord(record);
  } catch (const std::bad_alloc&) {
    records::DeleteServerRecord(record);
    return nullptr;
  }
  DebugTrace(3,
             profile == records::kProfileOpp ? u"create server opp session success %p\n"
                                             : u"create server ftp session success %p\n",
             record);
  return record;
}

int32_t tvr_destroy_server_session(ServerSession* record) {
  if (record == nullptr) return 0;
  bool was_saved = false;
  {
    SessionGuard lock(g_session_lock);
    if (!HoldsServerRecord(record)) return 0;
    was_saved = UnsaveRecord(g_saved_server_sessions, record);
    const std::u16string key = BuildServerKey(record->session_id);
    DebugTrace(3,
               was_saved ? u"destroy server session success %s %p\n"
                         : u"destroy server session: no found %s %p\n",
               key, record);
    RemoveServerRecord(record);
    records::DeleteServerRecord(record);
  }
  if (was_saved) tvr_store_server_session();
  return 1;
}

int32_t tvr_save_server_session(ServerSession* record) {
  if (record == nullptr) return 0;
  {
    SessionGuard lock(g_session_lock);
    if (!HoldsServerRecord(record)) return 0;
    std::memcpy(record->session_id, record->GoepServer_sessionId, sizeof record->session_id);
    char16_t path[kPathUnits] = {};
    ServerTransferFilePath(record, path);
    record->FO_timeStamp = FileStampOf(path);
    std::u16string key = BuildServerKey(record->session_id);
    DebugTrace(3, u"save server session: %s %p\n", key, record);
    SaveUnderKey(g_saved_server_sessions, record, std::move(key),
                 u"server session[%p] already saved, you are saving it again! \n");
  }
  // Unlike the client save, the store's result is not reported.
  tvr_store_server_session();
  return 1;
}

ServerSession* tvr_find_server_session(const uint8_t* id) {
  ServerSession* found = nullptr;
  bool stale = false;
  std::u16string key;
  {
    SessionGuard lock(g_session_lock);
    key = BuildServerKey(id);
    if (!key.empty()) {
      auto it = g_saved_server_sessions.find(key);
      if (it != g_saved_server_sessions.end()) found = it->second;
    }
    // The FTP transfer file is checked while the record cannot be freed under us.
    if (found != nullptr && found->profile_id == records::kProfileFtp) {
      stale = tvr_server_transfer_file_changed(found) != 0;
    }
  }
  if (found == nullptr) {
    DebugTrace(3, u"find server session: no found %s %p\n", key, nullptr);
    return nullptr;
  }
  DebugTrace(3, u"find server session: True  %s %p\n", key, found);
  if (stale) {
    tvr_destroy_server_session(found);
    return nullptr;
  }
  return found;
}

int32_t tvr_resume_server_session(ServerSession* record) {
  SessionGuard lock(g_session_lock);
  if (record == nullptr || !HoldsServerRecord(record)) return 0;
  DebugTrace(3, u"resume server session: %s %p\n", BuildServerKey(record->session_id), record);
  if (record->profile_id != records::kProfileOpp && record->profile_id != records::kProfileFtp) {
    return 0;
  }
  record->resumed = 1;
  return 1;
}

int32_t tvr_enum_server_session(uint32_t profile, SessionCallback callback, void* context) {
  if (callback == nullptr) return 0;
  ServerMap snapshot = MakeServerMap();
  {
    SessionGuard lock(g_session_lock);
    for (const auto& [key, record] : g_saved_server_sessions) {
      if (record->profile_id == profile) snapshot.emplace(key, record);
    }
  }
  for (const auto& entry : snapshot) callback(entry.second, context);
  return 1;
}

}  // namespace obexses
