// SPDX-License-Identifier: MIT
// The store's life, its start-up steps, and the checks of its indexes.
#include "registry/session_store.h"

#include <algorithm>

#include "persist/value_codec.h"
#include "platform/platform.h"
#include "registry/store_internal.h"
#include "settings/settings.h"

namespace obexses {
namespace {

template <typename Record>
std::string SideInconsistency(const char* side, const HeldRecords<Record>& held,
                              const SavedSessions<Record>& saved) {
  const std::string prefix = std::string(side) + ": ";
  size_t keyed = 0;
  for (const auto& [record, place] : held) {
    if (place.saved_key == nullptr) continue;
    ++keyed;
    auto entry = saved.find(*place.saved_key);
    if (entry == saved.end() || entry->second != record || &entry->first != place.saved_key) {
      return prefix + "a place names a key the saved map does not give it";
    }
  }
  return keyed == saved.size() ? std::string() : prefix + "a saved record without its place";
}

template <typename Record>
void ListSide(const HeldRecords<Record>& held, const SavedSessions<Record>& saved,
              std::vector<std::pair<std::u16string, const void*>>* saved_list,
              std::vector<const void*>* held_list) {
  for (const auto& [key, record] : saved) saved_list->emplace_back(key, record);
  std::sort(saved_list->begin(), saved_list->end());
  for (const auto& entry : held) held_list->push_back(entry.first);
  std::sort(held_list->begin(), held_list->end());
}

}  // namespace

SessionStore::SessionStore(const platform::Platform& platform, AtEnd at_end,
                           std::chrono::milliseconds lock_wait)
    : env_(platform.env),
      settings_(platform.settings),
      host_log_(platform.log),
      at_end_(at_end),
      lock_wait_(lock_wait),
      trace_(platform.debug),
      saved_client_sessions_(EmptySavedSessions<ClientSession>()),
      saved_server_sessions_(EmptySavedSessions<ServerSession>()) {}

SessionStore::~SessionStore() {
  if (at_end_ == AtEnd::kKeepRecords) return;
  for (const auto& entry : client_sessions_) {
    RecordKind<ClientSession>::FreeDeep(const_cast<ClientSession*>(entry.first));
  }
  for (const auto& entry : server_sessions_) {
    RecordKind<ServerSession>::FreeDeep(const_cast<ServerSession*>(entry.first));
  }
}

void SessionStore::MakePaths() noexcept {
  try {
    MakeSessionFilePath(env_, trace_, 0, server_session_path_);
    MakeSessionFilePath(env_, trace_, 1, client_session_path_);
  } catch (...) {
    // Out of memory: the paths stay empty and the files cannot be opened.
  }
}

void SessionStore::ReadSettings() noexcept {
  uint32_t save_file = save_file_.load();
  if (ReadDwordSetting(settings_, trace_, u"ObexSesSaveFile", &save_file))
    save_file_.store(save_file);
  uint32_t level = trace_.level();
  if (ReadDwordSetting(settings_, trace_, u"ObexSesDebugLevel", &level)) trace_.set_level(level);
}

bool SessionStore::IsLiveSession(const ClientSession* record) const noexcept {
  if (record == nullptr) return false;
  SharedStoreLock lock(session_lock_);
  return client_sessions_.count(record) != 0;
}

bool SessionStore::Retire(const void* record) noexcept {
  auto pin = pinned_.find(record);
  if (pin == pinned_.end()) return true;
  pin->second.retired = true;
  return false;
}

bool SessionStore::Unpin(const void* record) noexcept {
  auto pin = pinned_.find(record);
  if (--pin->second.count != 0) return false;
  const bool retired = pin->second.retired;
  pinned_.erase(pin);
  return retired;
}

std::string SessionStore::Inconsistency() const {
  SharedStoreLock lock(session_lock_);
  std::string problem = SideInconsistency("client", client_sessions_, saved_client_sessions_);
  if (problem.empty()) {
    problem = SideInconsistency("server", server_sessions_, saved_server_sessions_);
  }
  for (const auto& [record, pin] : pinned_) {
    if (!problem.empty()) break;
    const bool held = client_sessions_.count(static_cast<const ClientSession*>(record)) != 0 ||
                      server_sessions_.count(static_cast<const ServerSession*>(record)) != 0;
    if (pin.count == 0) problem = "a pin that no enumeration holds";
    if (pin.retired && held) problem = "a retired record still held";
  }
  return problem;
}

StoreContents SessionStore::Contents() const {
  StoreContents contents;
  SharedStoreLock lock(session_lock_);
  ListSide(client_sessions_, saved_client_sessions_, &contents.client_saved, &contents.client_held);
  ListSide(server_sessions_, saved_server_sessions_, &contents.server_saved, &contents.server_held);
  return contents;
}

}  // namespace obexses
