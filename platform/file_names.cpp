// SPDX-License-Identifier: MIT
#include "platform/file_names.h"

namespace obexses::platform::names {
namespace {

constexpr size_t kPathUnits = 260;  // terminator included
constexpr std::u16string_view kVendor = u"\\Velmora";
constexpr std::u16string_view kSession = u"\\Session";
constexpr std::u16string_view kTempList = u"\\tmp_lst";
constexpr std::u16string_view kLockSuffix = u".lock";
constexpr std::u16string_view kTemporarySuffix = u".tmp";
constexpr size_t kRandomDigits = 16;

// Appends as far as 259 units hold.
void AppendBounded(std::u16string* path, std::u16string_view piece) {
  const size_t room = kPathUnits - 1 > path->size() ? kPathUnits - 1 - path->size() : 0;
  path->append(piece.substr(0, room));
}

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

std::u16string VendorFolder(std::u16string_view app_data) {
  std::u16string path;
  AppendBounded(&path, app_data.substr(0, app_data.find(u'\0')));
  AppendBounded(&path, kVendor);
  return path;
}

std::u16string SessionFolder(std::u16string_view app_data) {
  std::u16string path = VendorFolder(app_data);
  AppendBounded(&path, kSession);
  return path;
}

std::u16string SessionFilePath(std::u16string_view app_data, bool client) {
  std::u16string path = SessionFolder(app_data);
  AppendBounded(&path, u"\\");
  AppendBounded(&path, client ? kClientFileName : kServerFileName);
  return path;
}

std::u16string TempListPath(std::u16string_view app_data) {
  if (app_data.empty() || app_data.find(u'\0') != std::u16string_view::npos) return {};
  if (app_data.size() + kVendor.size() + kTempList.size() >= kPathUnits) return {};
  return std::u16string(app_data) + std::u16string(kVendor) + std::u16string(kTempList);
}

std::u16string LockFilePath(std::u16string_view file) {
  return std::u16string(file) + std::u16string(kLockSuffix);
}

std::u16string TemporaryPath(std::u16string_view file, uint64_t random) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string path(file);
  path.push_back(u'.');
  for (size_t i = 0; i < kRandomDigits; ++i, random >>= 4) path.push_back(kDigits[random & 0xF]);
  path.append(kTemporarySuffix);
  return path;
}

bool IsTemporaryOf(std::u16string_view name, std::u16string_view file_name) {
  if (name.size() != file_name.size() + 1 + kRandomDigits + kTemporarySuffix.size() ||
      name.substr(0, file_name.size()) != file_name || name[file_name.size()] != u'.' ||
      name.substr(name.size() - kTemporarySuffix.size()) != kTemporarySuffix) {
    return false;
  }
  const std::u16string_view digits = name.substr(file_name.size() + 1, kRandomDigits);
  for (char16_t c : digits) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

std::u16string_view FolderOf(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  return separator == std::u16string_view::npos ? std::u16string_view(u".")
                                                : path.substr(0, separator);
}

std::u16string_view NameOf(std::u16string_view path) {
  const size_t separator = path.rfind(u'\\');
  return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace obexses::platform::names
