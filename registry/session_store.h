// SPDX-License-Identifier: MIT
// The session store: the one object that holds the module's state, and the
// services of the table as its operations. The module makes one instance and
// its exports and table are thin entry points onto it; a test or a tool makes
// its own.
//
// What it holds: every client and server record that exists (made by a
// create or a restore), the saved ones of each side by key, the two session
// file paths, the settings read at start-up, and whether the start-up ran.
//
// Locking: one mutex guards the records' indexes and the saved sets. What
// changes them takes it whole; finds, and the making of a file's bytes from
// the saved set, only read them and share it, so that a find never waits for
// a store's formatting. It is never held across file input or output, nor
// while waiting for another process, nor while a callback runs: a service
// copies what it needs under the lock and works outside it. Stores of one
// file are ordered by a generation taken under the lock, so the file never
// goes back to an older saved set, and stores that queue behind a write in
// progress share the next write and its result. An enumeration keeps the
// records it hands out from being freed until it returns; a record destroyed
// or retired meanwhile is not called back.
//
// Ownership: the store allocates every record and frees it at its destroy
// (or at a later restore that replaces the saved set); the resume buffers and
// request nodes of a record are the profile module's. The contents of a
// record are the profile module's to change; the store reads them under its
// lock.
//
// Failures: every service is noexcept and gives its failure value (0 or
// null) for a null or foreign record, an unknown profile, a file that cannot
// be written, and a lack of memory, leaving the store as it was.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "obexses/client_session.h"
#include "obexses/obexses.h"
#include "obexses/server_session.h"
#include "registry/store_state.h"
#include "settings/debug_trace.h"

namespace obexses::persist {
class SessionText;
}  // namespace obexses::persist

namespace obexses::platform {
class Env;
class Status;
class WritableFile;
struct Platform;
class SettingsStore;
class HostLog;
}  // namespace obexses::platform

namespace obexses {

// What a store holds, for checks and diagnostics: each side's saved sessions
// (key and record) sorted by key, and every held record, sorted by address.
struct StoreContents {
  std::vector<std::pair<std::u16string, const void*>> client_saved, server_saved;
  std::vector<const void*> client_held, server_held;
  bool operator==(const StoreContents&) const = default;
};

class SessionStore {
 public:
  // What becomes of the records still held when the store is destroyed: a
  // loaded module keeps them (a profile module may still hold one), a test or
  // a tool that is done with them frees them with their buffers.
  enum class AtEnd { kKeepRecords, kFreeRecords };

  // How long a store waits for another process to let go of the file's lock
  // before it fails: long enough for any store of another host to finish,
  // short enough that a stopped one holds up only the thread that stores.
  static constexpr std::chrono::milliseconds kLockWait{5000};

  SessionStore(const platform::Platform& platform, AtEnd at_end,
               std::chrono::milliseconds lock_wait = kLockWait);
  SessionStore(const SessionStore&) = delete;
  SessionStore& operator=(const SessionStore&) = delete;
  ~SessionStore();

  // ---- Start-up ----

  // Builds the server file's path, then the client file's, creating their
  // folders. Not synchronised with the services: called before they are used.
  void MakePaths() noexcept;
  // Reads ObexSesSaveFile and ObexSesDebugLevel; a setting that cannot be
  // read keeps its value.
  void ReadSettings() noexcept;
  // Whether the start-up has run (the module's once-only flag).
  bool initialized() const { return initialized_.load() != 0; }
  void MarkInitialized() { initialized_.store(1); }

  // ---- Client services (slots 0 to 4 and 14) ----
  ClientSession* CreateClientSession(uint32_t profile) noexcept;
  int32_t DestroyClientSession(ClientSession* record) noexcept;
  int32_t SaveClientSession(ClientSession* record) noexcept;
  ClientSession* FindClientSession(const uint8_t* address, const char16_t* name,
                                   uint32_t profile) noexcept;
  int32_t ResumeClientSession(ClientSession* record) noexcept;
  int32_t EnumClientSession(const uint8_t* address, uint32_t profile, SessionCallback callback,
                            void* context) noexcept;

  // ---- Server services (slots 5 to 9 and 15) ----
  ServerSession* CreateServerSession(uint32_t profile) noexcept;
  int32_t DestroyServerSession(ServerSession* record) noexcept;
  int32_t SaveServerSession(ServerSession* record) noexcept;
  ServerSession* FindServerSession(const uint8_t* id) noexcept;
  int32_t ResumeServerSession(ServerSession* record) noexcept;
  int32_t EnumServerSession(uint32_t profile, SessionCallback callback, void* context) noexcept;

  // ---- The session files (slots 10 to 13) ----

  // Writes every saved (and, for clients, live) session to its file while
  // ObexSesSaveFile is on. 1 when a write that holds this call's view of the
  // saved set reached the disk, or saving is off; 0 when it failed (the old
  // file then stays as it was).
  int32_t StoreClientSession() noexcept;
  int32_t StoreServerSession() noexcept;
  // Reads the file back, dropping obsolete and repeated sessions, installs
  // what it read as the saved set, and rewrites the file with the set saved
  // before, whatever ObexSesSaveFile says. 0 when the file cannot be loaded
  // (nothing changes then); 1 otherwise.
  int32_t RestoreClientSession() noexcept;
  int32_t RestoreServerSession() noexcept;

  // ---- File checks (slots 16 to 21) ----
  uint32_t ClientFileChanged(ClientSession* record) noexcept;
  uint32_t ServerFileChanged(ServerSession* record) noexcept;
  uint32_t ClientTransferFileChanged(ClientSession* record) noexcept;
  uint32_t ServerTransferFileChanged(ServerSession* record) noexcept;
  uint32_t ClientFileSize(ClientSession* record) noexcept;
  uint32_t ServerFileSize(ServerSession* record) noexcept;

  // Is record a client record the store made or restored and has not freed?
  bool IsLiveSession(const ClientSession* record) const noexcept;

  // ---- What the other floors read ----
  platform::Env* env() const { return env_; }
  platform::HostLog* host_log() const { return host_log_; }
  const DebugTracer& trace() const { return trace_; }
  uint32_t save_file() const { return save_file_.load(); }
  uint32_t debug_level() const { return trace_.level(); }
  const char16_t* client_session_path() const { return client_session_path_; }
  const char16_t* server_session_path() const { return server_session_path_; }

  // Describes the first disagreement between the store's indexes (a saved
  // record not held under the key its place names, a retired record still
  // held, ...), or gives an empty string when they agree.
  std::string Inconsistency() const;
  StoreContents Contents() const;

 private:
  template <typename Record>
  HeldRecords<Record>& Held();
  template <typename Record>
  SavedSessions<Record>& Saved();
  template <typename Record>
  FileWrites& FileOf();
  template <typename Record>
  const char16_t* PathOf() const;

  // Holding (the caller holds session_lock_).
  template <typename Record>
  void Hold(Record* record, const std::u16string* saved_key = nullptr);
  template <typename Record>
  bool Unsave(const Record* record) noexcept;
  template <typename Record>
  bool Release(const Record* record) noexcept;
  template <typename Record>
  bool SaveUnderKey(Record* record, std::u16string key);
  template <typename Record>
  bool HeldAs(const Record* record, uint64_t serial) const;
  // A released record is freed at once, or by the last enumeration that
  // holds it; true when the caller is to free it (after the lock).
  bool Retire(const void* record) noexcept;
  // One enumeration is done with the record; true when the caller is to free
  // it (after the lock): it was retired and no enumeration holds it now.
  bool Unpin(const void* record) noexcept;

  template <typename Record, typename Match>
  int32_t Enumerate(Match match, SessionCallback callback, void* context);
  bool ClientPathAndStamp(ClientSession* record, void (*rule)(const ClientSession*, char16_t*),
                          char16_t* path, uint32_t* stamp);
  // Destroys a server record the store holds under serial (0: any); 0 when
  // it does not hold it.
  int32_t DestroyHeldServer(ServerSession* record, uint64_t serial);

  // The session files.
  template <typename Record>
  class RestoredSet;
  // The file of the saved set, made in text (which keeps its room).
  template <typename Record>
  std::string_view FileBytes(persist::SessionText* text);
  template <typename Record>
  bool FileHolds(std::u16string_view units, size_t bytes);
  template <typename Record>
  int32_t Store();
  struct PendingWrite;
  template <typename Record>
  void TakeWrite(FileWrites& file, PendingWrite* write, bool whole);
  template <typename Record>
  platform::Status WriteInPieces(FileWrites& file, PendingWrite* write, platform::WritableFile* out,
                                 bool* changed);
  template <typename Record>
  bool Replace(FileWrites& file, PendingWrite* write, bool* changed);
  template <typename Record>
  void WriteNext(std::unique_lock<std::shared_mutex>& lock);
  template <typename Record>
  int32_t AwaitWrite(std::unique_lock<std::shared_mutex>& lock, uint64_t generation);
  template <typename Record>
  void InstallRestored(SavedSessions<Record>& restored, std::vector<Record*>* to_free);
  template <typename Record>
  int32_t Restore();

  platform::Env* env_;
  platform::SettingsStore* settings_;
  platform::HostLog* host_log_;
  const AtEnd at_end_;
  const std::chrono::milliseconds lock_wait_;
  DebugTracer trace_;
  std::atomic<uint32_t> save_file_{0};
  std::atomic<uint32_t> initialized_{0};
  char16_t client_session_path_[OBEXSES_NAME_UNITS] = {};
  char16_t server_session_path_[OBEXSES_NAME_UNITS] = {};

  mutable std::shared_mutex session_lock_;
  HeldRecords<ClientSession> client_sessions_;
  SavedSessions<ClientSession> saved_client_sessions_;
  HeldRecords<ServerSession> server_sessions_;
  SavedSessions<ServerSession> saved_server_sessions_;
  PinnedRecords pinned_;
  FileWrites client_file_;
  FileWrites server_file_;
  uint64_t next_serial_ = 0;
};

}  // namespace obexses
