// What the registry's own files share: the keys in their fixed buffers, the
// file stamps, and holding, saving and releasing a record of either side.
//
// Every operation here either does all it says or, when memory runs out,
// throws std::bad_alloc having changed nothing; releasing never throws. The
// services catch at their boundary and give their failure value.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "registry/state.h"
#include "settings/settings.h"

namespace obexses {

// A key formatted in its fixed buffer, so that building one for a lookup or
// a trace line needs no memory: the client key holds 519 units and its
// terminator, the server key 39. Empty when the inputs make no key.
template <size_t kUnits>
struct KeyText {
  char16_t units[kUnits] = {};
  size_t size = 0;
  std::u16string_view view() const { return {units, size}; }
  bool empty() const { return size == 0; }
  operator const char16_t*() const { return units; }  // for the trace's %s
};
using ClientKeyText = KeyText<520>;
using ServerKeyText = KeyText<40>;

ClientKeyText ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile);
// The key of a client record: its bdaddr, file_name and profile_id.
ClientKeyText ClientRecordKey(const ClientSession* record);
ServerKeyText ServerKeyOf(const uint8_t* id);

// Low 32 bits of the last-write time of the file at path; 0 for an empty
// path or a file that cannot be queried.
uint32_t FileStampOf(const char16_t* path);

// ---- Holding: the caller holds g_session_lock for all of these. ----

template <typename Record>
bool IsHeld(const Record* record) {
  return record != nullptr && Holdings<Record>::Places().count(record) != 0;
}

// Lists the record at the end of its side's list.
template <typename Record>
void Hold(Record* record) {
  auto& list = Holdings<Record>::List();
  list.push_back(record);
  try {
    Holdings<Record>::Places().emplace(record, Place<Record>{std::prev(list.end())});
  } catch (...) {
    list.pop_back();
    throw;
  }
}

// Takes the record out of the saved map, if it is there. True when it was.
template <typename Record>
bool Unsave(const Record* record) noexcept {
  auto place = Holdings<Record>::Places().find(record);
  if (place == Holdings<Record>::Places().end() || place->second.saved_key == nullptr) return false;
  auto& saved = Holdings<Record>::Saved();
  saved.erase(saved.find(*place->second.saved_key));
  place->second.saved_key = nullptr;
  return true;
}

// Takes a held record out of its list and the saved map. True when it was saved.
template <typename Record>
bool Release(const Record* record) noexcept {
  auto& places = Holdings<Record>::Places();
  auto place = places.find(record);
  if (place == places.end()) return false;
  const bool was_saved = Unsave(record);
  Holdings<Record>::List().erase(place->second.cell);
  places.erase(place);
  return was_saved;
}

// Files a held record under key. When the key is taken the entry keeps the
// record it holds, and nothing changes. Otherwise the entry the record holds
// under an older key goes first, with resave_message traced for it; should
// the new entry not fit, the old one is put back.
template <typename Record>
void SaveUnderKey(Record* record, std::u16string key, const char16_t* resave_message) {
  auto& saved = Holdings<Record>::Saved();
  if (saved.count(key) != 0) return;
  Place<Record>& place = Holdings<Record>::Places().at(record);
  typename SavedMap<Record>::node_type previous;
  if (place.saved_key != nullptr) {
    DebugTrace(3, resave_message, static_cast<const void*>(record));
    previous = saved.extract(*place.saved_key);
    place.saved_key = nullptr;
  }
  try {
    place.saved_key = &saved.emplace(std::move(key), record).first->first;
  } catch (...) {
    // Back where it was: the map held it before, so it fits without growing.
    if (!previous.empty()) place.saved_key = &saved.insert(std::move(previous)).position->first;
    throw;
  }
}

}  // namespace obexses
