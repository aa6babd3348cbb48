// The session-file reader: one scan over the whole text.
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
// anything.
#include "xml/xml_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "platform/env.h"

namespace obexses::xml {

namespace {

constexpr int64_t kTokenUnits = 256;           // a longer token closes nothing
constexpr int64_t kTagNameUnits = 254;         // "/" and the name fit 255 units
constexpr size_t kAttributeNameUnits = 255;    // longer names keep the units nearest the "="
constexpr size_t kAttributeValueUnits = 2047;  // holds the longest escaped name the writers make
constexpr size_t kMaxNestingDepth = 64;        // the module's own files nest 5 deep
constexpr int64_t kNone = -1;
constexpr char16_t kRootName[] = u"XML:ROOT";
constexpr char16_t kEmptyText[] = u"";

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

bool EndsAttributeName(char16_t c) {
  return c == u' ' || c == u'<' || c == u'>' || c == u'?' || c == u'!';
}

// What a zero-terminated copy of text would hold.
std::u16string_view UpToZero(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}

bool SameName(const CXMLElement* node, std::u16string_view name) {
  return node->Name() == name;
}

}  // namespace

// ---------------------------------------------------------------------------
// Node blocks: bump allocation from a few large blocks, freed all at once.

class CXMLFile::Blocks {
 public:
  void* Allocate(size_t bytes) {
    bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
    if (bytes > room_) Grow(bytes);
    void* at = next_;
    next_ += bytes;
    room_ -= bytes;
    return at;
  }

 private:
  static constexpr size_t kAlign = alignof(std::max_align_t);
  static constexpr size_t kFirstBlock = 16 * 1024;
  static constexpr size_t kLargestBlock = 4 * 1024 * 1024;

  // Each block doubles the last, so a tree of n bytes takes about log n blocks.
  void Grow(size_t bytes) {
    const size_t last = blocks_.empty() ? kFirstBlock / 2 : size_;
    size_ = std::max(bytes, std::min(2 * last, kLargestBlock));
    // Owned before the list grows: a list that cannot grow frees it.
    std::unique_ptr<std::max_align_t[]> block(new std::max_align_t[(size_ + kAlign - 1) / kAlign]);
    blocks_.push_back(std::move(block));
    next_ = reinterpret_cast<char*>(blocks_.back().get());
    room_ = size_;
  }

  std::vector<std::unique_ptr<std::max_align_t[]>> blocks_;
  char* next_ = nullptr;
  size_t room_ = 0;
  size_t size_ = 0;
};

// ---------------------------------------------------------------------------
// CXMLElement

std::optional<std::u16string_view> CXMLElement::GetText() const {
  if (m_nType != XML_ELEMENT || m_pValue == nullptr) return std::nullopt;
  return std::u16string_view(m_pValue, m_nValueUnits);
}

CXMLElement* CXMLElement::FindAttribute(std::u16string_view name) const {
  for (CXMLElement* node = m_pFirst; node != nullptr && node->m_nType == XML_ATTRIBUTE;
       node = node->m_pNext) {
    if (SameName(node, name)) return node;
  }
  return nullptr;
}

CXMLElement* CXMLElement::FindChild(std::u16string_view name) const {
  for (CXMLElement* node = m_pFirst; node != nullptr; node = node->m_pNext) {
    if (node->m_nType == XML_ELEMENT && SameName(node, name)) return node;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// CXMLFile

CXMLFile::CXMLFile() = default;

CXMLFile::~CXMLFile() {
  Release();
}

void CXMLFile::Release() {
  m_pRoot = nullptr;
  blocks_.reset();
  text_ = std::u16string();
  m_nLength = 0;
}

std::u16string CXMLFile::TakeText() {
  std::u16string text = std::move(text_);
  Release();
  return text;
}

CXMLElement* CXMLFile::NewNode(uint32_t type, std::u16string_view name) {
  if (blocks_ == nullptr) blocks_ = std::make_unique<Blocks>();
  auto* node = new (blocks_->Allocate(sizeof(CXMLElement))) CXMLElement;
  node->m_nType = type;
  node->m_pName = name.data();
  node->m_nNameUnits = static_cast<uint32_t>(name.size());
  return node;
}

char16_t* CXMLFile::NewUnits(size_t count) {
  if (blocks_ == nullptr) blocks_ = std::make_unique<Blocks>();
  return static_cast<char16_t*>(blocks_->Allocate(count * sizeof(char16_t)));
}

// ---------------------------------------------------------------------------
// The scan

namespace {

enum class Mode { kIdle, kCollecting, kFlushing };

// One nesting level: the element whose content it scans. It has an open
// child exactly when a deeper level stands above it on the stack.
struct Level {
  CXMLElement* element = nullptr;
  CXMLElement* last = nullptr;  // where the next child is appended
  int64_t start = 0;            // first index of its range
  int result = 0;
  bool failed = false;  // its scan has stopped; it only matters once completed
};

// An attribute the innermost level took since the last "<": it is taken back
// when the level's range turns out to end before its closing quote.
struct Taken {
  int64_t close_quote;
  CXMLElement* previous_last;
};

}  // namespace

class CXMLReader::Parse {
 public:
  explicit Parse(CXMLReader* reader) : reader_(reader), text_(reader->Text()) {
    taken_.reserve(16);
  }

  // The whole text as the content of the pseudo-root: non-zero for success.
  int Run() {
    levels_[0].element = reader_->m_pRoot;
    const int64_t units = static_cast<int64_t>(text_.size());
    for (int64_t i = 0; i < units; ++i) {
      if (IsMarkup(text_[i])) {
        if (!Step(i)) return 0;
        continue;
      }
      // Other units have no effect of their own and end no attribute: a run
      // of them only lengthens the token being collected.
      const int64_t from = i;
      while (i + 1 < units && !IsMarkup(text_[i + 1])) ++i;
      if (mode_ == Mode::kCollecting) count_ += i - from + 1;
    }
    if (last_lt_ != kNone) return levels_[0].result;
    SetText(levels_[0], units - 1);
    return 1;
  }

 private:
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
        taken_.clear();
        break;
      case u'>':
        mode_ = Mode::kFlushing;
        break;
      case u' ':
        if (mode_ != Mode::kIdle) mode_ = Mode::kFlushing;
        break;
      case u'?':
      case u'!':
        mode_ = Mode::kIdle;
        break;
      case u'\0':
        if (zero_after_lt_ == kNone) zero_after_lt_ = i;
        if (zero_after_gt_ == kNone) zero_after_gt_ = i;
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
      if (Closes(token, levels_[j + 1].element->Name())) {
        return CompleteChild(j, i);
      }
      levels_[j].result = 0;  // a tag inside its open child's content
    }
    return levels_[depth_].failed || OpenChild(i, length, token);
  }

  static bool Closes(std::u16string_view token, std::u16string_view open_name) {
    return token.size() == open_name.size() + 1 && token[0] == u'/' && token.substr(1) == open_name;
  }

  bool OpenChild(int64_t i, int64_t length, std::u16string_view name) {
    if (length > kTagNameUnits) return Fail(depth_);
    if (name.empty()) return true;
    Level& child = levels_[++depth_];
    child = Level();
    child.element = reader_->NewNode(XML_ELEMENT, name);
    child.start = i + 1;
    child.failed = depth_ >= kMaxNestingDepth;  // the child's own depth passes the bound
    taken_.clear();
    return true;
  }

  // The open child of level j ends just before the end tag's "<" when the
  // whole token was collected; after a "?" or "!" the end is reckoned from
  // the count and may lie inside the end tag.
  bool CompleteChild(size_t j, int64_t i) {
    const int64_t end = i - count_ - 1;
    Level& child = levels_[j + 1];
    if (j + 1 == depth_) TakeBackAfter(child, end);
    int outcome = child.result;
    if (child.failed) {
      outcome = 0;
    } else if (last_lt_ > end && previous_lt_ < child.start) {
      SetText(child, end);  // no "<" in its range: a leaf
      outcome = 1;
    }
    Append(levels_[j], child.element);
    depth_ = j;
    taken_.clear();
    if (outcome == 0) return Fail(j);
    levels_[j].result = outcome;
    return true;
  }

  bool Fail(size_t j) {
    levels_[j].failed = true;
    return j != 0;
  }

  // A leaf's text is everything after the last ">" in its range, up to a zero
  // unit. The first zero after that ">" is known, and so is the one in the
  // range unless that zero lies before the range.
  void SetText(Level& level, int64_t end) {
    const int64_t from = last_gt_ != kNone && last_gt_ >= level.start ? last_gt_ + 1 : level.start;
    std::u16string_view text =
        from <= end ? text_.substr(from, end - from + 1) : std::u16string_view();
    if (zero_after_gt_ == kNone || zero_after_gt_ >= from) {
      if (zero_after_gt_ != kNone && zero_after_gt_ <= end)
        text = text.substr(0, zero_after_gt_ - from);
    } else {
      text = UpToZero(text);
    }
    level.element->m_pValue = text.empty() ? kEmptyText : text.data();
    level.element->m_nValueUnits = static_cast<uint32_t>(text.size());
  }

  static void Append(Level& level, CXMLElement* node) {
    if (level.last == nullptr) {
      level.element->m_pFirst = node;
    } else {
      level.last->m_pNext = node;
    }
    level.last = node;
    ++level.element->m_nChildCount;
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
    Level& level = levels_[depth_];
    if (level.failed || equals_ < level.start) return;
    CXMLElement* node = reader_->NewNode(XML_ATTRIBUTE, AttributeName());
    const size_t length =
        std::min(static_cast<size_t>(close_quote_ - open_quote_ - 1), kAttributeValueUnits);
    const std::u16string_view value = UpToZero(text_.substr(open_quote_ + 1, length));
    node->m_pValue = value.data();
    node->m_nValueUnits = static_cast<uint32_t>(value.size());
    taken_.push_back({close_quote_, level.last});
    Append(level, node);
  }

  // The name in front of the "=": the units back to the nearest delimiter (or
  // the start of the text), quotes left out, at most 255 of them. It may run
  // over other "=" and quotes, which is why attributes need spaces between
  // them. A name without quotes is a view into the text.
  std::u16string_view AttributeName() {
    int64_t from = equals_;
    size_t kept = 0;
    bool quotes = false;
    for (int64_t i = equals_ - 1; i >= 0 && kept < kAttributeNameUnits; --i) {
      if (EndsAttributeName(text_[i])) break;
      if (IsQuote(text_[i])) {
        quotes = true;
      } else {
        ++kept;
        from = i;
      }
    }
    const std::u16string_view walked = text_.substr(from, equals_ - from);
    if (!quotes) return UpToZero(walked);
    char16_t* copy = reader_->NewUnits(kept);
    size_t n = 0;
    for (char16_t unit : walked) {
      if (!IsQuote(unit)) copy[n++] = unit;
    }
    return UpToZero(std::u16string_view(copy, n));
  }

  // The level's range ended before the closing quotes of what it took last.
  void TakeBackAfter(Level& level, int64_t end) {
    auto late = std::find_if(taken_.begin(), taken_.end(),
                             [end](const Taken& t) { return t.close_quote > end; });
    if (late == taken_.end()) return;
    level.element->m_nChildCount -= static_cast<uint32_t>(taken_.end() - late);
    level.last = late->previous_last;
    if (level.last == nullptr) {
      level.element->m_pFirst = nullptr;
    } else {
      level.last->m_pNext = nullptr;
    }
    taken_.erase(late, taken_.end());
  }

  CXMLReader* reader_;
  std::u16string_view text_;
  std::array<Level, kMaxNestingDepth + 1> levels_;
  size_t depth_ = 0;  // index of the innermost level
  std::vector<Taken> taken_;

  Mode mode_ = Mode::kIdle;
  int64_t count_ = 0;  // units collected since the last "<", plus one at each flush
  bool tag_pending_ = false;
  int64_t last_lt_ = kNone;
  int64_t previous_lt_ = kNone;
  int64_t last_gt_ = kNone;
  int64_t zero_after_lt_ = kNone;  // the first zero unit since the last "<"
  int64_t zero_after_gt_ = kNone;  // the first zero unit since the last ">", or the start
  bool attribute_pending_ = false;
  int64_t equals_ = 0;
  int64_t open_quote_ = 0;
  int64_t close_quote_ = 0;  // one past the text when missing
};

// ---------------------------------------------------------------------------
// CXMLReader: loading

int CXMLReader::LoadXML(const char16_t* path) {
  Release();
  if (path == nullptr) return 0;
  std::u16string units;
  size_t bytes = 0;
  try {
    if (!platform::ReadFileUnits(platform::Env::Default(), path, UINT32_MAX, &units, &bytes).ok()) {
      return 0;
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return LoadXMLUnits(std::move(units), bytes);
}

int CXMLReader::LoadXMLBytes(const void* data, size_t size) {
  Release();
  if (data == nullptr || size == 0) return 0;
  std::u16string units;
  try {
    units.resize(size / 2);  // an odd last byte is no unit of text
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(units.data(), data, 2 * units.size());
  return LoadXMLUnits(std::move(units), size);
}

int CXMLReader::LoadXMLUnits(std::u16string units, size_t bytes) {
  Release();
  if (bytes == 0 || bytes > UINT32_MAX || units.size() < bytes / 2) return 0;
  text_ = std::move(units);
  m_nLength = static_cast<uint32_t>(bytes);
  try {
    m_pRoot = NewNode(XML_ELEMENT, kRootName);
    // An odd last byte is no unit of text; the byte-order mark is an ordinary one.
    return Parse(this).Run() != 0 ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace obexses::xml
