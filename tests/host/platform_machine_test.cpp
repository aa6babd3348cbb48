// The platform backend's machine-wide surroundings, called for real: the
// settings (the registry on Windows, the .reg file elsewhere), the
// application-data folder and child processes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/env.h"
#include "tests/host/host_probe.h"
#include "tests/host/host_sandbox.h"
#include "text/wide.h"

namespace obexses::host_test {
namespace {

class PlatformMachineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.ok()); }

  // The setting as the library reads it; -1 when the read fails.
  int64_t Query(const char16_t* name) {
    uint32_t value = 0;
    if (!platform::Env::Default()->QuerySettingDword(name, &value)) return -1;
    return value;
  }

  HostSandbox sandbox_;
};

TEST_F(PlatformMachineTest, SettingsAreReadIntoFourBytesWhateverTheirType) {
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

TEST_F(PlatformMachineTest, TheLibraryFindsTheSandboxsAppDataFolder) {
  std::u16string folder;
  ASSERT_TRUE(platform::Env::Default()->AppDataFolder(&folder));
  EXPECT_EQ(std::filesystem::path(text::ToUtf8(folder)), sandbox_.app_data());
}

// Arguments reach the child as they were given, spaces, quotes and trailing
// backslashes included.
const bool kQuoted = RegisterScenario("a \"quoted\" name\\ with\tspaces\\\\", [](Probe&) {});

TEST_F(PlatformMachineTest, ChildProcessesGetTheirArgumentsAndGiveTheirExitCode) {
  EXPECT_EQ(RunInChild("a \"quoted\" name\\ with\tspaces\\\\"), 0);
  EXPECT_EQ(RunInChild("no such scenario"), 101);
}

}  // namespace
}  // namespace obexses::host_test
