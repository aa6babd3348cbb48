// SPDX-License-Identifier: MIT
// The scan of the session-file grammar, as events.
//
// Scan walks a whole UTF-16 text once, following the module's own fixed,
// character-driven grammar (not the XML standard), and tells a handler what
// it finds: elements opening, attributes taken, elements completed or
// dropped. It builds nothing and allocates nothing: names, values and texts
// are views into the text, which must outlive the scan. Depth 0 is the
// pseudo-root (the whole text), 1 a top-level element, and so on; no element
// is deeper than 64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace obexses::xml {

// The load result (1 loaded, 0 not) and the unit where the scan stopped: the
// one at which the text failed, or the text's length when it was read to the
// end (whatever the result).
struct ScanResult {
  int result = 0;
  size_t stopped_at = 0;
};

// A name the grammar makes from units of the text: the walked units less
// their quotes when quoted. Zero units are already cut off.
struct NameView {
  std::u16string_view walked;
  bool quoted = false;

  size_t size() const;
  bool operator==(std::u16string_view name) const;
  // The name's units into out (room for size() of them).
  void CopyTo(char16_t* out) const;
};

// An attribute's name: the units back from its "=" to the nearest space,
// "<", ">", "?" or "!" (or the start of the text), at most 255 that are not
// quotes, quotes left out, up to a zero unit. It may run over other "=" and
// quotes. Worked out only when asked for, since most attributes a reader
// meets are of no interest to it.
class AttributeName {
 public:
  AttributeName(std::u16string_view text, size_t equals, bool zero_free)
      : text_(text), equals_(equals), zero_free_(zero_free) {}

  NameView Whole() const;
  // The name when it has at most limit units (limit < 255), else none; walks
  // back no further than it must when no zero unit can cut the name.
  std::optional<NameView> UpTo(size_t limit) const;

 private:
  std::u16string_view text_;
  size_t equals_;
  bool zero_free_;  // no zero unit between the nearest delimiter and the "="
};

struct OpenedElement {
  size_t depth;
  std::u16string_view name;
  size_t begin;  // its "<"
  size_t start;  // the first unit of its range: right after the unit that ended its name
};

struct CompletedElement {
  size_t depth;
  std::u16string_view name;
  size_t start;    // as when opened
  size_t end;      // one past the last unit of its range
  size_t tag_end;  // one past the unit that ended its end tag's name
  // Everything after the last ">" of its range, up to a zero unit; none when
  // its range held a "<" or it failed.
  std::optional<std::u16string_view> text;
  int outcome;  // 0 fails the element that holds it
};

// What a scan reports, in text order. Attributes belong to the element open
// at their depth; those whose closing quote lies at or past the end of that
// element's range when it completes were never its own (the grammar takes
// them back), and only they. An element whose parent completes first, or
// that is open at the end of the text, is dropped: deeper ones first, each
// before the completion that drops it. The pseudo-root completes (depth 0,
// no begin) when the text was read to the end; it has a text only when the
// whole text held no "<".
class ScanHandler {
 public:
  virtual void Opened(const OpenedElement& element) = 0;
  virtual void Attribute(size_t depth, const AttributeName& name, std::u16string_view value,
                         size_t close_quote) = 0;
  virtual void Completed(const CompletedElement& element) = 0;
  virtual void Dropped(size_t depth) = 0;

 protected:
  ~ScanHandler() = default;
};

// Scans the whole text.
ScanResult Scan(std::u16string_view text, ScanHandler& handler);

// Scans a completed element's range alone, as the grammar defines each level:
// its own units only, from a fresh state, at its own depth, so its children
// come out exactly as the whole scan made them. Names may still walk back
// before the range; the unit before it always ends a name.
ScanResult ScanRange(std::u16string_view text, const CompletedElement& element,
                     ScanHandler& handler);

}  // namespace obexses::xml
