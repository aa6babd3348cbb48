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
#include <optional>
#include <span>
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

// At most width bytes go to the start of the field; the rest stays as it was.
void ReadHex(Value text, uint8_t* field, size_t width) {
  if (text) HexInto(*text, field, width);
}

void ReadText(Value text, char16_t* field, size_t units) {
  if (text) UnescapeInto(*text, field, units);
}

// The block holds as many bytes as the length says, or as the text has if
// fewer; a length of 0 leaves the pointer null.
void ReadBuffer(const SessionValues& values, uint8_t* base, const Field& field) {
  uint16_t length = 0;
  ReadHex(values.ChildText(field.name), reinterpret_cast<uint8_t*>(&length), sizeof(length));
  uint8_t* block = nullptr;
  if (length != 0) {
    const Value digits = values.ChildText(field.block_name);
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

// Each request becomes a node at the tail of the record's list.
class RequestNodes final : public RequestReader {
 public:
  explicit RequestNodes(FtpClientSession* record) : record_(record) {}
  void Request(Value type, Value text) override {
    auto* node = static_cast<ReqEntry*>(std::calloc(1, sizeof(ReqEntry)));
    if (node == nullptr) throw std::bad_alloc();
    ReadHex(type, &node->reqType, 1);
    ReadText(text, node->szText, OBEXSES_NAME_UNITS);
    records::AppendRequest(record_, node);
  }

 private:
  FtpClientSession* record_;
};

// The list head is made proper whatever the file holds; the nodes are the
// requests, read only when the count is not zero.
void ReadRequests(const SessionValues& values, uint8_t* base, const Field& field) {
  auto* record = reinterpret_cast<FtpClientSession*>(base);
  records::ResetRequestList(record);
  uint32_t count = 0;
  ReadHex(values.RequestCount(field.name), reinterpret_cast<uint8_t*>(&count), sizeof(count));
  if (count == 0) return;
  RequestNodes nodes(record);
  values.EachRequest(field.name, nodes);
}

void ReadAttribute(const SessionValues& values, uint8_t* base, const Field& field) {
  const Value value = values.Attribute(field.name);
  if (field.kind == Kind::kText) {
    ReadText(value, reinterpret_cast<char16_t*>(base + field.offset), field.width);
  } else {
    ReadHex(value, base + field.offset, field.width);
  }
}

void ReadElement(const SessionValues& values, uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      ReadHex(values.ChildText(field.name), base + field.offset, field.width);
      break;
    case Kind::kText:
      ReadText(values.ChildText(field.name), reinterpret_cast<char16_t*>(base + field.offset),
               field.width);
      break;
    case Kind::kBuffer:
      ReadBuffer(values, base, field);
      break;
    case Kind::kRequests:
      ReadRequests(values, base, field);
      break;
  }
}

// A record laid out by profile_type, or null when profile_type is missing or
// unknown, or profile_id does not name the same layout. Out of memory throws,
// with nothing left allocated.
template <typename Record>
Record* ReadSession(const SessionValues& values, std::span<const Layout> layouts,
                    Record* (*make)(uint32_t), void (*drop)(Record*)) {
  const Value type = values.Attribute(kProfileType);
  const Layout* layout = type ? LayoutNamed(layouts, *type) : nullptr;
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
    for (const Field& field : layout->attributes) ReadAttribute(values, base, field);
    if (record->profile_id != layout->profile) {
      release();
      return nullptr;
    }
    for (const Field& field : layout->part) ReadElement(values, base, field);
    for (const Field& field : layout->tail) ReadElement(values, base, field);
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

ClientSession* ReadClientSession(const SessionValues& values) {
  return ReadSession<ClientSession>(values, ClientLayouts(), records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  const Layout* layout = LayoutFor(ServerLayouts(), record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ServerSession* ReadServerSession(const SessionValues& values) {
  return ReadSession<ServerSession>(values, ServerLayouts(), records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
