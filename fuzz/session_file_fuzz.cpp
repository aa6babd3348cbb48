// Feeds arbitrary bytes, as the contents of a session file, through the XML
// reader and both record readers. Every record read must also survive a
// round trip: written as a session element and read back, it is the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "persist/record_xml.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "xml/xml_reader.h"

namespace {

using obexses::persist::SessionText;
using obexses::xml::CXMLElement;
using obexses::xml::CXMLReader;
using obexses::xml::XML_ELEMENT;

bool IsSession(const CXMLElement* node) {
  return node->m_nType == XML_ELEMENT && node->Name() == u"session";
}

// The record's bytes with its pointers cleared, then the blocks they point to.
template <typename Record>
std::string Contents(const Record* record, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(record), size);
  std::memset(&bytes[offsetof(Record, ResumeParms_headerBuff)], 0, 8);
  std::memset(&bytes[offsetof(Record, ResumeParms_protoBuff)], 0, 8);
  if (record->ResumeParms_headerLen != 0) {
    bytes.append(reinterpret_cast<const char*>(record->ResumeParms_headerBuff),
                 record->ResumeParms_headerLen);
  }
  if (record->ResumeParms_protoLen != 0) {
    bytes.append(reinterpret_cast<const char*>(record->ResumeParms_protoBuff),
                 record->ResumeParms_protoLen);
  }
  return bytes;
}

std::string ClientContents(const ClientSession* record) {
  if (record->profile_id == OBEXSES_PROFILE_OPP) {
    return Contents(record, sizeof(OppClientSession));
  }
  std::string bytes = Contents(record, sizeof(FtpClientSession));
  std::memset(&bytes[offsetof(FtpClientSession, m_reqList)], 0, sizeof(ReqLink));
  const ReqLink* head = &obexses::records::AsFtp(record)->m_reqList;
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    const auto* node = reinterpret_cast<const ReqEntry*>(link);
    bytes.append(reinterpret_cast<const char*>(node->szText), sizeof node->szText);
    bytes.push_back(static_cast<char>(node->reqType));
  }
  return bytes;
}

std::string ServerContents(const ServerSession* record) {
  return Contents(record, record->profile_id == OBEXSES_PROFILE_OPP ? sizeof(OppServerSession)
                                                                    : sizeof(FtpServerSession));
}

// Parses text as a one-session file and hands its session element to read.
template <typename Read>
auto ReadBack(const SessionText& text, Read read) -> decltype(read(nullptr)) {
  CXMLReader reader;
  if (reader.LoadXMLBytes(text.bytes().data(), text.bytes().size()) == 0) return nullptr;
  for (CXMLElement* child = reader.m_pRoot->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    if (IsSession(child)) return read(child);
  }
  return nullptr;
}

void CheckClientRoundTrip(ClientSession* record) {
  SessionText text;
  obexses::RegisterLiveSession(record);
  obexses::persist::WriteClientSession(&text, record);
  obexses::UnregisterLiveSession(record);
  ClientSession* again = ReadBack(text, obexses::persist::ReadClientSession);
  if (again == nullptr || ClientContents(again) != ClientContents(record)) std::abort();
  obexses::records::DeleteClientRecordDeep(again);
}

void CheckServerRoundTrip(ServerSession* record) {
  SessionText text;
  obexses::persist::WriteServerSession(&text, record);
  ServerSession* again = ReadBack(text, obexses::persist::ReadServerSession);
  if (again == nullptr || ServerContents(again) != ServerContents(record)) std::abort();
  obexses::records::DeleteServerRecordDeep(again);
}

void ReadSession(const CXMLElement* element) {
  if (ClientSession* client = obexses::persist::ReadClientSession(element)) {
    CheckClientRoundTrip(client);
    obexses::records::DeleteClientRecordDeep(client);
  }
  if (ServerSession* server = obexses::persist::ReadServerSession(element)) {
    CheckServerRoundTrip(server);
    obexses::records::DeleteServerRecordDeep(server);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CXMLReader reader;
  reader.LoadXMLBytes(data, size);
  if (reader.m_pRoot == nullptr) return 0;
  // Sessions stand under a top-level element, as in the session files.
  for (CXMLElement* top = reader.m_pRoot->FirstChild(); top != nullptr; top = top->NextSibling()) {
    if (top->m_nType != XML_ELEMENT) continue;
    for (CXMLElement* child = top->FirstChild(); child != nullptr; child = child->NextSibling()) {
      if (IsSession(child)) ReadSession(child);
    }
  }
  return 0;
}
