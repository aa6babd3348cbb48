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

const std::string kCommandIn = "4 OBEX: +++++ CallProfileCommand";
const std::string kCommandOut = "4 OBEX: ----- CallProfileCommand";

class ModuleTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  ICore* core() { return reinterpret_cast<ICore*>(this); }

  // A table whose every byte is 0xAB, to see what a command writes.
  static SessionDdi Untouched() {
    SessionDdi table;
    std::memset(&table, 0xAB, sizeof table);
    return table;
  }
  static bool Same(const SessionDdi& a, const SessionDdi& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
  }
};

TEST_F(ModuleTest, InitializeWithoutCoreGivesThreeAndStartsNothing) {
  env().set_dword(u"ObexSesDebugLevel", 3);
  EXPECT_EQ(InitializeModule(nullptr), 3u);
  EXPECT_EQ(env().host_lines(),
            (Lines{"4 OBEX: +++++ Initialize",
                   "1 OBEX: giving a NULL ICore! which means Extension Core has a huge bug",
                   "4 OBEX: ----- Initialize"}));
  EXPECT_EQ(g_initialized.load(), 0u);
  EXPECT_EQ(g_debug_level.load(), 0u);
  EXPECT_EQ(g_client_session_path[0], 0);
  EXPECT_FALSE(std::filesystem::exists(env().app_data() / "Velmora"));
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_initialized.load(), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
}

TEST_F(ModuleTest, InitializeStartsUpOnceWithTracingOffUntilTheSettingsAreRead) {
  env().set_dword(u"ObexSesDebugLevel", 3);
  env().set_dword(u"ObexSesSaveFile", 1);
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(std::u16string(g_client_session_path),
            env().app_data_u16() + u"\\Velmora\\Session\\ClientSession.xml");
  EXPECT_EQ(std::u16string(g_server_session_path),
            env().app_data_u16() + u"\\Velmora\\Session\\ServerSession.xml");
  EXPECT_EQ(g_save_file.load(), 1u);
  EXPECT_TRUE(env().trace_lines().empty());  // the paths were built before the settings
  env().set_dword(u"ObexSesDebugLevel", 1);
  g_client_session_path[0] = 0;
  EXPECT_EQ(InitializeModule(core()), 1u);
  EXPECT_EQ(g_debug_level.load(), 3u);
  EXPECT_EQ(g_client_session_path[0], 0);
  EXPECT_EQ(env().host_lines(), (Lines{"4 OBEX: +++++ Initialize", "4 OBEX: ----- Initialize",
                                       "4 OBEX: +++++ Initialize", "4 OBEX: ----- Initialize"}));
}

TEST_F(ModuleTest, QueryDdiFillsTheTwentyTwoSlotsInOrder) {
  const SessionDdi expected{tvr_create_client_session,
                            tvr_destroy_client_session,
                            tvr_save_client_session,
                            tvr_find_client_session,
                            tvr_resume_client_session,
                            tvr_create_server_session,
                            tvr_destroy_server_session,
                            tvr_save_server_session,
                            tvr_find_server_session,
                            tvr_resume_server_session,
                            tvr_store_client_session,
                            tvr_restore_client_session,
                            tvr_store_server_session,
                            tvr_restore_server_session,
                            tvr_enum_client_session,
                            tvr_enum_server_session,
                            tvr_client_file_changed,
                            tvr_server_file_changed,
                            tvr_client_transfer_file_changed,
                            tvr_server_transfer_file_changed,
                            tvr_client_file_size,
                            tvr_server_file_size};
  SessionDdi table = Untouched();
  RunProfileCommand(u"QueryDdi", 1, &table);
  EXPECT_TRUE(Same(table, expected));
  EXPECT_EQ(env().host_lines(), (Lines{kCommandIn, "4 OBEX: query ddi", "4 OBEX: +++++ FillDdi",
                                       "4 OBEX: ----- FillDdi", kCommandOut}));
}

TEST_F(ModuleTest, QueryDdiWithWrongParametersWritesNothing) {
  SessionDdi table = Untouched();
  RunProfileCommand(u"QueryDdi", 2, &table);
  RunProfileCommand(u"QueryDdi", 1, nullptr);
  EXPECT_TRUE(Same(table, Untouched()));
  const Lines once{kCommandIn, "4 OBEX: query ddi", "1 OBEX: wrong params!", kCommandOut};
  Lines twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(env().host_lines(), twice);
}

TEST_F(ModuleTest, OtherCommandNamesOnlyWriteEntryAndExitLines) {
  SessionDdi table = Untouched();
  for (const char16_t* name : {u"queryddi", u"QueryDdiX", u"QueryDd", u"QUERYDDI"}) {
    env().clear_output();
    RunProfileCommand(name, 1, &table);
    EXPECT_EQ(env().host_lines(), (Lines{kCommandIn, kCommandOut}));
  }
  EXPECT_TRUE(Same(table, Untouched()));
}

TEST_F(ModuleTest, MissingCommandNameWritesItsMessageAndNoExitLine) {
  for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u""}) {
    env().clear_output();
    RunProfileCommand(name, 1, nullptr);
    EXPECT_EQ(env().host_lines(),
              (Lines{kCommandIn, "1 OBEX: call profile command but no function name!"}));
  }
}

}  // namespace
}  // namespace obexses::testing
