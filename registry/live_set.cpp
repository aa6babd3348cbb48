#include <mutex>

#include "registry/registry.h"
#include "registry/state.h"

namespace obexses {

void RegisterLiveSession(const ClientSession* record) {
  std::lock_guard<std::mutex> lock(g_live_lock);
  g_live_sessions.insert(record);
}

bool IsLiveSession(const ClientSession* record) noexcept {
  if (record == nullptr) return false;
  std::lock_guard<std::mutex> lock(g_live_lock);
  return g_live_sessions.count(record) != 0;
}

void UnregisterLiveSession(const ClientSession* record) noexcept {
  std::lock_guard<std::mutex> lock(g_live_lock);
  g_live_sessions.erase(record);
}

}  // namespace obexses
