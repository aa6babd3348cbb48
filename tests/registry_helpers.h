// Small helpers shared by the registry tests: expected trace lines, record
// fields filled the way a profile module fills them, and transfer files.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "records/client_session.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses::testing {

using Lines = std::vector<std::string>;

// A record address as the trace prints it: 16 uppercase hex digits.
inline std::string Ptr(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

// One debug trace line as handed to the debugger output.
inline std::string Trace(const std::string& message) {
  return "\nTavrin: " + message;
}

// Copies text into a 260-unit name field, as far as it fits.
inline void SetName(char16_t (&field)[OBEXSES_NAME_UNITS], const std::u16string& text) {
  text::CopyBounded(field, OBEXSES_NAME_UNITS, text);
}

// The test folder as the module writes paths, plus a file name.
inline std::u16string ModulePath(TestEnv& env, const std::string& name) {
  return env.app_data_u16() + u"\\" + text::FromUtf8(name);
}

// Writes a file of size bytes and gives it the last-write time when.
inline void WriteFileAt(const std::filesystem::path& path, size_t size,
                        std::filesystem::file_time_type when) {
  WriteFile(path, std::string(size, 'x'));
  std::filesystem::last_write_time(path, when);
}

// A whole second an hour ago: a last-write time every file system keeps exactly.
inline std::filesystem::file_time_type BaseTime() {
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  return std::chrono::floor<std::chrono::seconds>(hour_ago);
}

}  // namespace obexses::testing
