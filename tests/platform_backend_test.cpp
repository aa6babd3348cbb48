// The process's own platform backend, Env::Default(), called for real (under
// Wine in the Windows build). The other suites reach it through their TestEnv
// (session files byte for byte, file times, the temporary list) and the host
// tests cover settings, the host log and child processes: here is the rest.
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
  static std::u16string U16(const fs::path& path) {
    std::u16string text = text::FromUtf8(path.string());
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  Env* env() { return Env::Default(); }

  fs::path dir_;
};

// The temporary file of a replacement is renamed away on success and removed
// on failure.
TEST_F(PlatformBackendTest, ReplaceLeavesOnlyItsTargetBehind) {
  const fs::path file = dir_ / "ServerSession.xml";
  testing::WriteFile(file, "old and longer");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(env()->ReplaceFileBytes(U16(file), "new"));
  EXPECT_EQ(testing::ReadFile(file), "new");
  fs::create_directory(dir_ / "Session");
  EXPECT_FALSE(env()->ReplaceFileBytes(U16(dir_ / "Session"), "bytes"));
  EXPECT_TRUE(fs::is_directory(dir_ / "Session"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"ServerSession.xml", "Session"}));
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

// File times in 100-ns units since 1601, the clock in seconds since 1970.
TEST_F(PlatformBackendTest, AttributesGiveSizeAndWindowsFileTimeTheClockUnixSeconds) {
  const int64_t now = env()->NowSeconds();
  EXPECT_NEAR(static_cast<double>(now), static_cast<double>(std::time(nullptr)), 5.0);
  const fs::path file = dir_ / "report.pdf";
  testing::WriteFile(file, std::string(70000, 'x'));
  platform::FileAttributes attributes;
  ASSERT_TRUE(env()->ReadAttributes(U16(file), &attributes));
  EXPECT_EQ(attributes.size, 70000u);
  const int64_t seconds = static_cast<int64_t>(attributes.last_write_time / 10000000) - 11644473600;
  EXPECT_NEAR(static_cast<double>(seconds), static_cast<double>(now), 120.0);
  EXPECT_FALSE(env()->ReadAttributes(U16(dir_ / "missing.pdf"), &attributes));
}

TEST_F(PlatformBackendTest, TextFilesUseThePlatformsLineEndsAndKeepLongLinesWhole) {
  const fs::path file = dir_ / "tmp_lst";
  const std::u16string text = u"C:\\in\\a.jpg\n" + std::u16string(700, u'p') + u"\n";
  const std::string eol = kWindows ? "\r\n" : "\n";
  ASSERT_TRUE(env()->WriteTextFile(U16(file), text));
  EXPECT_EQ(testing::ReadFile(file), "C:\\in\\a.jpg" + eol + std::string(700, 'p') + eol);
  std::u16string read;
  ASSERT_TRUE(env()->ReadTextFile(U16(file), &read));
  EXPECT_EQ(read, text);
  EXPECT_FALSE(env()->ReadTextFile(U16(dir_ / "missing"), &read));
}

}  // namespace
}  // namespace obexses
