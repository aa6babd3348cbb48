#include "tools/obexsesctl/host.h"

#include <filesystem>

#include "tools/obexsesctl/report.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {

std::string DefaultLibraryPath() {
  namespace fs = std::filesystem;
  const fs::path folder = PathFromUtf8(obexses::host::ExecutablePath()).parent_path();
  const fs::path beside = folder / obexses::host::SharedLibraryName("obexses");
#ifdef OBEXSESCTL_LIBRARY_FROM_BIN
  // Beside the tool in the build tree; once installed, the soname's file in
  // the installation's library folder.
  std::error_code ec;
  if (!fs::exists(beside, ec))
    return PathUtf8((folder / OBEXSESCTL_LIBRARY_FROM_BIN).lexically_normal());
#endif
  return PathUtf8(beside);
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
