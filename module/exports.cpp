// The ten exports, by their plain names with C linkage, and the load routine.
#include "module/module.h"

#if defined(_WIN32)
#define OBEXSES_EXPORT extern "C" __declspec(dllexport)
#else
#define OBEXSES_EXPORT extern "C" __attribute__((visibility("default")))
#endif

OBEXSES_EXPORT uint32_t OBEXSES_CALL Initialize(ICore* core) {
  return obexses::InitializeModule(core);
}
OBEXSES_EXPORT uint32_t OBEXSES_CALL UnInitialize(void) {
  return 1;
}
OBEXSES_EXPORT void OBEXSES_CALL CallInitProfiles(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallUninitProfiles(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallProfileEvent(void) {}
OBEXSES_EXPORT void OBEXSES_CALL CallProfileCommand(const char16_t* name, uint32_t argument,
                                                    void* output) {
  obexses::RunProfileCommand(name, argument, output);
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
// The load routine. The module state (module/state.cpp) is constructed by the
// runtime at process attach just before this runs, the session lock last, and
// destroyed at process detach in reverse order.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
#endif
