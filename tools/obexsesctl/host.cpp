#include "tools/obexsesctl/host.h"

#include <filesystem>

#include "tools/obexsesctl/report.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {

std::string DefaultLibraryPath() {
  const std::filesystem::path self = PathFromUtf8(obexses::host::ExecutablePath());
  return PathUtf8(self.parent_path() / obexses::host::SharedLibraryName("obexses"));
}

bool Host::Load(const std::string& path, Narrator& narrator) {
  std::string error;
  library_ = obexses::host::Library::Open(path, &error);
  if (!library_) {
    PrintError("cannot load " + path + ": " + error);
    return false;
  }
  auto initialize = reinterpret_cast<InitializeFn>(library_->Symbol("Initialize"));
  auto command = reinterpret_cast<CallProfileCommandFn>(library_->Symbol("CallProfileCommand"));
  if (initialize == nullptr || command == nullptr) {
    PrintError(path + " does not export Initialize and CallProfileCommand");
    return false;
  }
  narrator.Say("loaded %s", path.c_str());
  // The core interface is only tested for null; any address will do.
  static int core_stand_in = 0;
  narrator.Say("Initialize(core) returned %u",
               initialize(reinterpret_cast<ICore*>(&core_stand_in)));
  command(u"QueryDdi", 1, &table_);
  const void* const* slots = reinterpret_cast<const void* const*>(&table_);
  int filled = 0;
  for (int i = 0; i < OBEXSES_DDI_SLOTS; ++i) filled += slots[i] != nullptr;
  narrator.Say("CallProfileCommand(\"QueryDdi\", 1) filled %d of %d service slots", filled,
               OBEXSES_DDI_SLOTS);
  return filled == OBEXSES_DDI_SLOTS;
}

}  // namespace obexsesctl
