#include "persist/value_codec.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace obexses::persist {
namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// A unit that is not a hex digit counts as 0.
uint8_t NibbleOf(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return static_cast<uint8_t>(unit - u'0');
  if (unit >= u'A' && unit <= u'F') return static_cast<uint8_t>(unit - u'A' + 10);
  if (unit >= u'a' && unit <= u'f') return static_cast<uint8_t>(unit - u'a' + 10);
  return 0;
}

struct Escape {
  char16_t raw;
  std::u16string_view form;
};

// The six forms a text value may carry in the file, and what each stands for.
constexpr std::array<Escape, 6> kEscapes = {{{u'<', u"&lt;"},
                                             {u'>', u"&gt;"},
                                             {u'=', u"&#61;"},
                                             {u'\'', u"&apos;"},
                                             {u'"', u"&quot;"},
                                             {u'&', u"&amp;"}}};

// The escape whose form starts text at position, or null.
const Escape* FormAt(std::u16string_view text, size_t position) {
  for (const Escape& escape : kEscapes) {
    if (text.substr(position, escape.form.size()) == escape.form) return &escape;
  }
  return nullptr;
}

// The form that stands for a markup character, or empty when it stands for itself.
std::u16string_view FormOf(char16_t unit) {
  for (const Escape& escape : kEscapes) {
    if (escape.raw == unit && unit != u'&') return escape.form;
  }
  return {};
}

}  // namespace

std::string FileBytes(const SessionText& text) {
  std::string bytes;
  bytes.reserve(2 + 2 * text.units.size());
  bytes.push_back(static_cast<char>(0xFF));
  bytes.push_back(static_cast<char>(0xFE));
  for (char16_t unit : text.units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

char16_t* BinToHex(const void* bytes, int32_t count) {
  if (count < 1) return nullptr;
  const size_t n = static_cast<size_t>(count);
  auto* digits = static_cast<char16_t*>(std::malloc((2 * n + 1) * sizeof(char16_t)));
  if (digits == nullptr) return nullptr;
  const auto* in = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < n; ++i) {
    digits[2 * i] = kHexDigits[in[i] >> 4];
    digits[2 * i + 1] = kHexDigits[in[i] & 0x0F];
  }
  digits[2 * n] = 0;
  return digits;
}

uint8_t* HexToBin(const char16_t* text, uint32_t* count) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  const size_t n = length / 2;
  // One byte more than needed so that an empty text still gets a block.
  auto* bytes = static_cast<uint8_t*>(std::malloc(n + 1));
  if (bytes == nullptr) {
    *count = 0;
    return nullptr;
  }
  for (size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>(NibbleOf(text[2 * i]) << 4 | NibbleOf(text[2 * i + 1]));
  }
  *count = static_cast<uint32_t>(n);
  return bytes;
}

std::u16string EscapeText(std::u16string_view value) {
  std::u16string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const std::u16string_view form = FormOf(value[i]);
    if (!form.empty()) {
      out.append(form);
    } else if (value[i] == u'&' && FormAt(value, i) != nullptr) {
      // Only an '&' that would be read back as the start of a form needs one.
      out.append(u"&amp;");
    } else {
      out.push_back(value[i]);
    }
  }
  return out;
}

std::u16string UnescapeText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const Escape* escape = text[i] == u'&' ? FormAt(text, i) : nullptr;
    if (escape != nullptr) {
      out.push_back(escape->raw);
      i += escape->form.size();
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace obexses::persist
