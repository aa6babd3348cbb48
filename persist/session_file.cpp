#include "persist/session_file.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "persist/record_xml.h"

namespace obexses::persist {
namespace {

// The size of each side's last file: the next one is usually much the same,
// so its buffer is made that large (and a little more) at once.
std::atomic<size_t> g_last_size[2];

std::atomic<size_t>& LastSize(Side side) {
  return g_last_size[side == Side::kClient ? 0 : 1];
}

}  // namespace

const char16_t* TopElementName(Side side) {
  return side == Side::kClient ? u"client_session" : u"server_session";
}

SessionFileBuilder::SessionFileBuilder(Side side) : side_(side) {
  const size_t last = LastSize(side_).load(std::memory_order_relaxed);
  text_.Reserve(last + last / 8 + 4096);
  FilePrintf(&text_, u"<?xml version=\"1.0\"?>\n");
  FilePrintf(&text_, u"<%s>", TopElementName(side_));
}

void SessionFileBuilder::Add(const ClientSession* record) {
  WriteClientSession(&text_, record);
}

void SessionFileBuilder::Add(const ServerSession* record) {
  WriteServerSession(&text_, record);
}

std::string SessionFileBuilder::Finish() {
  FilePrintf(&text_, u"</%s>", TopElementName(side_));
  std::string bytes = text_.TakeBytes();
  LastSize(side_).store(bytes.size(), std::memory_order_relaxed);
  return bytes;
}

bool HoldsBytes(const std::u16string& units, size_t bytes, const std::string& file) {
  return bytes == file.size() && units.size() == (bytes + 1) / 2 &&
         std::memcmp(units.data(), file.data(), bytes) == 0;
}

}  // namespace obexses::persist
