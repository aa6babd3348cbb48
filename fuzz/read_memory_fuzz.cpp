// SPDX-License-Identifier: MIT
// The memory a file read may take, whatever the file holds: counted through
// the sanitizer's allocation hooks while ReadClientFile and ReadServerFile
// run, with a sink that frees each record as it arrives. The live bytes above
// the input buffer must stay within twice the input's size, a small constant,
// and the largest record (with its buffers and request nodes) handed over. An
// input whose first byte is odd has its other bytes taken one to a unit, so
// that the grammar's characters come up often.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/session_file.h"

namespace {

using namespace obexses::persist;

bool g_counting = false;
int64_t g_live = 0;
int64_t g_peak = 0;

void OnMalloc(const volatile void*, size_t size) {
  if (!g_counting) return;
  g_live += static_cast<int64_t>(size);
  g_peak = std::max(g_peak, g_live);
}

void OnFree(const volatile void* block) {
  if (g_counting)
    g_live -= static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(block)));
}

// Frees each record at once, noting the most one took.
template <typename RecordPtr>
struct Freeing final : SessionSink<RecordPtr> {
  void Take(RecordPtr record, ElementSpan) override {
    const int64_t before = g_live;
    record.reset();
    largest = std::max(largest, before - g_live);
  }
  void Discard() override {}
  int64_t largest = 0;
};

template <typename RecordPtr, typename Read>
void Check(const std::u16string& units, size_t bytes, Read read) {
  constexpr int64_t kSlack = 4096;
  Freeing<RecordPtr> sink;
  g_live = g_peak = 0;
  g_counting = true;
  read(units, bytes, sink);
  g_counting = false;
  if (g_peak > 2 * static_cast<int64_t>(bytes) + kSlack + sink.largest) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string units((size + 1) / 2, u'\0');
  std::memcpy(units.data(), data, size);
  if (size > 0 && (data[0] & 1) != 0) units.assign(data + 1, data + size);
  const size_t bytes = 2 * units.size();
  Check<ClientRecordDeepPtr>(units, bytes, ReadClientFile);
  Check<ServerRecordDeepPtr>(units, bytes, ReadServerFile);
  return 0;
}
