// SPDX-License-Identifier: MIT
// The outcome of a platform call: ok, or what went wrong, both as the few
// kinds the code above acts on and as the system's own error number, which
// Env::Describe turns into the system's words ("Permission denied").
#pragma once

#include <cstdint>

namespace obexses::platform {

class Status {
 public:
  enum class Kind : uint8_t {
    kOk,
    kNotFound,  // no such file or folder, or a folder of the path is missing
    kExists,    // something is at the name already
    kDenied,    // not permitted, or held by another that shares it with no one
    kBusy,      // another holds the lock, and did not let go in time
    kTooLarge,  // more bytes than the caller takes
    kNotAFile,  // a folder, a device or a pipe where a regular file is wanted
    kFailed,    // anything else the system reported: an I/O error, a full disk, ...
  };

  Status() = default;
  Status(Kind kind, int system_error) : kind_(kind), system_error_(system_error) {}

  bool ok() const { return kind_ == Kind::kOk; }
  Kind kind() const { return kind_; }
  // errno on POSIX, GetLastError() on Windows; 0 when the kind says it all.
  int system_error() const { return system_error_; }

 private:
  Kind kind_ = Kind::kOk;
  int system_error_ = 0;
};

}  // namespace obexses::platform
