// The session-file reader: a character-driven scan, one per nesting level.
//
// Each call scans its own range once and recognises only the tags of its own
// level; the content of a completed child is handed to a nested call. The
// quirks of the grammar (what a space, "?" or "!" does to a token, where an
// attribute is made) decide which saved sessions come back, so they are kept
// exactly, while every buffer and index is bounded so that no input, however
// damaged, can overrun anything or exhaust the stack.
#include "xml/xml_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "text/wide.h"

namespace obexses::xml {

namespace {

constexpr size_t kTokenUnits = 256;            // the token since the last "<"
constexpr size_t kTagNameUnits = 256;          // open name, and close name "/" + name
constexpr size_t kAttributeNameUnits = 256;    // longer names keep the units nearest the "="
constexpr size_t kAttributeValueUnits = 2048;  // holds the longest escaped name the writers make
constexpr int kMaxNestingDepth = 64;           // the module's own files nest 5 deep
constexpr char16_t kRootName[] = u"XML:ROOT";

bool IsQuote(char16_t c) {
  return c == u'\'' || c == u'"';
}

bool EndsAttributeName(char16_t c) {
  return c == u' ' || c == u'<' || c == u'>' || c == u'?' || c == u'!';
}

// A malloc copy of exactly text and a terminating zero; null when out of memory.
char16_t* CopyString(std::u16string_view text) {
  auto* copy = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
  copy[text.size()] = 0;
  return copy;
}

// The string a zero-terminated copy of text would hold.
std::u16string_view UpToZero(std::u16string_view text) {
  return text.substr(0, std::min(text.size(), text.find(u'\0')));
}

CXMLElement* NewNode(uint32_t type, std::u16string_view name) {
  auto* node = new (std::nothrow) CXMLElement;
  if (node == nullptr) return nullptr;
  node->m_pszName = CopyString(name);
  if (node->m_pszName == nullptr) {
    delete node;
    return nullptr;
  }
  node->m_nType = type;
  return node;
}

CXMLElement* NewAttribute(std::u16string_view name, std::u16string_view value) {
  CXMLElement* node = NewNode(XML_ATTRIBUTE, name);
  if (node == nullptr) return nullptr;
  node->m_pszValue = CopyString(value);
  if (node->m_pszValue == nullptr) {
    delete node;
    return nullptr;
  }
  return node;
}

bool AppendCell(CXMLElement* parent, CXMLElement* node) {
  auto* cell = new (std::nothrow) CXMLChildLink;
  if (cell == nullptr) return false;
  cell->m_pElement = node;
  if (parent->m_pFirst == nullptr) {
    parent->m_pFirst = cell;
    parent->m_pCursor = cell;
  } else {
    parent->m_pLast->m_pNext = cell;
  }
  parent->m_pLast = cell;
  ++parent->m_nChildCount;
  return true;
}

// Hangs a freshly made node under parent; false (and nothing left behind)
// when the node or its cell could not be made.
bool Attach(CXMLElement* parent, CXMLElement* node) {
  if (node == nullptr) return false;
  if (AppendCell(parent, node)) return true;
  delete node;
  return false;
}

// The first quote at or after from, up to end; end + 1 when there is none.
int64_t FindQuote(const char16_t* text, int64_t from, int64_t end) {
  while (from <= end && !IsQuote(text[from])) ++from;
  return from;
}

// The name in front of the "=" at equals: the units back to the nearest
// delimiter (or the start of the text), quotes left out. It may run over
// other "=" and quotes, which is why attributes need spaces between them.
size_t ReadAttributeName(const char16_t* text, int64_t equals, char16_t* name, size_t units) {
  if (name == nullptr || units == 0) return 0;
  const size_t room = units - 1;
  size_t kept = 0;
  for (int64_t i = equals - 1; i >= 0 && kept < room && !EndsAttributeName(text[i]); --i) {
    if (!IsQuote(text[i])) name[room - 1 - kept++] = text[i];
  }
  std::memmove(name, name + (room - kept), kept * sizeof(char16_t));
  name[kept] = 0;
  return kept;
}

// The value between the quotes, as far as units (terminator included) allow.
std::u16string_view ValueBetween(const char16_t* text, int64_t open, int64_t close, size_t units) {
  if (units == 0 || close <= open + 1) return {};
  const size_t length = std::min(static_cast<size_t>(close - open - 1), units - 1);
  return UpToZero(std::u16string_view(text + open + 1, length));
}

}  // namespace

// ---------------------------------------------------------------------------
// CXMLElement

CXMLElement::~CXMLElement() {
  for (CXMLChildLink* cell = m_pFirst; cell != nullptr;) {
    CXMLChildLink* next = cell->m_pNext;
    delete cell->m_pElement;
    delete cell;
    cell = next;
  }
  m_pFirst = m_pCursor = m_pLast = nullptr;
  m_nChildCount = 0;
  m_nType = 0;
  std::free(m_pszName);
  std::free(m_pszValue);
  m_pszName = m_pszValue = nullptr;
}

void CXMLElement::AddChild(CXMLElement* node) {
  if (node != nullptr && !AppendCell(this, node)) delete node;
}

namespace {
bool HasName(const CXMLElement* node, const char16_t* name) {
  return node != nullptr && node->m_pszName != nullptr &&
         std::u16string_view(node->m_pszName) == std::u16string_view(name);
}
}  // namespace

CXMLElement* CXMLElement::FindAttribute(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (CXMLChildLink* cell = m_pFirst; cell != nullptr; cell = cell->m_pNext) {
    CXMLElement* node = cell->m_pElement;
    if (node == nullptr || node->m_nType != XML_ATTRIBUTE) break;
    if (HasName(node, name)) return node;
  }
  return nullptr;
}

CXMLElement* CXMLElement::FindChild(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (CXMLChildLink* cell = m_pFirst; cell != nullptr; cell = cell->m_pNext) {
    CXMLElement* node = cell->m_pElement;
    if (node != nullptr && node->m_nType == XML_ELEMENT && HasName(node, name)) return node;
  }
  return nullptr;
}

const char16_t* CXMLElement::GetText() const {
  for (CXMLChildLink* cell = m_pFirst; cell != nullptr; cell = cell->m_pNext) {
    if (cell->m_pElement != nullptr && cell->m_pElement->m_nType == XML_TEXT) {
      return cell->m_pElement->m_pszName;
    }
  }
  return nullptr;
}

CXMLElement* CXMLElement::First() {
  m_pCursor = m_pFirst;
  return m_pCursor != nullptr ? m_pCursor->m_pElement : nullptr;
}

CXMLElement* CXMLElement::Next() {
  if (m_pCursor == nullptr) return nullptr;
  m_pCursor = m_pCursor->m_pNext;
  return m_pCursor != nullptr ? m_pCursor->m_pElement : nullptr;
}

// ---------------------------------------------------------------------------
// CXMLFile

CXMLFile::~CXMLFile() {
  Release();
}

void CXMLFile::Release() {
  delete m_pRoot;
  m_pRoot = nullptr;
  std::free(m_pBuffer);
  m_pBuffer = nullptr;
  m_nLength = 0;
}

// ---------------------------------------------------------------------------
// CXMLReader: loading

int CXMLReader::LoadXML(const char16_t* path) {
  Release();
  if (path == nullptr) return 0;
  std::u16string units;
  size_t bytes = 0;
  try {
    if (!platform::GetEnv()->ReadFileUnits(std::u16string(path), &units, &bytes)) return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return LoadXMLBytes(units.data(), bytes);
}

int CXMLReader::LoadXMLBytes(const void* data, size_t size) {
  Release();
  if (data == nullptr || size == 0 || size > UINT32_MAX) return 0;
  m_pBuffer = static_cast<char16_t*>(std::malloc(size));
  if (m_pBuffer == nullptr) return 0;
  std::memcpy(m_pBuffer, data, size);
  m_nLength = static_cast<uint32_t>(size);
  m_pRoot = NewNode(XML_ELEMENT, kRootName);
  if (m_pRoot == nullptr) return 0;
  // An odd last byte is no unit of text; the byte-order mark is an ordinary one.
  return ParseElement(m_pRoot, 0, TextUnits() - 1) != 0 ? 1 : 0;
}

int64_t CXMLReader::ParseAttribute(int64_t index, char16_t* name, size_t name_units,
                                   char16_t* value, size_t value_units) {
  const int64_t units = TextUnits();
  if (name != nullptr && name_units > 0) name[0] = 0;
  if (value != nullptr && value_units > 0) value[0] = 0;
  if (index < 0 || index >= units) return units;
  ReadAttributeName(m_pBuffer, index, name, name_units);
  const int64_t open = FindQuote(m_pBuffer, index + 1, units - 1);
  const int64_t close = open < units ? FindQuote(m_pBuffer, open + 1, units - 1) : units;
  if (value != nullptr)
    text::CopyBounded(value, value_units, ValueBetween(m_pBuffer, open, close, value_units));
  return close;
}

// ---------------------------------------------------------------------------
// CXMLReader: the scan of one level

namespace {
enum class Mode { kIdle, kCollecting, kFlushing };
}  // namespace

// Everything one level's scan keeps, local to its call. The buffers are
// bounded; the token's count is not, since the end of a child's content is
// reckoned back from it.
struct CXMLReader::Scan {
  Scan(const char16_t* text_in, int64_t first, int64_t end_in)
      : text(text_in), end(end_in), content_start(first) {
    open_name[0] = 0;
    close_name[0] = 0;
  }

  bool OpenNameEmpty() const { return open_name[0] == 0; }

  // The character's own effect, before the mode acts on it.
  void ApplyCharacter(char16_t c, int64_t index) {
    switch (c) {
      case u'<':
        count = 0;
        mode = Mode::kIdle;
        tag_pending = true;
        pure_text = false;
        break;
      case u'>':
        mode = Mode::kFlushing;
        content_start = index + 1;
        break;
      case u' ':
        if (mode != Mode::kIdle) mode = Mode::kFlushing;
        break;
      case u'?':
      case u'!':
        mode = Mode::kIdle;
        break;
      default:
        break;
    }
  }

  void Collect(char16_t c) {
    if (count < static_cast<int64_t>(kTokenUnits)) token[count] = c;
    ++count;
  }

  // Ends the token; true when it is the tag that a "<" announced.
  bool Flush() {
    if (count < static_cast<int64_t>(kTokenUnits)) token[count] = 0;
    ++count;
    if (!tag_pending) return false;
    tag_pending = false;
    return true;
  }

  // The effect that waits until the mode has acted on the character.
  void ApplyDeferred(char16_t c, int64_t index) {
    switch (c) {
      case u'<':
        mode = Mode::kCollecting;
        break;
      case u'>':
      case u' ':
      case u'?':
        mode = Mode::kIdle;
        break;
      case u'=':
        NoteEquals(index);
        break;
      default:
        break;
    }
  }

  // Each "=" replaces the pending attribute. Its quotes are looked for only up
  // to the end of the scan, which never reaches one further on; an "=" before
  // the last opening quote found shares that attribute's quotes, so a run of
  // "=" does not walk the same text again and again.
  void NoteEquals(int64_t index) {
    if (!attribute_pending || index >= open_quote) {
      open_quote = FindQuote(text, index + 1, end);
      close_quote = open_quote <= end ? FindQuote(text, open_quote + 1, end) : end + 1;
    }
    attribute_pending = true;
    equals = index;
  }

  bool AttributeEndsAt(int64_t index) const {
    return attribute_pending && close_quote == index && OpenNameEmpty();
  }

  // The token of a start tag names the child; false when "/" and the name
  // would not fit the close name.
  bool OpenChild(int64_t index) {
    const int64_t length = count - 1;
    if (length > static_cast<int64_t>(kTagNameUnits) - 2) return false;
    const std::u16string_view name = UpToZero(std::u16string_view(token, length));
    text::CopyBounded(open_name, kTagNameUnits, name);
    close_name[0] = u'/';
    text::CopyBounded(close_name + 1, kTagNameUnits - 1, name);
    child_start = index + 1;
    return true;
  }

  bool ClosesChild() const {
    const int64_t length = count - 1;
    if (length >= static_cast<int64_t>(kTokenUnits)) return false;
    return UpToZero(std::u16string_view(token, length)) ==
           text::FixedView(close_name, kTagNameUnits);
  }

  const char16_t* text;
  int64_t end;  // the last index scanned
  Mode mode = Mode::kIdle;
  char16_t token[kTokenUnits];
  int64_t count = 0;
  char16_t open_name[kTagNameUnits];
  char16_t close_name[kTagNameUnits];
  bool tag_pending = false;
  bool pure_text = true;
  int64_t content_start;
  int64_t child_start = 0;
  bool attribute_pending = false;
  int64_t equals = 0;
  int64_t open_quote = 0;
  int64_t close_quote = 0;  // past the end when missing
  int result = 0;
};

int CXMLReader::ParseElement(CXMLElement* element, int64_t first, int64_t last) {
  return ParseLevel(element, first, last, 1);
}

int CXMLReader::ParseLevel(CXMLElement* element, int64_t first, int64_t last, int depth) {
  if (m_pBuffer == nullptr || element == nullptr || depth > kMaxNestingDepth) return 0;
  first = std::max<int64_t>(first, 0);
  Scan scan(m_pBuffer, first, std::min(last, TextUnits() - 1));
  for (int64_t i = first; i <= scan.end; ++i) {
    const char16_t c = m_pBuffer[i];
    scan.ApplyCharacter(c, i);
    if (scan.mode == Mode::kCollecting) {
      scan.Collect(c);
    } else if (scan.mode == Mode::kFlushing && scan.Flush() &&
               !HandleTag(scan, element, i, depth)) {
      return 0;
    }
    scan.ApplyDeferred(c, i);
    if (scan.AttributeEndsAt(i) && !AddPendingAttribute(scan, element)) return 0;
  }
  if (!scan.pure_text) return scan.result;
  // A range without "<" is a leaf: its text is everything after its last ">".
  const int64_t length = scan.end - scan.content_start + 1;
  const std::u16string_view text = length > 0
                                       ? std::u16string_view(m_pBuffer + scan.content_start, length)
                                       : std::u16string_view();
  return Attach(element, NewNode(XML_TEXT, text)) ? 1 : 0;
}

bool CXMLReader::HandleTag(Scan& scan, CXMLElement* element, int64_t index, int depth) {
  if (scan.OpenNameEmpty()) return scan.OpenChild(index);
  if (scan.ClosesChild()) return CompleteChild(scan, element, index, depth);
  scan.result = 0;  // a tag inside the open child's content, or a stray end tag
  return true;
}

bool CXMLReader::CompleteChild(Scan& scan, CXMLElement* element, int64_t index, int depth) {
  CXMLElement* child = NewNode(XML_ELEMENT, text::FixedView(scan.open_name, kTagNameUnits));
  if (!Attach(element, child)) return false;
  // The count is the end tag's length plus one, so this is the unit before its "<".
  const int nested = ParseLevel(child, scan.child_start, index - scan.count - 1, depth + 1);
  if (nested == 0) return false;
  scan.result = nested;
  scan.open_name[0] = 0;
  scan.close_name[0] = 0;
  return true;
}

bool CXMLReader::AddPendingAttribute(const Scan& scan, CXMLElement* element) {
  char16_t name[kAttributeNameUnits];
  const size_t length = ReadAttributeName(m_pBuffer, scan.equals, name, kAttributeNameUnits);
  const std::u16string_view value =
      ValueBetween(m_pBuffer, scan.open_quote, scan.close_quote, kAttributeValueUnits);
  return Attach(element, NewAttribute(UpToZero(std::u16string_view(name, length)), value));
}

}  // namespace obexses::xml
