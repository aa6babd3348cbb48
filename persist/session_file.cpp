#include "persist/session_file.h"

#include <memory>
#include <string_view>
#include <utility>

#include "persist/record_xml.h"
#include "xml/xml_reader.h"

namespace obexses::persist {
namespace {

const char16_t* RootName(Side side) {
  return side == Side::kClient ? u"client_session" : u"server_session";
}

template <typename RecordPtr, typename Read>
LoadResult ReadFile(Side side, std::u16string units, size_t bytes, Read read,
                    const std::function<void(RecordPtr)>& take) {
  auto reader = std::make_unique<xml::CXMLReader>();
  if (reader->LoadXMLUnits(std::move(units), bytes) == 0) return LoadResult::kNotLoaded;
  const xml::CXMLElement* root = reader->m_pRoot->FindChild(RootName(side));
  if (root == nullptr) return LoadResult::kNoSessions;
  for (const xml::CXMLElement* child = root->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    if (child->m_nType == xml::XML_ELEMENT && child->Name() == u"session")
      take(RecordPtr(read(child)));
  }
  return LoadResult::kLoaded;
}

}  // namespace

SessionFileBuilder::SessionFileBuilder(Side side) : side_(side) {
  FilePrintf(&text_, u"<?xml version=\"1.0\"?>\n");
  FilePrintf(&text_, u"<%s>", RootName(side_));
}

void SessionFileBuilder::Add(const ClientSession* record) {
  WriteClientSession(&text_, record);
}

void SessionFileBuilder::Add(const ServerSession* record) {
  WriteServerSession(&text_, record);
}

std::string SessionFileBuilder::Finish() {
  FilePrintf(&text_, u"</%s>", RootName(side_));
  return text_.TakeBytes();
}

LoadResult ReadClientFile(std::u16string units, size_t bytes,
                          const std::function<void(ClientRecordDeepPtr)>& take) {
  return ReadFile<ClientRecordDeepPtr>(Side::kClient, std::move(units), bytes, ReadClientSession,
                                       take);
}

LoadResult ReadServerFile(std::u16string units, size_t bytes,
                          const std::function<void(ServerRecordDeepPtr)>& take) {
  return ReadFile<ServerRecordDeepPtr>(Side::kServer, std::move(units), bytes, ReadServerSession,
                                       take);
}

}  // namespace obexses::persist
