// SPDX-License-Identifier: MIT
/* obexses: the OBEX session store that a Bluetooth host loads beside its
 * Object Push (0x1105) and File Transfer (0x1106) profile modules.
 *
 * The host calls the ten exports below by name. The profile modules reach
 * every session service through the 22-slot table that
 * CallProfileCommand(u"QueryDdi", 1, table) fills. Wide strings are UTF-16
 * (char16_t here, the same thing as wchar_t on Windows).
 *
 * The record layouts that the services hand out are in
 * obexses/client_session.h and obexses/server_session.h; the release macros
 * (OBEXSES_VERSION_STRING and others) in obexses/version.h, included here.
 * docs/integration.md says which calls may come from several threads, what
 * each service returns and who owns and frees what. */
#ifndef OBEXSES_OBEXSES_H_
#define OBEXSES_OBEXSES_H_

#include <stddef.h>
#include <stdint.h>

#include "obexses/version.h"
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define OBEXSES_CALL __cdecl
#else
#define OBEXSES_CALL
#endif

/* The host's core interface; the module only tests it for null. */
typedef struct ICore ICore;

typedef struct ClientSession ClientSession;
typedef struct ServerSession ServerSession;

/* Profile ids: the Bluetooth service classes of Object Push and File Transfer. */
#define OBEXSES_PROFILE_OPP 0x1105u
#define OBEXSES_PROFILE_FTP 0x1106u

/* Wide units of every name and path in a record, terminator included. */
#define OBEXSES_NAME_UNITS 260

/* Compile-time checks of the record layouts, for C11 and C++ alike. */
#ifdef __cplusplus
#define OBEXSES_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define OBEXSES_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif
#define OBEXSES_PIN(type, field, offset) \
  OBEXSES_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " lies at " #offset)

/* Called once per saved session by the enumerate services (slots 14, 15). */
typedef void(OBEXSES_CALL* SessionCallback)(void* record, void* context);

/* The service table, in slot order. */
typedef struct SessionDdi {
  ClientSession*(OBEXSES_CALL* create_client_session)(uint32_t profile);    /* 0 */
  int32_t(OBEXSES_CALL* destroy_client_session)(ClientSession* record);     /* 1 */
  int32_t(OBEXSES_CALL* save_client_session)(ClientSession* record);        /* 2 */
  ClientSession*(OBEXSES_CALL* find_client_session)(const uint8_t* address, /* 3 */
                                                    const char16_t* name, uint32_t profile);
  int32_t(OBEXSES_CALL* resume_client_session)(ClientSession* record);   /* 4 */
  ServerSession*(OBEXSES_CALL* create_server_session)(uint32_t profile); /* 5 */
  int32_t(OBEXSES_CALL* destroy_server_session)(ServerSession* record);  /* 6 */
  int32_t(OBEXSES_CALL* save_server_session)(ServerSession* record);     /* 7 */
  ServerSession*(OBEXSES_CALL* find_server_session)(const uint8_t* id);  /* 8 */
  int32_t(OBEXSES_CALL* resume_server_session)(ServerSession* record);   /* 9 */
  int32_t(OBEXSES_CALL* store_client_session)(void);                     /* 10 */
  int32_t(OBEXSES_CALL* restore_client_session)(void);                   /* 11 */
  int32_t(OBEXSES_CALL* store_server_session)(void);                     /* 12 */
  int32_t(OBEXSES_CALL* restore_server_session)(void);                   /* 13 */
  int32_t(OBEXSES_CALL* enum_client_session)(const uint8_t* address,     /* 14 */
                                             uint32_t profile, SessionCallback callback,
                                             void* context);
  int32_t(OBEXSES_CALL* enum_server_session)(uint32_t profile, /* 15 */
                                             SessionCallback callback, void* context);
  uint32_t(OBEXSES_CALL* client_file_changed)(ClientSession* record);          /* 16 */
  uint32_t(OBEXSES_CALL* server_file_changed)(ServerSession* record);          /* 17 */
  uint32_t(OBEXSES_CALL* client_transfer_file_changed)(ClientSession* record); /* 18 */
  uint32_t(OBEXSES_CALL* server_transfer_file_changed)(ServerSession* record); /* 19 */
  uint32_t(OBEXSES_CALL* client_file_size)(ClientSession* record);             /* 20 */
  uint32_t(OBEXSES_CALL* server_file_size)(ServerSession* record);             /* 21 */
} SessionDdi;

#define OBEXSES_DDI_SLOTS 22

/* The ten exports. */
uint32_t OBEXSES_CALL Initialize(ICore* core);
uint32_t OBEXSES_CALL UnInitialize(void);
void OBEXSES_CALL CallInitProfiles(void);
void OBEXSES_CALL CallUninitProfiles(void);
void OBEXSES_CALL CallProfileEvent(void);
void OBEXSES_CALL CallProfileCommand(const char16_t* name, uint32_t argument, void* output);
uint32_t OBEXSES_CALL DoRemoteDeviceChanged(void);
uint32_t OBEXSES_CALL DoResume(void);
uint32_t OBEXSES_CALL DoSuspend(void);
uint32_t OBEXSES_CALL IsBusy(void);

/* Function-pointer types of the ten exports, for a host that looks them up by
 * name (GetProcAddress, dlsym). */
typedef uint32_t(OBEXSES_CALL* InitializeFn)(ICore* core);
typedef uint32_t(OBEXSES_CALL* UnInitializeFn)(void);
typedef void(OBEXSES_CALL* CallInitProfilesFn)(void);
typedef void(OBEXSES_CALL* CallUninitProfilesFn)(void);
typedef void(OBEXSES_CALL* CallProfileEventFn)(void);
typedef void(OBEXSES_CALL* CallProfileCommandFn)(const char16_t* name, uint32_t argument,
                                                 void* output);
typedef uint32_t(OBEXSES_CALL* DoRemoteDeviceChangedFn)(void);
typedef uint32_t(OBEXSES_CALL* DoResumeFn)(void);
typedef uint32_t(OBEXSES_CALL* DoSuspendFn)(void);
typedef uint32_t(OBEXSES_CALL* IsBusyFn)(void);

OBEXSES_STATIC_ASSERT(sizeof(SessionDdi) == OBEXSES_DDI_SLOTS * sizeof(void*),
                      "22 slots, no padding");

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* OBEXSES_OBEXSES_H_ */
