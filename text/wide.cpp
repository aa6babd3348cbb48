// SPDX-License-Identifier: MIT
#include "text/wide.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace obexses::text {

// Eight units at a time (four without SSE2) while no zero unit is among
// them, then one by one.
size_t BoundedLength(const char16_t* s, size_t max) {
  size_t n = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; n + 8 <= max; n += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)) != 0) break;
  }
#else
  constexpr uint64_t kLow = 0x0001000100010001ULL;
  constexpr uint64_t kHigh = 0x8000800080008000ULL;
  for (; n + 4 <= max; n += 4) {
    uint64_t word;
    std::memcpy(&word, s + n, sizeof word);
    if (((word - kLow) & ~word & kHigh) != 0) break;
  }
#endif
  while (n < max && s[n] != 0) ++n;
  return n;
}

size_t CopyBounded(char16_t* dst, size_t capacity, std::u16string_view src) {
  if (capacity == 0) return 0;
  const size_t n = std::min(src.size(), capacity - 1);
  std::copy_n(src.data(), n, dst);
  dst[n] = 0;
  return n;
}

void AppendBounded(char16_t* dst, size_t capacity, std::u16string_view src) {
  if (capacity == 0) return;
  const size_t used = BoundedLength(dst, capacity - 1);
  CopyBounded(dst + used, capacity - used, src);
}

std::u16string_view FixedView(const char16_t* array, size_t capacity) {
  return std::u16string_view(array, BoundedLength(array, capacity));
}

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at text[i] and its code point, or
// 0 when the bytes there are not one (overlong forms, encoded surrogates and
// points beyond U+10FFFF included).
size_t DecodeOne(std::string_view text, size_t i, char32_t* point) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    *point = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *point = value;
  return length;
}

void PutUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

bool IsHigh(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string name;
  name.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t point = 0;
    const size_t length = DecodeOne(bytes, i, &point);
    if (length == 0) {
      name.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
      ++i;
    } else if (point >= 0x10000) {
      name.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      name.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
      i += length;
    } else {
      name.push_back(static_cast<char16_t>(point));
      i += length;
    }
  }
  return name;
}

std::string ToUtf8(std::u16string_view name) {
  std::string bytes;
  bytes.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (IsHigh(unit) && i + 1 < name.size() && IsLow(name[i + 1])) {
      PutUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (name[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      bytes.push_back(static_cast<char>(unit - kEscapeBase));
    } else {
      PutUtf8(bytes, unit);
    }
  }
  return bytes;
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

}  // namespace obexses::text
