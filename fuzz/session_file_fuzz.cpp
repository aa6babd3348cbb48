// Feeds arbitrary bytes, as the contents of either session file, through the
// file readers. Every record read must survive a round trip: written as a
// file of its own and read back, it is written the same again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/session_file.h"

namespace {

using obexses::persist::Side;

std::u16string Units(const void* data, size_t size) {
  std::u16string units((size + 1) / 2, u'\0');
  std::memcpy(units.data(), data, size);
  return units;
}

template <typename RecordPtr>
std::string FileOf(Side side, const RecordPtr& record) {
  obexses::persist::SessionFileBuilder builder(side);
  builder.Add(record.get());
  return builder.Finish();
}

template <typename RecordPtr, typename ReadFile>
void CheckRoundTrip(Side side, const RecordPtr& record, ReadFile read_file) {
  const std::string bytes = FileOf(side, record);
  int read = 0;
  std::u16string units = Units(bytes.data(), bytes.size());
  read_file(&units, bytes.size(), [&](RecordPtr again) {
    if (++read > 1 || again == nullptr || FileOf(side, again) != bytes) std::abort();
  });
  if (read != 1) std::abort();
}

template <typename RecordPtr, typename ReadFile>
void ReadAll(Side side, const uint8_t* data, size_t size, ReadFile read_file) {
  std::u16string units = Units(data, size);
  read_file(&units, size, [&](RecordPtr record) {
    if (record != nullptr) CheckRoundTrip(side, record, read_file);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace obexses::persist;
  ReadAll<ClientRecordDeepPtr>(Side::kClient, data, size, ReadClientFile);
  ReadAll<ServerRecordDeepPtr>(Side::kServer, data, size, ReadServerFile);
  return 0;
}
