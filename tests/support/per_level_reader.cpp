// SPDX-License-Identifier: MIT
#include "tests/support/per_level_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace obexses::testing {
namespace {

enum class Mode { kIdle, kCollecting, kFlushing };

class PerLevel {
 public:
  explicit PerLevel(std::u16string_view text) : text_(text) {}

  static bool IsQuote(char16_t c) { return c == u'\'' || c == u'"'; }
  static std::u16string UpToZero(std::u16string_view s) {
    return std::u16string(s.substr(0, s.find(u'\0')));
  }
  // Children are separated by one space.
  static void Add(std::u16string& children, const std::u16string& child) {
    children += (children.empty() ? u"" : u" ") + child;
  }

  // One level's scan of first..last; out receives the element's children.
  int Level(std::u16string& out, int64_t first, int64_t last, int depth) {
    if (depth > 64) return 0;
    const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(text_.size()) - 1);
    Mode mode = Mode::kIdle;
    std::u16string token, open;
    int64_t count = 0, child_start = 0, content = first, equals = 0, open_quote = 0,
            close_quote = 0;
    bool tag = false, pure = true, pending = false;
    int result = 0;
    for (int64_t i = first; i <= end; ++i) {
      const char16_t c = text_[i];
      if (c == u'<') {
        token.clear(), count = 0, mode = Mode::kIdle, tag = true, pure = false;
      } else if (c == u'>') {
        mode = Mode::kFlushing, content = i + 1;
      } else if (c == u' ' && mode != Mode::kIdle) {
        mode = Mode::kFlushing;
      } else if (c == u'?' || c == u'!') {
        mode = Mode::kIdle;
      }
      if (mode == Mode::kCollecting && count++ < 256) token.push_back(c);
      if (mode == Mode::kFlushing && ++count > 0 && tag) {
        tag = false;
        const int64_t length = count - 1;
        if (open.empty()) {
          if (length > 254) return 0;
          open = UpToZero(token), child_start = i + 1;
        } else if (length < 256 && UpToZero(token) == u"/" + open) {
          std::u16string children;
          result = Level(children, child_start, i - count - 1, depth + 1);
          Add(out, open + u"[" + children + u"]");
          if (result == 0) return 0;
          open.clear();
        } else {
          result = 0;
        }
      }
      if (c == u'<') {
        mode = Mode::kCollecting;
      } else if (c == u'>' || c == u' ' || c == u'?') {
        mode = Mode::kIdle;
      } else if (c == u'=') {
        if (!pending || i >= open_quote) {
          open_quote = Quote(i + 1, end);
          close_quote = open_quote <= end ? Quote(open_quote + 1, end) : end + 1;
        }
        pending = true, equals = i;
      }
      if (pending && close_quote == i && open.empty()) {
        const auto length = std::min<int64_t>(close_quote - open_quote - 1, 2047);
        Add(out, u"@" + Name(equals) + u"=" + UpToZero(text_.substr(open_quote + 1, length)));
      }
    }
    if (!pure) return result;
    const std::u16string_view rest =
        content <= end ? text_.substr(content, end - content + 1) : std::u16string_view();
    Add(out, u"'" + UpToZero(rest) + u"'");
    return 1;
  }

 private:
  int64_t Quote(int64_t from, int64_t end) const {
    while (from <= end && !IsQuote(text_[from])) ++from;
    return from;
  }

  std::u16string Name(int64_t equals) const {
    std::u16string name;
    for (int64_t i = equals - 1; i >= 0 && name.size() < 255; --i) {
      const char16_t c = text_[i];
      if (c == u' ' || c == u'<' || c == u'>' || c == u'?' || c == u'!') break;
      if (!IsQuote(c)) name.insert(name.begin(), c);
    }
    return UpToZero(name);
  }

  std::u16string_view text_;
};

}  // namespace

int LoadPerLevel(const void* data, size_t size, std::u16string* tree) {
  tree->clear();
  if (size == 0) return 0;
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  std::u16string children;
  const int result = PerLevel(units).Level(children, 0, int64_t(units.size()) - 1, 1);
  *tree = u"XML:ROOT[" + children + u"]";
  return result != 0 ? 1 : 0;
}

std::u16string Dump(const xml::CXMLElement* node) {
  if (node == nullptr) return u"";
  if (node->m_nType != xml::XML_ELEMENT) {
    return u"@" + std::u16string(node->Name()) + u"=" + std::u16string(node->Value());
  }
  std::u16string children;
  uint32_t count = 0;
  for (const xml::CXMLElement* c = node->FirstChild(); c != nullptr;
       c = c->NextSibling(), ++count) {
    PerLevel::Add(children, Dump(c));
  }
  if (const auto text = node->GetText())
    PerLevel::Add(children, u"'" + std::u16string(*text) + u"'");
  return std::u16string(node->Name()) + (count == node->m_nChildCount ? u"[" : u"#[") + children +
         u"]";
}

}  // namespace obexses::testing
