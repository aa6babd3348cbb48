// SPDX-License-Identifier: MIT
// Settings and the .reg file that stands for the machine settings on POSIX, session file paths,
// the debug trace and the formatter of its messages; and the process's own platform backend,
// Env::Default(), called for real (under Wine in the Windows build): replacing a file, file
// attributes and the clock in their units, and text files with the platform's line ends.

#include <chrono>
#include <ctime>
#include <iterator>
#include <memory>
#include <thread>

#include "host/host.h"
#include "platform/durable_file.h"
#include "platform/env.h"
#include "platform/reg_file.h"
#include "settings/settings.h"
#include "tests/registry_helpers.h"
#include "text/format.h"

namespace obexses::testing {
namespace {

using text::Format;
using text::FormatBounded;

class SettingsTest : public StoreFixture, public ::testing::Test {};

// Settings that are absent leave the values the module has.
TEST_F(SettingsTest, MissingSettingsKeepTheirValues) {
  store().ReadSettings();
  EXPECT_EQ(store().save_file(), 0u);
  EXPECT_EQ(store().debug_level(), 0u);
  env().set_dword(u"ObexSesSaveFile", 5);
  env().set_dword(u"ObexSesDebugLevel", 2);
  store().ReadSettings();
  env().reject_settings();
  store().ReadSettings();
  EXPECT_EQ(store().save_file(), 5u);
  EXPECT_EQ(store().debug_level(), 2u);
}

// Both paths lie in the Session folder, which is made; a folder too long for
// a path is cut, never overrun.
TEST_F(SettingsTest, SessionFilePathsShareTheSessionFolderAndAreCutToTheBuffer) {
  char16_t client[260], server[260];
  const DebugTracer& trace = store().trace();
  EXPECT_EQ(MakeSessionFilePath(&env(), trace, 0, server), 1);
  EXPECT_EQ(MakeSessionFilePath(&env(), trace, 1, client), 1);
  const std::u16string folder = env().app_data_u16() + u"\\Velmora\\Session\\";
  EXPECT_EQ(std::u16string(server), folder + u"ServerSession.xml");
  EXPECT_EQ(std::u16string(client), folder + u"ClientSession.xml");
  EXPECT_TRUE(std::filesystem::is_directory(env().app_data() / "Velmora" / "Session"));
  const std::u16string long_folder = u"\\no-such-folder\\" + std::u16string(300, u'f');
  FolderEnv long_env(&env(), long_folder);
  EXPECT_EQ(MakeSessionFilePath(&long_env, trace, 1, client), 1);
  EXPECT_EQ(std::u16string(client), long_folder.substr(0, 259));
}

TEST_F(SettingsTest, TraceLevelIsAnUnsignedUpperBoundAndAMessageHoldsAtMost2038Units) {
  DebugTracer trace(&env());
  trace.set_level(2);
  trace.DebugTrace(0, u"zero\n");
  trace.DebugTrace(2, u"two %d\n", 2);
  trace.DebugTrace(3, u"three\n");
  trace.set_level(0xFFFFFFFFu);
  trace.DebugTrace(0xFFFFFFFFu, u"all\n");
  trace.set_level(3);
  trace.DebugTrace(0xFFFFFFFFu, u"never\n");
  const std::u16string whole(2038, u'w');
  trace.DebugTrace(3, u"%s", whole);
  trace.DebugTrace(3, u"%sXYZ", whole);
  trace.DebugTrace(3, u"%s", std::u16string(5000, u'l'));
  const std::string prefix = "\nTavrin: ", cut = prefix + std::string(2038, 'w');
  EXPECT_EQ(env().trace_lines(),
            (std::vector<std::string>{prefix + "zero\n", prefix + "two 2\n", prefix + "all\n", cut,
                                      cut, prefix + std::string(2038, 'l')}));
}

constexpr char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";

std::string Value(const std::string& file, const std::u16string& name) {
  std::string data;
  return platform::FindRegFileValue(file, kKey, name, &data) ? data : std::string("<none>");
}

// A settings file as regedit writes it, with the module's section and another.
std::string SettingsFile() {
  return ReadFile(fs::path(__FILE__).parent_path() / "data" / "settings.reg");
}

// Sections, value kinds, continued lines, deletions and repeats, as regedit
// writes them, in either encoding.
TEST(RegFileTest, ValueKindsSectionsAndEncodings) {
  const std::string kFile = SettingsFile();
  EXPECT_EQ(Value(kFile, u"ObexSesDebugLevel"), std::string("\x2a\x0a\0\0", 4));
  EXPECT_EQ(Value(kFile, u"Quoted"), std::string("a\0\"\0b\0\\\0\0\0", 10));
  EXPECT_EQ(Value(kFile, u"Long"), std::string("\x01\x02\x03\x04\x05", 5));
  EXPECT_EQ(Value(kFile, u"Twice"), std::string("\x02\0\0\0", 4));
  std::string data;  // names compare without case
  EXPECT_TRUE(platform::FindRegFileValue(
      kFile, u"hkey_local_machine\\SOFTWARE\\velmora\\brindleway", u"obexsesdebuglevel", &data));
  EXPECT_EQ(data, std::string("\x2a\x0a\0\0", 4));
  for (const char16_t* name : {u"Elsewhere", u"Gone", u"Absent", u"Nine", u"None"}) {
    EXPECT_EQ(Value(kFile, name), "<none>") << text::ToUtf8(name);
  }
  EXPECT_EQ(Value("\"ObexSesDebugLevel\"=dword:00000003\n", u"ObexSesDebugLevel"), "<none>");
  EXPECT_EQ(Value("", u"ObexSesDebugLevel"), "<none>");
  // A letter past F, a string whose last quote is escaped: no values.
  const std::string bad = "[" + text::ToUtf8(kKey) + "]\n\"Bad\"=dword:G\n\"Open\"=\"a\\\"\n";
  EXPECT_EQ(Value(bad, u"Bad") + Value(bad, u"Open"), "<none><none>");
  // UTF-16 without a final line end: the last unit is read too, an odd byte after it is not.
  const std::string utf16 = "\xFF\xFE" +
                            Utf16Le(
                                u"Windows Registry Editor Version 5.00\r\n"
                                u"[HKEY_LOCAL_MACHINE\\Software\\Velmora\\"
                                u"Brindleway]\r\n"
                                u"\"ObexSesSaveFile\"=dword:00000001") +
                            "1";
  EXPECT_EQ(Value(utf16, u"ObexSesSaveFile"), std::string("\x01\0\0\0", 4));
}

// Each conversion; an argument of the wrong kind or none is never read as
// something else.
TEST(FormatTest, ConversionsArgumentsAndCapacity) {
  EXPECT_EQ(Format(u"%s|%s|%S", u"wide", std::u16string(u"owned"), "narrow"), u"wide|owned|narrow");
  EXPECT_EQ(Format(u"%d %d %u", -42, 7, 4294967295u), u"-42 7 4294967295");
  EXPECT_EQ(Format(u"%x %02x %02x %02x", 0xbeefu, 5, 0xa0, 0x1ff), u"beef 05 a0 1ff");
  EXPECT_EQ(Format(u"100%% %5d|", 42), u"100%    42|");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%S", static_cast<const char*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%s|%S|%s|%s", 5, u"wide", "narrow", &kKey), u"(bad)|(bad)|(bad)|(bad)");
  EXPECT_EQ(Format(u"[%s][%d]", u"only"), u"[only][]");
  EXPECT_EQ(Format(u"%q|%s", 1, u"x"), u"(bad)|x");
  EXPECT_EQ(Format(u"end %"), u"end ");
  EXPECT_FALSE(Format(u"%d %x %p", u"string", "narrow", 3).empty());
  EXPECT_EQ(Format(u"%99999999999d", 1).size(), 64u);  // width is capped
  // A bounded format keeps to its capacity, terminator included, even at 0.
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(FormatBounded(buffer, 5, u"%s-%d", u"abc", 12345), 4u);
  EXPECT_EQ(std::u16string(buffer), u"abc-");
  EXPECT_EQ(buffer[5], u'#');
  EXPECT_EQ(FormatBounded(buffer, 0, u"xyz"), 0u);
  EXPECT_EQ(buffer[0], u'a');
}

// The one thing the tests need to know about the platform: its line end on
// disk. Told by the file system's separator, without any platform header.
constexpr bool kWindows = fs::path::preferred_separator == '\\';

class PlatformBackendTest : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) { return folder_.app_data() / name; }
  std::u16string Path(const std::string& name) { return ModulePath(folder_, name); }
  platform::Env* env() { return platform::Env::Default(); }

  TestEnv folder_;  // not installed: only its private folder is used
};

// The temporary file of a replacement is renamed away on success and removed
// on failure, and one that a dead store left goes too; a name only like
// theirs stays, and so do the lock files beside the targets. File times are
// in 100-ns units since 1601, the clock in seconds since 1970.
TEST_F(PlatformBackendTest, ReplaceLeavesOnlyItsTargetBehind) {
  WriteFile(File("ServerSession.xml"), "old and longer");
  WriteFile(File("ServerSession.xml.0123456789abcDEF.tmp"), "left by a dead store");
  WriteFile(File("ServerSession.xml.0123456789abcdeg.tmp"), "someone else's");
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(
        platform::ReplaceFile(env(), Path("ServerSession.xml"), "news", std::chrono::seconds(1))
            .ok());
  }
  std::u16string units;
  size_t bytes = 0;
  ASSERT_TRUE(platform::ReadFileUnits(env(), Path("ServerSession.xml"), 4, &units, &bytes).ok());
  EXPECT_EQ(units, u"\x656E\x7377");  // "news" as two UTF-16LE units, nothing after them
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(platform::ReadFileUnits(env(), Path("ServerSession.xml"), 3, &units, &bytes).kind(),
            platform::Status::Kind::kTooLarge);
  platform::FileAttributes attributes;
  ASSERT_TRUE(env()->Attributes(Path("ServerSession.xml"), &attributes).ok());
  EXPECT_EQ(attributes.size, 4u);
  const auto seconds = static_cast<int64_t>(attributes.last_write_time / 10000000) - 11644473600;
  EXPECT_NEAR(static_cast<double>(seconds), static_cast<double>(std::time(nullptr)), 120.0);
  EXPECT_NEAR(static_cast<double>(env()->NowSeconds()), static_cast<double>(std::time(nullptr)), 5);
  fs::create_directory(File("Session"));
  EXPECT_FALSE(
      platform::ReplaceFile(env(), Path("Session"), "bytes", std::chrono::seconds(1)).ok());
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

// Another program reading the file without sharing its deletion (a virus
// scanner, say) holds a replacement up on Windows only while it has the file
// open: the move is tried again meanwhile.
TEST_F(PlatformBackendTest, AReaderThatSharesNoDeletionOnlyDelaysAReplacement) {
  WriteFile(File("ServerSession.xml"), "old");
  std::unique_ptr<host::OpenFile> reader =
      host::OpenFile::ForReading(File("ServerSession.xml").string());
  ASSERT_NE(reader, nullptr);
  std::thread closer([&reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reader.reset();
  });
  const bool replaced =
      platform::ReplaceFile(env(), Path("ServerSession.xml"), "new", std::chrono::seconds(1)).ok();
  closer.join();
  EXPECT_TRUE(replaced);
  EXPECT_EQ(ReadFile(File("ServerSession.xml")), "new");
}

// What each primitive says when there is nothing at the name, in the
// system's words too.
TEST_F(PlatformBackendTest, MissingFilesAndFoldersAreNotFound) {
  const auto kind = [](platform::Status status) { return status.kind(); };
  using Kind = platform::Status::Kind;
  platform::FileAttributes attributes;
  std::string bytes;
  platform::StringTarget<std::string> target(&bytes);
  std::unique_ptr<platform::WritableFile> file;
  std::vector<std::u16string> names;
  EXPECT_EQ(kind(env()->Attributes(Path("none"), &attributes)), Kind::kNotFound);
  EXPECT_EQ(kind(env()->ReadFile(Path("none"), 10, &target)), Kind::kNotFound);
  EXPECT_EQ(kind(env()->Remove(Path("none"))), Kind::kNotFound);
  EXPECT_EQ(kind(env()->Rename(Path("none"), Path("other"))), Kind::kNotFound);
  EXPECT_EQ(kind(env()->CreateExclusive(Path("none\\file"), &file)), Kind::kNotFound);
  EXPECT_EQ(kind(env()->ListFolder(Path("none"), &names)), Kind::kNotFound);
  EXPECT_FALSE(env()->PathExists(Path("none")));
  EXPECT_FALSE(env()->Describe(env()->Remove(Path("none"))).empty());
  ASSERT_TRUE(env()->CreateFolder(Path("made")).ok());
  EXPECT_EQ(kind(env()->CreateFolder(Path("made"))), Kind::kExists);
  ASSERT_TRUE(env()->Attributes(Path("made"), &attributes).ok());
  EXPECT_TRUE(attributes.folder);
}

TEST_F(PlatformBackendTest, TextFilesUseThePlatformsLineEndsAndKeepLongLinesWhole) {
  const std::u16string text = u"C:\\in\\a.jpg\n" + std::u16string(700, u'p') + u"\n";
  const std::string eol = kWindows ? "\r\n" : "\n";
  const std::string bytes = env()->EncodeText(text);
  EXPECT_EQ(bytes, "C:\\in\\a.jpg" + eol + std::string(700, 'p') + eol);
  EXPECT_EQ(env()->DecodeText(bytes), text);
}

}  // namespace
}  // namespace obexses::testing
