// SPDX-License-Identifier: MIT
// How obexsesctl speaks: the library's UTF-16 strings as UTF-8, paths in the
// platform's own form, local times and ages, tables in aligned columns, JSON
// documents of the format's version, and errors on standard error that name
// what failed and the system's reason. Memory exhaustion throws
// std::bad_alloc; a failed write to standard output throws std::system_error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/status.h"

namespace obexses::platform {
class Env;
}  // namespace obexses::platform

namespace obexsesctl {

using Json = nlohmann::ordered_json;

// The exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;  // something was found wrong or could not be done
inline constexpr int kExitUsage = 2;

// The version of the JSON form: it changes only when a member changes its
// meaning or goes away.
inline constexpr int kJsonFormatVersion = 1;

std::string Utf8(std::u16string_view text);
// A path as the library builds it (backslashes) in the platform's own form.
std::string ShownPath(std::u16string_view path);
// A path from the command line in the library's form.
std::u16string PathArgument(std::string_view argument);
// Paths of the file system library from and to UTF-8, which the platform's
// narrow strings are not on Windows.
std::filesystem::path NativePath(std::string_view utf8);
std::string PathUtf8(const std::filesystem::path& path);

// Seconds since 1970 as "YYYY-MM-DD HH:MM:SS" local time, or "?" when the
// platform cannot show that moment.
std::string LocalTime(int64_t seconds);
// A span in its two largest units: "45s", "12m05s", "3h05m", "2d03h"; a
// negative one (a time in the future) with a leading "-".
std::string Span(int64_t seconds);
// "1 session", "2 sessions".
std::string Count(size_t count, std::string_view noun);

// "obexsesctl: message" on standard error.
void PrintError(std::string_view message);
// "obexsesctl: PATH: the system's words for status" on standard error.
void PrintFailure(obexses::platform::Env* env, std::u16string_view path,
                  const obexses::platform::Status& status);
// The document {"format_version": 1, members of body...} on out.
void PrintJson(const Json& body, std::FILE* out = stdout);

// Rows printed in columns two spaces apart, each as wide as its widest
// cell; the last column is not padded.
class Table {
 public:
  explicit Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void Print(std::FILE* out = stdout) const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace obexsesctl
