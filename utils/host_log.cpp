// SPDX-License-Identifier: MIT
// The replacement host log: formats each call into one line and appends it to
// the file named by OBEXSES_HOST_LOG.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "text/format.h"
#include "text/wide.h"
#include "utils/utils.h"

namespace {

std::mutex g_log_mutex;

void AppendLine(uint32_t level, const std::string& tag, const std::string& text) {
  const char* path = std::getenv("OBEXSES_HOST_LOG");
  if (path == nullptr || *path == 0) return;
  const std::string line = std::to_string(level) + " " + tag + ": " + text + "\n";
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (std::FILE* file = std::fopen(path, "ab")) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
}

// Pulls one argument per conversion of format out of the va_list, by the
// conversion's own type, so that the shared formatter can do the rest.
std::vector<obexses::text::FormatArg> CollectArguments(const char16_t* format, va_list args) {
  std::vector<obexses::text::FormatArg> list;
  for (const char16_t* p = format; *p != 0; ++p) {
    if (*p != u'%') continue;
    ++p;
    if (*p == u'%') continue;
    while (*p == u'0' || (*p >= u'1' && *p <= u'9') || *p == u'l' || *p == u'h') ++p;
    switch (*p) {
      case u's':
        list.emplace_back(va_arg(args, const char16_t*));
        break;
      case u'S':
        list.emplace_back(va_arg(args, const char*));
        break;
      case u'p':
        list.emplace_back(va_arg(args, const void*));
        break;
      case u'd':
      case u'i':
        list.emplace_back(va_arg(args, int));
        break;
      case u'u':
      case u'x':
      case u'X':
        list.emplace_back(va_arg(args, unsigned));
        break;
      case 0:
        return list;
      default:
        break;
    }
  }
  return list;
}

}  // namespace

extern "C" void UtilsLogFormat(uint32_t level, const char16_t* tag, const char16_t* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  const auto list = CollectArguments(format, args);
  va_end(args);
  std::u16string text;
  obexses::text::FormatAppend(text, 4096, format, list.data(), list.size());
  AppendLine(level, tag != nullptr ? obexses::text::ToUtf8(tag) : std::string(),
             obexses::text::ToUtf8(text));
}

extern "C" void UtilsLogText(uint32_t level, const char* tag, const char* text) {
  AppendLine(level, tag != nullptr ? tag : "", text != nullptr ? text : "");
}
