// Loads the built library in a child process, as the host does, and uses it
// only through its exports and the service table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "obexses/obexses.h"
#include "platform/env.h"

namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class HostLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder;
    ASSERT_TRUE(obexses::platform::MakeTemporaryFolder(&folder));
    dir_ = folder;
    obexses::platform::SetProcessVariable("XDG_DATA_HOME", (dir_ / "appdata").string());
    obexses::platform::SetProcessVariable("OBEXSES_HOST_LOG", (dir_ / "host.log").string());
    obexses::platform::SetProcessVariable("OBEXSES_REGISTRY", (dir_ / "registry.reg").string());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string HostLog() { return ReadText(dir_ / "host.log"); }

  std::filesystem::path dir_;
};

// Runs body in a forked child that has loaded the library; the child's exit
// code is the number of failed checks.
template <typename Body>
int InChild(Body body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    std::string error;
    auto library = obexses::platform::Library::Open(OBEXSES_LIBRARY, &error);
    if (!library) {
      fprintf(stderr, "cannot load: %s\n", error.c_str());
      _exit(100);
    }
    _exit(body(*library));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(HostLoadTest, InitializeAndQueryDdiThroughTheExports) {
  const int failures = InChild([](obexses::platform::Library& lib) {
    int bad = 0;
    auto initialize = reinterpret_cast<InitializeFn>(lib.Symbol("Initialize"));
    auto command = reinterpret_cast<CallProfileCommandFn>(lib.Symbol("CallProfileCommand"));
    auto is_busy = reinterpret_cast<uint32_t (*)()>(lib.Symbol("IsBusy"));
    if (!initialize || !command || !is_busy) return 50;
    bad += initialize(nullptr) != 3;
    bad += initialize(reinterpret_cast<ICore*>(0x1)) != 1;
    bad += is_busy() != 0;
    SessionDdi table;
    std::memset(&table, 0, sizeof table);
    command(u"QueryDdi", 1, &table);
    void* slots[OBEXSES_DDI_SLOTS];
    std::memcpy(slots, &table, sizeof slots);
    for (void* slot : slots) bad += slot == nullptr;
    ClientSession* record = table.create_client_session(OBEXSES_PROFILE_OPP);
    bad += record == nullptr;
    bad += table.destroy_client_session(record) != 1;
    bad += table.destroy_client_session(record) != 0;
    return bad;
  });
  EXPECT_EQ(failures, 0);
  const std::string log = HostLog();
  EXPECT_NE(log.find("4 OBEX: +++++ Initialize\n"), std::string::npos) << log;
  EXPECT_NE(log.find("1 OBEX: giving a NULL ICore! which means Extension Core has a huge bug\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("4 OBEX: query ddi\n"), std::string::npos) << log;
  EXPECT_NE(log.find("4 OBEX: ----- FillDdi\n"), std::string::npos) << log;
}

}  // namespace
