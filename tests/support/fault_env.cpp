// SPDX-License-Identifier: MIT
#include "tests/support/fault_env.h"

#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses::testing {
namespace {

namespace fs = std::filesystem;
using platform::Status;

std::string Generic(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

// A file made through the FaultEnv: its appends and syncs are counted, may
// fail, and are kept as the power-loss model's contents.
class FaultEnv::File final : public platform::WritableFile {
 public:
  File(FaultEnv* env, std::u16string path, int contents, std::unique_ptr<WritableFile> file)
      : env_(env), path_(std::move(path)), contents_(contents), file_(std::move(file)) {}

  Status Append(std::string_view bytes) override {
    if (Closed()) return Status(Status::Kind::kFailed, 0);
    if (auto failure = env_->Fails(Primitive::kAppend, path_)) return *failure;
    const Status status = file_->Append(bytes);
    if (status.ok()) env_->contents_[contents_].written.append(bytes);
    return status;
  }
  Status Sync() override {
    if (Closed()) return Status(Status::Kind::kFailed, 0);
    if (auto failure = env_->Fails(Primitive::kSync, path_)) return *failure;
    const Status status = file_->Sync();
    if (status.ok()) env_->contents_[contents_].synced = env_->contents_[contents_].written;
    return status;
  }
  // Released either way, as the system does.
  Status Close() override {
    if (Closed()) return Status(Status::Kind::kFailed, 0);
    const auto failure = env_->Fails(Primitive::kClose, path_);
    const Status status = file_->Close();
    file_.reset();
    return failure ? *failure : status;
  }

 private:
  bool Closed() {
    if (file_ == nullptr) ++env_->misuses_;
    return file_ == nullptr;
  }

  FaultEnv* env_;
  std::u16string path_;
  int contents_;
  std::unique_ptr<WritableFile> file_;
};

FaultEnv::FaultEnv(platform::Env* target, const fs::path& folder)
    : EnvWrapper(target), folder_(Generic(fs::absolute(folder).lexically_normal().string())) {
  TakeDiskState();
}

void FaultEnv::FailAt(int n, Status::Kind kind, bool crash) {
  countdown_ = n;
  kind_ = kind;
  crash_ = crash;
  dead_ = false;
  reached_ = false;
}

std::optional<std::string> FaultEnv::Watched(const std::u16string& path) const {
  const std::string generic = Generic(text::ToUtf8(path));
  if (generic == folder_) return std::string();
  if (generic.size() > folder_.size() && generic.compare(0, folder_.size(), folder_) == 0 &&
      generic[folder_.size()] == '/') {
    return generic.substr(folder_.size() + 1);
  }
  return std::nullopt;
}

std::optional<Status> FaultEnv::Fails(Primitive kind, const std::u16string& path) {
  if (!Watched(path)) return std::nullopt;
  if (!dead_ && !(countdown_ > 0 && --countdown_ == 0)) return std::nullopt;
  if (!reached_) {
    failed_kind_ = kind;
    failed_path_ = path;
  }
  reached_ = true;
  const bool was_dead = dead_;
  dead_ = crash_;
  return Status(was_dead ? Status::Kind::kFailed : kind_, 0);
}

Status FaultEnv::CreateExclusive(const std::u16string& path,
                                 std::unique_ptr<platform::WritableFile>* file) {
  if (auto failure = Fails(Primitive::kCreate, path)) return *failure;
  std::unique_ptr<platform::WritableFile> made;
  const Status status = target()->CreateExclusive(path, &made);
  if (!status.ok()) return status;
  int contents = -1;
  if (auto name = Watched(path)) {
    contents = next_contents_++;
    live_[*name] = contents;
  }
  *file = std::make_unique<File>(this, path, contents, std::move(made));
  return status;
}

Status FaultEnv::ReadFile(const std::u16string& path, uint64_t limit,
                          platform::ReadTarget* target) {
  if (auto failure = Fails(Primitive::kRead, path)) return *failure;
  return EnvWrapper::ReadFile(path, limit, target);
}

Status FaultEnv::Rename(const std::u16string& from, const std::u16string& to) {
  if (auto failure = Fails(Primitive::kRename, to)) return *failure;
  const Status status = EnvWrapper::Rename(from, to);
  const auto name_from = Watched(from);
  const auto name_to = Watched(to);
  if (status.ok() && name_from && name_to && live_.count(*name_from) != 0) {
    live_[*name_to] = live_[*name_from];
    live_.erase(*name_from);
  }
  return status;
}

Status FaultEnv::Remove(const std::u16string& path) {
  if (auto failure = Fails(Primitive::kRemove, path)) return *failure;
  const Status status = EnvWrapper::Remove(path);
  if (status.ok()) live_.erase(Watched(path).value_or(""));
  return status;
}

Status FaultEnv::RemoveIfAbandoned(const std::u16string& path) {
  if (auto failure = Fails(Primitive::kRemove, path)) return *failure;
  const Status status = EnvWrapper::RemoveIfAbandoned(path);
  if (status.ok()) live_.erase(Watched(path).value_or(""));
  return status;
}

Status FaultEnv::SyncFolder(const std::u16string& path) {
  if (auto failure = Fails(Primitive::kFolderSync, path)) return *failure;
  const Status status = EnvWrapper::SyncFolder(path);
  if (status.ok() && Watched(path) == std::string()) durable_ = live_;
  return status;
}

Status FaultEnv::ListFolder(const std::u16string& path, std::vector<std::u16string>* names) {
  if (auto failure = Fails(Primitive::kList, path)) return *failure;
  return EnvWrapper::ListFolder(path, names);
}

Status FaultEnv::LockFile(const std::u16string& path, std::chrono::milliseconds wait,
                          std::unique_ptr<platform::FileLock>* lock) {
  if (auto failure = Fails(Primitive::kLock, path)) return *failure;
  return EnvWrapper::LockFile(path, wait, lock);
}

Status FaultEnv::Identity(const std::u16string& path, platform::FileId* id) {
  if (auto failure = Fails(Primitive::kIdentity, path)) return *failure;
  return EnvWrapper::Identity(path, id);
}

void FaultEnv::Reset() {
  FailAt(0, Status::Kind::kFailed);
  misuses_ = 0;
  TakeDiskState();
}

void FaultEnv::TakeDiskState() {
  contents_.clear();
  live_.clear();
  for (const auto& entry : fs::directory_iterator(folder_)) {
    if (!entry.is_regular_file()) continue;
    const std::string bytes = testing::ReadFile(entry.path());
    contents_[next_contents_] = {bytes, bytes};
    live_[entry.path().filename().string()] = next_contents_++;
  }
  durable_ = live_;
}

void FaultEnv::PowerLoss() {
  for (const auto& entry : fs::directory_iterator(folder_)) {
    if (entry.is_regular_file()) fs::remove(entry.path());
  }
  for (const auto& [name, contents] : durable_) {
    WriteFile(fs::path(folder_) / name, contents_[contents].synced);
  }
  TakeDiskState();
}

}  // namespace obexses::testing
