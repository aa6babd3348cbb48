// SPDX-License-Identifier: MIT
/* The host's logging library: a small replacement of our own for the host's
 * utils.dll. On Windows it is utils.dll and exports its two functions by
 * ordinal only (UtilsLogFormat as 9, UtilsLogText as 8); elsewhere it is
 * libobexses-hostlog.so and exports these two names and nothing else
 * (utils/hostlog.map).
 *
 * Lines are appended, as UTF-8, to the file named by the environment variable
 * OBEXSES_HOST_LOG, one line per call: "<level> <tag>: <text>". Without that
 * variable they go nowhere. */
#ifndef OBEXSES_UTILS_UTILS_H_
#define OBEXSES_UTILS_UTILS_H_

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(OBEXSES_BUILDING_UTILS)
/* utils.def exports them, by ordinal and without names. */
#define UTILS_API
#else
#define UTILS_API __declspec(dllimport)
#endif
#else
#define UTILS_API __attribute__((visibility("default")))
#endif

/* Ordinal 9: level, wide tag, wide printf-style format (%s UTF-16, %S narrow,
 * %d, %u, %x, %p), arguments. */
UTILS_API void UtilsLogFormat(uint32_t level, const char16_t* tag, const char16_t* format, ...);
/* Ordinal 8: level, narrow tag, narrow text. */
UTILS_API void UtilsLogText(uint32_t level, const char* tag, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* OBEXSES_UTILS_UTILS_H_ */
