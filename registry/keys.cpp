// SPDX-License-Identifier: MIT
#include "registry/keys.h"

#include "text/format.h"
#include "text/wide.h"

namespace obexses {
namespace {

// "client_", 17 address characters, "_", the profile, "_": the units a key
// takes besides the name.
size_t ClientKeyFrame(uint32_t profile) {
  size_t digits = 4;
  for (uint32_t rest = profile >> 16; rest != 0; rest >>= 4) ++digits;
  return 7 + 17 + 1 + digits + 1;
}

}  // namespace

ClientKeyText ClientKeyOf(const uint8_t* address, std::u16string_view name, uint32_t profile) {
  ClientKeyText key;
  if (address == nullptr || name.empty()) return key;
  // A key that does not fit the key buffer is the key of nothing.
  if (ClientKeyFrame(profile) + name.size() >= std::size(key.units)) return key;
  const text::FormatArg name_arg(name);
  key.size = text::FormatBounded(
      key.units, std::size(key.units), u"client_%02x:%02x:%02x:%02x:%02x:%02x_%04x_%s", address[0],
      address[1], address[2], address[3], address[4], address[5], profile, name_arg);
  return key;
}

ClientKeyText ClientRecordKey(const ClientSession* record) {
  return ClientKeyOf(record->bdaddr, text::FixedView(record->file_name, OBEXSES_NAME_UNITS),
                     record->profile_id);
}

ServerKeyText ServerKeyOf(const uint8_t* id) {
  ServerKeyText key;
  if (id == nullptr) return key;
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  constexpr std::u16string_view kPrefix = u"server_";
  for (char16_t c : kPrefix) key.units[key.size++] = c;
  for (int i = 0; i < 16; ++i) {
    key.units[key.size++] = kDigits[id[i] >> 4];
    key.units[key.size++] = kDigits[id[i] & 0x0F];
  }
  return key;
}

void TraceClientKey(const DebugTracer& trace, const ClientKeyText& key) {
  if (!key.empty()) trace.DebugTrace(kKeyTraceLevel, u"build client key %s\n", key);
}

std::u16string BuildClientKey(const uint8_t* address, const char16_t* name, uint32_t profile) {
  if (name == nullptr) return std::u16string();
  return std::u16string(ClientKeyOf(address, name, profile).view());
}

std::u16string BuildServerKey(const uint8_t* id) {
  return std::u16string(ServerKeyOf(id).view());
}

}  // namespace obexses
