// SPDX-License-Identifier: MIT
// The seams the module reaches its platform through, besides its files: the
// machine settings, the debugger output and the host's log. Each has the
// process's own backend (Default()) and may be replaced as a whole by a test
// or a tool; Platform bundles the four for the session store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace obexses::platform {

// What a settings query found.
enum class SettingStatus {
  kRead,      // the value, of at most 4 bytes, is in *value
  kMissing,   // no such key or value, or a value longer than 4 bytes
  kRejected,  // the settings store itself is unusable (POSIX: not a regular
              // file, or larger than 1 MiB); every value counts as missing
};

// The machine settings under HKEY_LOCAL_MACHINE\Software\Velmora\Brindleway:
// the registry on Windows, a file in the registry export format on POSIX.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  static SettingsStore* Default();

  // Reads a value into a 4-byte buffer, as RegQueryValueExW does: a value of
  // up to 4 bytes fills the low bytes of *value (which the caller has
  // zeroed), a longer one is missing.
  virtual SettingStatus QueryDword(const char16_t* name, uint32_t* value) = 0;
  // Where the settings come from, for messages: the key, or the file.
  virtual std::u16string Location() = 0;
};

// The debugger output: OutputDebugStringW on Windows, standard error on POSIX.
class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  static DebugOutput* Default();
  // One whole line, written at once.
  virtual void Write(const char16_t* line) = 0;
};

// The host's log library (utils.dll, ordinals 9 and 8).
class HostLog {
 public:
  virtual ~HostLog() = default;
  static HostLog* Default();
  // The wide-format call, with the one narrow-string argument the module
  // ever passes.
  virtual void Format(uint32_t level, const char16_t* tag, const char16_t* format,
                      const char* argument) = 0;
  // The narrow-text call.
  virtual void Text(uint32_t level, const char* tag, const char* text) = 0;
};

struct Platform {
  Env* env;
  SettingsStore* settings;
  DebugOutput* debug;
  HostLog* log;

  // The process's own.
  static Platform Default() {
    return {Env::Default(), SettingsStore::Default(), DebugOutput::Default(), HostLog::Default()};
  }
};

}  // namespace obexses::platform
