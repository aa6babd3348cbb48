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

#include "records/record_memory.h"
#include "text/wide.h"

namespace obexses::persist {
namespace {

enum class Kind { kHex, kText, kBuffer, kRequests };

struct Field {
  const char16_t* name;
  size_t offset;
  Kind kind;
  size_t width;                          // bytes of a hex value, units of a text value
  const char16_t* block_name = nullptr;  // buffer value: the element of the block
  size_t block_offset = 0;               // buffer value: the block's pointer
};

// The XML name of every field is its member name.
#define OBEXSES_HEX(type, field)                                       \
  Field {                                                              \
    u"" #field, offsetof(type, field), Kind::kHex, sizeof(type::field) \
  }
#define OBEXSES_TEXT(type, field)                                      \
  Field {                                                              \
    u"" #field, offsetof(type, field), Kind::kText, OBEXSES_NAME_UNITS \
  }
#define OBEXSES_BUFFER(type, length, block)                                                  \
  Field {                                                                                    \
    u"" #length, offsetof(type, length), Kind::kBuffer, 2, u"" #block, offsetof(type, block) \
  }

constexpr Field kClientAttributes[] = {
    OBEXSES_HEX(ClientSession, bdaddr),
    OBEXSES_HEX(ClientSession, profile_id),
    OBEXSES_TEXT(ClientSession, file_name),
    OBEXSES_HEX(ClientSession, create_time_stamp),
};

constexpr Field kClientOppPart[] = {
    OBEXSES_HEX(OppClientSession, m_bAcceptObject),
    OBEXSES_HEX(OppClientSession, m_bObexEnabled),
    OBEXSES_HEX(OppClientSession, handler),
    OBEXSES_TEXT(OppClientSession, objectName),
    OBEXSES_TEXT(OppClientSession, internalObjectName),
    OBEXSES_TEXT(OppClientSession, pathName),
    OBEXSES_HEX(OppClientSession, state),
    OBEXSES_HEX(OppClientSession, bTempFile),
    OBEXSES_TEXT(OppClientSession, m_szInboxpath),
    OBEXSES_TEXT(OppClientSession, m_szDefaultvCard),
    OBEXSES_HEX(OppClientSession, m_bObStoreInit),
    OBEXSES_HEX(OppClientSession, m_bVCardGetOnly),
};

constexpr Field kClientFtpPart[] = {
    OBEXSES_HEX(FtpClientSession, m_ucCurrentTxType),
    OBEXSES_HEX(FtpClientSession, m_ucCurrentTxGroupType),
    OBEXSES_HEX(FtpClientSession, m_ucState),
    OBEXSES_HEX(FtpClientSession, m_ucSetPathFlag),
    OBEXSES_HEX(FtpClientSession, m_hDevice),
    OBEXSES_HEX(FtpClientSession, m_connId),
    OBEXSES_HEX(FtpClientSession, m_dwDelay),
    OBEXSES_HEX(FtpClientSession, m_dwReserved),
    OBEXSES_HEX(FtpClientSession, m_numNestedFolders),
    OBEXSES_TEXT(FtpClientSession, m_bstrCurrentTxName),
    OBEXSES_TEXT(FtpClientSession, m_bstrClientDirectory),
    OBEXSES_TEXT(FtpClientSession, m_bstrServerDirectory),
    OBEXSES_TEXT(FtpClientSession, m_bstrTempLocalDir),
    OBEXSES_TEXT(FtpClientSession, m_bstrBtFxWinTmpDir),
    OBEXSES_HEX(FtpClientSession, m_uuidWho),
    Field{u"m_reqList", offsetof(FtpClientSession, m_reqList), Kind::kRequests, 0},
};

constexpr Field kClientTail[] = {
    OBEXSES_HEX(ClientSession, GoepClient_sessionTimeout),
    OBEXSES_HEX(ClientSession, GoepClient_sessionId),
    OBEXSES_HEX(ClientSession, GoepClient_sessionState),
    OBEXSES_HEX(ClientSession, GoepClient_timer),
    OBEXSES_BUFFER(ClientSession, ResumeParms_headerLen, ResumeParms_headerBuff),
    OBEXSES_BUFFER(ClientSession, ResumeParms_protoLen, ResumeParms_protoBuff),
    OBEXSES_HEX(ClientSession, FO_amount),
    OBEXSES_HEX(ClientSession, FO_fileLen),
    OBEXSES_HEX(ClientSession, FO_timeStamp),
    OBEXSES_HEX(ClientSession, ObexSession),
};

constexpr Field kServerAttributes[] = {
    OBEXSES_HEX(ServerSession, session_id),
    OBEXSES_HEX(ServerSession, profile_id),
    OBEXSES_HEX(ServerSession, create_time_stamp),
};

constexpr Field kServerOppPart[] = {
    OBEXSES_HEX(OppServerSession, m_bAcceptObject),
    OBEXSES_HEX(OppServerSession, m_bObexEnabled),
    OBEXSES_TEXT(OppServerSession, internalObjectName),
    OBEXSES_HEX(OppServerSession, connState),
    OBEXSES_HEX(OppServerSession, operation),
    OBEXSES_HEX(OppServerSession, newPath),
    OBEXSES_TEXT(OppServerSession, m_szInboxpath),
    OBEXSES_TEXT(OppServerSession, m_szDefaultvCard),
    OBEXSES_HEX(OppServerSession, m_bServerInit),
    OBEXSES_HEX(OppServerSession, m_bObStoreInit),
    OBEXSES_HEX(OppServerSession, m_bVCardGetOnly),
};

constexpr Field kServerFtpPart[] = {
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentTxName),
    OBEXSES_HEX(FtpServerSession, m_ucCurrentTxType),
    OBEXSES_HEX(FtpServerSession, m_ucState),
    OBEXSES_HEX(FtpServerSession, m_ucBrowseDepth),
    OBEXSES_HEX(FtpServerSession, m_lCurrentShareProps),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentDirectory),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentRoot),
    OBEXSES_TEXT(FtpServerSession, m_bstrBtFxTempDirectory),
    OBEXSES_HEX(FtpServerSession, m_bAcceptObject),
    OBEXSES_HEX(FtpServerSession, m_bPathAppended),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentNameHeader),
    OBEXSES_HEX(FtpServerSession, m_lTimeout),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentAccessProps),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentSecurityAllowed),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentSecurityDenied),
};

// The server writes its timer before the resume parameters and the OBEX
// session block last, whatever their place in the record.
constexpr Field kServerTail[] = {
    OBEXSES_HEX(ServerSession, GoepServer_sessionTimeout),
    OBEXSES_HEX(ServerSession, GoepServer_sessionId),
    OBEXSES_HEX(ServerSession, GoepServer_sessionState),
    OBEXSES_HEX(ServerSession, GoepServer_timer),
    OBEXSES_BUFFER(ServerSession, ResumeParms_headerLen, ResumeParms_headerBuff),
    OBEXSES_BUFFER(ServerSession, ResumeParms_protoLen, ResumeParms_protoBuff),
    OBEXSES_HEX(ServerSession, FO_amount),
    OBEXSES_HEX(ServerSession, FO_fileLen),
    OBEXSES_HEX(ServerSession, FO_timeStamp),
    OBEXSES_HEX(ServerSession, ObexSession),
};

#undef OBEXSES_HEX
#undef OBEXSES_TEXT
#undef OBEXSES_BUFFER

struct Layout {
  uint32_t profile;
  const char16_t* profile_type;
  std::span<const Field> attributes;
  std::span<const Field> part;
  std::span<const Field> tail;
};

constexpr Layout kClientLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", kClientAttributes, kClientOppPart, kClientTail},
    {OBEXSES_PROFILE_FTP, u"ftp", kClientAttributes, kClientFtpPart, kClientTail},
};

constexpr Layout kServerLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", kServerAttributes, kServerOppPart, kServerTail},
    {OBEXSES_PROFILE_FTP, u"ftp", kServerAttributes, kServerFtpPart, kServerTail},
};

const Layout* LayoutFor(std::span<const Layout> layouts, uint32_t profile) {
  for (const Layout& layout : layouts) {
    if (layout.profile == profile) return &layout;
  }
  return nullptr;
}

const Layout* LayoutNamed(std::span<const Layout> layouts, const char16_t* profile_type) {
  if (profile_type == nullptr) return nullptr;
  for (const Layout& layout : layouts) {
    if (std::u16string_view(profile_type) == layout.profile_type) return &layout;
  }
  return nullptr;
}

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
  const Layout* layout = LayoutFor(kClientLayouts, record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ClientSession* ReadClientSession(xml::CXMLElement* element) {
  return ReadSession<ClientSession>(element, kClientLayouts, records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  const Layout* layout = LayoutFor(kServerLayouts, record->profile_id);
  if (layout != nullptr) WriteSession(stream, reinterpret_cast<const uint8_t*>(record), *layout);
  return 1;
}

ServerSession* ReadServerSession(xml::CXMLElement* element) {
  return ReadSession<ServerSession>(element, kServerLayouts, records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
