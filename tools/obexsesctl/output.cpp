// SPDX-License-Identifier: MIT
#include "tools/obexsesctl/output.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <algorithm>
#include <ctime>

#include "platform/env.h"
#include "text/wide.h"

namespace obexsesctl {

std::string Utf8(std::u16string_view text) {
  return obexses::text::ToUtf8(text);
}

std::string ShownPath(std::u16string_view path) {
  std::string shown = Utf8(path);
#ifndef _WIN32
  std::replace(shown.begin(), shown.end(), '\\', '/');
#endif
  return shown;
}

std::u16string PathArgument(std::string_view argument) {
  return obexses::text::FromUtf8(argument);
}

std::filesystem::path NativePath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string LocalTime(int64_t seconds) {
  try {
    return fmt::format("{:%Y-%m-%d %H:%M:%S}", fmt::localtime(static_cast<std::time_t>(seconds)));
  } catch (const fmt::format_error&) {
    return "?";  // before or beyond what the platform's calendar reaches
  }
}

std::string Span(int64_t seconds) {
  // The most negative value has no positive counterpart; a second more or
  // less makes no difference to a person there.
  if (seconds < 0) return "-" + Span(seconds == INT64_MIN ? INT64_MAX : -seconds);
  static constexpr struct {
    int64_t seconds;
    char name;
  } kUnits[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};
  for (size_t i = 0; i + 1 < std::size(kUnits); ++i) {
    const auto& unit = kUnits[i];
    const auto& next = kUnits[i + 1];
    if (seconds >= unit.seconds) {
      return fmt::format("{}{}{:02}{}", seconds / unit.seconds, unit.name,
                         seconds % unit.seconds / next.seconds, next.name);
    }
  }
  return fmt::format("{}s", seconds);
}

std::string Count(size_t count, std::string_view noun) {
  return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

void PrintError(std::string_view message) {
  fmt::print(stderr, "obexsesctl: {}\n", message);
}

void PrintFailure(obexses::platform::Env* env, std::u16string_view path,
                  const obexses::platform::Status& status) {
  PrintError(fmt::format("{}: {}", ShownPath(path), env->Describe(status)));
}

void PrintJson(const Json& body, std::FILE* out) {
  Json document = {{"format_version", kJsonFormatVersion}};
  document.update(body);
  // A name that is not UTF-8 (a POSIX file name's bytes) shows as U+FFFD.
  fmt::print(out, "{}\n", document.dump(2, ' ', false, Json::error_handler_t::replace));
}

namespace {

// Characters, not bytes: UTF-8 continuation bytes take no column, as {fmt}
// counts them when it pads.
size_t Columns(const std::string& cell) {
  return static_cast<size_t>(
      std::count_if(cell.begin(), cell.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

void Table::Print(std::FILE* out) const {
  std::vector<size_t> widths;
  for (const auto& row : rows_) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
  }
  for (const auto& row : rows_) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? fmt::format("{:<{}}  ", row[i], widths[i]) : row[i];
    }
    line.erase(line.find_last_not_of(' ') + 1);  // an empty last cell leaves no blanks
    fmt::print(out, "{}\n", line);
  }
}

}  // namespace obexsesctl
