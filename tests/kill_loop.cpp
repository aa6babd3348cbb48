// SPDX-License-Identifier: MIT
// Kills processes that save sessions at random moments, again and again, in
// one application-data folder, and checks after every kill that each session
// file loads whole, holds what the stores acknowledged before the kill (or
// that and the one in flight), and that temporary files of killed stores do
// not pile up.
//
//   obexses_kill_loop [KILLS]     (default 100)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/host.h"
#include "persist/session_file.h"
#include "platform/platform.h"
#include "registry/keys.h"
#include "registry/session_store.h"
#include "tests/support/session_oracle.h"
#include "text/wide.h"

namespace obexses {
namespace {

namespace fs = std::filesystem;
using Keys = std::set<std::u16string>;

// Operation n of a run saves a new session and stores its file: even ones
// on the client side, odd ones on the server side, named by run and number.
std::u16string KeyOf(int side, int run, int index, uint8_t* id) {
  const int parts[4] = {run, run >> 8, index, index >> 8};
  for (int i = 0; i < 16; ++i) id[i] = i < 4 ? static_cast<uint8_t>(parts[i]) : 0;
  return side == 0 ? text::FromUtf8("k" + std::to_string(run) + "_" + std::to_string(index))
                   : BuildServerKey(id);
}

// Each file's keys after ops operations of a run; a file this run has not
// stored yet is as the last check found it.
std::vector<Keys> Expected(int run, int ops, const std::vector<Keys>& before) {
  std::vector<Keys> files = before;
  uint8_t id[16];
  for (int side = 0; side < 2 && side < ops; ++side) files[side].clear();
  for (int n = 0; n < ops; ++n) files[n % 2].insert(KeyOf(n % 2, run, n / 2, id));
  return files;
}

// The child: performs the operations of run, writing a mark to ack after
// each store that gave 1 (the server save keeps its store's result to
// itself, so the child stores again to learn it).
[[noreturn]] void Work(int run, int ack) {
  // The process's own platform, with ObexSesSaveFile on.
  class Saving : public platform::SettingsStore {
   public:
    platform::SettingStatus QueryDword(const char16_t* name, uint32_t* value) override {
      if (std::u16string_view(name) != u"ObexSesSaveFile") return platform::SettingStatus::kMissing;
      *value = 1;
      return platform::SettingStatus::kRead;
    }
    std::u16string Location() override { return u"kill loop"; }
  } saving;
  platform::Platform seams = platform::Platform::Default();
  seams.settings = &saving;
  SessionStore store(seams, SessionStore::AtEnd::kKeepRecords);
  store.MakePaths();
  store.ReadSettings();
  for (int n = 0;; ++n) {
    bool stored = false;
    uint8_t id[16];
    if (n % 2 == 0) {
      ClientSession* record = store.CreateClientSession(OBEXSES_PROFILE_OPP);
      const std::u16string name = KeyOf(0, run, n / 2, id);
      std::copy(name.begin(), name.end(), record->file_name);
      stored = store.SaveClientSession(record) == 1;
    } else {
      ServerSession* record = store.CreateServerSession(OBEXSES_PROFILE_OPP);
      KeyOf(1, run, n / 2, id);
      std::copy_n(id, 16, record->GoepServer_sessionId);
      stored = store.SaveServerSession(record) == 1 && store.StoreServerSession() == 1;
    }
    if (!stored || write(ack, "+", 1) != 1) _exit(1);
  }
}

// The keys in each file; false when one does not load whole.
bool KeysIn(const fs::path& folder, std::vector<Keys>* files) {
  files->assign(2, Keys());
  bool whole = true;
  for (int side = 0; side < 2; ++side) {
    const fs::path file = folder / (side == 0 ? "ClientSession.xml" : "ServerSession.xml");
    std::u16string units;
    size_t bytes = 0;
    if (!fs::exists(file)) continue;
    Keys& keys = (*files)[side];
    whole =
        whole && platform::ReadFileUnits(platform::Env::Default(), text::FromUtf8(file.string()),
                                         persist::kMaxFileBytes, &units, &bytes)
                     .ok();
    testing::Collected<persist::ClientRecordDeepPtr> clients;
    testing::Collected<persist::ServerRecordDeepPtr> servers;
    const auto loaded = side == 0 ? persist::ReadClientFile(units, bytes, clients)
                                  : persist::ReadServerFile(units, bytes, servers);
    for (const auto& r : clients.records) keys.insert(r ? r->file_name : u"");
    for (const auto& r : servers.records) keys.insert(r ? BuildServerKey(r->session_id) : u"");
    whole = whole && loaded.result == persist::LoadResult::kLoaded && keys.count(u"") == 0;
  }
  return whole;
}

// The most temporary files one session file has: the next store of a file
// removes the one its killed store left, so never more than one.
int MostTemporaryFiles(const fs::path& folder) {
  int counts[2] = {0, 0};
  std::error_code none;  // the folder may not be made yet
  for (const auto& entry : fs::directory_iterator(folder, none)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".tmp") ++counts[name.rfind("Server", 0) == 0];
  }
  return std::max(counts[0], counts[1]);
}

}  // namespace
}  // namespace obexses

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const int kills = argc > 1 ? std::atoi(argv[1]) : 100;
  std::string folder;
  if (!obexses::host::MakeTemporaryFolder(&folder)) return 2;
  obexses::host::SetProcessVariable("XDG_DATA_HOME", folder);
  const fs::path sessions = fs::path(folder) / "Velmora" / "Session";
  std::mt19937 random(std::random_device{}());
  std::vector<obexses::Keys> before(2);  // the files as the last check found them
  int failures = 0;
  for (int run = 0; run < kills && failures == 0; ++run) {
    int ends[2];
    if (pipe(ends) != 0) return 2;
    const pid_t child = fork();
    if (child == 0) {
      close(ends[0]);
      obexses::Work(run, ends[1]);
    }
    close(ends[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    int acked = 0;
    for (char mark; read(ends[0], &mark, 1) == 1;) ++acked;
    close(ends[0]);
    std::vector<obexses::Keys> found;
    const bool whole = obexses::KeysIn(sessions, &found);
    const bool kept = found == obexses::Expected(run, acked, before) ||
                      found == obexses::Expected(run, acked + 1, before);
    const int temporary = obexses::MostTemporaryFiles(sessions);
    if (!whole || !kept || temporary > 1) {
      std::fprintf(stderr, "kill %d after %d stores: %s%s%d temporary files of one file\n", run,
                   acked, whole ? "" : "a cut file, ", kept ? "" : "sessions lost, ", temporary);
      ++failures;
    }
    before = found;
  }
  std::printf("%d kills, %d failed checks\n", kills, failures);
  fs::remove_all(folder);
  return failures == 0 ? 0 : 1;
}
