// SPDX-License-Identifier: MIT
/* minimal_host: the smallest host of obexses, in C.
 *
 * It does what the Bluetooth host and one of its profile modules do: load the
 * library by path, look up the exports by name, start the module, ask it for
 * the service table, and then, as an Object Push client would, create a
 * session, fill it in place, save it, find it again and destroy it.
 *
 *   minimal_host [--user-data] [LIBRARY]
 *
 * LIBRARY defaults to the library's installed name, found by the system's
 * usual search (obexses.dll beside this program on Windows). The module's
 * start-up rewrites the session files of its application-data folder and
 * deletes the temporary files its list names, so by default the example
 * gives it a private folder: on Linux a fresh temporary folder as
 * $XDG_DATA_HOME, removed at the end. On Windows the folder comes from the
 * shell, so the example runs there only with --user-data, which lets the
 * module use the user's own folder (on Linux $XDG_DATA_HOME or
 * ~/.local/share) with those consequences.
 *
 * Exit status 0 when every step gave the expected result, 2 for a usage
 * error or a refusal. docs/integration.md tells the rules a host follows. */
#ifndef _WIN32
#define _XOPEN_SOURCE 700 /* mkdtemp, realpath, setenv, nftw */
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "obexses/client_session.h"
#include "obexses/obexses.h"

#ifdef _WIN32
#include <windows.h>
#define DEFAULT_LIBRARY "obexses.dll"
typedef HMODULE Library;
#else
#include <dlfcn.h>
#include <ftw.h>
#include <limits.h>
#include <unistd.h>
#define DEFAULT_LIBRARY "libobexses.so.0"
typedef void* Library;
#endif

static const char kUsage[] =
    "Usage: minimal_host [--user-data] [LIBRARY]\n"
    "Loads LIBRARY (default: " DEFAULT_LIBRARY
    ") as a Bluetooth host does, starts the module and\n"
    "saves, finds and destroys one Object Push client session through its service table.\n"
    "\n"
    "The module's start-up rewrites the session files of its application-data folder\n"
    "(without their sessions while the setting ObexSesSaveFile is off) and deletes the\n"
    "temporary files that its list there names. By default the example therefore gives\n"
    "it a private temporary folder (on Linux as $XDG_DATA_HOME) and removes it at the\n"
    "end; on Windows, where the shell names the folder, it refuses to run without\n"
    "--user-data.\n"
    "\n"
    "  --user-data  let the module use the current user's own application-data folder\n"
    "               (Windows: the roaming folder; Linux: $XDG_DATA_HOME or\n"
    "               ~/.local/share), with the consequences above for the user's own\n"
    "               saved sessions and temporary files\n";

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

/* The host's part: load, start, ask for the table, hand it on. */
static int run(const char* path) {
  Library library = open_library(path);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s\n", path);
    return 0;
  }
  InitializeFn initialize = (InitializeFn)find_export(library, "Initialize");
  CallProfileCommandFn command = (CallProfileCommandFn)find_export(library, "CallProfileCommand");
  if (initialize == NULL || command == NULL) {
    fprintf(stderr, "%s lacks Initialize or CallProfileCommand\n", path);
    close_library(library);
    return 0;
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
  return ok;
}

#ifndef _WIN32
static int remove_entry(const char* path, const struct stat* info, int type, struct FTW* walk) {
  (void)info, (void)type, (void)walk;
  return remove(path);
}

/* A fresh private folder, by its absolute path (the module takes
 * $XDG_DATA_HOME only when it is absolute), made the application-data folder
 * of libraries loaded from now on. */
static int enter_private_folder(char* folder, size_t size) {
  const char* base = getenv("TMPDIR");
  char made[PATH_MAX];
  if (base == NULL || base[0] == 0) base = "/tmp";
  if (snprintf(made, sizeof made, "%s/minimal_host.XXXXXX", base) >= (int)sizeof made) return 0;
  if (mkdtemp(made) == NULL) return 0;
  if (realpath(made, folder) == NULL || strlen(folder) >= size) {
    rmdir(made);
    return 0;
  }
  return setenv("XDG_DATA_HOME", folder, 1) == 0;
}

/* The folder and whatever the module left in it, without following links. */
static void remove_private_folder(const char* folder) {
  nftw(folder, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}
#endif

int main(int argc, char** argv) {
  int user_data = 0;
  const char* path = NULL;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--user-data") == 0) {
      user_data = 1;
    } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      fputs(kUsage, stdout);
      return 0;
    } else if (argv[i][0] == '-' || path != NULL) {
      fputs(kUsage, stderr);
      return 2;
    } else {
      path = argv[i];
    }
  }
  if (path == NULL) path = DEFAULT_LIBRARY;

#ifdef _WIN32
  if (!user_data) {
    fputs(
        "minimal_host: on Windows the module keeps its files in the user's own\n"
        "application-data folder, whose session files its start-up rewrites and whose\n"
        "listed temporary files it deletes; nothing was done. Run with --user-data to\n"
        "allow that (for example in a throw-away Wine prefix or a test account).\n",
        stderr);
    return 2;
  }
  puts("application-data folder: the user's own (--user-data)");
#else
  char folder[PATH_MAX] = "";
  if (user_data) {
    puts("application-data folder: the user's own (--user-data)");
  } else if (enter_private_folder(folder, sizeof folder)) {
    printf("application-data folder: %s (private, removed at the end)\n", folder);
  } else {
    fputs("minimal_host: cannot make a private application-data folder\n", stderr);
    return 1;
  }
#endif
  const int ok = run(path);
#ifndef _WIN32
  if (folder[0] != 0) remove_private_folder(folder);
#endif
  puts(ok ? "minimal_host: ok" : "minimal_host: FAILED");
  return ok ? 0 : 1;
}
