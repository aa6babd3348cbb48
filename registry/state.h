// The registry's state: every record of each side, the saved ones by key,
// the live set of client records, and the two locks. All of it lives as long
// as the loaded module.
//
// Locks: g_session_lock (recursive) guards the lists, the saved maps and the
// places; g_live_lock guards g_live_sessions for one set operation at a time,
// possibly inside g_session_lock, never the other way round.
//
// Each record's place (its cell in the list and its key in the saved map) is
// indexed by address, so that holding, saving and releasing one record costs
// the same whatever the count. The saved maps themselves are the ones the
// files and the enumerations walk, so their order is what it always was.
#pragma once

#include <list>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses {

template <typename Record>
using RecordList = std::list<Record*>;
// Saved sessions by key. Created with 8 buckets and a maximum load factor of 1.
template <typename Record>
using SavedMap = std::unordered_map<std::u16string, Record*>;

// Where a held record is: its list cell, and its key in the saved map (null
// while it is not saved; the key string lives in the map's node).
template <typename Record>
struct Place {
  typename RecordList<Record>::iterator cell;
  const std::u16string* saved_key = nullptr;
};
template <typename Record>
using PlaceIndex = std::unordered_map<const Record*, Place<Record>>;

using ClientMap = SavedMap<ClientSession>;
using ServerMap = SavedMap<ServerSession>;
using LiveSet = std::set<const ClientSession*>;

ClientMap MakeClientMap();
ServerMap MakeServerMap();

// Guarded by g_session_lock.
extern RecordList<ClientSession> g_client_sessions;
extern ClientMap g_saved_client_sessions;
extern PlaceIndex<ClientSession> g_client_places;
extern RecordList<ServerSession> g_server_sessions;
extern ServerMap g_saved_server_sessions;
extern PlaceIndex<ServerSession> g_server_places;

// Guarded by g_live_lock.
extern LiveSet g_live_sessions;
extern std::mutex g_live_lock;

extern std::recursive_mutex g_session_lock;

using SessionGuard = std::lock_guard<std::recursive_mutex>;

// One side's containers, for code written once for both.
template <typename Record>
struct Holdings;

template <>
struct Holdings<ClientSession> {
  static RecordList<ClientSession>& List() { return g_client_sessions; }
  static ClientMap& Saved() { return g_saved_client_sessions; }
  static PlaceIndex<ClientSession>& Places() { return g_client_places; }
};

template <>
struct Holdings<ServerSession> {
  static RecordList<ServerSession>& List() { return g_server_sessions; }
  static ServerMap& Saved() { return g_saved_server_sessions; }
  static PlaceIndex<ServerSession>& Places() { return g_server_places; }
};

}  // namespace obexses
