// SPDX-License-Identifier: MIT
/* A host that links the library instead of loading it, built as strict C11
 * against obexses as a package would give it; the record layouts' offset pins
 * are compiled here too. */
#include <obexses/client_session.h>
#include <obexses/obexses.h>
#include <obexses/server_session.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  static char core;
  SessionDdi ddi;
  memset(&ddi, 0, sizeof ddi);
  if (Initialize((ICore*)&core) != 1) return 1;
  CallProfileCommand(u"QueryDdi", 1, &ddi);
  if (ddi.create_server_session == NULL) return 2;
  ServerSession* session = ddi.create_server_session(OBEXSES_PROFILE_FTP);
  const int ok = session != NULL && session->profile_id == OBEXSES_PROFILE_FTP &&
                 ddi.destroy_server_session(session) == 1;
  printf("obexses %s: %s\n", OBEXSES_VERSION_STRING, ok ? "linked and working" : "FAILED");
  return ok ? 0 : 3;
}
