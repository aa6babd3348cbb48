// The built library as the host sees it: loaded in a child process and used
// only through its exports and the service table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/host/host_probe.h"
#include "tests/host/host_sandbox.h"

namespace obexses::host_test {
namespace {

class HostLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.ok()); }

  std::string HostLog() { return sandbox_.HostLog(); }

  HostSandbox sandbox_;
};

const bool kExports = RegisterScenario(
    "exports",
    [](Probe& p) {
      auto initialize = p.Export<InitializeFn>("Initialize");
      auto command = p.Export<CallProfileCommandFn>("CallProfileCommand");
      auto is_busy = p.Export<uint32_t (*)()>("IsBusy");
      auto suspend = p.Export<uint32_t (*)()>("DoSuspend");
      p.Check(initialize && command && is_busy && suspend, "exports found by name");
      if (!initialize || !command || !is_busy || !suspend) return;
      p.Check(initialize(nullptr) == 3, "null core gives 3");
      p.Check(initialize(reinterpret_cast<ICore*>(&p)) == 1, "core gives 1");
      p.Check(is_busy() == 0 && suspend() == 1, "fixed results");
      command(u"QueryDdi", 1, &p.table);
      void* slots[OBEXSES_DDI_SLOTS];
      std::memcpy(slots, &p.table, sizeof slots);
      for (void* slot : slots) p.Check(slot != nullptr, "every slot filled");
      ClientSession* record = p.table.create_client_session(OBEXSES_PROFILE_OPP);
      p.Check(record != nullptr, "create gives a record");
      p.Check(p.table.destroy_client_session(record) == 1, "destroy gives 1");
      p.Check(p.table.destroy_client_session(record) == 0, "second destroy gives 0");
    },
    false);

TEST_F(HostLoadTest, InitializeAndQueryDdiThroughTheExports) {
  EXPECT_EQ(RunInChild("exports"), 0);
  const std::string log = HostLog();
  EXPECT_NE(log.find("4 OBEX: +++++ Initialize\n"), std::string::npos) << log;
  EXPECT_NE(log.find("1 OBEX: giving a NULL ICore! which means Extension Core has a huge bug\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("4 OBEX: query ddi\n"), std::string::npos) << log;
  EXPECT_NE(log.find("4 OBEX: ----- FillDdi\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace obexses::host_test
