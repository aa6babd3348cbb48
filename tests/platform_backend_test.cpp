// The process's own platform backend, Env::Default(), called for real (under
// Wine in the Windows build): replacing a file, file attributes and the
// clock in their units, and text files with the platform's line ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/env.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses {
namespace {

namespace fs = std::filesystem;

// The one thing the tests need to know about the platform: its line end on
// disk. Told by the file system's separator, without any platform header.
constexpr bool kWindows = fs::path::preferred_separator == '\\';

class PlatformBackendTest : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) { return folder_.app_data() / name; }
  // The same file as the module names it: UTF-16, behind a backslash.
  std::u16string Path(const std::string& name) {
    return folder_.app_data_u16() + u"\\" + text::FromUtf8(name);
  }
  platform::Env* env() { return platform::Env::Default(); }

  testing::TestEnv folder_;  // not installed: only its private folder is used
};

// The temporary file of a replacement is renamed away on success and removed
// on failure, and one that a dead store left goes too; a name only like
// theirs stays, and so do the lock files beside the targets.
TEST_F(PlatformBackendTest, ReplaceLeavesOnlyItsTargetBehind) {
  testing::WriteFile(File("ServerSession.xml"), "old and longer");
  testing::WriteFile(File("ServerSession.xml.0123456789abcDEF.tmp"), "left by a dead store");
  testing::WriteFile(File("ServerSession.xml.0123456789abcdeg.tmp"), "someone else's");
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(env()->ReplaceFileBytes(Path("ServerSession.xml"), "news"));
  std::u16string units;
  size_t bytes = 0;
  ASSERT_TRUE(env()->ReadFileUnits(Path("ServerSession.xml"), &units, &bytes));
  EXPECT_EQ(units, u"\x656E\x7377");  // "news" as two UTF-16LE units, nothing after them
  EXPECT_EQ(bytes, 4u);
  fs::create_directory(File("Session"));
  EXPECT_FALSE(env()->ReplaceFileBytes(Path("Session"), "bytes"));
  EXPECT_TRUE(fs::is_directory(File("Session")));
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(folder_.app_data())) {
    entries.push_back(entry.path().filename());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries,
            (std::vector<fs::path>{"ServerSession.xml", "ServerSession.xml.0123456789abcdeg.tmp",
                                   "ServerSession.xml.lock", "Session", "Session.lock"}));
}

// File times in 100-ns units since 1601, the clock in seconds since 1970.
TEST_F(PlatformBackendTest, AttributesGiveSizeAndWindowsFileTimeTheClockUnixSeconds) {
  const int64_t now = env()->NowSeconds();
  EXPECT_NEAR(static_cast<double>(now), static_cast<double>(std::time(nullptr)), 5.0);
  testing::WriteFile(File("report.pdf"), std::string(70000, 'x'));
  platform::FileAttributes attributes;
  ASSERT_TRUE(env()->ReadAttributes(Path("report.pdf"), &attributes));
  EXPECT_EQ(attributes.size, 70000u);
  const int64_t seconds = static_cast<int64_t>(attributes.last_write_time / 10000000) - 11644473600;
  EXPECT_NEAR(static_cast<double>(seconds), static_cast<double>(now), 120.0);
}

TEST_F(PlatformBackendTest, TextFilesUseThePlatformsLineEndsAndKeepLongLinesWhole) {
  const std::u16string text = u"C:\\in\\a.jpg\n" + std::u16string(700, u'p') + u"\n";
  const std::string eol = kWindows ? "\r\n" : "\n";
  ASSERT_TRUE(env()->WriteTextFile(Path("tmp_lst"), text));
  EXPECT_EQ(testing::ReadFile(File("tmp_lst")),
            "C:\\in\\a.jpg" + eol + std::string(700, 'p') + eol);
  std::u16string read;
  ASSERT_TRUE(env()->ReadTextFile(Path("tmp_lst"), &read));
  EXPECT_EQ(read, text);
  EXPECT_FALSE(env()->ReadTextFile(Path("missing"), &read));
}

}  // namespace
}  // namespace obexses
