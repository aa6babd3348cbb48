// How obexsesctl shows things to a person: UTF-8 text of the module's
// UTF-16 strings, paths in the platform's own form, device addresses, local
// times and ages, and tables with aligned columns. Pure functions of their
// arguments (local time depends on the process's time zone, TZ on POSIX);
// nothing fails but memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace obexsesctl {

std::string Utf8(std::u16string_view text);
// Paths of the file system library and UTF-8 (which the platform's narrow
// strings are not on Windows).
std::string PathUtf8(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(const std::string& text);
// A path as the module builds it (backslashes) in the platform's form: with
// slashes on POSIX.
std::string ShownPath(std::u16string_view path);
// Six bytes as 00:11:22:33:44:55, in stored order.
std::string DeviceAddress(const uint8_t* bytes);
// Bytes as lowercase hex digits, in stored order.
std::string LowerHex(const uint8_t* bytes, size_t count);
// Seconds since 1970 as "YYYY-MM-DD HH:MM:SS" local time, or "?" when the
// platform cannot show that moment.
std::string LocalTime(int64_t seconds);
// A span of seconds in its two largest units: "45s", "12m05s", "3h05m",
// "2d03h"; a negative span (a time in the future) with a leading "-".
std::string Span(int64_t seconds);

// "1 session", "2 sessions".
std::string Count(size_t count, const char* noun);

// Rows of cells printed in columns two spaces apart, each as wide as its
// widest cell; the last column is not padded.
class Table {
 public:
  explicit Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void Print(std::FILE* out) const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace obexsesctl
