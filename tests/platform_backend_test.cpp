// The process's own platform backend, Env::Default(), and the host-side
// helpers, called for real: on Linux the POSIX backend, in the Windows build
// the Windows one (under Wine in CI). Machine-wide settings are tested in the
// host tests, which take turns with the registry.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/env.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses {
namespace {

namespace fs = std::filesystem;
using platform::Env;

// The one thing the tests need to know about the platform: its line end on
// disk. Told by the file system's separator, without any platform header.
constexpr bool kWindows = fs::path::preferred_separator == '\\';

class PlatformBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder;
    ASSERT_TRUE(platform::MakeTemporaryFolder(&folder));
    dir_ = folder;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A path as the module hands it over: UTF-16, with backslashes.
  std::u16string U16(const fs::path& path) {
    std::u16string text = text::FromUtf8(path.string());
    for (char16_t& c : text) {
      if (c == u'/') c = u'\\';
    }
    return text;
  }

  Env* env() { return Env::Default(); }

  fs::path dir_;
};

// Bytes that a text-mode read or write would change.
const std::string kAwkwardBytes("\xFF\xFE<a>\r\n\x1A\0tail\n", 15);

TEST_F(PlatformBackendTest, FileBytesArePassedThroughUnchanged) {
  const fs::path file = dir_ / "session.xml";
  ASSERT_TRUE(env()->ReplaceFileBytes(U16(file), kAwkwardBytes));
  EXPECT_EQ(testing::ReadFile(file), kAwkwardBytes);
  std::string read;
  ASSERT_TRUE(env()->ReadFileBytes(U16(file), &read));
  EXPECT_EQ(read, kAwkwardBytes);

  ASSERT_TRUE(env()->ReplaceFileBytes(U16(file), "shorter"));
  ASSERT_TRUE(env()->ReadFileBytes(U16(file), &read));
  EXPECT_EQ(read, "shorter");
  EXPECT_FALSE(env()->ReadFileBytes(U16(dir_ / "missing.xml"), &read));
}

TEST_F(PlatformBackendTest, ReplaceLeavesOnlyTheTargetInItsFolder) {
  const fs::path file = dir_ / "ServerSession.xml";
  testing::WriteFile(file, "old");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(env()->ReplaceFileBytes(U16(file), "new"));
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    ++entries;
    EXPECT_EQ(entry.path().filename(), "ServerSession.xml");
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(PlatformBackendTest, ReplaceIntoAMissingFolderFailsAndMakesNothing) {
  const fs::path file = dir_ / "no-such-folder" / "ClientSession.xml";
  EXPECT_FALSE(env()->ReplaceFileBytes(U16(file), "bytes"));
  EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
}

TEST_F(PlatformBackendTest, ReplaceOverAFolderFailsAndKeepsItsFolderClean) {
  fs::create_directory(dir_ / "Session");
  EXPECT_FALSE(env()->ReplaceFileBytes(U16(dir_ / "Session"), "bytes"));
  EXPECT_TRUE(fs::is_directory(dir_ / "Session"));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1) << "the temporary file is removed";
}

TEST_F(PlatformBackendTest, FoldersFilesAndTheirExistence) {
  const fs::path folder = dir_ / "Velmora";
  EXPECT_FALSE(env()->PathExists(U16(folder)));
  EXPECT_TRUE(env()->CreateFolder(U16(folder)));
  EXPECT_FALSE(env()->CreateFolder(U16(folder))) << "already there";
  EXPECT_TRUE(env()->PathExists(U16(folder)));
  EXPECT_FALSE(env()->CreateFolder(U16(dir_ / "a" / "b"))) << "one level only";

  const fs::path file = folder / "photo.jpg";
  testing::WriteFile(file, "JFIF");
  EXPECT_TRUE(env()->PathExists(U16(file)));
  EXPECT_TRUE(env()->RemoveFile(U16(file)));
  EXPECT_FALSE(env()->PathExists(U16(file)));
  EXPECT_FALSE(env()->RemoveFile(U16(file)));
  EXPECT_FALSE(env()->RemoveFile(u""));
  EXPECT_FALSE(env()->PathExists(u""));
}

TEST_F(PlatformBackendTest, AttributesGiveSizeAndWindowsFileTime) {
  const fs::path file = dir_ / "report.pdf";
  testing::WriteFile(file, std::string(70000, 'x'));
  platform::FileAttributes attributes;
  ASSERT_TRUE(env()->ReadAttributes(U16(file), &attributes));
  EXPECT_EQ(attributes.size, 70000u);
  // 100-ns units since 1601: near the clock's seconds since 1970.
  const int64_t seconds = static_cast<int64_t>(attributes.last_write_time / 10000000) - 11644473600;
  EXPECT_NEAR(static_cast<double>(seconds), static_cast<double>(env()->NowSeconds()), 120.0);

  const auto base = std::chrono::time_point_cast<std::chrono::seconds>(fs::last_write_time(file));
  fs::last_write_time(file, base);
  ASSERT_TRUE(env()->ReadAttributes(U16(file), &attributes));
  const uint64_t before = attributes.last_write_time;
  fs::last_write_time(file, base + std::chrono::seconds(10));
  ASSERT_TRUE(env()->ReadAttributes(U16(file), &attributes));
  EXPECT_EQ(attributes.last_write_time - before, 100000000u);

  EXPECT_FALSE(env()->ReadAttributes(U16(dir_ / "missing.pdf"), &attributes));
}

TEST_F(PlatformBackendTest, TextFilesUseThePlatformsLineEnds) {
  const fs::path file = dir_ / "tmp_lst";
  ASSERT_TRUE(env()->WriteTextFile(U16(file), u"C:\\in\\a.jpg\nC:\\in\\b.jpg\n"));
  EXPECT_EQ(testing::ReadFile(file),
            kWindows ? "C:\\in\\a.jpg\r\nC:\\in\\b.jpg\r\n" : "C:\\in\\a.jpg\nC:\\in\\b.jpg\n");
  std::u16string text;
  ASSERT_TRUE(env()->ReadTextFile(U16(file), &text));
  EXPECT_EQ(text, u"C:\\in\\a.jpg\nC:\\in\\b.jpg\n");
  EXPECT_FALSE(env()->ReadTextFile(U16(dir_ / "missing"), &text));
}

TEST_F(PlatformBackendTest, LongTextLinesComeBackWhole) {
  const std::u16string line(700, u'p');
  const fs::path file = dir_ / "tmp_lst";
  ASSERT_TRUE(env()->WriteTextFile(U16(file), line + u"\nlast"));
  std::u16string text;
  ASSERT_TRUE(env()->ReadTextFile(U16(file), &text));
  EXPECT_EQ(text, line + u"\nlast");
}

TEST_F(PlatformBackendTest, ClockIsSecondsSince1970) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  EXPECT_NEAR(static_cast<double>(env()->NowSeconds()), static_cast<double>(now), 5.0);
}

TEST_F(PlatformBackendTest, AppDataFolderIsAnExistingFolder) {
  std::u16string folder;
  ASSERT_TRUE(env()->AppDataFolder(&folder));
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), u'\\');
  EXPECT_TRUE(fs::is_directory(fs::path(text::ToUtf8(folder))));
}

// The host log reaches utils.dll's two functions (by ordinal in the Windows
// build) and comes out as lines of OBEXSES_HOST_LOG.
TEST_F(PlatformBackendTest, HostLogReachesTheLogLibrary) {
  const fs::path log = dir_ / "host.log";
  platform::SetProcessVariable("OBEXSES_HOST_LOG", log.string());
  env()->HostLogFormat(4, u"OBEX", u"+++++ %S", "Initialize");
  env()->HostLogText(1, "OBEX", "giving a NULL ICore!");
  platform::SetProcessVariable("OBEXSES_HOST_LOG", "");
  env()->HostLogText(1, "OBEX", "not written");
  EXPECT_EQ(testing::ReadFile(log), "4 OBEX: +++++ Initialize\n1 OBEX: giving a NULL ICore!\n");
}

TEST_F(PlatformBackendTest, ProcessVariablesAreSeenByGetenv) {
  platform::SetProcessVariable("OBEXSES_TEST_VARIABLE", "a value");
  const char* value = std::getenv("OBEXSES_TEST_VARIABLE");
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "a value");
}

TEST_F(PlatformBackendTest, TemporaryFoldersAreFreshAndDistinct) {
  std::string other;
  ASSERT_TRUE(platform::MakeTemporaryFolder(&other));
  EXPECT_NE(fs::path(other), dir_);
  EXPECT_TRUE(fs::is_directory(other));
  EXPECT_TRUE(fs::is_empty(other));
  fs::remove_all(other);
}

TEST_F(PlatformBackendTest, ExecutablePathNamesThisProgram) {
  const fs::path self = platform::ExecutablePath();
  EXPECT_TRUE(self.is_absolute());
  EXPECT_TRUE(fs::is_regular_file(self));
  EXPECT_EQ(self.stem(), "obexses_tests");
}

TEST_F(PlatformBackendTest, LibrariesThatCannotBeLoadedSaySo) {
  std::string error;
  EXPECT_EQ(
      platform::Library::Open((dir_ / platform::SharedLibraryName("nothing")).string(), &error),
      nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace obexses
