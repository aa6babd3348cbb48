// SPDX-License-Identifier: MIT
// The tree of a session file: CXMLReader builds it from the events of the
// one scan (xml_scan.h), a node per element and per attribute, in a few large
// blocks. For the tests, the fuzzing and the tools; the restore reads records
// straight from the events.
#include "xml/xml_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "platform/env.h"
#include "xml/xml_scan.h"

namespace obexses::xml {

namespace {

constexpr char16_t kRootName[] = u"XML:ROOT";
constexpr char16_t kEmptyText[] = u"";

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
  result_ = ScanResult();
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
// The tree, built from the scan's events

namespace {

// Each open level's element and the child last appended to it.
struct Level {
  CXMLElement* element = nullptr;
  CXMLElement* last = nullptr;
};

// An attribute the innermost level took since the last tag: it is taken back
// when the level's range turns out to end before its closing quote.
struct Taken {
  size_t close_quote;
  CXMLElement* previous_last;
};

}  // namespace

class CXMLReader::Builder final : public ScanHandler {
 public:
  explicit Builder(CXMLReader* reader) : reader_(reader) {
    levels_[0].element = reader->m_pRoot;
    taken_.reserve(16);
  }

  void Opened(const OpenedElement& element) override {
    levels_[element.depth] = {reader_->NewNode(XML_ELEMENT, element.name), nullptr};
    taken_.clear();
  }

  void Attribute(size_t depth, const AttributeName& name, std::u16string_view value,
                 size_t close_quote) override {
    Level& level = levels_[depth];
    CXMLElement* node = reader_->NewNode(XML_ATTRIBUTE, Copied(name.Whole()));
    node->m_pValue = value.data();
    node->m_nValueUnits = static_cast<uint32_t>(value.size());
    taken_.push_back({close_quote, level.last});
    Append(level, node);
  }

  void Completed(const CompletedElement& element) override {
    Level& level = levels_[element.depth];
    TakeBackFrom(level, element.end);
    if (element.text) {
      level.element->m_pValue = element.text->empty() ? kEmptyText : element.text->data();
      level.element->m_nValueUnits = static_cast<uint32_t>(element.text->size());
    }
    if (element.depth > 0) Append(levels_[element.depth - 1], level.element);
    taken_.clear();
  }

  // What a dropped level took is no longer the innermost level's.
  void Dropped(size_t) override { taken_.clear(); }

 private:
  static void Append(Level& level, CXMLElement* node) {
    if (level.last == nullptr) {
      level.element->m_pFirst = node;
    } else {
      level.last->m_pNext = node;
    }
    level.last = node;
    ++level.element->m_nChildCount;
  }

  // A name without quotes is a view into the text; one with them is copied
  // into the reader's blocks without them.
  std::u16string_view Copied(const NameView& name) {
    if (!name.quoted) return name.walked;
    const size_t units = name.size();
    char16_t* copy = reader_->NewUnits(units);
    name.CopyTo(copy);
    return {copy, units};
  }

  // The level's range ended before the closing quotes of what it took last.
  void TakeBackFrom(Level& level, size_t end) {
    auto late = std::find_if(taken_.begin(), taken_.end(),
                             [end](const Taken& t) { return t.close_quote >= end; });
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
  std::array<Level, 65> levels_;
  std::vector<Taken> taken_;
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
    Builder builder(this);
    result_ = Scan(Text(), builder);
    return result_.result;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace obexses::xml
