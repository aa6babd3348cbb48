// The demo's hold on the library, as a Bluetooth host holds it: loaded by
// path, initialised, its service table fetched, and nothing else used. Each
// step is told through the narrator; failures go to standard error.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "obexses/obexses.h"
#include "tools/obexsesctl/narrator.h"

namespace obexsesctl {

class Host {
 public:
  // Loads the library, calls Initialize and CallProfileCommand("QueryDdi", 1).
  // False when the library, its exports or a full table cannot be had.
  bool Load(const std::string& path, Narrator& narrator);
  const SessionDdi& ddi() const { return table_; }

 private:
  std::unique_ptr<obexses::host::Library> library_;
  SessionDdi table_{};
};

// The library file next to this program.
std::string DefaultLibraryPath();

}  // namespace obexsesctl
