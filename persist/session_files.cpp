// The two session files. Client and server files follow one plan, written
// once here as templates over a side: what differs (names, messages, the live
// set, how a record is filed and released) is in ClientSide and ServerSide.
#include "persist/session_files.h"

#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "module/state.h"
#include "persist/record_xml.h"
#include "persist/value_codec.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "settings/settings.h"
#include "xml/xml_reader.h"

namespace obexses {
namespace {

struct ClientSide {
  using Record = ClientSession;
  using Map = ClientMap;
  static constexpr char16_t kRootStart[] = u"<client_session>";
  static constexpr char16_t kRootEnd[] = u"</client_session>";
  static constexpr char16_t kRootName[] = u"client_session";
  static constexpr char16_t kStoreFailed[] = u"tvr_store_client_session ,open failed %s\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_client_session ,LoadXML failed %s\n";

  static Map& Saved() { return g_saved_client_sessions; }
  static const char16_t* Path() { return g_client_session_path; }
  static Map MakeMap() { return MakeClientMap(); }
  // Records no longer live are left out of the file but stay saved.
  static void Write(persist::SessionText* text, const Record* record) {
    persist::WriteClientSession(text, record);
  }
  static Record* Read(xml::CXMLElement* element) { return persist::ReadClientSession(element); }
  static std::u16string Key(const Record* record) { return ClientRecordKey(record); }
  static void Admit(Record* record) {
    AppendClientRecord(record);
    RegisterLiveSession(record);
  }
  // Undoes Admit as far as it went, and releases what the file gave.
  static void Discard(Record* record) {
    RemoveClientRecord(record);
    UnregisterLiveSession(record);
    records::DeleteClientRecordDeep(record);
  }
  // A record of the replaced saved set: its buffers go with the profile module.
  static void Retire(Record* record) {
    RemoveClientRecord(record);
    UnregisterLiveSession(record);
    records::DeleteClientRecord(record);
  }
  static void Drop(Record* record) { records::DeleteClientRecordDeep(record); }
  static int32_t Store() { return tvr_store_client_session(); }
};

struct ServerSide {
  using Record = ServerSession;
  using Map = ServerMap;
  static constexpr char16_t kRootStart[] = u"<server_session>";
  static constexpr char16_t kRootEnd[] = u"</server_session>";
  static constexpr char16_t kRootName[] = u"server_session";
  static constexpr char16_t kStoreFailed[] = u"tvr_store_server_session ,open failed %s\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_server_session ,LoadXML failed %s\n";

  static Map& Saved() { return g_saved_server_sessions; }
  static const char16_t* Path() { return g_server_session_path; }
  static Map MakeMap() { return MakeServerMap(); }
  static void Write(persist::SessionText* text, const Record* record) {
    persist::WriteServerSession(text, record);
  }
  static Record* Read(xml::CXMLElement* element) { return persist::ReadServerSession(element); }
  static std::u16string Key(const Record* record) { return BuildServerKey(record->session_id); }
  static void Admit(Record* record) { AppendServerRecord(record); }
  static void Discard(Record* record) {
    RemoveServerRecord(record);
    records::DeleteServerRecordDeep(record);
  }
  static void Retire(Record* record) {
    RemoveServerRecord(record);
    records::DeleteServerRecord(record);
  }
  static void Drop(Record* record) { records::DeleteServerRecordDeep(record); }
  static int32_t Store() { return tvr_store_server_session(); }
};

// ---- Store ----

// The whole file in memory, then one atomic replacement: a failed store
// leaves the old file as it was. Caller holds g_session_lock.
template <typename Side>
int32_t WriteSessionFile() {
  std::string bytes;
  try {
    persist::SessionText text;
    persist::FilePrintf(&text, u"<?xml version=\"1.0\"?>\n");
    persist::FilePrintf(&text, Side::kRootStart);
    for (const auto& entry : Side::Saved()) Side::Write(&text, entry.second);
    persist::FilePrintf(&text, Side::kRootEnd);
    bytes = persist::FileBytes(text);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (!platform::GetEnv()->ReplaceFileBytes(Side::Path(), bytes)) {
    DebugTrace(2, Side::kStoreFailed, Side::Path());
    return 0;
  }
  return 1;
}

// ---- Restore ----

// What a restore read, in file order; first of each key wins.
template <typename Side>
class RestoredSet {
 public:
  RestoredSet() : map_(Side::MakeMap()) {}

  // Takes a record read from the file: dropped when obsolete, key-less or
  // repeated, otherwise filed and admitted to the registry.
  void Offer(typename Side::Record* record, int64_t threshold) {
    if (threshold >= record->create_time_stamp) return Side::Drop(record);
    std::u16string key;
    try {
      key = Side::Key(record);
      if (key.empty() || map_.count(key) != 0) return Side::Drop(record);
      map_.emplace(std::move(key), record);
    } catch (...) {
      Side::Drop(record);
      throw;
    }
    Side::Admit(record);
  }

  // Out of memory half-way: what was admitted leaves the registry again.
  void Abandon() {
    for (auto& entry : map_) Side::Discard(entry.second);
    map_.clear();
  }

  // The restored set becomes the saved set; the set saved before goes.
  void Install() {
    std::swap(map_, Side::Saved());
    for (auto& entry : map_) Side::Retire(entry.second);
    map_.clear();
  }

 private:
  typename Side::Map map_;
};

template <typename Side>
void ReadSessions(xml::CXMLElement* root, RestoredSet<Side>& restored) {
  const int64_t now = platform::GetEnv()->NowSeconds();
  const int64_t threshold = now - static_cast<int64_t>(ReadObsoleteAge());
  for (xml::CXMLElement* child = root->First(); child != nullptr; child = root->Next()) {
    if (child->m_nType != xml::XML_ELEMENT || child->m_pszName == nullptr ||
        std::u16string_view(child->m_pszName) != u"session") {
      continue;
    }
    typename Side::Record* record = Side::Read(child);
    if (record != nullptr) restored.Offer(record, threshold);
  }
}

// The file is rewritten from the saved set as it stands before the exchange,
// whatever ObexSesSaveFile says.
template <typename Side>
void ForceStore() {
  const uint32_t save_file = g_save_file.exchange(1);
  Side::Store();
  g_save_file.store(save_file);
}

// Caller holds g_session_lock.
template <typename Side>
int32_t RestoreSessionFile() {
  RestoredSet<Side> restored;
  auto reader = std::make_unique<xml::CXMLReader>();
  const int loaded = reader->LoadXML(Side::Path());
  xml::CXMLElement* root = loaded != 0 && reader->m_pRoot != nullptr
                               ? reader->m_pRoot->FindChild(Side::kRootName)
                               : nullptr;
  if (root == nullptr) {
    DebugTrace(2, Side::kLoadFailed, Side::Path());
    return loaded != 0 ? 1 : 0;
  }
  try {
    ReadSessions<Side>(root, restored);
  } catch (const std::bad_alloc&) {
    restored.Abandon();
    return 0;
  }
  ForceStore<Side>();
  restored.Install();
  return 1;
}

}  // namespace

int32_t tvr_store_client_session() {
  if (g_save_file.load() == 0) return 1;
  SessionGuard lock(g_session_lock);
  DebugTrace(3, u"store all client session to file\n");
  return WriteSessionFile<ClientSide>();
}

int32_t tvr_store_server_session() {
  if (g_save_file.load() == 0) return 1;
  DebugTrace(3, u"store all server session to file\n");
  SessionGuard lock(g_session_lock);
  return WriteSessionFile<ServerSide>();
}

int32_t tvr_restore_client_session() {
  DebugTrace(3, u"restore all client session from file\n");
  try {
    SessionGuard lock(g_session_lock);
    return RestoreSessionFile<ClientSide>();
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int32_t tvr_restore_server_session() {
  DebugTrace(3, u"retore all server session from file\n");
  try {
    SessionGuard lock(g_session_lock);
    return RestoreSessionFile<ServerSide>();
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace obexses
