// What the session files survive: a failing file primitive at every point of a store and a
// restore, a power loss at every point of a store, hostile things planted at the names a store
// uses, and a second process storing the same file. A store either replaces the file whole or
// leaves it as it was, and never leaves a temporary file behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/registry_helpers.h"
#include "tests/support/file_faults.h"

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};

constexpr char kStale[] = "ClientSession.xml.0123456789abcdef.tmp";

// The temporary files in the Session folder.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp") != std::string::npos) names.push_back(name);
  }
  return names;
}

class DurabilityTest : public ::testing::Test, protected StoreFixture {
 protected:
  DurabilityTest() {
    MakePaths();
    SetSaveFile(1);
    NewClient(store(), OBEXSES_PROFILE_OPP, kPhone, u"old.jpg");
    NewServer(store(), OBEXSES_PROFILE_OPP, 1, u"C:\\in", u"old.jpg");
    old_client_ = ReadFile(File("ClientSession.xml"));
    old_server_ = ReadFile(File("ServerSession.xml"));
    // Saved with saving off, so that only the next store writes them.
    SetSaveFile(0);
    NewClient(store(), OBEXSES_PROFILE_FTP, kPhone, u"new.pdf");
    NewServer(store(), OBEXSES_PROFILE_OPP, 2, u"C:\\in", u"new.jpg");
    SetSaveFile(1);
  }

  fs::path Folder() { return env().app_data() / "Velmora" / "Session"; }
  fs::path File(const char* name) { return Folder() / name; }

  // The bytes each store writes when nothing fails.
  void LearnNewFiles() {
    const std::string client = ReadFile(File("ClientSession.xml"));
    const std::string server = ReadFile(File("ServerSession.xml"));
    ASSERT_EQ(store().StoreClientSession(), 1);
    ASSERT_EQ(store().StoreServerSession(), 1);
    new_client_ = ReadFile(File("ClientSession.xml"));
    new_server_ = ReadFile(File("ServerSession.xml"));
    WriteFile(File("ClientSession.xml"), client);
    WriteFile(File("ServerSession.xml"), server);
  }

  std::string old_client_, old_server_, new_client_, new_server_;
};

// What a store that meets one failing primitive gives: whether it still
// writes the file, and whether a temporary file a dead store left stays.
using Outcome = std::pair<bool, bool>;

Outcome ExpectedAfter(Primitive failed, int error) {
  const bool retried =
      error == EINTR &&
      (failed == Primitive::kCreate || failed == Primitive::kOpen || failed == Primitive::kRead ||
       failed == Primitive::kWrite || failed == Primitive::kLock);
  if (retried) return {true, false};
  switch (failed) {
    case Primitive::kLock:    // goes on unlocked, and so cleans nothing
    case Primitive::kRemove:  // the clean-up of the dead store's file
      return {true, true};
    case Primitive::kOpen:        // the folder, for its sync after the rename
    case Primitive::kFolderSync:  // once renamed, the new file stands
    case Primitive::kUnlock:
      return {true, false};
    default:
      return {false, false};
  }
}

// The file as one of the two states it may be in.
std::string Which(const std::string& bytes, const std::string& old_bytes,
                  const std::string& new_bytes) {
  if (bytes == old_bytes) return "old";
  if (bytes == new_bytes) return "new";
  return "other, " + std::to_string(bytes.size()) + " bytes";
}

TEST_F(DurabilityTest, EveryFailingPrimitiveOfAStoreLeavesTheOldFileOrTheNewOne) {
  LearnNewFiles();
  struct Side {
    int32_t (SessionStore::*store)() noexcept;
    const char* file;
    const std::string* old_bytes;
    const std::string* new_bytes;
  };
  const Side sides[] = {
      {&SessionStore::StoreClientSession, "ClientSession.xml", &old_client_, &new_client_},
      {&SessionStore::StoreServerSession, "ServerSession.xml", &old_server_, &new_server_}};
  for (const Side& side : sides) {
    for (int error : {EIO, ENOSPC, EINTR}) {
      for (int n = 1;; ++n) {
        SCOPED_TRACE(std::string(side.file) + " errno " + std::to_string(error) + " call " +
                     std::to_string(n));
        WriteFile(File(side.file), *side.old_bytes);
        WriteFile(File(kStale), "half");  // left by a store that died
        FileFaults faults(Folder());
        faults.FailAt(n, error);
        const int32_t result = (store().*side.store)();
        const std::string state =
            Which(ReadFile(File(side.file)), *side.old_bytes, *side.new_bytes);
        const Outcome outcome{result == 1, fs::exists(File(kStale))};
        EXPECT_EQ(faults.bad_descriptors(), 0);
        fs::remove(File(kStale));
        EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
        if (!faults.reached()) {
          EXPECT_EQ(outcome, (Outcome{true, side.file != std::string("ClientSession.xml")}));
          EXPECT_EQ(state, "new");
          break;
        }
        EXPECT_EQ(outcome.first, ExpectedAfter(faults.failed_primitive(), error).first);
        if (side.file == std::string("ClientSession.xml")) {
          EXPECT_EQ(outcome, ExpectedAfter(faults.failed_primitive(), error));
        }
        EXPECT_EQ(state, outcome.first ? "new" : "old");
      }
    }
  }
  EXPECT_EQ(store().Inconsistency(), "");
  EXPECT_EQ(store().Contents().client_saved.size(), 2u);
}

TEST_F(DurabilityTest, RestoreThatCannotReadItsFileChangesNothing) {
  LearnNewFiles();
  WriteFile(File("ClientSession.xml"), new_client_);
  for (int n = 1;; ++n) {
    Restart();
    MakePaths();
    WriteFile(File("ClientSession.xml"), new_client_);
    FileFaults faults(Folder());
    faults.FailAt(n, EIO);
    const int32_t result = store().RestoreClientSession();
    EXPECT_EQ(faults.bad_descriptors(), 0);
    EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
    EXPECT_EQ(store().Inconsistency(), "");
    // Reading is opening and reading the file; a failing close after reading
    // it whole changes nothing.
    const Primitive failed = faults.failed_primitive();
    if (faults.reached() && faults.failed_path() == File("ClientSession.xml").string() &&
        (failed == Primitive::kOpen || failed == Primitive::kRead)) {
      EXPECT_EQ(result, 0) << n;
      EXPECT_TRUE(store().Contents().client_saved.empty());
      EXPECT_TRUE(ReadFile(File("ClientSession.xml")) == new_client_);
      continue;
    }
    // Read whole: the sessions come back whatever becomes of the rewrite.
    EXPECT_EQ(result, 1) << n;
    EXPECT_EQ(store().Contents().client_saved.size(), 2u);
    if (!faults.reached()) break;
  }
}

TEST_F(DurabilityTest, PowerLossAtAnyPointLeavesTheOldFileAndAfterTheStoreTheNewOne) {
  LearnNewFiles();
  for (int n = 1;; ++n) {
    WriteFile(File("ClientSession.xml"), old_client_);
    FileFaults faults(Folder());
    faults.FailAt(n, EIO, /*crash=*/true);
    const int32_t result = store().StoreClientSession();
    faults.PowerLoss();
    const std::string bytes = ReadFile(File("ClientSession.xml"));
    EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>()) << n;
    if (!faults.reached()) {
      // A store that said 1 is on the disk: the file and the folder were synced.
      EXPECT_EQ(result, 1);
      EXPECT_EQ(Which(bytes, old_client_, new_client_), "new");
      break;
    }
    const std::string state = Which(bytes, old_client_, new_client_);
    EXPECT_TRUE(state == "old" || state == "new") << state << ", crash at call " << n;
  }
}

TEST_F(DurabilityTest, NothingFoundAtTheStoresNamesIsWrittenThroughOrBlocksIt) {
  LearnNewFiles();
  // A link at the lock file's name, and the session file itself a link: both
  // are replaced, their target is not touched.
  WriteFile(env().app_data() / "victim", "precious");
  fs::remove(File("ClientSession.xml.lock"));
  fs::create_symlink(env().app_data() / "victim", File("ClientSession.xml.lock"));
  fs::remove(File("ServerSession.xml"));
  fs::create_symlink(env().app_data() / "victim", File("ServerSession.xml"));
  // A folder at the lock file's name leaves the store unlocked, not failed.
  fs::remove(File("ServerSession.xml.lock"));
  fs::create_directory(File("ServerSession.xml.lock"));
  // A stale temporary file readable by all.
  WriteFile(File("ClientSession.xml.fedcba9876543210.tmp"), "half");
  fs::permissions(File("ClientSession.xml.fedcba9876543210.tmp"), fs::perms(0644));
  {
    FileFaults watch(Folder());
    EXPECT_EQ(store().StoreClientSession(), 1);
    EXPECT_EQ(watch.create_flags() & (O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC),
              O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
    EXPECT_EQ(watch.create_mode(), 0600u);
  }
  EXPECT_EQ(store().StoreServerSession(), 1);
  EXPECT_EQ(ReadFile(env().app_data() / "victim"), "precious");
  EXPECT_TRUE(ReadFile(File("ClientSession.xml")) == new_client_);
  EXPECT_TRUE(ReadFile(File("ServerSession.xml")) == new_server_);
  EXPECT_FALSE(fs::is_symlink(File("ServerSession.xml")));
  EXPECT_FALSE(fs::is_symlink(File("ClientSession.xml.lock")));
  EXPECT_EQ(fs::status(File("ClientSession.xml")).permissions(), fs::perms(0600));
  EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
}

// Another process holds the lock: the store waits for it, then writes.
TEST_F(DurabilityTest, AStoreWaitsForAnotherProcesssStore) {
  const int held = ::open(File("ClientSession.xml.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const pid_t child = fork();
  if (child == 0) {
    ::close(held);  // the lock stays the parent's alone
    _exit(store().StoreClientSession() == 1 ? 0 : 1);
  }
  ::usleep(100 * 1000);
  EXPECT_TRUE(ReadFile(File("ClientSession.xml")) == old_client_) << "written while locked";
  ::close(held);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(ReadFile(File("ClientSession.xml")) == old_client_);
  EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
}

}  // namespace
}  // namespace obexses::testing
