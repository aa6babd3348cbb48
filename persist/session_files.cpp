// Placeholder until the session files are built: every store and restore refuses.
#include "persist/session_files.h"

namespace obexses {

int32_t tvr_store_client_session() {
  return 0;
}
int32_t tvr_store_server_session() {
  return 0;
}
int32_t tvr_restore_client_session() {
  return 0;
}
int32_t tvr_restore_server_session() {
  return 0;
}

}  // namespace obexses
