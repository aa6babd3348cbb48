#include "platform/posix_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace obexses::platform {
namespace {

int Open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int Stat(const char* path, struct stat* status) {
  return ::stat(path, status);
}
int Fstat(int fd, struct stat* status) {
  return ::fstat(fd, status);
}

constexpr PosixCalls kSystemCalls = {Open, ::close,  ::read,   ::write, ::fsync, Fstat,
                                     Stat, ::rename, ::unlink, ::mkdir, ::flock};
PosixCalls g_active_calls = kSystemCalls;

}  // namespace

const PosixCalls& SystemCalls() {
  return kSystemCalls;
}

PosixCalls& ActiveCalls() {
  return g_active_calls;
}

}  // namespace obexses::platform
