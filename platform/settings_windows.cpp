// SPDX-License-Identifier: MIT
// The machine settings on Windows: the registry, under HKEY_LOCAL_MACHINE.
#include <windows.h>

#include "platform/file_names.h"
#include "platform/forever.h"
#include "platform/platform.h"

namespace obexses::platform {
namespace {

class RegistrySettings final : public SettingsStore {
 public:
  // Opened for querying values only; the type is not asked for: any value of
  // up to 4 bytes is taken.
  SettingStatus QueryDword(const char16_t* name, uint32_t* value) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(names::kSettingsSubkey),
                      0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
      return SettingStatus::kMissing;
    }
    DWORD size = sizeof(*value);
    const LSTATUS status = RegQueryValueExW(key, reinterpret_cast<const wchar_t*>(name), nullptr,
                                            nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? SettingStatus::kRead : SettingStatus::kMissing;
  }

  std::u16string Location() override { return names::kSettingsKey; }
};

}  // namespace

SettingsStore* SettingsStore::Default() {
  return Forever<RegistrySettings>();
}

}  // namespace obexses::platform
