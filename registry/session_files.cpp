// Slots 10 to 13: the registry's saved sessions to their files and back.
// Client and server files follow one plan, written once here as templates
// over a side: what differs (path, messages, the live set, the key) is in
// ClientFile and ServerFile; the bytes themselves are persist's.
#include <string>
#include <utility>

#include "persist/session_file.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "settings/settings.h"

namespace obexses {
namespace {

struct ClientFile {
  using Record = ClientSession;
  using RecordPtr = persist::ClientRecordDeepPtr;
  using Map = ClientMap;
  static constexpr persist::Side kSide = persist::Side::kClient;
  static constexpr char16_t kStoreFailed[] = u"tvr_store_client_session ,open failed %s\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_client_session ,LoadXML failed %s\n";

  static const char16_t* Path() { return g_client_session_path; }
  static Map MakeMap() { return MakeClientMap(); }
  static void DeleteBlock(Record* record) noexcept { records::DeleteClientRecord(record); }
  // Saved records that are no longer live are left out of the file.
  static bool Stored(const Record* record) { return IsLiveSession(record); }
  static std::u16string Key(const Record* record) {
    return std::u16string(ClientRecordKey(record).view());
  }
  static persist::ReadResult Read(const std::u16string& units, size_t bytes,
                                  persist::SessionSink<RecordPtr>& sink) {
    return persist::ReadClientFile(units, bytes, sink);
  }
  static void Admit(Record* record) {
    Hold(record);
    try {
      RegisterLiveSession(record);
    } catch (...) {
      Release(record);
      throw;
    }
  }
  static void Unlist(Record* record) noexcept {
    Release(record);
    UnregisterLiveSession(record);
  }
};

struct ServerFile {
  using Record = ServerSession;
  using RecordPtr = persist::ServerRecordDeepPtr;
  using Map = ServerMap;
  static constexpr persist::Side kSide = persist::Side::kServer;
  static constexpr char16_t kStoreFailed[] = u"tvr_store_server_session ,open failed %s\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_server_session ,LoadXML failed %s\n";

  static const char16_t* Path() { return g_server_session_path; }
  static Map MakeMap() { return MakeServerMap(); }
  static void DeleteBlock(Record* record) noexcept { records::DeleteServerRecord(record); }
  static bool Stored(const Record*) { return true; }
  static std::u16string Key(const Record* record) {
    return std::u16string(ServerKeyOf(record->session_id).view());
  }
  static persist::ReadResult Read(const std::u16string& units, size_t bytes,
                                  persist::SessionSink<RecordPtr>& sink) {
    return persist::ReadServerFile(units, bytes, sink);
  }
  static void Admit(Record* record) { Hold(record); }
  static void Unlist(Record* record) noexcept { Release(record); }
};

// ---- Store ----

// The file as a restore read it: a rewrite to these very bytes is not made.
struct FileRead {
  std::u16string units;
  size_t bytes = 0;
};

// The whole file in memory, then one atomic replacement: a failed store
// leaves the old file as it was. Caller holds g_session_lock.
template <typename File>
int32_t WriteSessionFile(const FileRead* read) {
  persist::SessionFileBuilder builder(File::kSide);
  for (const auto& entry : Holdings<typename File::Record>::Saved()) {
    if (File::Stored(entry.second)) builder.Add(entry.second);
  }
  const std::string bytes = builder.Finish();
  if (read != nullptr && persist::HoldsBytes(read->units, read->bytes, bytes)) return 1;
  if (!platform::GetEnv()->ReplaceFileBytes(File::Path(), bytes)) {
    DebugTrace(2, File::kStoreFailed, File::Path());
    return 0;
  }
  return 1;
}

// ---- Restore ----

// What a restore read, in file order; first of each key wins.
template <typename File>
class RestoredSet final : public persist::SessionSink<typename File::RecordPtr> {
 public:
  using Record = typename File::Record;

  RestoredSet() : map_(File::MakeMap()) {}
  RestoredSet(const RestoredSet&) = delete;
  RestoredSet& operator=(const RestoredSet&) = delete;
  // Unless installed, what was admitted leaves the registry again and is
  // freed with its buffers: memory ran out half-way.
  ~RestoredSet() override { Discard(); }

  void Take(typename File::RecordPtr record, persist::ElementSpan) override {
    Offer(std::move(record));
  }

  // The same when the sessions taken turn out not to count.
  void Discard() override {
    for (auto& entry : map_) {
      File::Unlist(entry.second);
      typename File::RecordPtr withdrawn(entry.second);
    }
    map_.clear();
  }

  // Takes a record read from the file: dropped (with its buffers) when
  // unreadable, obsolete, key-less or repeated, otherwise filed and admitted.
  void Offer(typename File::RecordPtr record) {
    if (record == nullptr || Threshold() >= record->create_time_stamp) return;
    std::u16string key = File::Key(record.get());
    if (key.empty() || map_.count(key) != 0) return;
    auto entry = map_.emplace(std::move(key), record.get()).first;
    try {
      File::Admit(record.get());
    } catch (...) {
      map_.erase(entry);
      throw;
    }
    record.release();
  }

  // The restored set becomes the saved set. The set saved before is retired:
  // unlisted and freed, its buffers left to the profile modules that hold them.
  void Install() noexcept {
    auto& saved = Holdings<Record>::Saved();
    auto& places = Holdings<Record>::Places();
    std::swap(map_, saved);
    for (auto& [key, record] : saved) places.find(record)->second.saved_key = &key;
    for (auto& entry : map_) {
      places.find(entry.second)->second.saved_key = nullptr;  // its key left with the old map
      File::Unlist(entry.second);
      File::DeleteBlock(entry.second);
    }
    map_.clear();
  }

 private:
  // Sessions created at or before this moment are obsolete; the age is read
  // once the file has shown a session.
  int64_t Threshold() {
    if (!threshold_set_) {
      threshold_ = platform::GetEnv()->NowSeconds() - static_cast<int64_t>(ReadObsoleteAge());
      threshold_set_ = true;
    }
    return threshold_;
  }

  typename File::Map map_;
  int64_t threshold_ = 0;
  bool threshold_set_ = false;
};

// Caller holds g_session_lock. The file is rewritten from the saved set as it
// stands before the exchange, whatever ObexSesSaveFile says. When the file
// already holds those bytes (a restore of the file the last store wrote),
// the rewrite would change nothing and is left out: as if it had been made
// at once after the read.
template <typename File>
int32_t RestoreSessionFile(int32_t (*store)(const FileRead*)) {
  RestoredSet<File> restored;
  FileRead read;
  persist::LoadResult loaded = persist::LoadResult::kNotLoaded;
  if (platform::GetEnv()->ReadFileUnits(File::Path(), &read.units, &read.bytes)) {
    loaded = File::Read(read.units, read.bytes, restored).result;
  }
  if (loaded != persist::LoadResult::kLoaded) {
    DebugTrace(2, File::kLoadFailed, File::Path());
    return loaded == persist::LoadResult::kNoSessions ? 1 : 0;
  }
  const uint32_t save_file = g_save_file.exchange(1);
  store(&read);
  g_save_file.store(save_file);
  restored.Install();
  return 1;
}

// The stores, also as the restores call them with the file they read.
int32_t StoreClientSessions(const FileRead* read) noexcept try {
  if (g_save_file.load() == 0) return 1;
  SessionGuard lock(g_session_lock);
  DebugTrace(3, u"store all client session to file\n");
  return WriteSessionFile<ClientFile>(read);
} catch (...) {
  return 0;
}

int32_t StoreServerSessions(const FileRead* read) noexcept try {
  if (g_save_file.load() == 0) return 1;
  DebugTrace(3, u"store all server session to file\n");
  SessionGuard lock(g_session_lock);
  return WriteSessionFile<ServerFile>(read);
} catch (...) {
  return 0;
}

}  // namespace

int32_t tvr_store_client_session() noexcept {
  return StoreClientSessions(nullptr);
}

int32_t tvr_store_server_session() noexcept {
  return StoreServerSessions(nullptr);
}

int32_t tvr_restore_client_session() noexcept try {
  DebugTrace(3, u"restore all client session from file\n");
  SessionGuard lock(g_session_lock);
  return RestoreSessionFile<ClientFile>(StoreClientSessions);
} catch (...) {
  return 0;
}

int32_t tvr_restore_server_session() noexcept try {
  DebugTrace(3, u"retore all server session from file\n");
  SessionGuard lock(g_session_lock);
  return RestoreSessionFile<ServerFile>(StoreServerSessions);
} catch (...) {
  return 0;
}

}  // namespace obexses
