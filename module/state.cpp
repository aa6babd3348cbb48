#include "module/state.h"

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

std::atomic<uint32_t> g_initialized{0};
std::atomic<uint32_t> g_save_file{0};
std::atomic<uint32_t> g_debug_level{0};
char16_t g_client_session_path[kPathUnits] = {};
char16_t g_server_session_path[kPathUnits] = {};

// Definition order is the load order: the containers and the live lock are
// constructed first and the session lock last, when the library is loaded;
// at unload they go in reverse, the session lock first. Records still held
// then are not freed.
ClientList g_client_sessions;
ClientMap g_saved_client_sessions = MakeClientMap();
ServerList g_server_sessions;
ServerMap g_saved_server_sessions = MakeServerMap();
LiveSet g_live_sessions;
std::mutex g_live_lock;
std::recursive_mutex g_session_lock;

}  // namespace obexses
