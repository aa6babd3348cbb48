// A host's hold on the library: loaded by path, initialised, table fetched.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "obexses/obexses.h"
#include "platform/env.h"

namespace obexsesctl {

class Host {
 public:
  // Loads the library, calls Initialize and CallProfileCommand("QueryDdi", 1).
  // Prints each step. False when the library or its exports cannot be found.
  bool Load(const std::string& path);
  const SessionDdi& ddi() const { return table_; }

 private:
  std::unique_ptr<obexses::host::Library> library_;
  SessionDdi table_{};
};

// The library file next to this program.
std::string DefaultLibraryPath();

}  // namespace obexsesctl
