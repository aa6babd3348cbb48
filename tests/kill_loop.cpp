// Kills processes that save and destroy sessions at random moments, again and
// again, in one application-data folder, and checks after every kill that
// each session file loads whole, holds what the stores acknowledged before
// the kill (or that and the one in flight), and that temporary files of
// killed stores do not pile up.
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

#include "host/host.h"
#include "persist/session_file.h"
#include "platform/env.h"
#include "registry/registry.h"
#include "settings/settings.h"
#include "text/wide.h"

namespace {

namespace fs = std::filesystem;

using Names = std::set<std::u16string>;

constexpr uint8_t kPhone[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};

// The nth operation of a run is one store: even ones of the client file,
// odd ones of the server file; on each side every third one destroys the
// oldest session still saved, the others save a new one.
struct Op {
  bool server;
  int index;  // on its side
  bool destroy() const { return index % 3 == 2; }
};
Op OpOf(int n) {
  return {n % 2 == 1, n / 2};
}

std::u16string ClientName(int run, int index) {
  return obexses::text::FromUtf8("k" + std::to_string(run) + "_" + std::to_string(index));
}
void ServerId(int run, int index, uint8_t* id) {
  std::fill_n(id, 16, 0);
  id[0] = static_cast<uint8_t>(run), id[1] = static_cast<uint8_t>(run >> 8);
  id[2] = static_cast<uint8_t>(index), id[3] = static_cast<uint8_t>(index >> 8);
}

// What each file holds after ops operations of a run: client names, server keys.
struct Files {
  Names client, server;
  bool operator==(const Files&) const = default;
};

Files StateAfter(int run, int ops) {
  Files files;
  int oldest[2] = {0, 0};
  for (int n = 0; n < ops; ++n) {
    const Op op = OpOf(n);
    Names& names = op.server ? files.server : files.client;
    auto name = [&](int index) {
      if (!op.server) return ClientName(run, index);
      uint8_t id[16];
      ServerId(run, index, id);
      return obexses::BuildServerKey(id);
    };
    if (op.destroy()) {
      names.erase(name(oldest[op.server]++));
    } else {
      names.insert(name(op.index));
    }
  }
  return files;
}

// The same, where a file this run has not stored yet is as it was before.
Files Expected(int run, int ops, const Files& before) {
  Files files = StateAfter(run, ops);
  if (ops < 1) files.client = before.client;
  if (ops < 2) files.server = before.server;
  return files;
}

// The child: performs the operations of run, saying after each that its
// store gave 1.
[[noreturn]] void Work(int run, int ack) {
  obexses::MakeSessionFilePath(1, obexses::g_client_session_path);
  obexses::MakeSessionFilePath(0, obexses::g_server_session_path);
  obexses::g_save_file = 1;
  std::vector<ClientSession*> clients;
  std::vector<ServerSession*> servers;
  size_t oldest[2] = {0, 0};
  for (int n = 0;; ++n) {
    const Op op = OpOf(n);
    bool stored = false;
    if (op.destroy()) {
      stored = op.server ? obexses::tvr_destroy_server_session(servers[oldest[1]++]) == 1 &&
                               obexses::tvr_store_server_session() == 1
                         : obexses::tvr_destroy_client_session(clients[oldest[0]++]) == 1;
    } else if (op.server) {
      ServerSession* record = obexses::tvr_create_server_session(OBEXSES_PROFILE_OPP);
      ServerId(run, op.index, record->GoepServer_sessionId);
      // The server save does not say whether its store wrote the file.
      stored =
          obexses::tvr_save_server_session(record) == 1 && obexses::tvr_store_server_session() == 1;
      servers.push_back(record);
    } else {
      ClientSession* record = obexses::tvr_create_client_session(OBEXSES_PROFILE_OPP);
      std::copy_n(kPhone, 6, record->bdaddr);
      const std::u16string name = ClientName(run, op.index);
      std::copy(name.begin(), name.end(), record->file_name);
      stored = obexses::tvr_save_client_session(record) == 1;
      clients.push_back(record);
    }
    if (!stored || write(ack, "+", 1) != 1) _exit(1);
  }
}

// What a file holds; false when it does not load whole.
template <typename RecordPtr, typename Read, typename Name>
bool NamesIn(const fs::path& file, Read read, Name name, Names* names) {
  std::u16string units;
  size_t bytes = 0;
  names->clear();
  if (!fs::exists(file)) return true;
  if (!obexses::platform::Env::Default()->ReadFileUnits(obexses::text::FromUtf8(file.string()),
                                                        &units, &bytes)) {
    return false;
  }
  return read(std::move(units), bytes, [&](RecordPtr record) {
           if (record != nullptr) names->insert(name(record.get()));
         }) == obexses::persist::LoadResult::kLoaded;
}

bool FilesIn(const fs::path& session, Files* files) {
  using obexses::persist::ClientRecordDeepPtr;
  using obexses::persist::ServerRecordDeepPtr;
  return NamesIn<ClientRecordDeepPtr>(
             session / "ClientSession.xml", obexses::persist::ReadClientFile,
             [](const ClientSession* r) { return std::u16string(r->file_name); }, &files->client) &&
         NamesIn<ServerRecordDeepPtr>(
             session / "ServerSession.xml", obexses::persist::ReadServerFile,
             [](const ServerSession* r) { return obexses::BuildServerKey(r->session_id); },
             &files->server);
}

// The temporary files of one session file's stores.
int TemporaryFiles(const fs::path& folder, const std::string& file) {
  int count = 0;
  std::error_code none;  // the folder itself may not be made yet
  for (const auto& entry : fs::directory_iterator(folder, none)) {
    const std::string name = entry.path().filename().string();
    count += name.rfind(file + ".", 0) == 0 && entry.path().extension() == ".tmp";
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int kills = argc > 1 ? std::atoi(argv[1]) : 100;
  std::string folder;
  if (!obexses::host::MakeTemporaryFolder(&folder)) return 2;
  obexses::host::SetProcessVariable("XDG_DATA_HOME", folder);
  const fs::path session = fs::path(folder) / "Velmora" / "Session";
  std::mt19937 random(std::random_device{}());
  Files before;  // the files as the last check found them
  int failures = 0;
  for (int run = 0; run < kills && failures == 0; ++run) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return 2;
    const pid_t child = fork();
    if (child == 0) {
      close(pipe_ends[0]);
      Work(run, pipe_ends[1]);
    }
    close(pipe_ends[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    int acked = 0;
    char mark;
    while (read(pipe_ends[0], &mark, 1) == 1) ++acked;
    close(pipe_ends[0]);

    Files found;
    const bool whole = FilesIn(session, &found);
    const Files done = Expected(run, acked, before);
    const Files next = Expected(run, acked + 1, before);
    const bool kept = found == done || found == next;
    // At most the one a killed store of each file left: the next store of
    // that file removes it.
    const int temporary = std::max(TemporaryFiles(session, "ClientSession.xml"),
                                   TemporaryFiles(session, "ServerSession.xml"));
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
