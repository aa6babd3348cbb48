#include "registry/state.h"

namespace obexses {

ClientMap MakeClientMap() {
  ClientMap map(8);
  map.max_load_factor(1.0f);
  return map;
}

ServerMap MakeServerMap() {
  ServerMap map(8);
  map.max_load_factor(1.0f);
  return map;
}

// Definition order is the load order: the containers and the live lock are
// constructed first and the session lock last, when the library is loaded;
// at unload they go in reverse, the session lock first. Records still held
// then are not freed.
RecordList<ClientSession> g_client_sessions;
ClientMap g_saved_client_sessions = MakeClientMap();
PlaceIndex<ClientSession> g_client_places;
RecordList<ServerSession> g_server_sessions;
ServerMap g_saved_server_sessions = MakeServerMap();
PlaceIndex<ServerSession> g_server_places;
LiveSet g_live_sessions;
std::mutex g_live_lock;
std::recursive_mutex g_session_lock;

}  // namespace obexses
