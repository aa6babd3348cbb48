// libFuzzer target: arbitrary tmp_lst contents through CleanTempFileList.
//
// A list names arbitrary paths and the clean-up deletes the files it names,
// so the Env installed here confines the run to a throw-away folder: it is
// the application-data folder, and no file outside it is read, written,
// created or deleted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "templist/temp_list.h"
#include "text/wide.h"

namespace {

namespace fs = std::filesystem;
using obexses::platform::Env;

class SandboxEnv final : public obexses::platform::EnvWrapper {
 public:
  SandboxEnv(Env* target, std::u16string folder) : EnvWrapper(target), folder_(std::move(folder)) {}

  bool AppDataFolder(std::u16string* path) override {
    *path = folder_;
    return true;
  }
  bool CreateFolder(const std::u16string& path) override {
    return Inside(path) && target()->CreateFolder(path);
  }
  bool RemoveFile(const std::u16string& path) override {
    return Inside(path) && target()->RemoveFile(path);
  }
  bool ReadTextFile(const std::u16string& path, std::u16string* text) override {
    return Inside(path) && target()->ReadTextFile(path, text);
  }
  bool WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    return Inside(path) && target()->WriteTextFile(path, text);
  }

 private:
  // Below the folder, with no way back up: both separators count, as the
  // backend maps one to the other, and a NUL would cut the native path.
  bool Inside(const std::u16string& path) const {
    std::u16string plain = path;
    for (char16_t& c : plain) {
      if (c == u'\\') c = u'/';
    }
    return plain.size() > folder_.size() + 1 && plain.compare(0, folder_.size(), folder_) == 0 &&
           plain[folder_.size()] == u'/' && plain.find(u"..") == std::u16string::npos &&
           plain.find(u'\0') == std::u16string::npos;
  }

  std::u16string folder_;
};

fs::path* g_folder = nullptr;
std::vector<ServerSession*> g_sessions;

// At exit: the sessions are destroyed (the registry itself frees none) and
// the folder removed.
void TearDown() {
  for (ServerSession* record : g_sessions) obexses::tvr_destroy_server_session(record);
  g_sessions.clear();
  std::error_code ignored;
  if (g_folder != nullptr) fs::remove_all(*g_folder, ignored);
}

// Saved OPP server sessions for the listed names to meet.
void SaveSessions() {
  const char16_t* names[] = {u"a", u"", u"pic.jpg", u"A.TXT", u"tmp_lst"};
  uint8_t id = 1;
  for (const char16_t* name : names) {
    ServerSession* record = obexses::tvr_create_server_session(OBEXSES_PROFILE_OPP);
    if (record == nullptr) continue;
    record->GoepServer_sessionId[0] = id++;
    obexses::text::CopyBounded(obexses::records::AsOpp(record)->internalObjectName,
                               OBEXSES_NAME_UNITS, name);
    obexses::tvr_save_server_session(record);
    g_sessions.push_back(record);
  }
}

// The throw-away folder and the sandbox, made once per process. The folder is
// a fresh private one, so its path holds no "..".
const fs::path* SetUp() {
  static SandboxEnv* sandbox = nullptr;
  if (sandbox != nullptr) return g_folder;
  std::string folder;
  if (!obexses::host::MakeTemporaryFolder(&folder)) std::abort();
  g_folder = new fs::path(fs::path(folder).lexically_normal());
  std::atexit(TearDown);
  sandbox = new SandboxEnv(Env::Default(), obexses::text::FromUtf8(g_folder->generic_string()));
  obexses::platform::SetEnv(sandbox);
  fs::create_directories(*g_folder / "Velmora");
  SaveSessions();
  return g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path* folder = SetUp();
  {
    std::ofstream list(*folder / "Velmora" / "tmp_lst", std::ios::binary | std::ios::trunc);
    list.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  obexses::CleanTempFileList();
  return 0;
}
