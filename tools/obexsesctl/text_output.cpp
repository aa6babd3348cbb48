#include "tools/obexsesctl/text_output.h"

#include <algorithm>
#include <ctime>

#include "text/wide.h"

namespace obexsesctl {

std::string Utf8(std::u16string_view text) {
  return obexses::text::ToUtf8(text);
}

std::string PathUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string ShownPath(std::u16string_view path) {
  std::string shown = Utf8(path);
#ifndef _WIN32
  std::replace(shown.begin(), shown.end(), '\\', '/');
#endif
  return shown;
}

std::string DeviceAddress(const uint8_t* bytes) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2],
                bytes[3], bytes[4], bytes[5]);
  return text;
}

std::string LowerHex(const uint8_t* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string LocalTime(int64_t seconds) {
  const auto moment = static_cast<std::time_t>(seconds);
  std::tm parts{};
#ifdef _WIN32
  const bool ok = localtime_s(&parts, &moment) == 0;
#else
  const bool ok = localtime_r(&moment, &parts) != nullptr;
#endif
  char text[64];
  if (!ok || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0) return "?";
  return text;
}

std::string Span(int64_t seconds) {
  if (seconds < 0) {
    // The most negative value has no positive counterpart; a day more or
    // less makes no difference to a person there.
    return "-" + Span(seconds == INT64_MIN ? INT64_MAX : -seconds);
  }
  struct Unit {
    int64_t seconds;
    char name;
  };
  static constexpr Unit kUnits[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};
  for (size_t i = 0; i + 1 < std::size(kUnits); ++i) {
    if (seconds < kUnits[i].seconds) continue;
    const Unit& next = kUnits[i + 1];
    char text[48];
    std::snprintf(text, sizeof text, "%lld%c%02lld%c",
                  static_cast<long long>(seconds / kUnits[i].seconds), kUnits[i].name,
                  static_cast<long long>(seconds % kUnits[i].seconds / next.seconds), next.name);
    return text;
  }
  return std::to_string(seconds) + "s";
}

namespace {

// Characters, not bytes: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& cell) {
  return static_cast<size_t>(
      std::count_if(cell.begin(), cell.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

std::string Count(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void Table::Print(std::FILE* out) const {
  std::vector<size_t> widths;
  for (const auto& row : rows_) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Columns(row[i]));
  }
  for (const auto& row : rows_) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - Columns(row[i]) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);  // an empty last cell leaves no blanks
    std::fprintf(out, "%s\n", line.c_str());
  }
}

}  // namespace obexsesctl
