// A file layer that fails on purpose, installed in place of the POSIX
// backend's system calls for one folder. It counts the primitives made on the
// folder and its files (create, open, read, write, fsync, close, rename,
// remove; the folder's open, fsync and close count as its sync, the lock
// file's open and lock as taking the lock, its close as releasing it), fails
// a chosen one with a chosen errno, and keeps what a power loss would leave:
// each file's contents as of its last fsync, and the folder's entries as of
// the folder's last fsync.
#pragma once

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>

namespace obexses::testing {

enum class Primitive {
  kCreate,
  kOpen,
  kRead,
  kWrite,
  kFsync,
  kFolderSync,
  kClose,
  kRename,
  kRemove,
  kLock,
  kUnlock
};

class FileFaults {
 public:
  // Watches folder; what is in it now counts as already on the disk.
  explicit FileFaults(const std::filesystem::path& folder);
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;
  // Puts the system's calls back.
  ~FileFaults();

  // The nth primitive from now fails with error. With crash, the process
  // counts as dead from then on: every later primitive fails too (EIO) and
  // changes nothing on the disk.
  void FailAt(int n, int error, bool crash = false);
  // Did the chosen failure happen, and on which primitive?
  bool reached() const { return reached_; }
  Primitive failed_primitive() const { return failed_kind_; }
  // The file or folder the failed primitive was made on.
  const std::string& failed_path() const { return failed_path_; }
  // Calls that were handed a descriptor that was not open: a result that
  // went unchecked.
  int bad_descriptors() const { return bad_descriptors_; }
  // The flags and mode of the last create (an open with O_CREAT).
  int create_flags() const { return create_flags_; }
  unsigned create_mode() const { return create_mode_; }

  // Leaves the folder as a power loss now would: the entries of its last
  // fsync, each with the contents of its file's last fsync (a file never
  // synced is empty). What is there afterwards counts as on the disk.
  void PowerLoss();

 private:
  struct Open {
    std::string path;
    bool folder = false;
    bool lock = false;
    unsigned long inode = 0;
    std::string written;  // what was written through this descriptor
  };
  struct Calls;
  friend struct Calls;

  bool Watches(const char* path) const;
  // Counts one primitive; true when it is to fail (errno is then set).
  bool Fails(Primitive kind, const std::string& path);
  void Synced(const Open& file);
  // The folder's entries (and, with contents, their bytes) count as on the disk.
  void TakeDiskState(bool contents = true);

  std::string folder_;
  int countdown_ = 0;
  int error_ = EIO;
  bool crash_ = false;
  bool dead_ = false;
  bool reached_ = false;
  Primitive failed_kind_ = Primitive::kOpen;
  std::string failed_path_;
  int bad_descriptors_ = 0;
  int create_flags_ = 0;
  unsigned create_mode_ = 0;
  std::map<int, Open> open_;
  std::map<std::string, unsigned long> durable_entries_;   // name -> inode
  std::map<unsigned long, std::string> durable_contents_;  // inode -> bytes
};

}  // namespace obexses::testing
