// SPDX-License-Identifier: MIT
// The session-file grammar in one scan over the text.
//
// The grammar is defined level by level: each nesting level scans its own
// range and recognises only the tags of its own level. All levels that have
// seen a "<" hold the same scan state (mode, token, pending tag, pending "="),
// so one scan serves them all; what differs per level (its open child, its
// start, its result, whether it has failed) is kept on a stack of at most 65
// levels. A tag is offered to the outermost level first: the first level
// whose open child it closes completes that child (deeper levels were never
// closed and are dropped), the levels outside it fall back to result 0, and a
// tag that closes nothing opens a child at the innermost level. The quirks of
// the grammar (what a space, "?" or "!" does to a token, where an attribute is
// made) decide which saved sessions come back, so they are kept exactly, while
// every index is bounded so that no input, however damaged, can overrun
// anything. The scan keeps no more than its fixed stack, whatever the text.
#include "xml/xml_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace obexses::xml {

namespace {

constexpr int64_t kTokenUnits = 256;           // a longer token closes nothing
constexpr int64_t kTagNameUnits = 254;         // "/" and the name fit 255 units
constexpr size_t kAttributeNameUnits = 255;    // longer names keep the units nearest the "="
constexpr size_t kAttributeValueUnits = 2047;  // holds the longest escaped name the writers make
constexpr size_t kMaxNestingDepth = 64;        // the module's own files nest 5 deep
constexpr int64_t kNone = -1;

bool IsQuote(char16_t c) {
  return c == u'\'' || c == u'"';
}

// The units the scan reacts to: "<", ">", space, "?", "!", "=" and the quotes,
// and the zero unit, where a name or a text ends (all below 64).
constexpr uint64_t kMarkup = 1ull << u'<' | 1ull << u'>' | 1ull << u' ' | 1ull << u'?' |
                             1ull << u'!' | 1ull << u'=' | 1ull << u'\'' | 1ull << u'"' | 1ull;

bool IsMarkup(char16_t c) {
  return c < 64 && ((kMarkup >> c) & 1) != 0;
}

// Whether any of the four units packed in word may be markup: every markup
// unit is below "(" or one of "<", "=", ">", "?", which hex digits, letters and
// the usual punctuation of names and paths are not. Each test is nonzero
// exactly when some unit passes it, whatever the byte order of the packing.
bool MayHoldMarkup(uint64_t word) {
  constexpr uint64_t kLow = 0x0001000100010001ULL;
  constexpr uint64_t kHigh = 0x8000800080008000ULL;
  const uint64_t below_paren = (word - u'(' * kLow) & ~word & kHigh;
  const uint64_t top = (word & ~(3 * kLow)) ^ (u'<' * kLow);  // zero for "<" to "?"
  const uint64_t in_top = (top - kLow) & ~top & kHigh;
  return (below_paren | in_top) != 0;
}

bool EndsAttributeName(char16_t c) {
  return c == u' ' || c == u'<' || c == u'>' || c == u'?' || c == u'!';
}

// What a zero-terminated copy of text would hold.
std::u16string_view UpToZero(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}

}  // namespace

// ---------------------------------------------------------------------------
// Names

size_t NameView::size() const {
  if (!quoted) return walked.size();
  return static_cast<size_t>(
      std::count_if(walked.begin(), walked.end(), [](char16_t c) { return !IsQuote(c); }));
}

bool NameView::operator==(std::u16string_view name) const {
  if (!quoted) return walked == name;
  size_t n = 0;
  for (char16_t unit : walked) {
    if (IsQuote(unit)) continue;
    if (n == name.size() || name[n] != unit) return false;
    ++n;
  }
  return n == name.size();
}

void NameView::CopyTo(char16_t* out) const {
  for (char16_t unit : walked) {
    if (!quoted || !IsQuote(unit)) *out++ = unit;
  }
}

NameView AttributeName::Whole() const {
  size_t from = equals_;
  size_t kept = 0;
  bool quotes = false;
  for (size_t i = equals_; i-- > 0 && kept < kAttributeNameUnits;) {
    if (EndsAttributeName(text_[i])) break;
    if (IsQuote(text_[i])) {
      quotes = true;
    } else {
      ++kept;
      from = i;
    }
  }
  // A zero unit is no quote: cutting the walked units at the first one cuts
  // the name there too.
  return {UpToZero(text_.substr(from, equals_ - from)), quotes};
}

std::optional<NameView> AttributeName::UpTo(size_t limit) const {
  if (!zero_free_) {
    const NameView name = Whole();
    return name.size() <= limit ? std::optional<NameView>(name) : std::nullopt;
  }
  // Without a zero unit the name is every unit walked: one more than limit
  // is already too many.
  size_t from = equals_;
  size_t kept = 0;
  bool quotes = false;
  for (size_t i = equals_; i-- > 0;) {
    if (EndsAttributeName(text_[i])) break;
    if (IsQuote(text_[i])) {
      quotes = true;
    } else {
      if (++kept > limit) return std::nullopt;
      from = i;
    }
  }
  return NameView{text_.substr(from, equals_ - from), quotes};
}

// ---------------------------------------------------------------------------
// The scan

namespace {

enum class Mode { kIdle, kCollecting, kFlushing };

// One nesting level: the element whose content it scans. It has an open
// child exactly when a deeper level stands above it on the stack.
struct Level {
  std::u16string_view name;
  int64_t start = 0;  // first index of its range
  int result = 0;
  bool failed = false;  // its scan has stopped; it only matters once completed
};

class Scanner {
 public:
  // Units from..text.size()-1 as the content of a level at depth base.
  Scanner(std::u16string_view text, int64_t from, size_t base, ScanHandler& handler)
      : text_(text), from_(from), base_(base), handler_(handler) {
    levels_[0].start = from;
    levels_[0].failed = base >= kMaxNestingDepth;
    // The unit before a range is the ">" or space that ended its start tag.
    last_delimiter_ = from - 1;
  }

  ScanResult Run() {
    const int64_t units = static_cast<int64_t>(text_.size());
    for (int64_t i = from_; i < units; ++i) {
      if (IsMarkup(text_[i])) {
        if (!Step(i)) return {0, static_cast<size_t>(i)};
        continue;
      }
      // Other units have no effect of their own and end no attribute: a run
      // of them only lengthens the token being collected.
      const int64_t from = i;
      i = RunEnd(i, units);
      if (mode_ == Mode::kCollecting) count_ += i - from + 1;
    }
    for (size_t depth = depth_; depth > 0; --depth) handler_.Dropped(base_ + depth);
    const bool leaf = last_lt_ == kNone;
    const int result = leaf ? 1 : levels_[0].result;
    CompletedElement root{base_,
                          levels_[0].name,
                          static_cast<size_t>(from_),
                          static_cast<size_t>(units),
                          static_cast<size_t>(units),
                          std::nullopt,
                          result};
    if (leaf) root.text = Text(levels_[0], units - 1);
    handler_.Completed(root);
    return {result != 0 ? 1 : 0, static_cast<size_t>(units)};
  }

 private:
  // The last index of the run of units without markup that starts at i:
  // four units at a time while none of them may be markup, then one by one.
  int64_t RunEnd(int64_t i, int64_t units) const {
    while (i + 4 < units) {
      uint64_t word = 0;
      std::memcpy(&word, text_.data() + i + 1, sizeof word);
      if (MayHoldMarkup(word)) break;
      i += 4;
    }
    while (i + 1 < units && !IsMarkup(text_[i + 1])) ++i;
    return i;
  }

  // The five steps of one index; false when the pseudo-root fails.
  bool Step(int64_t i) {
    const char16_t c = text_[i];
    ApplyCharacter(c, i);
    if (mode_ == Mode::kCollecting) {
      ++count_;
    } else if (mode_ == Mode::kFlushing) {
      ++count_;
      if (tag_pending_) {
        tag_pending_ = false;
        if (!HandleTag(i)) return false;
      }
    }
    ApplyDeferred(c, i);
    if (attribute_pending_ && close_quote_ == i) TakeAttribute();
    return true;
  }

  void ApplyCharacter(char16_t c, int64_t i) {
    switch (c) {
      case u'<':
        count_ = 0;
        mode_ = Mode::kIdle;
        tag_pending_ = true;
        previous_lt_ = last_lt_;
        last_lt_ = i;
        zero_after_lt_ = kNone;
        last_delimiter_ = i;
        break;
      case u'>':
        mode_ = Mode::kFlushing;
        last_delimiter_ = i;
        break;
      case u' ':
        if (mode_ != Mode::kIdle) mode_ = Mode::kFlushing;
        last_delimiter_ = i;
        break;
      case u'?':
      case u'!':
        mode_ = Mode::kIdle;
        last_delimiter_ = i;
        break;
      case u'\0':
        if (zero_after_lt_ == kNone) zero_after_lt_ = i;
        if (zero_after_gt_ == kNone) zero_after_gt_ = i;
        last_zero_ = i;
        break;
      default:
        break;
    }
  }

  void ApplyDeferred(char16_t c, int64_t i) {
    switch (c) {
      case u'<':
        mode_ = Mode::kCollecting;
        break;
      case u'>':
        last_gt_ = i;
        zero_after_gt_ = kNone;
        mode_ = Mode::kIdle;
        break;
      case u' ':
      case u'?':
        mode_ = Mode::kIdle;
        break;
      case u'=':
        NoteEquals(i);
        break;
      default:
        break;
    }
  }

  // ---- Tags ----

  // The token since the last "<" (its units are collected without a gap),
  // handled outermost level first. False when the pseudo-root fails.
  bool HandleTag(int64_t i) {
    const int64_t length = count_ - 1;
    const int64_t kept =
        zero_after_lt_ != kNone ? std::min(length, zero_after_lt_ - last_lt_ - 1) : length;
    // A token too long to close anything is empty, which closes nothing either.
    const std::u16string_view token =
        length < kTokenUnits ? text_.substr(last_lt_ + 1, kept) : std::u16string_view();
    for (size_t j = 0; j < depth_; ++j) {
      if (Closes(token, levels_[j + 1].name)) return CompleteChild(j, i);
      levels_[j].result = 0;  // a tag inside its open child's content
    }
    return levels_[depth_].failed || OpenChild(i, length, token);
  }

  static bool Closes(std::u16string_view token, std::u16string_view open_name) {
    return token.size() == open_name.size() + 1 && token[0] == u'/' &&
           std::memcmp(token.data() + 1, open_name.data(), open_name.size() * 2) == 0;
  }

  bool OpenChild(int64_t i, int64_t length, std::u16string_view name) {
    if (length > kTagNameUnits) return Fail(depth_);
    if (name.empty()) return true;
    Level& child = levels_[++depth_];
    child = Level();
    child.name = name;
    child.start = i + 1;
    child.failed = base_ + depth_ >= kMaxNestingDepth;  // the child's own depth passes the bound
    handler_.Opened(
        {base_ + depth_, name, static_cast<size_t>(last_lt_), static_cast<size_t>(child.start)});
    return true;
  }

  // The open child of level j ends just before the end tag's "<" when the
  // whole token was collected; after a "?" or "!" the end is reckoned from
  // the count and may lie inside the end tag.
  bool CompleteChild(size_t j, int64_t i) {
    const int64_t end = i - count_ - 1;
    for (size_t depth = depth_; depth > j + 1; --depth) handler_.Dropped(base_ + depth);
    Level& child = levels_[j + 1];
    CompletedElement done{base_ + j + 1,
                          child.name,
                          static_cast<size_t>(child.start),
                          static_cast<size_t>(end + 1),
                          static_cast<size_t>(i + 1),
                          std::nullopt,
                          child.result};
    if (child.failed) {
      done.outcome = 0;
    } else if (last_lt_ > end && previous_lt_ < child.start) {
      done.text = Text(child, end);  // no "<" in its range: a leaf
      done.outcome = 1;
    }
    depth_ = j;
    handler_.Completed(done);
    if (done.outcome == 0) return Fail(j);
    levels_[j].result = done.outcome;
    return true;
  }

  bool Fail(size_t j) {
    levels_[j].failed = true;
    return j != 0;
  }

  // A leaf's text is everything after the last ">" in its range, up to a zero
  // unit. The first zero after that ">" is known, and so is the one in the
  // range unless that zero lies before the range.
  std::u16string_view Text(const Level& level, int64_t end) const {
    const int64_t from = last_gt_ != kNone && last_gt_ >= level.start ? last_gt_ + 1 : level.start;
    std::u16string_view text =
        from <= end ? text_.substr(from, end - from + 1) : std::u16string_view();
    if (zero_after_gt_ == kNone || zero_after_gt_ >= from) {
      if (zero_after_gt_ != kNone && zero_after_gt_ <= end)
        text = text.substr(0, zero_after_gt_ - from);
    } else {
      text = UpToZero(text);
    }
    return text;
  }

  // ---- Attributes ----

  // Each "=" replaces the pending attribute. An "=" before the last opening
  // quote found shares that attribute's quotes, so a run of "=" does not walk
  // the same text again and again.
  void NoteEquals(int64_t i) {
    if (!attribute_pending_ || i >= open_quote_) {
      open_quote_ = FindQuote(i + 1);
      close_quote_ = FindQuote(open_quote_ + 1);
    }
    attribute_pending_ = true;
    equals_ = i;
    equals_zero_free_ = last_zero_ == kNone || last_zero_ < last_delimiter_;
  }

  // The first quote at or after from; one past the text when there is none.
  int64_t FindQuote(int64_t from) const {
    const int64_t units = static_cast<int64_t>(text_.size());
    while (from < units && !IsQuote(text_[from])) ++from;
    return std::min(from, units);
  }

  // The closing quote of the pending attribute: it belongs to the innermost
  // level, if that level has seen its "=".
  void TakeAttribute() {
    const Level& level = levels_[depth_];
    if (level.failed || equals_ < level.start) return;
    const size_t length =
        std::min(static_cast<size_t>(close_quote_ - open_quote_ - 1), kAttributeValueUnits);
    handler_.Attribute(
        base_ + depth_, AttributeName(text_, static_cast<size_t>(equals_), equals_zero_free_),
        UpToZero(text_.substr(open_quote_ + 1, length)), static_cast<size_t>(close_quote_));
  }

  std::u16string_view text_;
  int64_t from_;
  size_t base_;
  ScanHandler& handler_;
  std::array<Level, kMaxNestingDepth + 1> levels_;
  size_t depth_ = 0;  // index of the innermost level

  Mode mode_ = Mode::kIdle;
  int64_t count_ = 0;  // units collected since the last "<", plus one at each flush
  bool tag_pending_ = false;
  int64_t last_lt_ = kNone;
  int64_t previous_lt_ = kNone;
  int64_t last_gt_ = kNone;
  int64_t zero_after_lt_ = kNone;  // the first zero unit since the last "<"
  int64_t zero_after_gt_ = kNone;  // the first zero unit since the last ">", or the start
  int64_t last_zero_ = kNone;
  int64_t last_delimiter_ = kNone;  // the last unit that ends an attribute name
  bool attribute_pending_ = false;
  int64_t equals_ = 0;
  bool equals_zero_free_ = true;
  int64_t open_quote_ = 0;
  int64_t close_quote_ = 0;  // one past the text when missing
};

}  // namespace

ScanResult Scan(std::u16string_view text, ScanHandler& handler) {
  return Scanner(text, 0, 0, handler).Run();
}

ScanResult ScanRange(std::u16string_view text, const CompletedElement& element,
                     ScanHandler& handler) {
  const size_t end = std::min(element.end, text.size());
  return Scanner(text.substr(0, end), static_cast<int64_t>(std::min(element.start, end)),
                 element.depth, handler)
      .Run();
}

}  // namespace obexses::xml
