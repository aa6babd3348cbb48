// Session records as session elements. Each of the four layouts (client and
// server, OPP and FTP) is a table of fields: its XML name, its offset in the
// record, its value kind and its width. One writer and one reader walk the
// tables for both sides.
#include "persist/record_xml.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "persist/record_fields.h"
#include "records/record_memory.h"
#include "text/wide.h"

namespace obexses::persist {
namespace {

// ---- Writing ----

const char16_t* TextAt(const uint8_t* base, size_t offset) {
  return reinterpret_cast<const char16_t*>(base + offset);
}

std::u16string_view TextField(const uint8_t* base, const Field& field) {
  return text::FixedView(TextAt(base, field.offset), field.width);
}

void WriteStartTag(SessionText* stream, std::u16string_view name) {
  stream->Append(u"<");
  stream->Append(name);
  stream->Append(u">");
}

void WriteEndTag(SessionText* stream, std::u16string_view name) {
  stream->Append(u"</");
  stream->Append(name);
  stream->Append(u">");
}

void WriteHexElement(SessionText* stream, const char16_t* name, const void* bytes, size_t width) {
  WriteStartTag(stream, name);
  stream->AppendHex(bytes, width);
  WriteEndTag(stream, name);
}

void WriteBuffer(SessionText* stream, const uint8_t* base, const Field& field) {
  uint16_t length = 0;
  const uint8_t* block = nullptr;
  std::memcpy(&length, base + field.offset, sizeof(length));
  std::memcpy(&block, base + field.block_offset, sizeof(block));
  WriteHexElement(stream, field.name, base + field.offset, field.width);
  if (length != 0 && block != nullptr) {
    WriteHexElement(stream, field.block_name, block, length);
  } else {
    WriteStartTag(stream, field.block_name);
    stream->Append(u"00");
    WriteEndTag(stream, field.block_name);
  }
}

// The nodes of a request list in forward order; a null head is an empty list.
template <typename Visit>
void ForEachRequest(const ReqLink* head, Visit visit) {
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    visit(*reinterpret_cast<const ReqEntry*>(link));
  }
}

void WriteRequests(SessionText* stream, const uint8_t* base, const Field& field) {
  const auto* head = reinterpret_cast<const ReqLink*>(base + field.offset);
  uint32_t count = 0;
  ForEachRequest(head, [&count](const ReqEntry&) { ++count; });
  const uint8_t count_bytes[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                                  static_cast<uint8_t>(count >> 16),
                                  static_cast<uint8_t>(count >> 24)};
  stream->Append(u"<");
  stream->Append(field.name);
  stream->Append(u" num=\"");
  stream->AppendHex(count_bytes, 4);
  stream->Append(u"\">");
  ForEachRequest(head, [stream](const ReqEntry& node) {
    stream->Append(u"<req reqType=\"");
    stream->AppendHex(&node.reqType, 1);
    stream->Append(u"\">");
    stream->AppendEscaped(text::FixedView(node.szText, OBEXSES_NAME_UNITS));
    stream->Append(u"</req>");
  });
  WriteEndTag(stream, field.name);
}

void WriteAttribute(SessionText* stream, const uint8_t* base, const Field& field) {
  stream->Append(u" ");
  stream->Append(field.name);
  stream->Append(u"=\"");
  if (field.kind == Kind::kText) {
    stream->AppendEscaped(TextField(base, field));
  } else {
    stream->AppendHex(base + field.offset, field.width);
  }
  stream->Append(u"\"");
}

void WriteElement(SessionText* stream, const uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      WriteHexElement(stream, field.name, base + field.offset, field.width);
      break;
    case Kind::kText:
      WriteStartTag(stream, field.name);
      stream->AppendEscaped(TextField(base, field));
      WriteEndTag(stream, field.name);
      break;
    case Kind::kBuffer:
      WriteBuffer(stream, base, field);
      break;
    case Kind::kRequests:
      WriteRequests(stream, base, field);
      break;
  }
}

void WriteSession(SessionText* stream, const uint8_t* base, const Layout& layout) {
  stream->Append(u"<session profile_type=\"");
  stream->Append(layout.profile_type);
  stream->Append(u"\"");
  for (const Field& field : layout.attributes) WriteAttribute(stream, base, field);
  stream->Append(u">");
  for (const Field& field : layout.part) WriteElement(stream, base, field);
  for (const Field& field : layout.tail) WriteElement(stream, base, field);
  stream->Append(u"</session>");
}

// ---- Reading ----

using Value = std::optional<std::u16string_view>;

Value AttributeValue(const xml::CXMLElement* element, const char16_t* name) {
  const xml::CXMLElement* attribute = element->FindAttribute(name);
  return attribute != nullptr ? Value(attribute->Value()) : std::nullopt;
}

// The first child element of each name a layout reads, found in one walk
// over the session element: the writer puts them in the order they are read,
// so each is met at the place after the last one, and one out of that order
// is still found by going round the names once.
class FieldChildren {
 public:
  FieldChildren(const xml::CXMLElement* element, const Layout& layout) {
    for (std::span<const Field> fields : {layout.part, layout.tail}) {
      for (const Field& field : fields) {
        Add(field.name);
        if (field.kind == Kind::kBuffer) Add(field.block_name);
      }
    }
    size_t next = 0;
    for (const xml::CXMLElement* child = element->FirstChild(); child != nullptr;
         child = child->NextSibling()) {
      const size_t slot = child->m_nType == xml::XML_ELEMENT ? SlotOf(child->Name(), next) : count_;
      if (slot == count_) continue;
      if (nodes_[slot] == nullptr) nodes_[slot] = child;
      next = slot + 1;
    }
  }

  // The first child element named name, one of the layout's names; or null.
  const xml::CXMLElement* Find(std::u16string_view name) {
    const size_t slot = SlotOf(name, next_);
    next_ = slot + 1;
    return nodes_[slot];  // nodes_[count_] stays null: a name not found finds nothing
  }

 private:
  // The layouts hold at most 28 names (a buffer value has two); a longer one
  // would find nothing past these.
  static constexpr size_t kMaxNames = 64;

  void Add(const char16_t* name) {
    if (count_ < kMaxNames) names_[count_++] = name;
  }

  size_t SlotOf(std::u16string_view name, size_t from) const {
    for (size_t k = 0; k < count_; ++k) {
      const size_t slot = (from + k) % count_;
      if (names_[slot] == name) return slot;
    }
    return count_;
  }

  std::array<std::u16string_view, kMaxNames> names_{};
  std::array<const xml::CXMLElement*, kMaxNames + 1> nodes_{};
  size_t count_ = 0;
  size_t next_ = 0;
};

Value ChildText(FieldChildren& children, const char16_t* name) {
  const xml::CXMLElement* child = children.Find(name);
  return child != nullptr ? child->GetText() : std::nullopt;
}

// At most width bytes go to the start of the field; the rest stays as it was.
void ReadHex(Value text, uint8_t* field, size_t width) {
  if (text) HexInto(*text, field, width);
}

void ReadText(Value text, char16_t* field, size_t units) {
  if (text) UnescapeInto(*text, field, units);
}

// The block holds as many bytes as the length says, or as the text has if
// fewer; a length of 0 leaves the pointer null.
void ReadBuffer(FieldChildren& children, uint8_t* base, const Field& field) {
  uint16_t length = 0;
  ReadHex(ChildText(children, field.name), reinterpret_cast<uint8_t*>(&length), sizeof(length));
  uint8_t* block = nullptr;
  if (length != 0) {
    const Value digits = ChildText(children, field.block_name);
    length = static_cast<uint16_t>(std::min<size_t>(digits ? digits->size() / 2 : 0, length));
    if (length != 0) {
      block = static_cast<uint8_t*>(std::malloc(length));
      if (block == nullptr) throw std::bad_alloc();
      HexInto(*digits, block, length);
    }
  }
  std::memcpy(base + field.offset, &length, sizeof(length));
  std::memcpy(base + field.block_offset, &block, sizeof(block));
}

ReqEntry* ReadRequest(const xml::CXMLElement* req) {
  auto* node = static_cast<ReqEntry*>(std::calloc(1, sizeof(ReqEntry)));
  if (node == nullptr) throw std::bad_alloc();
  ReadHex(AttributeValue(req, u"reqType"), &node->reqType, 1);
  ReadText(req->GetText(), node->szText, OBEXSES_NAME_UNITS);
  return node;
}

bool IsElementNamed(const xml::CXMLElement* node, std::u16string_view name) {
  return node->m_nType == xml::XML_ELEMENT && node->Name() == name;
}

// The list head is made proper whatever the file holds; the nodes are the
// req children, read only when num is not zero.
void ReadRequests(FieldChildren& children, uint8_t* base, const Field& field) {
  auto* record = reinterpret_cast<FtpClientSession*>(base);
  records::ResetRequestList(record);
  const xml::CXMLElement* list = children.Find(field.name);
  if (list == nullptr) return;
  uint32_t count = 0;
  ReadHex(AttributeValue(list, u"num"), reinterpret_cast<uint8_t*>(&count), sizeof(count));
  if (count == 0) return;
  for (const xml::CXMLElement* child = list->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    if (IsElementNamed(child, u"req")) records::AppendRequest(record, ReadRequest(child));
  }
}

void ReadAttribute(const xml::CXMLElement* element, uint8_t* base, const Field& field) {
  const Value value = AttributeValue(element, field.name);
  if (field.kind == Kind::kText) {
    ReadText(value, reinterpret_cast<char16_t*>(base + field.offset), field.width);
  } else {
    ReadHex(value, base + field.offset, field.width);
  }
}

void ReadElement(FieldChildren& children, uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      ReadHex(ChildText(children, field.name), base + field.offset, field.width);
      break;
    case Kind::kText:
      ReadText(ChildText(children, field.name), reinterpret_cast<char16_t*>(base + field.offset),
               field.width);
      break;
    case Kind::kBuffer:
      ReadBuffer(children, base, field);
      break;
    case Kind::kRequests:
      ReadRequests(children, base, field);
      break;
  }
}

// A record laid out by profile_type, or null when profile_type is missing or
// unknown, or profile_id does not name the same layout. Out of memory throws,
// with nothing left allocated.
template <typename Record>
Record* ReadSession(const xml::CXMLElement* element, std::span<const Layout> layouts,
                    Record* (*make)(uint32_t), void (*drop)(Record*)) {
  const Value type = AttributeValue(element, u"profile_type");
  const Layout* layout = type ? LayoutNamed(layouts, std::u16string(*type).c_str()) : nullptr;
  if (layout == nullptr) return nullptr;
  Record* record = make(layout->profile);
  if (record == nullptr) throw std::bad_alloc();
  record->profile_id = 0;  // only the file says what it is
  auto* base = reinterpret_cast<uint8_t*>(record);
  // The release picks the layout by profile_id, so it must see the block's own.
  auto release = [&] {
    record->profile_id = layout->profile;
    drop(record);
  };
  try {
    for (const Field& field : layout->attributes) ReadAttribute(element, base, field);
    if (record->profile_id != layout->profile) {
      release();
      return nullptr;
    }
    FieldChildren children(element, *layout);
    for (const Field& field : layout->part) ReadElement(children, base, field);
    for (const Field& field : layout->tail) ReadElement(children, base, field);
  } catch (...) {
    release();
    throw;
  }
  return record;
}

}  // namespace

int WriteClientSession(SessionText* stream, const ClientSession* record) {
  const Layout* layout = LayoutFor(ClientLayouts(), record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ClientSession* ReadClientSession(const xml::CXMLElement* element) {
  return ReadSession<ClientSession>(element, ClientLayouts(), records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  const Layout* layout = LayoutFor(ServerLayouts(), record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ServerSession* ReadServerSession(const xml::CXMLElement* element) {
  return ReadSession<ServerSession>(element, ServerLayouts(), records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
