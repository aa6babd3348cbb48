// Helpers shared by the registry's own files.
#pragma once

#include <string>
#include <string_view>

#include "records/client_session.h"
#include "records/server_session.h"
#include "settings/settings.h"

namespace obexses {

std::u16string ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile);

// Low 32 bits of the last-write time of the file at path; 0 for an empty
// path or a file that cannot be queried.
uint32_t FileStampOf(const char16_t* path);

// Is the server record in g_server_sessions? Caller holds g_session_lock.
bool HoldsServerRecord(const ServerSession* record);

// Removes the saved entry whose value is record (searching by value, so that
// it is found even when its key fields changed). Caller holds g_session_lock.
template <typename Map, typename Record>
bool UnsaveRecord(Map& saved, const Record* record) {
  for (auto it = saved.begin(); it != saved.end(); ++it) {
    if (it->second == record) {
      saved.erase(it);
      return true;
    }
  }
  return false;
}

// Saves record under key: unless the key is taken, any entry the record holds
// under an older key goes first, with resave_message traced for it. Either
// way the record is no longer resumed. Caller holds g_session_lock.
template <typename Map, typename Record>
void SaveUnderKey(Map& saved, Record* record, std::u16string key, const char16_t* resave_message) {
  record->resumed = 0;
  if (saved.count(key) != 0) return;  // the entry keeps the record it holds
  for (auto it = saved.begin(); it != saved.end();) {
    if (it->second == record) {
      DebugTrace(3, resave_message, static_cast<const void*>(record));
      it = saved.erase(it);
    } else {
      ++it;
    }
  }
  saved.emplace(std::move(key), record);
}

}  // namespace obexses
