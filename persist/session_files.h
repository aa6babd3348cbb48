// The two session files: ClientSession.xml and ServerSession.xml.
#pragma once

#include <cstdint>

namespace obexses {

// Writes every saved (and, for clients, live) session to its file while
// ObexSesSaveFile is on. 1 when written or when saving is off; 0 when the file
// cannot be written (the old file then stays as it was).
int32_t tvr_store_client_session();
int32_t tvr_store_server_session();

// Reads the file back into the registry, dropping obsolete and repeated
// sessions, rewrites the file and installs what was read as the saved set.
// 0 when the file cannot be loaded; 1 otherwise.
int32_t tvr_restore_client_session();
int32_t tvr_restore_server_session();

}  // namespace obexses
