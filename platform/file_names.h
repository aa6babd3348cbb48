// SPDX-License-Identifier: MIT
// Every name the module and its tool give a file: the session folder and the
// two session files below the application-data folder, the lock file and the
// temporary files of a store beside its file, the temporary file list, and
// where the machine settings are kept. Paths are built as the module builds
// them, in buffers of 260 units: a path that does not fit is cut at 259.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace obexses::platform::names {

// "<app data>\Velmora", "<app data>\Velmora\Session".
std::u16string VendorFolder(std::u16string_view app_data);
std::u16string SessionFolder(std::u16string_view app_data);
// "<app data>\Velmora\Session\ClientSession.xml" (client) or
// "...\ServerSession.xml".
std::u16string SessionFilePath(std::u16string_view app_data, bool client);
inline constexpr char16_t kClientFileName[] = u"ClientSession.xml";
inline constexpr char16_t kServerFileName[] = u"ServerSession.xml";

// "<app data>\Velmora\tmp_lst"; empty when it would not fit into 259 units,
// or there is no application-data folder.
std::u16string TempListPath(std::u16string_view app_data);

// "<file>.lock": the lock the stores of file take turns with.
std::u16string LockFilePath(std::u16string_view file);
// "<file>.<16 hex digits>.tmp": a store's temporary file of file.
std::u16string TemporaryPath(std::u16string_view file, uint64_t random);
// Is name (without folder) a temporary file's name of the file named file_name?
bool IsTemporaryOf(std::u16string_view name, std::u16string_view file_name);

// The folder part and the name part of a path (split at its last '\').
std::u16string_view FolderOf(std::u16string_view path);
std::u16string_view NameOf(std::u16string_view path);

// The machine settings: the registry key, and on POSIX the file that stands
// for it, $OBEXSES_REGISTRY when set and not empty, else this one.
inline constexpr char16_t kSettingsKey[] = u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";
inline constexpr char16_t kSettingsSubkey[] = u"Software\\Velmora\\Brindleway";
inline constexpr char kSettingsFileVariable[] = "OBEXSES_REGISTRY";
inline constexpr char kDefaultSettingsFile[] = "/etc/obexses/registry.reg";

}  // namespace obexses::platform::names
