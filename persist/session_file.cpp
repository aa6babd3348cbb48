#include "persist/session_file.h"

#include <atomic>
#include <cstring>
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
LoadResult ReadTree(Side side, xml::CXMLReader* reader, Read read,
                    const std::function<void(RecordPtr)>& take) {
  const xml::CXMLElement* root = reader->m_pRoot->FindChild(RootName(side));
  if (root == nullptr) return LoadResult::kNoSessions;
  for (const xml::CXMLElement* child = root->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    if (child->m_nType == xml::XML_ELEMENT && child->Name() == u"session")
      take(RecordPtr(read(child)));
  }
  return LoadResult::kLoaded;
}

template <typename RecordPtr, typename Read>
LoadResult ReadFile(Side side, std::u16string* units, size_t bytes, Read read,
                    const std::function<void(RecordPtr)>& take) {
  auto reader = std::make_unique<xml::CXMLReader>();
  const LoadResult result = reader->LoadXMLUnits(std::move(*units), bytes) == 0
                                ? LoadResult::kNotLoaded
                                : ReadTree(side, reader.get(), read, take);
  *units = reader->TakeText();
  return result;
}

// The size of each side's last file: the next one is usually much the same,
// so its buffer is made that large (and a little more) at once.
std::atomic<size_t> g_last_size[2];

std::atomic<size_t>& LastSize(Side side) {
  return g_last_size[side == Side::kClient ? 0 : 1];
}

}  // namespace

SessionFileBuilder::SessionFileBuilder(Side side) : side_(side) {
  const size_t last = LastSize(side_).load(std::memory_order_relaxed);
  text_.Reserve(last + last / 8 + 4096);
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
  std::string bytes = text_.TakeBytes();
  LastSize(side_).store(bytes.size(), std::memory_order_relaxed);
  return bytes;
}

LoadResult ReadClientFile(std::u16string* units, size_t bytes,
                          const std::function<void(ClientRecordDeepPtr)>& take) {
  return ReadFile<ClientRecordDeepPtr>(Side::kClient, units, bytes, ReadClientSession, take);
}

LoadResult ReadServerFile(std::u16string* units, size_t bytes,
                          const std::function<void(ServerRecordDeepPtr)>& take) {
  return ReadFile<ServerRecordDeepPtr>(Side::kServer, units, bytes, ReadServerSession, take);
}

bool HoldsBytes(const std::u16string& units, size_t bytes, const std::string& file) {
  return bytes == file.size() && units.size() == (bytes + 1) / 2 &&
         std::memcmp(units.data(), file.data(), bytes) == 0;
}

}  // namespace obexses::persist
