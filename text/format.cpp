// SPDX-License-Identifier: MIT
#include "text/format.h"

namespace obexses::text {
namespace {

// Where formatted units go: a growing string or a fixed buffer, either way
// never past its limit.
class Sink {
 public:
  Sink(std::u16string& out, size_t limit) : string_(&out), limit_(limit) {}
  Sink(char16_t* buffer, size_t limit) : buffer_(buffer), limit_(limit) {}
  size_t size() const { return string_ != nullptr ? string_->size() : used_; }
  void Put(char16_t c) {
    if (size() >= limit_) return;
    if (string_ != nullptr) {
      string_->push_back(c);
    } else {
      buffer_[used_++] = c;
    }
  }
  void PutWide(const char16_t* s, size_t length) {
    for (size_t i = 0; i < length && s[i] != 0 && size() < limit_; ++i) Put(s[i]);
  }
  // Narrow text is taken byte for byte (ASCII in every format of the module).
  void PutNarrow(const char* s) {
    while (*s != 0 && size() < limit_) Put(static_cast<unsigned char>(*s++));
  }
  void PutAscii(const char* s) { PutNarrow(s); }

 private:
  std::u16string* string_ = nullptr;
  char16_t* buffer_ = nullptr;
  size_t used_ = 0;
  size_t limit_;
};

struct Directive {
  bool zero_pad = false;
  int width = 0;
  char16_t conversion = 0;
};

// Reads flags, width and conversion after a '%'; returns the position after it.
const char16_t* ParseDirective(const char16_t* p, Directive* directive) {
  while (*p == u'0') {
    directive->zero_pad = true;
    ++p;
  }
  while (*p >= u'0' && *p <= u'9') {
    directive->width = std::min(directive->width * 10 + (*p - u'0'), 64);
    ++p;
  }
  // Size prefixes are accepted and ignored: the argument carries its own width.
  while (*p == u'l' || *p == u'h' || *p == u'I' || *p == u'z') ++p;
  directive->conversion = *p;
  return *p != 0 ? p + 1 : p;
}

void PutNumber(Sink& sink, const Directive& directive, uint64_t magnitude, bool negative,
               unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buffer[72];
  int n = 0;
  do {
    buffer[n++] = digits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  const int body = n + (negative ? 1 : 0);
  if (!directive.zero_pad) {
    for (int i = body; i < directive.width; ++i) sink.Put(u' ');
  }
  if (negative) sink.Put(u'-');
  if (directive.zero_pad) {
    for (int i = body; i < directive.width; ++i) sink.Put(u'0');
  }
  while (n > 0) sink.Put(static_cast<char16_t>(buffer[--n]));
}

void PutString(Sink& sink, const Directive& directive, const FormatArg& arg) {
  const bool wide_wanted = directive.conversion == u's';
  if (arg.kind() == FormatArg::Kind::kWide && wide_wanted) {
    arg.wide() != nullptr ? sink.PutWide(arg.wide(), arg.length()) : sink.PutAscii("(null)");
  } else if (arg.kind() == FormatArg::Kind::kNarrow && !wide_wanted) {
    arg.narrow() != nullptr ? sink.PutNarrow(arg.narrow()) : sink.PutAscii("(null)");
  } else if (arg.kind() == FormatArg::Kind::kPointer && arg.pointer() == nullptr) {
    sink.PutAscii("(null)");
  } else {
    sink.PutAscii("(bad)");
  }
}

void PutConversion(Sink& sink, const Directive& directive, const FormatArg* arg) {
  if (arg == nullptr) return;
  switch (directive.conversion) {
    case u's':
    case u'S':
      PutString(sink, directive, *arg);
      break;
    case u'p': {
      // As the Windows runtime prints it: 16 uppercase digits, no prefix.
      Directive pointer_directive{true, 16, u'p'};
      const uint64_t value = arg->kind() == FormatArg::Kind::kPointer
                                 ? reinterpret_cast<uintptr_t>(arg->pointer())
                                 : arg->as_unsigned();
      PutNumber(sink, pointer_directive, value, false, 16, true);
      break;
    }
    case u'd':
    case u'i': {
      const int64_t v = arg->as_signed();
      const uint64_t magnitude = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
      PutNumber(sink, directive, magnitude, v < 0, 10, false);
      break;
    }
    case u'u':
      PutNumber(sink, directive, arg->as_unsigned(), false, 10, false);
      break;
    case u'x':
    case u'X':
      PutNumber(sink, directive, arg->as_unsigned(), false, 16, directive.conversion == u'X');
      break;
    default:
      sink.PutAscii("(bad)");
  }
}

void FormatTo(Sink& sink, const char16_t* format, const FormatArg* args, size_t count) {
  if (format == nullptr) return;
  size_t next = 0;
  for (const char16_t* p = format; *p != 0;) {
    if (*p != u'%') {
      sink.Put(*p++);
      continue;
    }
    if (p[1] == u'%') {
      sink.Put(u'%');
      p += 2;
      continue;
    }
    Directive directive;
    p = ParseDirective(p + 1, &directive);
    if (directive.conversion == 0) break;
    PutConversion(sink, directive, next < count ? &args[next] : nullptr);
    ++next;
  }
}

}  // namespace

void FormatAppend(std::u16string& out, size_t limit, const char16_t* format, const FormatArg* args,
                  size_t count) {
  Sink sink(out, limit);
  FormatTo(sink, format, args, count);
}

size_t FormatBoundedV(char16_t* buffer, size_t capacity, const char16_t* format,
                      const FormatArg* args, size_t count) {
  if (capacity == 0) return 0;
  Sink sink(buffer, capacity - 1);
  FormatTo(sink, format, args, count);
  buffer[sink.size()] = 0;
  return sink.size();
}

}  // namespace obexses::text
