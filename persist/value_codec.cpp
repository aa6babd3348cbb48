// SPDX-License-Identifier: MIT
#include "persist/value_codec.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "persist/block_writes.h"

namespace obexses::persist {
namespace {

// The value of each unit below 256 as a hex digit; a unit that is not a hex
// digit counts as 0.
struct Nibbles {
  uint8_t of[256];
  constexpr Nibbles() : of() {
    for (int i = 0; i < 10; ++i) of[u'0' + i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 6; ++i) {
      of[u'A' + i] = static_cast<uint8_t>(10 + i);
      of[u'a' + i] = static_cast<uint8_t>(10 + i);
    }
  }
};
constexpr Nibbles kNibbles;

uint8_t NibbleOf(char16_t unit) {
  return unit < 256 ? kNibbles.of[unit] : 0;
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

// The form unit must be written as, or empty when it stands for itself: an
// "&" needs one only where it would be read back as the start of a form.
std::u16string_view FormOf(std::u16string_view value, size_t i) {
  if (value[i] == u'&') return FormAt(value, i) != nullptr ? u"&amp;" : u"";
  for (const Escape& escape : kEscapes) {
    if (escape.raw == value[i]) return escape.form;
  }
  return {};
}

// Hands the escaped value to append in runs: plain units together, each form
// on its own.
template <typename AppendRun>
void Escaped(std::u16string_view value, AppendRun append) {
  size_t plain = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const std::u16string_view form = FormOf(value, i);
    if (form.empty()) continue;
    append(value.substr(plain, i - plain));
    append(form);
    plain = i + 1;
  }
  append(value.substr(plain));
}

// Hands each decoded unit to put, until put returns false.
template <typename Put>
void Unescaped(std::u16string_view text, Put put) {
  size_t i = 0;
  while (i < text.size()) {
    const Escape* escape = text[i] == u'&' ? FormAt(text, i) : nullptr;
    if (!put(escape != nullptr ? escape->raw : text[i])) return;
    i += escape != nullptr ? escape->form.size() : 1;
  }
}

#if defined(__SSE2__)
using blocks::FormsIn;
using blocks::LoadBlock;
using blocks::PutEightDigits;

// Fewer than eight bytes as the low bytes of a word, read in at most three
// loads (most fields are one, two or four bytes wide).
uint64_t ShortRun(const uint8_t* in, size_t count) {
  uint64_t word = 0;
  size_t at = 0;
  if (count >= 4) {
    uint32_t four = 0;
    std::memcpy(&four, in, sizeof four);
    word = four;
    at = 4;
  }
  if (count - at >= 2) {
    uint16_t two = 0;
    std::memcpy(&two, in + at, sizeof two);
    word |= uint64_t{two} << (8 * at);
    at += 2;
  }
  if (at < count) word |= uint64_t{in[at]} << (8 * at);
  return word;
}

// Eight bytes at a time, a short last run as eight too: its digits are
// followed by scratch, within kPutSlack.
void WriteDigits(const uint8_t* in, size_t count, char16_t* out) {
  const size_t i = count - count % 8;
  PutHexWords(out, in, i);
  if (i < count) {
    PutEightDigits(out + 2 * i,
                   _mm_set_epi64x(0, static_cast<int64_t>(ShortRun(in + i, count - i))));
  }
}
#else
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

void WriteDigits(const uint8_t* in, size_t count, char16_t* out) {
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = kHexDigits[in[i] >> 4];
    out[2 * i + 1] = kHexDigits[in[i] & 0x0F];
  }
}
#endif

// kMarkupUnits as a set; each has a form, and nothing else has one.
constexpr uint64_t kSpecial = [] {
  uint64_t set = 0;
  for (const char16_t unit : kMarkupUnits) set |= uint64_t{1} << unit;
  return set;
}();

constexpr bool MayNeedForm(char16_t unit) {
  return unit < 64 && ((kSpecial >> unit) & 1) != 0;
}
static_assert(kEscapes.size() == kMarkupUnits.size() &&
              std::all_of(kEscapes.begin(), kEscapes.end(),
                          [](const Escape& escape) { return MayNeedForm(escape.raw); }));

#if defined(__SSE2__)
// Eight units at a time while none of them is one of the six.
size_t PlainBlocks(std::u16string_view value) {
  size_t i = 0;
  while (i + 8 <= value.size() && FormsIn(LoadBlock(value.data() + i)) == 0) i += 8;
  return i;
}
#else
size_t PlainBlocks(std::u16string_view) {
  return 0;
}
#endif

// Where the first unit that may need a form stands, or the value's size.
size_t FirstSpecial(std::u16string_view value) {
  for (size_t i = PlainBlocks(value); i < value.size(); ++i) {
    if (MayNeedForm(value[i])) return i;
  }
  return value.size();
}

}  // namespace

// ---- SessionText ----

void SessionText::Clear() {
  used_ = 0;
  Append(u"\uFEFF");  // FF FE
}

void SessionText::Reserve(size_t bytes) {
  const size_t units = bytes / sizeof(char16_t) + 1;
  if (units > units_.size()) units_.resize(units);
}

// The room at least doubles, so that a file costs a few moves at most.
void SessionText::Grow(size_t count) {
  units_.resize(std::max(used_ + count, 2 * units_.size() + 4096));
}

void SessionText::AppendHex(const void* bytes, size_t count) {
  EndWrite(PutHex(Room(2 * count + kPutSlack), bytes, count));
}

void SessionText::AppendEscaped(std::u16string_view value) {
  EndWrite(PutEscaped(Room(kMaxEscapedUnits * value.size()), value));
}

char16_t* PutHex(char16_t* out, const void* bytes, size_t count) {
  WriteDigits(static_cast<const uint8_t*>(bytes), count, out);
  return out + 2 * count;
}

// Most values need no form: they are copied whole. The six forms are written
// where they are needed, which is rare.
char16_t* PutEscaped(char16_t* out, std::u16string_view value) {
  const size_t plain = FirstSpecial(value);
  out = std::copy_n(value.data(), plain, out);
  for (size_t i = plain; i < value.size(); ++i) {
    const std::u16string_view form = MayNeedForm(value[i]) ? FormOf(value, i) : u"";
    if (form.empty()) {
      *out++ = value[i];
    } else {
      out = std::copy(form.begin(), form.end(), out);
    }
  }
  return out;
}

// ---- Hex values ----

char16_t* BinToHex(const void* bytes, int32_t count) {
  if (count < 1) return nullptr;
  const size_t n = static_cast<size_t>(count);
  auto* digits = static_cast<char16_t*>(std::malloc((2 * n + kPutSlack) * sizeof(char16_t)));
  if (digits == nullptr) return nullptr;
  WriteDigits(static_cast<const uint8_t*>(bytes), n, digits);
  digits[2 * n] = 0;
  return digits;
}

size_t HexInto(std::u16string_view digits, uint8_t* out, size_t room) {
  const size_t count = digits.size() / 2;
  for (size_t i = 0; i < std::min(count, room); ++i) {
    out[i] = static_cast<uint8_t>(NibbleOf(digits[2 * i]) << 4 | NibbleOf(digits[2 * i + 1]));
  }
  return count;
}

uint8_t* HexToBin(const char16_t* text, uint32_t* count) {
  const std::u16string_view digits(text);
  // One byte more than needed so that an empty text still gets a block.
  auto* bytes = static_cast<uint8_t*>(std::malloc(digits.size() / 2 + 1));
  *count = bytes != nullptr ? static_cast<uint32_t>(HexInto(digits, bytes, SIZE_MAX)) : 0;
  return bytes;
}

// ---- Text values ----

std::u16string EscapeText(std::u16string_view value) {
  std::u16string out;
  out.reserve(value.size());
  Escaped(value, [&out](std::u16string_view run) { out.append(run); });
  return out;
}

std::u16string UnescapeText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  Unescaped(text, [&out](char16_t unit) {
    out.push_back(unit);
    return true;
  });
  return out;
}

void UnescapeInto(std::u16string_view text, char16_t* field, size_t capacity) {
  if (capacity == 0) return;
  // Up to the first "&" the text is its own value.
  size_t n = std::min({text.find(u'&'), text.size(), capacity - 1});
  std::copy_n(text.data(), n, field);
  text.remove_prefix(n);
  Unescaped(text, [&](char16_t unit) {
    if (n + 1 >= capacity) return false;
    field[n++] = unit;
    return true;
  });
  field[n] = 0;
}

}  // namespace obexses::persist
