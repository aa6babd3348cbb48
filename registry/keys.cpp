#include <string_view>

#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "settings/settings.h"
#include "text/format.h"
#include "text/wide.h"

namespace obexses {
namespace {
constexpr size_t kClientKeyUnits = 520;  // terminator included
}  // namespace

std::u16string ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile) {
  if (address == nullptr || name.empty()) return std::u16string();
  const std::u16string owned_name(name);
  std::u16string key =
      text::Format(u"client_%02x:%02x:%02x:%02x:%02x:%02x_%04x_%s", address[0], address[1],
                   address[2], address[3], address[4], address[5], profile, owned_name);
  // A key that does not fit the key buffer is the key of nothing.
  if (key.size() >= kClientKeyUnits) return std::u16string();
  DebugTrace(3, u"build client key %s\n", key);
  return key;
}

std::u16string BuildClientKey(const uint8_t* address, const char16_t* name, uint32_t profile) {
  if (name == nullptr) return std::u16string();
  return ClientKeyOf(address, std::u16string_view(name), profile);
}

std::u16string ClientRecordKey(const ClientSession* record) {
  return ClientKeyOf(record->bdaddr, text::FixedView(record->file_name, OBEXSES_NAME_UNITS),
                     record->profile_id);
}

std::u16string BuildServerKey(const uint8_t* id) {
  if (id == nullptr) return std::u16string();
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string key = u"server_";
  for (int i = 0; i < 16; ++i) {
    key.push_back(kDigits[id[i] >> 4]);
    key.push_back(kDigits[id[i] & 0x0F]);
  }
  return key;
}

}  // namespace obexses
