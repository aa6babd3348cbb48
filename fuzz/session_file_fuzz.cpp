// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes, as the contents of either session file, through the
// streaming file readers and through the tree with the record reading it
// replaced: both give the same load result and the same records, in the
// same order, nulls included (compared as the bytes they are written back
// as). Every record read must also survive a round trip: written as a file of
// its own and read back, it is written the same again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/session_file.h"
#include "tests/support/session_oracle.h"

namespace {

using namespace obexses::persist;
using obexses::testing::Collected;

std::u16string Units(const void* data, size_t size) {
  std::u16string units((size + 1) / 2, u'\0');
  std::memcpy(units.data(), data, size);
  return units;
}

template <typename RecordPtr>
std::string FileOf(Side side, const RecordPtr& record) {
  if (record == nullptr) return "null";
  SessionFileBuilder builder(side);
  builder.Add(record.get());
  return builder.Finish();
}

template <typename RecordPtr, typename ReadFile>
void CheckRoundTrip(Side side, const RecordPtr& record, ReadFile read_file) {
  const std::string bytes = FileOf(side, record);
  Collected<RecordPtr> again;
  read_file(Units(bytes.data(), bytes.size()), bytes.size(), again);
  if (again.records.size() != 1 || FileOf(side, again.records[0]) != bytes) std::abort();
}

template <typename RecordPtr, typename ReadFile, typename ReadTree>
void ReadAll(Side side, const std::u16string& units, size_t size, ReadFile read_file,
             ReadTree read_tree) {
  Collected<RecordPtr> streamed;
  const ReadResult read = read_file(units, size, streamed);
  std::vector<RecordPtr> expected;
  if (read.result != read_tree(units, size, &expected) || read.stopped_at > size / 2 ||
      streamed.records.size() != expected.size())
    std::abort();
  size_t last_end = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const ElementSpan where = streamed.spans[i];
    if (where.begin < last_end || where.end <= where.begin || where.end > size / 2) std::abort();
    last_end = where.end;
    if (FileOf(side, streamed.records[i]) != FileOf(side, expected[i])) std::abort();
    if (expected[i] != nullptr) CheckRoundTrip(side, expected[i], read_file);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace obexses::testing;
  const std::u16string units = Units(data, size);
  ReadAll<ClientRecordDeepPtr>(Side::kClient, units, size, ReadClientFile, ReadClientTree);
  ReadAll<ServerRecordDeepPtr>(Side::kServer, units, size, ReadServerFile, ReadServerTree);
  return 0;
}
