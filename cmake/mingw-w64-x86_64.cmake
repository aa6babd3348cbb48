# SPDX-License-Identifier: MIT
# Cross-build for 64-bit Windows with Debian's MinGW-w64 toolchain, POSIX
# threads variant (std::mutex and std::thread need it). The C and C++
# runtimes and winpthread are linked statically, so that the built DLL and
# executables need nothing beyond Windows' own DLLs and our utils.dll.
# Test programs run under Wine (wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OBEXSES_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OBEXSES_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OBEXSES_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${OBEXSES_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OBEXSES_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static: libstdc++, libgcc and libwinpthread from their archives; the
# Windows import libraries are archives too, so system DLLs stay imports.
set(OBEXSES_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${OBEXSES_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${OBEXSES_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${OBEXSES_STATIC_RUNTIME}")

# Test programs run under Wine, through a wrapper that gives their output
# Unix line ends. Debian installs the 64-bit loader outside PATH.
find_program(OBEXSES_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(OBEXSES_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
