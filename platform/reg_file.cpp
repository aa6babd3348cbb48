// SPDX-License-Identifier: MIT
#include "platform/reg_file.h"

#include <optional>
#include <vector>

#include "text/wide.h"

namespace obexses::platform {
namespace {

std::u16string DecodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
  }
  std::string_view view(bytes);
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  return text::FromUtf8(view);
}

// A backslash at the end of a line, outside any quoted text, continues the
// line: long hex data is exported as "Name"=hex:01,02,\ and more lines.
bool ContinuesOnNextLine(std::u16string_view line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == u'\\') {
      ++i;
    } else if (line[i] == u'"') {
      quoted = !quoted;
    } else if (!quoted && line[i] == u'\\' && i + 1 == line.size()) {
      return true;
    }
  }
  return false;
}

// Logical lines: a line ending in a backslash continues on the next one (hex data).
std::vector<std::u16string> LogicalLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  std::u16string current;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line(text.data() + start, end - start);
    while (!line.empty() && (line.back() == u'\r' || line.back() == u' ' || line.back() == u'\t'))
      line.remove_suffix(1);
    while (!current.empty() && !line.empty() && (line.front() == u' ' || line.front() == u'\t'))
      line.remove_prefix(1);
    if (ContinuesOnNextLine(line)) {
      current.append(line.substr(0, line.size() - 1));
    } else {
      current.append(line);
      lines.push_back(std::move(current));
      current.clear();
    }
    start = end + 1;
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses a quoted string starting at s[pos] == '"'; returns the position after
// the closing quote, or npos.
size_t ParseQuoted(std::u16string_view s, size_t pos, std::u16string* out) {
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size()) {
      out->push_back(s[++i]);
    } else if (s[i] == u'"') {
      return i + 1;
    } else {
      out->push_back(s[i]);
    }
  }
  return std::u16string_view::npos;
}

std::optional<std::string> ParseDword(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char16_t c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return data;
}

std::optional<std::string> ParseHexList(std::u16string_view list) {
  std::string data;
  int nibbles = 0;
  int byte = 0;
  for (char16_t c : list) {
    if (c == u',' || c == u' ' || c == u'\t') {
      if (nibbles > 0) data.push_back(static_cast<char>(byte));
      nibbles = 0;
      byte = 0;
      continue;
    }
    const int d = HexDigit(c);
    if (d < 0 || nibbles == 2) return std::nullopt;
    byte = (byte << 4) | d;
    ++nibbles;
  }
  if (nibbles > 0) data.push_back(static_cast<char>(byte));
  return data;
}

std::optional<std::string> ParseData(std::u16string_view rhs) {
  if (!rhs.empty() && rhs.front() == u'"') {
    std::u16string value;
    if (ParseQuoted(rhs, 0, &value) == std::u16string_view::npos) return std::nullopt;
    std::string data;
    for (char16_t u : value) {
      data.push_back(static_cast<char>(u & 0xFF));
      data.push_back(static_cast<char>(u >> 8));
    }
    data.append(2, '\0');
    return data;
  }
  auto lower = std::u16string(rhs.substr(0, rhs.find(u':')));
  for (auto& c : lower) c = (c >= u'A' && c <= u'Z') ? c + 32 : c;
  const size_t colon = rhs.find(u':');
  if (colon == std::u16string_view::npos) return std::nullopt;
  const auto body = rhs.substr(colon + 1);
  if (lower == u"dword") return ParseDword(body);
  if (lower == u"hex" || lower.rfind(u"hex(", 0) == 0) return ParseHexList(body);
  return std::nullopt;
}

std::u16string_view TrimFront(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  return text;
}

}  // namespace

std::u16string RegValueKey(std::u16string_view value_name) {
  std::u16string key(value_name);
  for (char16_t& c : key) c = text::FoldAscii(c);
  return key;
}

RegSection ReadRegSection(const std::string& file_bytes, std::u16string_view key_path) {
  RegSection section;
  bool in_section = false;
  for (const auto& line : LogicalLines(DecodeFile(file_bytes))) {
    std::u16string_view view(line);
    view = TrimFront(view);
    if (view.empty() || view.front() == u';') continue;
    if (view.front() == u'[') {
      const size_t close = view.rfind(u']');
      in_section = close != std::u16string_view::npos &&
                   text::EqualsAsciiNoCase(view.substr(1, close - 1), key_path);
      continue;
    }
    if (!in_section || view.front() != u'"') continue;
    std::u16string name;
    size_t pos = ParseQuoted(view, 0, &name);
    if (pos == std::u16string_view::npos) continue;
    std::u16string_view rest = TrimFront(view.substr(pos));
    if (!rest.starts_with(u'=')) continue;
    const std::u16string_view rhs = TrimFront(rest.substr(1));
    std::optional<std::string> data = rhs == u"-" ? std::nullopt : ParseData(rhs);
    if (data) {
      section[RegValueKey(name)] = std::move(*data);
    } else {
      section.erase(RegValueKey(name));
    }
  }
  return section;
}

bool FindRegFileValue(const std::string& file_bytes, std::u16string_view key_path,
                      std::u16string_view value_name, std::string* data) {
  const RegSection section = ReadRegSection(file_bytes, key_path);
  auto it = section.find(RegValueKey(value_name));
  if (it == section.end()) return false;
  *data = it->second;
  return true;
}

}  // namespace obexses::platform
