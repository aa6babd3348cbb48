// SPDX-License-Identifier: MIT
// The pieces of value writing that go by blocks of eight units (SSE2, where
// the compiler offers it; unit by unit elsewhere), inline so that the element
// writer's loop runs them without calls. They write into room the caller
// made, with kPutSlack to spare; nothing here locks or allocates.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "persist/value_codec.h"
#include "text/wide.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace obexses::persist::blocks {

// Where a copy of a text field by blocks stopped, and whether the text ended
// there (its terminator was in the last block copied, whose rest is scratch).
struct FieldCopy {
  size_t at;
  bool ended;
};

#if defined(__SSE2__)
inline __m128i LoadBlock(const char16_t* units) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
}

// The mask of the units of a block of eight that may need a form, two bits a
// unit.
inline unsigned FormsIn(__m128i units) {
  __m128i found = _mm_setzero_si128();
  for (const char16_t special : kMarkupUnits) {
    found =
        _mm_or_si128(found, _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(special))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}

// The digits of the eight bytes in the low half of bytes, as sixteen units:
// each byte's two nibbles side by side, each made its digit ('0' + n, and 7
// more past '9').
inline void PutEightDigits(char16_t* out, __m128i bytes) {
  const __m128i low_nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble);
  const __m128i nibbles = _mm_unpacklo_epi8(high, _mm_and_si128(bytes, low_nibble));
  const __m128i past_nine =
      _mm_and_si128(_mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8(7));
  const __m128i ascii = _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), past_nine);
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(ascii, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(ascii, zero));
}

// Copies a text field to out by blocks of eight units, up to the block where
// the text ends or a unit stands that may need a form, whichever comes first.
inline FieldCopy CopyPlainFieldBlocks(const char16_t* field, size_t capacity, char16_t* out) {
  size_t i = 0;
  for (; i + 8 <= capacity; i += 8) {
    const __m128i units = LoadBlock(field + i);
    const auto ends =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
    if (std::countr_zero(ends) > std::countr_zero(FormsIn(units))) break;  // a form comes first
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), units);
    if (ends != 0) return {i + static_cast<size_t>(std::countr_zero(ends)) / 2, true};
  }
  return {i, false};
}
#else
inline FieldCopy CopyPlainFieldBlocks(const char16_t*, size_t, char16_t*) {
  return {0, false};
}
#endif

}  // namespace obexses::persist::blocks

namespace obexses::persist {

// Writes the 2*count digits of count bytes, eight at a time: the bytes up to
// count rounded up to eight must all be readable (scratch may follow).
inline char16_t* PutHexWords(char16_t* out, const void* bytes, size_t count) {
#if defined(__SSE2__)
  const auto* in = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < count; i += 8) {
    blocks::PutEightDigits(out + 2 * i, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i)));
  }
  return out + 2 * count;
#else
  return PutHex(out, bytes, count);
#endif
}

// A text field of capacity units, escaped as PutEscaped does: its text ends
// at its first terminator, or at its capacity if none (scratch may follow).
// The copy by blocks leaves off at the block where the text ends or a unit
// may need a form; from there it goes as any value does.
inline char16_t* PutEscapedField(char16_t* out, const char16_t* field, size_t capacity) {
  const blocks::FieldCopy copy = blocks::CopyPlainFieldBlocks(field, capacity, out);
  if (copy.ended) return out + copy.at;
  return PutEscaped(out + copy.at, text::FixedView(field + copy.at, capacity - copy.at));
}

}  // namespace obexses::persist
