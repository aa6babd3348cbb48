// SPDX-License-Identifier: MIT
// What the session files survive, on every platform: a failing file primitive at every point of a
// store and a restore, a power loss at every point of a store, a lock file removed or replaced
// while it is taken, and one that cannot be used at all. A store either replaces the file whole
// or leaves it as it was, never leaves a temporary file of its own behind, removes those of dead
// stores and never those of live ones.
#include "platform/durable_file.h"
#include "platform/file_names.h"
#include "tests/registry_helpers.h"
#include "tests/support/fault_env.h"

namespace obexses::testing {
namespace {

using Kind = platform::Status::Kind;

constexpr uint8_t kPhone[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};

// The temporary files in a folder.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp") != std::string::npos) names.push_back(name);
  }
  return names;
}

// A temporary file that a dead store of file left.
std::string Stale(const std::string& file) {
  return file + ".0123456789abcdef.tmp";
}

class DurabilityTest : public ::testing::Test, protected StoreFixture {
 protected:
  DurabilityTest() {
    fs::create_directories(Folder());
    faults_ = std::make_unique<FaultEnv>(&env(), Folder());
    Restart(SessionStore::kLockWait, faults_.get());
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
  fs::path File(const std::string& name) { return Folder() / name; }
  std::u16string Path(const std::string& name) {
    return ModulePath(env(), "Velmora\\Session\\" + name);
  }

  // The bytes each store writes when nothing fails.
  void LearnNewFiles() {
    ASSERT_EQ(store().StoreClientSession(), 1);
    ASSERT_EQ(store().StoreServerSession(), 1);
    new_client_ = ReadFile(File("ClientSession.xml"));
    new_server_ = ReadFile(File("ServerSession.xml"));
    WriteFile(File("ClientSession.xml"), old_client_);
    WriteFile(File("ServerSession.xml"), old_server_);
  }

  std::unique_ptr<FaultEnv> faults_;
  std::string old_client_, old_server_, new_client_, new_server_;
};

// What a store that meets one failing primitive gives: whether it still
// writes the file, and whether the temporary file a dead store left stays.
using Outcome = std::pair<bool, bool>;

Outcome ExpectedAfter(Primitive failed, Kind kind) {
  switch (failed) {
    case Primitive::kList:    // the clean-up finds nothing to remove
    case Primitive::kRemove:  // the dead store's file stays for a later store
      return {true, true};
    case Primitive::kLock:  // held elsewhere: no store; unusable: a store without it
      return kind == Kind::kBusy ? Outcome{false, true} : Outcome{true, false};
    case Primitive::kIdentity:    // the lock is taken again
    case Primitive::kFolderSync:  // once moved, the new file stands
      return {true, false};
    case Primitive::kCreate:  // a name taken already: another name
      return {kind == Kind::kExists, false};
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
    std::string file;
    const std::string* old_bytes;
    const std::string* new_bytes;
  };
  const Side sides[] = {
      {&SessionStore::StoreClientSession, "ClientSession.xml", &old_client_, &new_client_},
      {&SessionStore::StoreServerSession, "ServerSession.xml", &old_server_, &new_server_}};
  for (const Side& side : sides) {
    for (Kind kind : {Kind::kFailed, Kind::kExists, Kind::kBusy}) {
      for (int n = 1;; ++n) {
        SCOPED_TRACE(side.file + " kind " + std::to_string(static_cast<int>(kind)) + " call " +
                     std::to_string(n));
        WriteFile(File(side.file), *side.old_bytes);
        WriteFile(File(Stale(side.file)), "half");
        faults_->Reset();
        faults_->FailAt(n, kind);
        const int32_t result = (store().*side.store)();
        const std::string state =
            Which(ReadFile(File(side.file)), *side.old_bytes, *side.new_bytes);
        const Outcome outcome{result == 1, fs::exists(File(Stale(side.file)))};
        EXPECT_EQ(faults_->misuses(), 0);
        fs::remove(File(Stale(side.file)));
        EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
        if (!faults_->reached()) {
          EXPECT_EQ(outcome, (Outcome{true, false}));
          EXPECT_EQ(state, "new");
          break;
        }
        EXPECT_EQ(outcome, ExpectedAfter(faults_->failed_primitive(), kind));
        EXPECT_EQ(state, outcome.first ? "new" : "old");
      }
    }
  }
  EXPECT_EQ(store().Inconsistency(), "");
  EXPECT_EQ(store().Contents().client_saved.size(), 2u);
}

TEST_F(DurabilityTest, RestoreThatCannotReadItsFileChangesNothing) {
  LearnNewFiles();
  for (int n = 1;; ++n) {
    Restart(SessionStore::kLockWait, faults_.get());
    MakePaths();
    WriteFile(File("ClientSession.xml"), new_client_);
    faults_->Reset();
    faults_->FailAt(n, Kind::kFailed);
    const int32_t result = store().RestoreClientSession();
    EXPECT_EQ(faults_->misuses(), 0);
    EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
    EXPECT_EQ(store().Inconsistency(), "");
    if (faults_->reached() && faults_->failed_primitive() == Primitive::kRead) {
      EXPECT_EQ(result, 0) << n;
      EXPECT_TRUE(store().Contents().client_saved.empty());
      EXPECT_TRUE(ReadFile(File("ClientSession.xml")) == new_client_);
      continue;
    }
    // Read whole: the sessions come back whatever becomes of the rewrite.
    EXPECT_EQ(result, 1) << n;
    EXPECT_EQ(store().Contents().client_saved.size(), 2u);
    if (!faults_->reached()) break;
  }
}

TEST_F(DurabilityTest, PowerLossAtAnyPointLeavesTheOldFileAndAfterTheStoreTheNewOne) {
  LearnNewFiles();
  for (int n = 1;; ++n) {
    WriteFile(File("ClientSession.xml"), old_client_);
    faults_->Reset();
    faults_->FailAt(n, Kind::kFailed, /*crash=*/true);
    const int32_t result = store().StoreClientSession();
    faults_->PowerLoss();
    const std::string bytes = ReadFile(File("ClientSession.xml"));
    EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>()) << n;
    if (!faults_->reached()) {
      // A store that said 1 is on the disk: the file and the folder were synced.
      EXPECT_EQ(result, 1);
      EXPECT_EQ(Which(bytes, old_client_, new_client_), "new");
      break;
    }
    const std::string state = Which(bytes, old_client_, new_client_);
    EXPECT_TRUE(state == "old" || state == "new") << state << ", crash at call " << n;
  }
}

// A restore's rewrite without sessions is not synced: a power loss right
// after it leaves the file the restore read, whose sessions come back. A
// store that empties the file is synced like any other.
TEST_F(DurabilityTest, OnlyARestoresRewriteWithoutSessionsIsLeftToThePowerLoss) {
  LearnNewFiles();
  Restart(SessionStore::kLockWait, faults_.get());
  MakePaths();
  WriteFile(File("ClientSession.xml"), new_client_);
  faults_->Reset();
  ASSERT_EQ(store().RestoreClientSession(), 1);
  ASSERT_NE(ReadFile(File("ClientSession.xml")), new_client_);  // rewritten without sessions
  faults_->PowerLoss();
  EXPECT_EQ(ReadFile(File("ClientSession.xml")), new_client_);
  EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());

  ASSERT_EQ(store().RestoreClientSession(), 1);
  for (const auto& [key, record] : store().Contents().client_saved) {
    ASSERT_EQ(store().DestroyClientSession(static_cast<ClientSession*>(const_cast<void*>(record))),
              1);
  }
  const std::string emptied = ReadFile(File("ClientSession.xml"));
  faults_->PowerLoss();
  EXPECT_EQ(ReadFile(File("ClientSession.xml")), emptied);
}

// The lock file taken is checked to be the one at its name: one that
// another process replaced (or removed) the moment it was opened is let go,
// and the file at the name is locked instead.
TEST_F(DurabilityTest, ALockFileReplacedWhileTakenIsTakenAgain) {
  class Replacing : public platform::EnvWrapper {
   public:
    using EnvWrapper::EnvWrapper;
    platform::Status LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                              std::unique_ptr<platform::FileLock>* lock) override {
      ++locks;
      return EnvWrapper::LockFile(path, wait, lock);
    }
    // After the first lock, the name holds another file for a moment.
    platform::Status Identity(const std::u16string& path, platform::FileId* id) override {
      const platform::Status status = EnvWrapper::Identity(path, id);
      if (locks == 1) ++id->index;
      return status;
    }
    int locks = 0;
  } replacing(&env());
  std::unique_ptr<platform::FileLock> lock;
  const std::u16string file = Path("ClientSession.xml");
  ASSERT_TRUE(platform::LockForReplace(&replacing, file, std::chrono::seconds(1), &lock).ok());
  EXPECT_EQ(replacing.locks, 2);
  platform::FileId at_name;
  ASSERT_TRUE(env().Identity(platform::names::LockFilePath(file), &at_name).ok());
  EXPECT_TRUE(lock->id() == at_name);
  // Held: another taker waits, and gives up when its time is over.
  std::unique_ptr<platform::FileLock> second;
  EXPECT_EQ(platform::LockForReplace(&env(), file, std::chrono::milliseconds(50), &second).kind(),
            Kind::kBusy);
}

// A folder at the lock file's name: stores go on without the lock, remove
// the temporary files of dead stores all the same, and never one that a live
// store is writing.
TEST_F(DurabilityTest, AnUnusableLockFileNeitherPilesUpNorRemovesLiveTemporaries) {
  LearnNewFiles();
  fs::remove(File("ClientSession.xml.lock"));
  fs::create_directory(File("ClientSession.xml.lock"));
  WriteFile(File(Stale("ClientSession.xml")), "left by a dead store");
  std::unique_ptr<platform::WritableFile> live;
  const std::string writing = "ClientSession.xml.fedcba9876543210.tmp";
  ASSERT_TRUE(env().CreateExclusive(Path(writing), &live).ok());
  EXPECT_EQ(store().StoreClientSession(), 1);
  EXPECT_TRUE(ReadFile(File("ClientSession.xml")) == new_client_);
  EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>{writing});
  ASSERT_TRUE(live->Close().ok());  // its store died before it could move it
  EXPECT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>());
  EXPECT_TRUE(fs::is_directory(File("ClientSession.xml.lock")));
}

}  // namespace
}  // namespace obexses::testing
