// SPDX-License-Identifier: MIT
// The ten exports, by their plain names with C linkage, and the load routine.
#include "module/module.h"

#if defined(_WIN32)
#define OBEXSES_EXPORT extern "C" __declspec(dllexport)
#else
#define OBEXSES_EXPORT extern "C" __attribute__((visibility("default")))
#endif

OBEXSES_EXPORT uint32_t OBEXSES_CALL Initialize(ICore* core) {
  return obexses::InitializeModule(obexses::ModuleStore(), core);
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL UnInitialize(void) {
  return 1;
}
OBEXSES_EXPORT void OBEXSES_CALL CallInitProfiles(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallUninitProfiles(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallProfileEvent(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallProfileCommand(const char16_t* name, uint32_t argument,
                                                    void* output) {
  obexses::RunProfileCommand(obexses::ModuleStore(), name, argument, output);
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL DoRemoteDeviceChanged(void) {
  return 1;
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL DoResume(void) {
  return 1;
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL DoSuspend(void) {
  return 1;
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL IsBusy(void) {
  return 0;
}

#if defined(_WIN32)
#include <windows.h>
// The load routine. The module's store is made when first used and destroyed
// by the runtime at process detach; nothing is left to do here.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
#endif
