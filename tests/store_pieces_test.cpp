// SPDX-License-Identifier: MIT
// A large saved set is written piece by piece as it is made: the file is byte
// for byte the one a store makes whole, and a set that changes between two
// pieces is made whole again, leaving no temporary file behind.
#include <functional>
#include <memory>

#include "tests/registry_helpers.h"
#if !defined(_WIN32)  // failing allocations on purpose needs the GNU linker's --wrap
#include "tests/support/alloc_faults.h"
#endif

namespace obexses::testing {
namespace {

constexpr uint8_t kPhone[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};
// Some 2.6 MB of client file: three pieces.
constexpr size_t kSessions = 900;

// Counts the new client files and the appends to them, and runs a hook once,
// after the first append.
class PieceEnv : public platform::EnvWrapper {
 public:
  explicit PieceEnv(platform::Env* target) : EnvWrapper(target) {}

  platform::Status CreateExclusive(const std::u16string& path,
                                   std::unique_ptr<platform::WritableFile>* file) override {
    const platform::Status status = EnvWrapper::CreateExclusive(path, file);
    if (status.ok() && path.find(u"ClientSession.xml") != std::u16string::npos) {
      ++creates;
      *file = std::make_unique<CountedFile>(std::move(*file), this);
    }
    return status;
  }

  int creates = 0;
  int appends = 0;
  std::function<void()> after_first_append;

 private:
  class CountedFile : public platform::WritableFile {
   public:
    CountedFile(std::unique_ptr<platform::WritableFile> file, PieceEnv* env)
        : file_(std::move(file)), env_(env) {}
    platform::Status Append(std::string_view bytes) override {
      const platform::Status status = file_->Append(bytes);
      if (++env_->appends == 1 && env_->after_first_append) env_->after_first_append();
      return status;
    }
    platform::Status Sync() override { return file_->Sync(); }
    platform::Status Close() override { return file_->Close(); }

   private:
    std::unique_ptr<platform::WritableFile> file_;
    PieceEnv* env_;
  };
};

class StorePiecesTest : public ::testing::Test, protected StoreFixture {
 protected:
  StorePiecesTest() : files_(&env()) {
    fs::create_directories(Folder());
    Restart(SessionStore::kLockWait, &files_);
    MakePaths();
    for (size_t i = 0; i < kSessions; ++i) {
      const std::u16string name = text::FromUtf8("photo_" + std::to_string(i) + ".jpg");
      records_.push_back(NewClient(store(), OBEXSES_PROFILE_OPP, kPhone, name));
    }
    SetSaveFile(1);
  }

  fs::path Folder() { return env().app_data() / "Velmora" / "Session"; }

  // Whether the file holds the saved set as a store makes it whole: a restore
  // then finds nothing to rewrite. The restore replaces the saved records.
  bool FileHoldsTheSavedSet() {
    const int creates = files_.creates;
    EXPECT_EQ(store().RestoreClientSession(), 1);
    return files_.creates == creates;
  }

  bool NoTemporaryLeft() {
    for (const auto& entry : fs::directory_iterator(Folder())) {
      if (entry.path().filename().string().find(".tmp") != std::string::npos) return false;
    }
    return true;
  }

  PieceEnv files_;
  std::vector<ClientSession*> records_;
};

TEST_F(StorePiecesTest, ALargeSetIsWrittenInPiecesAsItWouldBeMadeWhole) {
  ASSERT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(files_.creates, 1);
  EXPECT_GE(files_.appends, 3);
  EXPECT_EQ(store().Contents().client_saved.size(), kSessions);
  EXPECT_TRUE(FileHoldsTheSavedSet());
}

TEST_F(StorePiecesTest, ASetThatChangesBetweenPiecesIsMadeWholeAgain) {
  files_.after_first_append = [this] {
    SetSaveFile(0);  // no store of its own: this one is under way
    EXPECT_EQ(store().DestroyClientSession(records_[kSessions / 2]), 1);
    SetSaveFile(1);
  };
  ASSERT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(files_.creates, 2);  // the pieces, given up; then the whole text
  EXPECT_EQ(files_.appends, 2);  // one piece; then the whole text at once
  EXPECT_TRUE(NoTemporaryLeft());
  EXPECT_EQ(store().Contents().client_saved.size(), kSessions - 1);
  EXPECT_TRUE(FileHoldsTheSavedSet());
}

#if !defined(_WIN32)
// Memory running out while a set that changed is made whole again: a store
// that answers 1 wrote the changed set, one that answers 0 left the file.
TEST_F(StorePiecesTest, AWholeTextThatCannotBeMadeLeavesTheFileAsItWas) {
  ASSERT_EQ(store().StoreClientSession(), 1);
  const fs::path file = Folder() / "ClientSession.xml";
  size_t leaving = 0;
  for (int n = 1; leaving < kSessions; ++n) {
    const std::string before = ReadFile(file);
    files_.appends = 0;
    files_.after_first_append = [&] {
      SetSaveFile(0);
      EXPECT_EQ(store().DestroyClientSession(records_[leaving++]), 1);
      SetSaveFile(1);
      ArmAllocationFailure(n);
    };
    const int32_t result = store().StoreClientSession();
    const bool reached = DisarmAllocationFailure();
    EXPECT_EQ(ReadFile(file) != before, result == 1) << "allocation " << n;
    if (!reached) break;
  }
  EXPECT_TRUE(NoTemporaryLeft());
}
#endif

}  // namespace
}  // namespace obexses::testing
