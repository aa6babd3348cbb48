// Session records as session elements. Each of the four layouts (client and
// server, OPP and FTP) is a table of fields: its XML name, its offset in the
// record, its value kind and its width. One writer and one reader walk the
// tables for both sides.
#include "persist/record_xml.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>

#include "persist/record_fields.h"
#include "records/record_memory.h"
#include "text/wide.h"

namespace obexses::persist {
namespace {

// ---- Writing ----

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
using HexDigits = std::unique_ptr<char16_t, FreeDeleter>;

// The digits of width bytes; out of memory ends the whole write.
HexDigits DigitsOf(const void* bytes, size_t width) {
  HexDigits digits(BinToHex(bytes, static_cast<int32_t>(width)));
  if (digits == nullptr) throw std::bad_alloc();
  return digits;
}

const char16_t* TextAt(const uint8_t* base, size_t offset) {
  return reinterpret_cast<const char16_t*>(base + offset);
}

void WriteHexElement(SessionText* stream, const char16_t* name, const void* bytes, size_t width) {
  FilePrintf(stream, u"<%s>%s</%s>", name, DigitsOf(bytes, width).get(), name);
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
    FilePrintf(stream, u"<%s>00</%s>", field.block_name, field.block_name);
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
  FilePrintf(stream, u"<%s num=\"%s\">", field.name, DigitsOf(count_bytes, 4).get());
  ForEachRequest(head, [stream](const ReqEntry& node) {
    FilePrintf(stream, u"<req reqType=\"%s\">", DigitsOf(&node.reqType, 1).get());
    FilePrintf(stream, u"%s", EscapeText(text::FixedView(node.szText, OBEXSES_NAME_UNITS)));
    FilePrintf(stream, u"</req>");
  });
  FilePrintf(stream, u"</%s>", field.name);
}

void WriteAttribute(SessionText* stream, const uint8_t* base, const Field& field) {
  if (field.kind == Kind::kText) {
    const std::u16string value =
        EscapeText(text::FixedView(TextAt(base, field.offset), field.width));
    FilePrintf(stream, u" %s=\"%s\"", field.name, value);
  } else {
    FilePrintf(stream, u" %s=\"%s\"", field.name, DigitsOf(base + field.offset, field.width).get());
  }
}

void WriteElement(SessionText* stream, const uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      WriteHexElement(stream, field.name, base + field.offset, field.width);
      break;
    case Kind::kText: {
      const std::u16string value =
          EscapeText(text::FixedView(TextAt(base, field.offset), field.width));
      FilePrintf(stream, u"<%s>%s</%s>", field.name, value, field.name);
      break;
    }
    case Kind::kBuffer:
      WriteBuffer(stream, base, field);
      break;
    case Kind::kRequests:
      WriteRequests(stream, base, field);
      break;
  }
}

void WriteSession(SessionText* stream, const uint8_t* base, const Layout& layout) {
  FilePrintf(stream, u"<session");
  FilePrintf(stream, u" profile_type=\"%s\"", layout.profile_type);
  for (const Field& field : layout.attributes) WriteAttribute(stream, base, field);
  FilePrintf(stream, u">");
  for (const Field& field : layout.part) WriteElement(stream, base, field);
  for (const Field& field : layout.tail) WriteElement(stream, base, field);
  FilePrintf(stream, u"</session>");
}

// ---- Reading ----

const char16_t* AttributeValue(xml::CXMLElement* element, const char16_t* name) {
  const xml::CXMLElement* attribute = element->FindAttribute(name);
  return attribute != nullptr ? attribute->m_pszValue : nullptr;
}

const char16_t* ChildText(xml::CXMLElement* element, const char16_t* name) {
  const xml::CXMLElement* child = element->FindChild(name);
  return child != nullptr ? child->GetText() : nullptr;
}

// The bytes of a hex text; a missing text gives none.
struct HexBytes {
  std::unique_ptr<uint8_t, FreeDeleter> block;
  uint32_t count = 0;
};

HexBytes BytesOf(const char16_t* text) {
  HexBytes bytes;
  if (text == nullptr) return bytes;
  bytes.block.reset(HexToBin(text, &bytes.count));
  if (bytes.block == nullptr) throw std::bad_alloc();
  return bytes;
}

// At most width bytes go to the start of the field; the rest stays as it was.
void ReadHex(const char16_t* text, uint8_t* field, size_t width) {
  const HexBytes bytes = BytesOf(text);
  if (bytes.count != 0) std::memcpy(field, bytes.block.get(), std::min<size_t>(bytes.count, width));
}

void ReadText(const char16_t* text, char16_t* field, size_t units) {
  if (text != nullptr) text::CopyBounded(field, units, UnescapeText(text));
}

void ReadBuffer(xml::CXMLElement* element, uint8_t* base, const Field& field) {
  uint16_t length = 0;
  ReadHex(ChildText(element, field.name), reinterpret_cast<uint8_t*>(&length), sizeof(length));
  uint8_t* block = nullptr;
  if (length != 0) {
    const HexBytes bytes = BytesOf(ChildText(element, field.block_name));
    length = static_cast<uint16_t>(std::min<uint32_t>(bytes.count, length));
    if (length != 0) {
      block = static_cast<uint8_t*>(std::malloc(length));
      if (block == nullptr) throw std::bad_alloc();
      std::memcpy(block, bytes.block.get(), length);
    }
  }
  std::memcpy(base + field.offset, &length, sizeof(length));
  std::memcpy(base + field.block_offset, &block, sizeof(block));
}

ReqEntry* ReadRequest(xml::CXMLElement* req) {
  auto* node = static_cast<ReqEntry*>(std::calloc(1, sizeof(ReqEntry)));
  if (node == nullptr) throw std::bad_alloc();
  try {
    ReadHex(AttributeValue(req, u"reqType"), &node->reqType, 1);
    ReadText(req->GetText(), node->szText, OBEXSES_NAME_UNITS);
  } catch (...) {
    std::free(node);
    throw;
  }
  return node;
}

// The list head is made proper whatever the file holds; the nodes are the
// req children, read only when num is not zero.
void ReadRequests(xml::CXMLElement* element, uint8_t* base, const Field& field) {
  auto* record = reinterpret_cast<FtpClientSession*>(base);
  records::ResetRequestList(record);
  xml::CXMLElement* list = element->FindChild(field.name);
  if (list == nullptr) return;
  uint32_t count = 0;
  ReadHex(AttributeValue(list, u"num"), reinterpret_cast<uint8_t*>(&count), sizeof(count));
  if (count == 0) return;
  for (xml::CXMLElement* child = list->First(); child != nullptr; child = list->Next()) {
    if (child->m_nType != xml::XML_ELEMENT || child->m_pszName == nullptr ||
        std::u16string_view(child->m_pszName) != u"req") {
      continue;
    }
    records::AppendRequest(record, ReadRequest(child));
  }
}

void ReadAttribute(xml::CXMLElement* element, uint8_t* base, const Field& field) {
  const char16_t* value = AttributeValue(element, field.name);
  if (field.kind == Kind::kText) {
    ReadText(value, reinterpret_cast<char16_t*>(base + field.offset), field.width);
  } else {
    ReadHex(value, base + field.offset, field.width);
  }
}

void ReadElement(xml::CXMLElement* element, uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      ReadHex(ChildText(element, field.name), base + field.offset, field.width);
      break;
    case Kind::kText:
      ReadText(ChildText(element, field.name), reinterpret_cast<char16_t*>(base + field.offset),
               field.width);
      break;
    case Kind::kBuffer:
      ReadBuffer(element, base, field);
      break;
    case Kind::kRequests:
      ReadRequests(element, base, field);
      break;
  }
}

// A record laid out by profile_type, or null when profile_type is missing or
// unknown, or profile_id does not name the same layout. Out of memory throws,
// with nothing left allocated.
template <typename Record>
Record* ReadSession(xml::CXMLElement* element, std::span<const Layout> layouts,
                    Record* (*make)(uint32_t), void (*drop)(Record*)) {
  const Layout* layout = LayoutNamed(layouts, AttributeValue(element, u"profile_type"));
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
    for (const Field& field : layout->part) ReadElement(element, base, field);
    for (const Field& field : layout->tail) ReadElement(element, base, field);
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

ClientSession* ReadClientSession(xml::CXMLElement* element) {
  return ReadSession<ClientSession>(element, ClientLayouts(), records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  const Layout* layout = LayoutFor(ServerLayouts(), record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ServerSession* ReadServerSession(xml::CXMLElement* element) {
  return ReadSession<ServerSession>(element, ServerLayouts(), records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
