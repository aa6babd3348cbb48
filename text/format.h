// SPDX-License-Identifier: MIT
// The module's one formatter for its printf-style wide formats.
//
// Conversions: %s a UTF-16 string, %S a narrow string, %p a pointer (16
// uppercase hex digits, no prefix), %d, %u, %x, with an optional zero flag
// and width (%02x, %04x), and %% for a percent sign. Arguments are checked by
// type, never read through a va_list, so a mismatch prints "(bad)" rather than
// reading garbage; a missing argument prints nothing. A null string prints
// "(null)".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace obexses::text {

class FormatArg {
 public:
  enum class Kind { kWide, kNarrow, kPointer, kSigned, kUnsigned };

  FormatArg(const char16_t* s) : kind_(Kind::kWide), wide_(s) {}
  FormatArg(const std::u16string& s) : kind_(Kind::kWide), wide_(s.c_str()), length_(s.size()) {}
  // A string that need not be terminated.
  explicit FormatArg(std::u16string_view s)
      : kind_(Kind::kWide), wide_(s.data()), length_(s.size()) {}
  FormatArg(const char* s) : kind_(Kind::kNarrow), narrow_(s) {}
  FormatArg(const void* p) : kind_(Kind::kPointer), pointer_(p) {}
  FormatArg(std::nullptr_t) : kind_(Kind::kPointer), pointer_(nullptr) {}
  FormatArg(int v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(long v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(long long v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(unsigned v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  FormatArg(unsigned long v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::kUnsigned), unsigned_(v) {}

  Kind kind() const { return kind_; }
  const char16_t* wide() const { return wide_; }
  // Units of a wide string, or SIZE_MAX when it ends at its terminator.
  size_t length() const { return length_; }
  const char* narrow() const { return narrow_; }
  const void* pointer() const { return pointer_; }
  int64_t as_signed() const { return kind_ == Kind::kSigned ? signed_ : int64_t(unsigned_); }
  uint64_t as_unsigned() const { return kind_ == Kind::kUnsigned ? unsigned_ : uint64_t(signed_); }

 private:
  Kind kind_;
  union {
    const char16_t* wide_;
    const char* narrow_;
    const void* pointer_;
    int64_t signed_;
    uint64_t unsigned_;
  };
  size_t length_ = SIZE_MAX;
};

// Appends the formatted text to out, stopping once out holds limit units.
void FormatAppend(std::u16string& out, size_t limit, const char16_t* format, const FormatArg* args,
                  size_t count);

// Formats into buffer (capacity units, terminator included), cutting the text
// to capacity - 1 units. Returns the number of units written, terminator
// excluded. A capacity of 0 writes nothing.
size_t FormatBoundedV(char16_t* buffer, size_t capacity, const char16_t* format,
                      const FormatArg* args, size_t count);

template <typename... Args>
size_t FormatBounded(char16_t* buffer, size_t capacity, const char16_t* format,
                     const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
  return FormatBoundedV(buffer, capacity, format, list, sizeof...(Args));
}

// Formats without any bound.
template <typename... Args>
std::u16string Format(const char16_t* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
  std::u16string out;
  FormatAppend(out, SIZE_MAX, format, list, sizeof...(Args));
  return out;
}

}  // namespace obexses::text
