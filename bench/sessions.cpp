// SPDX-License-Identifier: MIT
#include "bench/sessions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/host.h"
#include "persist/session_file.h"
#include "platform/durable_file.h"
#include "records/record_memory.h"
#include "text/wide.h"

namespace obexses::bench {

std::unique_ptr<Configuration> Configuration::Make(const std::string& base) {
  std::unique_ptr<ScratchFolder> folder = ScratchFolder::Under(base);
  if (folder == nullptr) return nullptr;
  return std::unique_ptr<Configuration>(new Configuration(std::move(folder)));
}

Configuration::Configuration(std::unique_ptr<ScratchFolder> folder)
    : folder_(std::move(folder)),
      env_(folder_->path()),
      settings_(1),
      store_(BenchPlatform(&settings_, &env_), SessionStore::AtEnd::kKeepRecords) {
  store_.MakePaths();
  store_.ReadSettings();
}

std::string Configuration::session_folder() const {
  const std::string file = NativePath(store_.client_session_path());
  return file.substr(0, file.rfind('/'));
}

void Configuration::SetSaveFile(uint32_t value) {
  settings_.set_save_file(value);
  store_.ReadSettings();
}

Configuration& Disk() {
  static const std::unique_ptr<Configuration> disk = [] {
    std::unique_ptr<Configuration> made = Configuration::Make(DiskBase());
    if (made == nullptr) {
      std::fprintf(stderr, "cannot make a folder below %s\n", DiskBase().c_str());
      std::exit(1);
    }
    host::SetProcessVariable("XDG_DATA_HOME", made->folder());
    host::SetProcessVariable("OBEXSES_REGISTRY", made->folder() + "/none.reg");
    return made;
  }();
  return *disk;
}

Configuration* Memory() {
  static const std::unique_ptr<Configuration> memory = Configuration::Make(MemoryBase());
  return memory.get();
}

Configuration* OnMedium(int64_t medium) {
  return medium == kMemory ? Memory() : &Disk();
}

namespace {

std::u16string Numbered(const char16_t* prefix, int index, const char16_t* suffix) {
  return prefix + text::FromUtf8(std::to_string(index)) + suffix;
}

}  // namespace

void ClientAddress(int index, uint8_t address[6]) {
  const uint8_t bytes[6] = {0x00,
                            0x1A,
                            0x7D,
                            static_cast<uint8_t>(index >> 16),
                            static_cast<uint8_t>(index >> 8),
                            static_cast<uint8_t>(index)};
  std::memcpy(address, bytes, 6);
}

ClientSession* NewClient(SessionStore& store, int index) {
  ClientSession* record = store.CreateClientSession(OBEXSES_PROFILE_OPP);
  ClientAddress(index, record->bdaddr);
  const std::u16string name = Numbered(u"IMG_", index, u".jpg");
  text::CopyBounded(record->file_name, OBEXSES_NAME_UNITS, name);
  OppClientSession* opp = records::AsOpp(record);
  text::CopyBounded(opp->objectName, OBEXSES_NAME_UNITS, name);
  text::CopyBounded(opp->internalObjectName, OBEXSES_NAME_UNITS,
                    u"C:\\Users\\owner\\Pictures\\Camera Roll\\" + name);
  text::CopyBounded(opp->pathName, OBEXSES_NAME_UNITS, u"C:\\Users\\owner\\Pictures\\Camera Roll");
  text::CopyBounded(opp->m_szInboxpath, OBEXSES_NAME_UNITS, u"C:\\Users\\owner\\Documents\\Inbox");
  return record;
}

ServerSession* NewServer(SessionStore& store, int index) {
  ServerSession* record = store.CreateServerSession(OBEXSES_PROFILE_OPP);
  std::memcpy(record->GoepServer_sessionId, &index, sizeof index);
  const std::u16string name = Numbered(u"received-", index, u".vcf");
  text::CopyBounded(records::AsOpp(record)->internalObjectName, OBEXSES_NAME_UNITS, name);
  return record;
}

namespace {

// The services of one side of the store.
template <typename Record>
struct Side {
  Record* (*make)(SessionStore&, int);
  int32_t (SessionStore::*save)(Record*);
  int32_t (SessionStore::*destroy)(Record*);
  int32_t (SessionStore::*store)();
  const char16_t* (SessionStore::*path)() const;
};

constexpr Side<ClientSession> kClients{
    NewClient, &SessionStore::SaveClientSession, &SessionStore::DestroyClientSession,
    &SessionStore::StoreClientSession, &SessionStore::client_session_path};
constexpr Side<ServerSession> kServers{
    NewServer, &SessionStore::SaveServerSession, &SessionStore::DestroyServerSession,
    &SessionStore::StoreServerSession, &SessionStore::server_session_path};

template <typename Record>
std::vector<Record*> SaveMany(const Side<Record>& side, Configuration& where, int count,
                              int first) {
  std::vector<Record*> records;
  records.reserve(count);
  where.WithoutFile([&] {
    for (int i = first; i < first + count; ++i) {
      records.push_back(side.make(where.store(), i));
      (where.store().*side.save)(records.back());
    }
  });
  return records;
}

template <typename Record>
void DestroyAll(const Side<Record>& side, Configuration& where, std::vector<Record*>& records) {
  where.WithoutFile([&] {
    for (Record* record : records) (where.store().*side.destroy)(record);
  });
  records.clear();
}

std::string ReadWhole(const std::u16string& path) {
  std::u16string units;
  size_t bytes = 0;
  platform::ReadFileUnits(platform::Env::Default(), path, persist::kMaxFileBytes, &units, &bytes);
  return std::string(reinterpret_cast<const char*>(units.data()), bytes);
}

// The file a store of count sessions of a side writes, made once per count
// and side.
template <typename Record>
const std::string& StoredFile(const Side<Record>& side, int count) {
  static std::map<int, std::string> files;
  auto found = files.find(count);
  if (found != files.end()) return found->second;
  SessionStore& store = Disk().store();
  std::vector<Record*> records = SaveMany(side, Disk(), count, 0);
  (store.*side.store)();
  DestroyAll(side, Disk(), records);
  return files[count] = ReadWhole((store.*side.path)());
}

}  // namespace

std::vector<ClientSession*> SaveClients(Configuration& where, int count, int first) {
  return SaveMany(kClients, where, count, first);
}

void DestroyClients(Configuration& where, std::vector<ClientSession*>& records) {
  DestroyAll(kClients, where, records);
}

size_t DestroySavedClients(Configuration& where) {
  std::vector<ClientSession*> saved;
  for (const auto& entry : where.store().Contents().client_saved) {
    saved.push_back(const_cast<ClientSession*>(static_cast<const ClientSession*>(entry.second)));
  }
  const size_t count = saved.size();
  DestroyClients(where, saved);
  return count;
}

const std::string& ClientFile(int count) {
  return StoredFile(kClients, count);
}

const std::string& ServerFile(int count) {
  return StoredFile(kServers, count);
}

void PutFile(const std::u16string& path, const std::string& bytes) {
  platform::ReplaceFile(platform::Env::Default(), path, bytes, SessionStore::kLockWait);
}

}  // namespace obexses::bench
