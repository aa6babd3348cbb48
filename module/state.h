// Module-wide state: the session containers, their two locks, the session
// file paths and the settings. All of it lives as long as the loaded module.
//
// Lock order: g_session_lock (recursive) may be held while g_live_lock is
// taken, never the other way round; g_live_lock guards one set operation only.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "records/client_session.h"
#include "records/server_session.h"

namespace obexses {

inline constexpr size_t kPathUnits = 260;  // every path buffer, terminator included

using ClientList = std::list<ClientSession*>;
using ServerList = std::list<ServerSession*>;
// Saved sessions by key. Created with 8 buckets and a maximum load factor of 1.
using ClientMap = std::unordered_map<std::u16string, ClientSession*>;
using ServerMap = std::unordered_map<std::u16string, ServerSession*>;
using LiveSet = std::set<const ClientSession*>;

ClientMap MakeClientMap();
ServerMap MakeServerMap();

// Written by the first successful Initialize only; atomics so that services
// running on other threads read them cleanly.
extern std::atomic<uint32_t> g_initialized;
extern std::atomic<uint32_t> g_save_file;
extern std::atomic<uint32_t> g_debug_level;
extern char16_t g_client_session_path[kPathUnits];
extern char16_t g_server_session_path[kPathUnits];

// Guarded by g_session_lock.
extern ClientList g_client_sessions;
extern ClientMap g_saved_client_sessions;
extern ServerList g_server_sessions;
extern ServerMap g_saved_server_sessions;

// Guarded by g_live_lock.
extern LiveSet g_live_sessions;
extern std::mutex g_live_lock;

extern std::recursive_mutex g_session_lock;

using SessionGuard = std::lock_guard<std::recursive_mutex>;

}  // namespace obexses
