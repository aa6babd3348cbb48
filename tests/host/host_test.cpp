// The built library as the host sees it, loaded in a child process and used
// only through its exports and the service table; and the platform backend's
// machine-wide surroundings, called for real: the settings (the registry on
// Windows, the .reg file elsewhere) and child processes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/env.h"
#include "tests/host/host_probe.h"
#include "tests/host/host_sandbox.h"

namespace obexses::host_test {
namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.ok()); }

  // The setting as the library reads it; -1 when the read fails.
  int64_t Query(const char16_t* name) {
    uint32_t value = 0;
    if (platform::Env::Default()->QuerySettingDword(name, &value) !=
        platform::SettingStatus::kRead) {
      return -1;
    }
    return value;
  }

  HostSandbox sandbox_;
};

// Initialize without and with a core (twice), the table, then the other
// exports, which answer fixed results, write nothing to the host's log and
// leave the saved sessions alone.
const bool kExports = RegisterScenario("exports", [](Probe& p) {
  using NoArguments = uint32_t (*)();
  using Ignored = void (*)();
  auto initialize = p.Export<InitializeFn>("Initialize");
  auto command = p.Export<CallProfileCommandFn>("CallProfileCommand");
  auto is_busy = p.Export<NoArguments>("IsBusy");
  p.Check(initialize && command && is_busy, "exports found by name");
  if (!initialize || !command || !is_busy) return;
  p.Check(initialize(nullptr) == 3, "null core gives 3");
  for (int call = 0; call < 2; ++call) {
    p.Check(initialize(reinterpret_cast<ICore*>(&p)) == 1, "core gives 1, each time");
  }
  command(u"QueryDdi", 1, &p.table);
  void* slots[OBEXSES_DDI_SLOTS];
  std::memcpy(slots, &p.table, sizeof slots);
  for (void* slot : slots) p.Check(slot != nullptr, "every slot filled");
  if (p.failures != 0) return;

  ClientSession* client = p.table.create_client_session(OBEXSES_PROFILE_OPP);
  ServerSession* server = p.table.create_server_session(OBEXSES_PROFILE_OPP);
  p.Check(client != nullptr && server != nullptr, "records created");
  if (client == nullptr || server == nullptr) return;
  const uint8_t address[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(reinterpret_cast<uint8_t*>(client) + 192, address, 6);
  std::memcpy(reinterpret_cast<uint8_t*>(client) + 198, u"a.txt", sizeof u"a.txt");
  p.table.save_client_session(client);
  p.Check(p.table.save_server_session(server) == 1, "server save gives 1");
  for (int round = 0; round < 2; ++round) {
    for (const char* name : {"UnInitialize", "DoResume", "DoSuspend", "DoRemoteDeviceChanged"}) {
      auto fn = p.Export<NoArguments>(name);
      p.Check(fn != nullptr && fn() == 1, name);
    }
    for (const char* name : {"CallInitProfiles", "CallUninitProfiles", "CallProfileEvent"}) {
      auto fn = p.Export<Ignored>(name);
      p.Check(fn != nullptr, name);
      if (fn != nullptr) fn();
    }
    p.Check(is_busy() == 0, "IsBusy gives 0");
  }
  p.Check(p.table.find_client_session(address, u"a.txt", OBEXSES_PROFILE_OPP) == client,
          "client session still saved");
  const uint8_t zero_id[16] = {};
  p.Check(p.table.find_server_session(zero_id) == server, "server session still saved");
  p.Check(p.table.destroy_client_session(client) == 1, "destroy gives 1");
  p.Check(p.table.destroy_client_session(client) == 0, "second destroy gives 0");
  p.table.destroy_server_session(server);
});

TEST_F(HostTest, ExportsAndTheServiceTableOfTheLoadedLibrary) {
  ASSERT_FALSE(std::filesystem::exists(sandbox_.velmora()));
  EXPECT_EQ(RunInChild("exports"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(sandbox_.sessions())) << "made by the start-up";
  // The host's log library got the lines, through ordinals 9 and 8 on Windows.
  const std::string log = sandbox_.HostLog();
  EXPECT_EQ(log.rfind("4 OBEX: +++++ Initialize\n1 OBEX: giving a NULL ICore!", 0), 0u) << log;
}

TEST_F(HostTest, SettingsAreReadIntoFourBytesWhateverTheirType) {
  ASSERT_TRUE(sandbox_.UseSettings("\"Replaced\"=dword:00000001\n"));
  ASSERT_TRUE(
      sandbox_.UseSettings("\"ObexSesSaveFile\"=dword:00000001\n"
                           "\"ObexSesDebugLevel\"=dword:fffffffe\n"
                           "\"ObexSesObsoleteTime\"=hex:10,0e\n"
                           "\"Binary\"=hex:01,02,03,04\n"
                           "\"OneLetter\"=\"a\"\n"
                           "\"Word\"=\"on\"\n"
                           "\"FiveBytes\"=hex:01,02,03,04,05\n"));
  EXPECT_EQ(Query(u"ObexSesSaveFile"), 1);
  EXPECT_EQ(Query(u"ObexSesDebugLevel"), 0xfffffffe);
  EXPECT_EQ(Query(u"ObexSesObsoleteTime"), 0x0e10) << "two bytes fill the low end";
  EXPECT_EQ(Query(u"Binary"), 0x04030201);
  EXPECT_EQ(Query(u"OneLetter"), 0x61) << "\"a\" and its terminator are four bytes";
  EXPECT_EQ(Query(u"Word"), -1) << "six bytes do not fit";
  EXPECT_EQ(Query(u"FiveBytes"), -1);
  EXPECT_EQ(Query(u"Missing"), -1);
  EXPECT_EQ(Query(u"Replaced"), -1) << "the settings are replaced as a whole";
}

}  // namespace
}  // namespace obexses::host_test
