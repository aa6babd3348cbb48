// The system calls the POSIX backend makes on files, in one table that tests
// replace to fail a chosen call or to watch what is done, in the manner of
// SQLite's replaceable system-call table. The backend reaches the file system
// through nothing else.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace obexses::platform {

struct PosixCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* buffer, size_t size);
  int (*fsync)(int fd);
  int (*fstat)(int fd, struct stat* status);
  int (*stat)(const char* path, struct stat* status);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*mkdir)(const char* path, mode_t mode);
  int (*flock)(int fd, int operation);
};

// The calls of the system itself.
const PosixCalls& SystemCalls();
// The table the backend uses; tests assign to it and put SystemCalls() back.
PosixCalls& ActiveCalls();

}  // namespace obexses::platform
