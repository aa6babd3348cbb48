// Server services of the table: create, destroy, save, find, resume, enumerate.
// Server records are not live-set members: a server record counts as held
// while its side's list holds it.
#include <cstring>

#include "platform/env.h"
#include "records/record_memory.h"
#include "records/record_paths.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "settings/settings.h"

namespace obexses {

ServerSession* tvr_create_server_session(uint32_t profile) noexcept try {
  records::ServerRecordPtr record(records::NewServerRecord(profile));
  if (record == nullptr) return nullptr;
  record->create_time_stamp = platform::GetEnv()->NowSeconds();
  {
    SessionGuard lock(g_session_lock);
    Hold(record.get());
  }
  DebugTrace(3,
             profile == OBEXSES_PROFILE_OPP ? u"create server opp session success %p\n"
                                            : u"create server ftp session success %p\n",
             record.get());
  return record.release();
} catch (...) {
  return nullptr;
}

int32_t tvr_destroy_server_session(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  bool was_saved = false;
  {
    SessionGuard lock(g_session_lock);
    if (!IsHeld(record)) return 0;
    was_saved = Release(record);
    DebugTrace(3,
               was_saved ? u"destroy server session success %s %p\n"
                         : u"destroy server session: no found %s %p\n",
               ServerKeyOf(record->session_id), record);
    records::DeleteServerRecord(record);
  }
  if (was_saved) tvr_store_server_session();
  return 1;
} catch (...) {
  return 0;
}

int32_t tvr_save_server_session(ServerSession* record) noexcept try {
  if (record == nullptr) return 0;
  {
    SessionGuard lock(g_session_lock);
    if (!IsHeld(record)) return 0;
    std::memcpy(record->session_id, record->GoepServer_sessionId, sizeof record->session_id);
    char16_t path[OBEXSES_NAME_UNITS] = {};
    records::ServerTransferFilePath(record, path);
    record->FO_timeStamp = FileStampOf(path);
    const ServerKeyText key = ServerKeyOf(record->session_id);
    DebugTrace(3, u"save server session: %s %p\n", key, record);
    SaveUnderKey(record, std::u16string(key.view()),
                 u"server session[%p] already saved, you are saving it again! \n");
    record->resumed = 0;
  }
  // Unlike the client save, the store's result is not reported.
  tvr_store_server_session();
  return 1;
} catch (...) {
  return 0;
}

ServerSession* tvr_find_server_session(const uint8_t* id) noexcept try {
  ServerSession* found = nullptr;
  bool stale = false;
  ServerKeyText key;
  {
    SessionGuard lock(g_session_lock);
    key = ServerKeyOf(id);
    if (!key.empty()) {
      auto it = g_saved_server_sessions.find(std::u16string(key.view()));
      if (it != g_saved_server_sessions.end()) found = it->second;
    }
    // The FTP transfer file is checked while the record cannot be freed under us.
    if (found != nullptr && found->profile_id == OBEXSES_PROFILE_FTP) {
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
} catch (...) {
  return nullptr;
}

int32_t tvr_resume_server_session(ServerSession* record) noexcept try {
  SessionGuard lock(g_session_lock);
  if (!IsHeld(record)) return 0;
  DebugTrace(3, u"resume server session: %s %p\n", ServerKeyOf(record->session_id), record);
  if (record->profile_id != OBEXSES_PROFILE_OPP && record->profile_id != OBEXSES_PROFILE_FTP) {
    return 0;
  }
  record->resumed = 1;
  return 1;
} catch (...) {
  return 0;
}

int32_t tvr_enum_server_session(uint32_t profile, SessionCallback callback, void* context) noexcept
    try {
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
} catch (...) {
  return 0;
}

}  // namespace obexses
