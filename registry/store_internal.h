// SPDX-License-Identifier: MIT
// What the store's own files share: one side's containers by record type, and
// holding, saving, releasing and retiring a record of either side.
//
// Every operation here either does all it says or, when memory runs out,
// throws std::bad_alloc having changed nothing; releasing never throws. The
// caller holds the store's mutex. The services catch at their boundary and
// give their failure value.
#pragma once

#include <iterator>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "records/record_memory.h"
#include "registry/file_checks.h"
#include "registry/keys.h"
#include "registry/session_store.h"

namespace obexses {

// Whatever changes the store takes its mutex whole; finds, and the making of
// a file's bytes from the saved set, only read it and share it.
using StoreLock = std::unique_lock<std::shared_mutex>;
using SharedStoreLock = std::shared_lock<std::shared_mutex>;

template <typename Record>
struct RecordKind;

template <>
struct RecordKind<ClientSession> {
  static void Free(ClientSession* record) noexcept { records::DeleteClientRecord(record); }
  static void FreeDeep(ClientSession* record) noexcept { records::DeleteClientRecordDeep(record); }
};

template <>
struct RecordKind<ServerSession> {
  static void Free(ServerSession* record) noexcept { records::DeleteServerRecord(record); }
  static void FreeDeep(ServerSession* record) noexcept { records::DeleteServerRecordDeep(record); }
};

// Frees the record block alone on every path unless released.
// The answer of the change checks: 1 when the file at path is missing or
// written since stamp, 0 when unchanged or there is no path.
uint32_t ChangedSince(platform::Env* env, const char16_t* path, uint32_t stamp);

template <typename Record>
class RecordToFree {
 public:
  RecordToFree() = default;
  explicit RecordToFree(Record* record) : record_(record) {}
  RecordToFree(const RecordToFree&) = delete;
  RecordToFree& operator=(const RecordToFree&) = delete;
  ~RecordToFree() {
    if (record_ != nullptr) RecordKind<Record>::Free(record_);
  }
  void Reset(Record* record) { record_ = record; }

 private:
  Record* record_ = nullptr;
};

template <>
inline HeldRecords<ClientSession>& SessionStore::Held<ClientSession>() {
  return client_sessions_;
}
template <>
inline HeldRecords<ServerSession>& SessionStore::Held<ServerSession>() {
  return server_sessions_;
}
template <>
inline SavedSessions<ClientSession>& SessionStore::Saved<ClientSession>() {
  return saved_client_sessions_;
}
template <>
inline SavedSessions<ServerSession>& SessionStore::Saved<ServerSession>() {
  return saved_server_sessions_;
}
template <>
inline FileWrites& SessionStore::FileOf<ClientSession>() {
  return client_file_;
}
template <>
inline FileWrites& SessionStore::FileOf<ServerSession>() {
  return server_file_;
}
template <>
inline const char16_t* SessionStore::PathOf<ClientSession>() const {
  return client_session_path_;
}
template <>
inline const char16_t* SessionStore::PathOf<ServerSession>() const {
  return server_session_path_;
}

template <typename Record>
void SessionStore::Hold(Record* record, const std::u16string* saved_key) {
  Held<Record>().emplace(record, Place{saved_key, ++next_serial_});
}

template <typename Record>
bool SessionStore::HeldAs(const Record* record, uint64_t serial) const {
  const auto& held = const_cast<SessionStore*>(this)->Held<Record>();
  auto place = held.find(record);
  return place != held.end() && place->second.serial == serial;
}

// Takes the record out of the saved map, if it is there. True when it was.
template <typename Record>
bool SessionStore::Unsave(const Record* record) noexcept {
  auto place = Held<Record>().find(record);
  if (place == Held<Record>().end() || place->second.saved_key == nullptr) return false;
  auto& saved = Saved<Record>();
  saved.erase(saved.find(*place->second.saved_key));
  place->second.saved_key = nullptr;
  ++FileOf<Record>().set_changes;
  return true;
}

// Takes a held record out of the store. True when it was saved.
template <typename Record>
bool SessionStore::Release(const Record* record) noexcept {
  const bool was_saved = Unsave(record);
  Held<Record>().erase(record);
  return was_saved;
}

// Files a held record under key. When the key is taken the entry keeps the
// record it holds, and nothing changes. Otherwise the entry the record holds
// under an older key goes first; should the new entry not fit, the old one is
// put back. True when an older entry of the record went.
template <typename Record>
bool SessionStore::SaveUnderKey(Record* record, std::u16string key) {
  auto& saved = Saved<Record>();
  if (saved.count(key) != 0) return false;
  Place& place = Held<Record>().at(record);
  ++FileOf<Record>().set_changes;
  typename SavedSessions<Record>::node_type previous;
  if (place.saved_key != nullptr) {
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
  return !previous.empty();
}

}  // namespace obexses

namespace obexses {

// Calls back every saved record of the side that match accepts, with no lock
// held. The records are pinned for the length of the enumeration: a callback
// may destroy the record it was handed, and one that another thread destroys
// or a restore retires meanwhile stays allocated until the enumeration is
// done, and is not called back from then on.
template <typename Record, typename Match>
int32_t SessionStore::Enumerate(Match match, SessionCallback callback, void* context) {
  std::vector<Record*> snapshot;
  std::vector<Record*> to_free;
  StoreLock lock(session_lock_);
  for (const auto& entry : Saved<Record>()) {
    if (match(entry.second)) snapshot.push_back(entry.second);
  }
  to_free.reserve(snapshot.size());
  size_t pinned = 0;
  try {
    for (; pinned < snapshot.size(); ++pinned) ++pinned_[snapshot[pinned]].count;
  } catch (...) {
    for (size_t i = 0; i < pinned; ++i) Unpin(snapshot[i]);
    throw;
  }
  for (Record* record : snapshot) {
    if (pinned_.at(record).retired) continue;
    lock.unlock();
    callback(record, context);
    lock.lock();
  }
  for (Record* record : snapshot) {
    if (Unpin(record)) to_free.push_back(record);
  }
  lock.unlock();
  for (Record* record : to_free) RecordKind<Record>::Free(record);
  return 1;
}

}  // namespace obexses
