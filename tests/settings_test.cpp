// Settings, session file paths and the debug trace.
#include <gtest/gtest.h>

#include <filesystem>

#include "module/state.h"
#include "settings/settings.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

class SettingsTest : public ModuleFixtureBase, public ::testing::Test {};

TEST_F(SettingsTest, ValuesOfAtMostFourBytesAreReadMissingOnesKeepTheirValues) {
  ReadSettings();
  EXPECT_EQ(g_save_file.load(), 0u);
  EXPECT_EQ(g_debug_level.load(), 0u);
  EXPECT_EQ(ReadObsoleteAge(), 86400u);
  g_save_file = 5;
  env().set_dword(u"ObexSesDebugLevel", 2);
  env().set_dword(u"ObexSesObsoleteTime", 60);
  ReadSettings();
  EXPECT_EQ(g_save_file.load(), 5u);
  EXPECT_EQ(g_debug_level.load(), 2u);
  EXPECT_EQ(ReadObsoleteAge(), 60u);
  env().set_setting(u"ObexSesSaveFile", std::string("\x01\x00\x00\x00\x00\x00", 6));
  env().set_setting(u"ObexSesDebugLevel", std::string("\x03", 1));
  ReadSettings();
  EXPECT_EQ(g_save_file.load(), 5u);
  EXPECT_EQ(g_debug_level.load(), 3u);
}

TEST_F(SettingsTest, SessionFilePathsShareTheSessionFolderWhichIsCreated) {
  g_debug_level = 3;
  char16_t client[260];
  char16_t server[260];
  EXPECT_EQ(MakeSessionFilePath(0, server), 1);
  EXPECT_EQ(MakeSessionFilePath(1, client), 1);
  const std::u16string folder = env().app_data_u16() + u"\\Velmora\\Session\\";
  EXPECT_EQ(std::u16string(server), folder + u"ServerSession.xml");
  EXPECT_EQ(std::u16string(client), folder + u"ClientSession.xml");
  EXPECT_TRUE(std::filesystem::is_directory(env().app_data() / "Velmora" / "Session"));
  const std::string folder_text = text::ToUtf8(folder);
  EXPECT_EQ(env().trace_lines(), (Lines{Trace(folder_text + "ServerSession.xml\n"),
                                        Trace(folder_text + "ClientSession.xml\n")}));
}

// An application-data folder too long for a path: the path is cut, never overrun.
class LongFolderEnv : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  bool AppDataFolder(std::u16string* path) override {
    *path = u"\\no-such-folder\\" + std::u16string(300, u'f');
    return true;
  }
};

TEST_F(SettingsTest, SessionFilePathIsCutToTheBuffer) {
  LongFolderEnv long_env(&env());
  platform::SetEnv(&long_env);
  char16_t out[260];
  EXPECT_EQ(MakeSessionFilePath(1, out), 1);
  platform::SetEnv(&env());
  EXPECT_EQ(std::u16string(out),
            (u"\\no-such-folder\\" + std::u16string(300, u'f')).substr(0, 259));
}

TEST_F(SettingsTest, TraceLevelIsAnUnsignedUpperBoundAndAMessageHoldsAtMost2038Units) {
  g_debug_level = 2;
  DebugTrace(0, u"zero\n");
  DebugTrace(2, u"two %d\n", 2);
  DebugTrace(3, u"three\n");
  g_debug_level = 0xFFFFFFFFu;
  DebugTrace(0xFFFFFFFFu, u"all\n");
  g_debug_level = 3;
  DebugTrace(0xFFFFFFFFu, u"never\n");
  const std::u16string whole(2038, u'w');
  DebugTrace(3, u"%s", whole);
  DebugTrace(3, u"%sXYZ", whole);
  DebugTrace(3, u"%s", std::u16string(5000, u'l'));
  const std::string cut(2038, 'w');
  EXPECT_EQ(env().trace_lines(), (Lines{Trace("zero\n"), Trace("two 2\n"), Trace("all\n"),
                                        Trace(cut), Trace(cut), Trace(std::string(2038, 'l'))}));
}

}  // namespace
}  // namespace obexses::testing
