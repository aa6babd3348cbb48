// Initialize and CallProfileCommand: the host-log lines, the once-only
// start-up and the service table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "module/module.h"
#include "module/state.h"
#include "persist/session_files.h"
#include "registry/registry.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

const std::string kIn = "4 OBEX: +++++ CallProfileCommand";
const std::string kOut = "4 OBEX: ----- CallProfileCommand";

class ModuleTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ICore* core() { return reinterpret_cast<ICore*>(this); }
};

// The host-log lines of these calls are checked through the loaded library.
TEST_F(ModuleTest, InitializeStartsUpOnceGivenACoreWithTracingOffUntilTheSettingsAreRead) {
  env().set_dword(u"ObexSesDebugLevel", 3);
  env().set_dword(u"ObexSesSaveFile", 1);
  EXPECT_EQ(InitializeModule(nullptr), 3u);
  EXPECT_EQ(g_initialized.load(), 0u);
  EXPECT_EQ(g_debug_level.load(), 0u);
  EXPECT_FALSE(std::filesystem::exists(env().app_data() / "Velmora"));
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_initialized.load(), 1u);
  EXPECT_EQ(g_save_file.load(), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_TRUE(env().trace_lines().empty());  // the paths were built before the settings
  env().set_dword(u"ObexSesDebugLevel", 1);
  g_client_session_path[0] = 0;
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_EQ(g_client_session_path[0], 0);
}

TEST_F(ModuleTest, QueryDdiFillsTheTwentyTwoSlotsInOrder) {
  // clang-format off
  const SessionDdi expected{
      tvr_create_client_session, tvr_destroy_client_session, tvr_save_client_session,
      tvr_find_client_session, tvr_resume_client_session, tvr_create_server_session,
      tvr_destroy_server_session, tvr_save_server_session, tvr_find_server_session,
      tvr_resume_server_session, tvr_store_client_session, tvr_restore_client_session,
      tvr_store_server_session, tvr_restore_server_session, tvr_enum_client_session,
      tvr_enum_server_session, tvr_client_file_changed, tvr_server_file_changed,
      tvr_client_transfer_file_changed, tvr_server_transfer_file_changed, tvr_client_file_size,
      tvr_server_file_size};
  // clang-format on
  SessionDdi table;
  std::memset(&table, 0xAB, sizeof table);
  RunProfileCommand(u"QueryDdi", 1, &table);
  EXPECT_EQ(std::memcmp(&table, &expected, sizeof table), 0);
}

TEST_F(ModuleTest, OtherCommandsWriteTheirLinesAndLeaveTheTableAlone) {
  const Lines wrong{kIn, "4 OBEX: query ddi", "1 OBEX: wrong params!", kOut};
  const Lines unnamed{kIn, "1 OBEX: call profile command but no function name!"};
  const struct {
    const char16_t* name;
    uint32_t count;
    bool table;
    Lines lines;
  } cases[] = {
      {u"QueryDdi", 2, true, wrong},       {u"QueryDdi", 1, false, wrong},
      {u"queryddi", 1, true, {kIn, kOut}}, {u"QueryDdiX", 1, true, {kIn, kOut}},
      {u"QueryDd", 1, true, {kIn, kOut}},  {u"QUERYDDI", 1, true, {kIn, kOut}},
      {nullptr, 1, true, unnamed},         {u"", 1, true, unnamed},
  };
  SessionDdi table, untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name != nullptr ? text::ToUtf8(c.name) : "null");
    table = untouched;
    env().clear_output();
    RunProfileCommand(c.name, c.count, c.table ? &table : nullptr);
    EXPECT_EQ(std::memcmp(&table, &untouched, sizeof table), 0);
    EXPECT_EQ(env().host_lines(), c.lines);
  }
}

}  // namespace
}  // namespace obexses::testing
