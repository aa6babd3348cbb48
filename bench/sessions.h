// SPDX-License-Identifier: MIT
// The session stores of the benchmarks and the sessions they save. A
// configuration is a folder of the bench's own, used as the application-data
// folder, with a store on it: one on the disk (below $OBEXSES_BENCH_DIR or the
// system's temporary folder), which the child processes use too, and one on a
// memory file system where the machine has one. Saving to the file is on,
// but off while sessions are saved and destroyed in bulk: the rewrite that
// would follow each is the store's cost, measured on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_env.h"
#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "registry/session_store.h"

namespace obexses::bench {

class Configuration {
 public:
  // A configuration in a new folder below base; null when none can be made.
  static std::unique_ptr<Configuration> Make(const std::string& base);

  SessionStore& store() { return store_; }
  // The application-data folder, and the folder of the session files in it.
  const std::string& folder() const { return folder_->path(); }
  std::string session_folder() const;

  void SetSaveFile(uint32_t value);
  // Runs body with saving to the file off.
  template <typename Body>
  void WithoutFile(Body body) {
    SetSaveFile(0);
    body();
    SetSaveFile(1);
  }

 private:
  explicit Configuration(std::unique_ptr<ScratchFolder> folder);

  std::unique_ptr<ScratchFolder> folder_;
  FolderEnv env_;
  BenchSettings settings_;
  SessionStore store_;
};

// Operations per timed batch where a service is timed by batches.
inline constexpr int kBatch = 256;

// Where a benchmark's files live, as its last argument.
enum Medium : int64_t { kDisk = 0, kMemory = 1 };

// The configuration on the disk. Made at the first call, which also makes its
// folder the application-data folder of the child processes, with no
// machine settings.
Configuration& Disk();
// The one on a memory file system; null when there is none.
Configuration* Memory();
Configuration* OnMedium(int64_t medium);

// The device address of the index-th OPP client session.
void ClientAddress(int index, uint8_t address[6]);
// An OPP client session with the names and paths of a photo being pushed,
// and an OPP server session of a received card.
ClientSession* NewClient(SessionStore& store, int index);
ServerSession* NewServer(SessionStore& store, int index);

// Saves count new client sessions, numbered from first; saving to the file off.
std::vector<ClientSession*> SaveClients(Configuration& where, int count, int first = 0);
void DestroyClients(Configuration& where, std::vector<ClientSession*>& records);
// Every saved client session leaves, as after a restore; how many there were.
size_t DestroySavedClients(Configuration& where);

// The bytes a store of count client (server) sessions writes, made once.
const std::string& ClientFile(int count);
const std::string& ServerFile(int count);

// Puts bytes durably at a session file's path.
void PutFile(const std::u16string& path, const std::string& bytes);

}  // namespace obexses::bench
