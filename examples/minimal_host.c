/* minimal_host: the smallest host of obexses, in C.
 *
 * It does what the Bluetooth host and one of its profile modules do: load the
 * library by path, look up the exports by name, start the module, ask it for
 * the service table, and then, as an Object Push client would, create a
 * session, fill it in place, save it, find it again and destroy it.
 *
 *   minimal_host [LIBRARY]    default: the library's installed name, found by
 *                             the system's usual search (obexses.dll beside
 *                             this program on Windows)
 *
 * Exit status 0 when every step gave the expected result. The module keeps
 * its files in the user's application-data folder: on Linux
 * $XDG_DATA_HOME/Velmora (or ~/.local/share/Velmora). docs/integration.md
 * tells the rules a host follows. */
#include <stdio.h>
#include <string.h>

#include "obexses/client_session.h"
#include "obexses/obexses.h"

#ifdef _WIN32
#include <windows.h>
#define DEFAULT_LIBRARY "obexses.dll"
typedef HMODULE Library;
#else
#include <dlfcn.h>
#define DEFAULT_LIBRARY "libobexses.so.0"
typedef void* Library;
#endif

/* Any function address; cast to the export's own type (obexses.h) before use. */
typedef void (*Function)(void);

static Library open_library(const char* path) {
#ifdef _WIN32
  return LoadLibraryA(path);
#else
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

static Function find_export(Library library, const char* name) {
#ifdef _WIN32
  return (Function)GetProcAddress(library, name);
#else
  /* ISO C has no cast from an object pointer to a function pointer. */
  Function function;
  void* address = dlsym(library, name);
  memcpy(&function, &address, sizeof function);
  return function;
#endif
}

static void close_library(Library library) {
#ifdef _WIN32
  FreeLibrary(library);
#else
  dlclose(library);
#endif
}

/* Names in a record are fixed UTF-16 arrays; copies are bounded by their size. */
static void set_name(char16_t* field, const char16_t* name) {
  size_t i = 0;
  for (; name[i] != 0 && i + 1 < OBEXSES_NAME_UNITS; ++i) field[i] = name[i];
  field[i] = 0;
}

/* The profile module's part: one OPP client session through the table alone. */
static int save_and_find(const SessionDdi* ddi) {
  static const uint8_t phone[6] = {0x00, 0x1a, 0x7d, 0xda, 0x71, 0x13};
  ClientSession* session = ddi->create_client_session(OBEXSES_PROFILE_OPP);
  if (session == NULL) return 0;
  memcpy(session->bdaddr, phone, sizeof phone);
  set_name(session->file_name, u"photo.jpg");
  /* 1 also when ObexSesSaveFile is off: the session is then kept in memory only. */
  const int saved = ddi->save_client_session(session);
  const ClientSession* found = ddi->find_client_session(phone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  printf("save_client_session: %d\nfind_client_session: %s\n", saved,
         found == session ? "the saved record" : "nothing");
  /* The transfer is over: the module unfiles and frees the record. */
  const int destroyed = ddi->destroy_client_session(session);
  printf("destroy_client_session: %d\n", destroyed);
  return saved == 1 && found == session && destroyed == 1;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : DEFAULT_LIBRARY;
  Library library = open_library(path);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s\n", path);
    return 1;
  }
  InitializeFn initialize = (InitializeFn)find_export(library, "Initialize");
  CallProfileCommandFn command = (CallProfileCommandFn)find_export(library, "CallProfileCommand");
  if (initialize == NULL || command == NULL) {
    fprintf(stderr, "%s lacks Initialize or CallProfileCommand\n", path);
    close_library(library);
    return 1;
  }
  printf("built with obexses %s, loaded %s\n", OBEXSES_VERSION_STRING, path);

  /* The module only tests the host's core interface for null. */
  static char core;
  const uint32_t started = initialize((ICore*)&core);
  printf("Initialize: %u\n", (unsigned)started);

  /* The table is the caller's storage; the module fills its 22 slots. */
  SessionDdi ddi;
  memset(&ddi, 0, sizeof ddi);
  command(u"QueryDdi", 1, &ddi);
  const int ok = started == 1 && ddi.create_client_session != NULL && save_and_find(&ddi);
  close_library(library);
  puts(ok ? "minimal_host: ok" : "minimal_host: FAILED");
  return ok ? 0 : 1;
}
