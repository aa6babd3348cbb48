// SPDX-License-Identifier: MIT
// The built library as a host sees it: loaded by path in a sandbox of its own
// (an application-data folder and settings for this process alone, so the
// user's and the machine's stay untouched), and used only through its exports
// and the service table. Each test runs in a process of its own, so each
// loads a library that has not started up yet.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "host/host.h"
#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses {
namespace {

namespace fs = std::filesystem;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder, error;
    ASSERT_TRUE(host::MakeTemporaryFolder(&folder));
    dir_ = folder;
    fs::create_directory(dir_ / "appdata");
    host::SetProcessVariable("OBEXSES_HOST_LOG", (dir_ / "host.log").string());
    sandbox_ =
        host::Sandbox::Enter((dir_ / "appdata").string(), (dir_ / "registry.reg").string(),
                             {{"ObexSesSaveFile", 1}, {"ObexSesDebugLevel", 0xfffffffe}}, &error);
    ASSERT_NE(sandbox_, nullptr) << error;
  }
  void TearDown() override {
    library_.reset();
    sandbox_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  bool Load() {
    std::string error;
    library_ = host::Library::Open(OBEXSES_LIBRARY, &error);
    EXPECT_NE(library_, nullptr) << error;
    return library_ != nullptr;
  }
  template <typename Fn>
  Fn Export(const char* name) {
    Fn fn = reinterpret_cast<Fn>(library_->Symbol(name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }

  fs::path dir_;
  std::unique_ptr<host::Sandbox> sandbox_;
  std::unique_ptr<host::Library> library_;
};

// Initialize without and with a core (twice), the table, then the other
// exports, which answer fixed results and leave the saved sessions alone.
TEST_F(HostTest, ExportsAndTheServiceTableOfTheLoadedLibrary) {
  ASSERT_TRUE(Load());
  using NoArguments = uint32_t (*)();
  auto initialize = Export<InitializeFn>("Initialize");
  auto command = Export<CallProfileCommandFn>("CallProfileCommand");
  ASSERT_TRUE(initialize && command);
  EXPECT_EQ(initialize(nullptr), 3u);
  EXPECT_EQ(initialize(reinterpret_cast<ICore*>(this)), 1u);
  EXPECT_EQ(initialize(reinterpret_cast<ICore*>(this)), 1u);
  EXPECT_TRUE(fs::is_directory(dir_ / "appdata" / "Velmora" / "Session")) << "made by the start-up";
  SessionDdi table{};
  command(u"QueryDdi", 1, &table);
  void* slots[OBEXSES_DDI_SLOTS];
  std::memcpy(slots, &table, sizeof slots);
  for (void* slot : slots) ASSERT_NE(slot, nullptr);

  ClientSession* client = table.create_client_session(OBEXSES_PROFILE_OPP);
  ServerSession* server = table.create_server_session(OBEXSES_PROFILE_OPP);
  ASSERT_TRUE(client != nullptr && server != nullptr);
  const uint8_t address[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(client->bdaddr, address, 6);
  std::memcpy(client->file_name, u"a.txt", sizeof u"a.txt");
  EXPECT_EQ(table.save_client_session(client), 1);
  EXPECT_EQ(table.save_server_session(server), 1);
  for (const char* name : {"UnInitialize", "DoResume", "DoSuspend", "DoRemoteDeviceChanged"}) {
    EXPECT_EQ(Export<NoArguments>(name)(), 1u) << name;
  }
  for (const char* name : {"CallInitProfiles", "CallUninitProfiles", "CallProfileEvent"}) {
    Export<void (*)()>(name)();
  }
  EXPECT_EQ(Export<NoArguments>("IsBusy")(), 0u);
  EXPECT_EQ(table.find_client_session(address, u"a.txt", OBEXSES_PROFILE_OPP), client);
  const uint8_t zero_id[16] = {};
  EXPECT_EQ(table.find_server_session(zero_id), server);
  // The settings reached it: saving is on.
  EXPECT_TRUE(fs::exists(dir_ / "appdata" / "Velmora" / "Session" / "ClientSession.xml"));
  EXPECT_EQ(table.destroy_client_session(client), 1);
  EXPECT_EQ(table.destroy_client_session(client), 0);
  EXPECT_EQ(table.destroy_server_session(server), 1);
  // The host's log library got the lines (through ordinals 9 and 8 on Windows).
  std::ifstream in(dir_ / "host.log", std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(log.rfind("4 OBEX: +++++ Initialize\n1 OBEX: giving a NULL ICore!", 0), 0u) << log;
}

// A library that cannot be loaded says why, to a caller that asks.
TEST(HostLibraryTest, ALibraryThatCannotBeLoadedSaysWhy) {
  std::string error;
  EXPECT_EQ(host::Library::Open("no-such-library", &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(host::Library::Open("no-such-library", nullptr), nullptr);
}

}  // namespace
}  // namespace obexses
