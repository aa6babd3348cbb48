// SPDX-License-Identifier: MIT
// The POSIX backend's own rules: where the application-data folder and the
// settings come from, how the settings file is read, what is found at the
// names a store uses, a second process storing the same file, and names that
// are not UTF-8, which must reach the file system exactly as they came; and
// pages made ahead of a large read.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/durable_file.h"
#include "platform/pages.h"
#include "platform/platform.h"
#include "templist/temp_list.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

// Sets a process variable for one test, and puts it back.
class Variable {
 public:
  Variable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~Variable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PosixBackendTest : public ::testing::Test {
 protected:
  platform::Env* env() { return platform::Env::Default(); }
  platform::SettingsStore* settings() { return platform::SettingsStore::Default(); }
  fs::path Here() { return folder_.app_data(); }
  std::u16string Path(const std::string& name) { return ModulePath(folder_, name); }

  platform::SettingStatus Query(uint32_t* value) {
    *value = 0;
    return settings()->QueryDword(u"ObexSesSaveFile", value);
  }

  TestEnv folder_;  // not installed: only its private folder is used
};

TEST_F(PosixBackendTest, AppDataFolderIsAnAbsoluteXdgDataHomeElseHomesLocalShare) {
  std::u16string folder;
  Variable xdg("XDG_DATA_HOME", (Here() / "xdg/").c_str());
  ASSERT_TRUE(env()->AppDataFolder(&folder).ok());
  EXPECT_EQ(folder, text::FromUtf8((Here() / "xdg").string()));
  Variable relative("XDG_DATA_HOME", "relative/data");
  Variable home("HOME", (Here() / "home").c_str());
  ASSERT_TRUE(env()->AppDataFolder(&folder).ok());
  EXPECT_EQ(folder, text::FromUtf8((Here() / "home/.local/share").string()));
  EXPECT_TRUE(fs::is_directory(Here() / "home/.local/share")) << "made on the way";
  EXPECT_FALSE(fs::exists("relative"));
  // Without HOME, the home folder is the user's passwd entry's.
  Variable no_home("HOME", nullptr);
  const struct passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(env()->AppDataFolder(&folder).ok());
  EXPECT_EQ(folder, text::FromUtf8(std::string(entry->pw_dir) + "/.local/share"));
}

// A user with neither HOME nor a passwd entry (some service accounts) has no
// application-data folder: nothing is made at the root of the file system.
TEST_F(PosixBackendTest, NoHomeMeansNoAppDataFolder) {
  constexpr uid_t kUnknown = 0x7FFFFFF0;
  if (::geteuid() != 0 || ::getpwuid(kUnknown) != nullptr) GTEST_SKIP() << "needs root";
  Variable xdg("XDG_DATA_HOME", nullptr);
  Variable home("HOME", nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    std::u16string folder;
    _exit(::setuid(kUnknown) == 0 && !env()->AppDataFolder(&folder).ok() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PosixBackendTest, SettingsComeFromTheirFileOrFromTheDefaultOne) {
  Variable unset("OBEXSES_REGISTRY", nullptr);
  EXPECT_EQ(settings()->Location(), u"/etc/obexses/registry.reg");
  Variable empty("OBEXSES_REGISTRY", "");
  EXPECT_EQ(settings()->Location(), u"/etc/obexses/registry.reg");
  const fs::path file = Here() / "registry.reg";
  Variable set("OBEXSES_REGISTRY", file.c_str());
  EXPECT_EQ(settings()->Location(), text::FromUtf8(file.string()));
}

TEST_F(PosixBackendTest, SettingsFileIsReadOnlyWhenRegularAndAtMostOneMebibyte) {
  const fs::path file = Here() / "registry.reg";
  Variable registry("OBEXSES_REGISTRY", file.c_str());
  const std::string head = "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway]\n";
  auto write = [&](const std::string& value, size_t size) {
    std::string text = head + "\"ObexSesSaveFile\"=dword:" + value + "\n";
    text.append(size - text.size() - 1, ';');
    WriteFile(file, text + "\n");
  };
  uint32_t value = 0;
  write("00000007", 1 << 20);  // exactly 1 MiB
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRead);
  EXPECT_EQ(value, 7u);
  write("00000009", 1 << 20);  // within the same clock tick, maybe
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRead);
  EXPECT_EQ(value, 9u) << "the change is seen at once";
  write("00000007", (1 << 20) + 1);
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRejected);
  // Any type of value fills the four bytes from their low end, if it fits.
  WriteFile(file, head +
                      "\"ObexSesSaveFile\"=hex:10,0e\n\"ObexSesDebugLevel\"=\"a\"\n"
                      "\"ObexSesObsoleteTime\"=\"on\"\n");
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRead);
  EXPECT_EQ(value, 0x0e10u);
  EXPECT_EQ(settings()->QueryDword(u"ObexSesDebugLevel", &value), platform::SettingStatus::kRead);
  EXPECT_EQ(value, 0x61u) << "\"a\" and its terminator";
  EXPECT_EQ(settings()->QueryDword(u"ObexSesObsoleteTime", &value),
            platform::SettingStatus::kMissing);
  fs::remove(file);
  EXPECT_EQ(Query(&value), platform::SettingStatus::kMissing);
  // A FIFO with no writer, and a device: never waited on, never read.
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRejected);
  Variable device("OBEXSES_REGISTRY", "/dev/zero");
  EXPECT_EQ(Query(&value), platform::SettingStatus::kRejected);
}

// A host started with its standard input closed hands out descriptor 0 as
// any other: the backend closes it after use like any other.
TEST_F(PosixBackendTest, DescriptorZeroIsClosedLikeAnyOther) {
  const int saved = ::dup(0);
  ::close(0);
  WriteFile(Here() / "file", "bytes");
  std::u16string units;
  size_t bytes = 0;
  EXPECT_TRUE(platform::ReadFileUnits(env(), Path("file"), 100, &units, &bytes).ok());
  EXPECT_EQ(::fcntl(0, F_GETFD), -1) << "descriptor 0 left open";
  ::dup2(saved, 0);
  ::close(saved);
}

// Nothing found at the names a store uses is written through or blocks it: a
// link at the lock file's name and a session file that is a link are
// replaced, their target untouched; a stale temporary file readable by all
// goes; the new file is private.
TEST_F(PosixBackendTest, NothingFoundAtTheStoresNamesIsWrittenThroughOrBlocksIt) {
  const std::u16string file = Path("ServerSession.xml");
  WriteFile(Here() / "victim", "precious");
  fs::create_symlink(Here() / "victim", Here() / "ServerSession.xml.lock");
  fs::create_symlink(Here() / "victim", Here() / "ServerSession.xml");
  WriteFile(Here() / "ServerSession.xml.fedcba9876543210.tmp", "half");
  fs::permissions(Here() / "ServerSession.xml.fedcba9876543210.tmp", fs::perms(0644));
  ASSERT_TRUE(platform::ReplaceFile(env(), file, "news", std::chrono::seconds(1)).ok());
  EXPECT_EQ(ReadFile(Here() / "victim"), "precious");
  EXPECT_EQ(ReadFile(Here() / "ServerSession.xml"), "news");
  EXPECT_FALSE(fs::is_symlink(Here() / "ServerSession.xml"));
  EXPECT_FALSE(fs::is_symlink(Here() / "ServerSession.xml.lock"));
  EXPECT_EQ(fs::status(Here() / "ServerSession.xml").permissions(), fs::perms(0600));
  EXPECT_FALSE(fs::exists(Here() / "ServerSession.xml.fedcba9876543210.tmp"));
  std::unique_ptr<platform::WritableFile> again;
  EXPECT_EQ(env()->CreateExclusive(file, &again).kind(), platform::Status::Kind::kExists);
}

// Another process holds the lock: the replacement waits for it, then writes.
TEST_F(PosixBackendTest, AReplacementWaitsForAnotherProcesssTurn) {
  const std::u16string file = Path("ClientSession.xml");
  WriteFile(Here() / "ClientSession.xml", "old");
  const int held = ::open((Here() / "ClientSession.xml.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const pid_t child = fork();
  if (child == 0) {
    ::close(held);  // the lock stays the parent's alone
    _exit(platform::ReplaceFile(env(), file, "new", std::chrono::seconds(10)).ok() ? 0 : 1);
  }
  ::usleep(100 * 1000);
  EXPECT_EQ(ReadFile(Here() / "ClientSession.xml"), "old") << "written while locked";
  ::close(held);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(Here() / "ClientSession.xml"), "new");
}

// Every byte that is not part of valid UTF-8 is a unit of its own that turns
// back into the byte; valid sequences, four-byte ones included, are decoded.
TEST_F(PosixBackendTest, NamesKeepTheirBytesThroughUtf16) {
  const std::vector<std::pair<std::string, std::u16string>> cases = {
      {"plain", u"plain"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xF0\x9F\x93\xB7", u"\U0001F4F7"},
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80",  // each length's edges
       u"\x7F\u0080\u07FF\u0800\uFFFF\U00010000"},
      {"\xE9t\xE9", u"\xDCE9t\xDCE9"},                    // Latin-1
      {"\xC0\x80", u"\xDCC0\xDC80"},                      // overlong
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // past U+10FFFF
      {"\xE2\x82", u"\xDCE2\xDC82"},                      // cut short
      {"\xFF", u"\xDCFF"}};
  for (const auto& [bytes, name] : cases) {
    EXPECT_EQ(text::FromUtf8(bytes), name) << ::testing::PrintToString(bytes);
    EXPECT_EQ(text::ToUtf8(name), bytes) << ::testing::PrintToString(bytes);
  }
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  EXPECT_EQ(text::ToUtf8(text::FromUtf8(all)), all);
}

// A whole road in a folder whose name is not UTF-8: saved, stored, restored,
// and a listed temporary file of such a name deleted, not another; a listed
// file named beyond the Basic Multilingual Plane kept by its session.
TEST_F(PosixBackendTest, FoldersAndListedFilesThatAreNotUtf8AreReachedExactly) {
  const fs::path odd = Here() / "d\xE9j\xE0";
  Variable xdg("XDG_DATA_HOME", odd.c_str());
  Variable registry("OBEXSES_REGISTRY", (Here() / "registry.reg").c_str());
  WriteFile(Here() / "registry.reg",
            "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway]\n"
            "\"ObexSesSaveFile\"=dword:00000001\n");
  SessionStore store(platform::Platform::Default(), SessionStore::AtEnd::kFreeRecords);
  store.MakePaths();
  store.ReadSettings();
  const uint8_t phone[6] = {1, 2, 3, 4, 5, 6};
  NewClient(store, OBEXSES_PROFILE_OPP, phone, u"photo.jpg");
  EXPECT_TRUE(fs::exists(odd / "Velmora/Session/ClientSession.xml"));
  EXPECT_EQ(store.RestoreClientSession(), 1);
  EXPECT_EQ(store.Contents().client_saved.size(), 1u);
  NewServer(store, OBEXSES_PROFILE_OPP, 1, u"in", u"\U0001F4F7.jpg");
  const fs::path latin = odd / "Velmora/\xE9t\xE9.tmp";
  const fs::path camera = odd / "Velmora/\xF0\x9F\x93\xB7.jpg";
  WriteFile(latin, "partial");
  WriteFile(camera, "photo");
  WriteFile(odd / "Velmora/tmp_lst", latin.string() + "\n" + camera.string() + "\n");
  CleanTempFileList(store);
  EXPECT_FALSE(fs::exists(latin));
  EXPECT_TRUE(fs::exists(camera));
  EXPECT_EQ(ReadFile(odd / "Velmora/tmp_lst"), camera.string() + "\n");
}

// The whole pages of new memory are made at once, and what the memory holds
// stays; memory whose first page is there already, and small memory, are
// left to their faults.
TEST_F(PosixBackendTest, MakePagesMakesTheWholePagesOfNewMemoryAndKeepsItsBytes) {
  constexpr size_t kPage = 4096, kPages = 256;
  auto resident = [](char* at, size_t pages) {
    std::vector<unsigned char> flags(pages);
    EXPECT_EQ(::mincore(at, pages * kPage, flags.data()), 0);
    return static_cast<size_t>(std::count_if(flags.begin(), flags.end(),
                                             [](unsigned char flag) { return (flag & 1) != 0; }));
  };
  auto* const memory = static_cast<char*>(
      ::mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(memory, MAP_FAILED);
  if (::madvise(memory, kPage, MADV_POPULATE_WRITE) != 0) {
    ::munmap(memory, kPages * kPage);
    GTEST_SKIP() << "the system makes pages only as they are written";
  }
  ::madvise(memory, kPage, MADV_DONTNEED);
  memory[kPages / 2 * kPage + 7] = 'x';
  // From the middle of the first page to the middle of the last: the whole
  // pages between.
  platform::MakePages(memory + kPage / 2, (kPages - 1) * kPage);
  EXPECT_EQ(resident(memory, kPages), kPages - 2);
  EXPECT_EQ(memory[kPages / 2 * kPage + 7], 'x');

  ::madvise(memory, kPages * kPage, MADV_DONTNEED);
  platform::MakePages(memory, 63 * kPage);  // small: left to the faults
  EXPECT_EQ(resident(memory, kPages), 0u);
  memory[0] = 'y';  // the first page there: the heap's own, made before
  platform::MakePages(memory, kPages * kPage);
  EXPECT_EQ(resident(memory, kPages), 1u);
  ::munmap(memory, kPages * kPage);
}

}  // namespace
}  // namespace obexses::testing
