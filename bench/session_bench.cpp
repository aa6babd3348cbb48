// Where the time goes: key building and look-ups on the service path, and the
// session files (store, and the reader's parse at start-up) as they grow.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host.h"
#include "persist/record_xml.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/state.h"
#include "settings/settings.h"
#include "text/wide.h"
#include "xml/xml_reader.h"

namespace {

using namespace obexses;

// A private application-data folder and saving switched on, once per process.
void SetUpModule() {
  static bool done = [] {
    std::string folder;
    host::MakeTemporaryFolder(&folder);
    host::SetProcessVariable("XDG_DATA_HOME", folder);
    MakeSessionFilePath(0, g_server_session_path);
    MakeSessionFilePath(1, g_client_session_path);
    g_save_file = 1;
    return true;
  }();
  (void)done;
}

ClientSession* NewSavedClient(int index) {
  ClientSession* record = tvr_create_client_session(OBEXSES_PROFILE_OPP);
  const uint8_t address[6] = {0, 1, 2, 3, 4, static_cast<uint8_t>(index)};
  std::memcpy(record->bdaddr, address, 6);
  const std::u16string name = u"photo-" + text::FromUtf8(std::to_string(index)) + u".jpg";
  text::CopyBounded(record->file_name, OBEXSES_NAME_UNITS, name);
  text::CopyBounded(records::AsOpp(record)->internalObjectName, OBEXSES_NAME_UNITS, name);
  const uint32_t saved = g_save_file.exchange(0);  // file the record without writing the file
  tvr_save_client_session(record);
  g_save_file = saved;
  return record;
}

void DestroyAll(std::vector<ClientSession*>& records) {
  const uint32_t saved = g_save_file.exchange(0);
  for (ClientSession* record : records) tvr_destroy_client_session(record);
  g_save_file = saved;
  records.clear();
}

void BM_BuildClientKey(benchmark::State& state) {
  const uint8_t address[6] = {1, 2, 3, 4, 5, 6};
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildClientKey(address, u"holiday-photo-0042.jpg", 0x1105));
  }
}
BENCHMARK(BM_BuildClientKey);

void BM_FindClientSession(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records;
  for (int i = 0; i < state.range(0); ++i) records.push_back(NewSavedClient(i));
  const uint8_t address[6] = {0, 1, 2, 3, 4, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tvr_find_client_session(address, u"photo-0.jpg", 0x1105));
  }
  DestroyAll(records);
}
BENCHMARK(BM_FindClientSession)->Arg(1)->Arg(64)->Arg(1024);

void BM_StoreClientFile(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records;
  for (int i = 0; i < state.range(0); ++i) records.push_back(NewSavedClient(i));
  for (auto _ : state) benchmark::DoNotOptimize(tvr_store_client_session());
  state.SetItemsProcessed(state.iterations() * state.range(0));
  DestroyAll(records);
}
BENCHMARK(BM_StoreClientFile)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMicrosecond);

void BM_LoadClientFile(benchmark::State& state) {
  SetUpModule();
  std::vector<ClientSession*> records;
  for (int i = 0; i < state.range(0); ++i) records.push_back(NewSavedClient(i));
  tvr_store_client_session();
  std::string bytes;
  platform::GetEnv()->ReadFileBytes(g_client_session_path, &bytes);
  for (auto _ : state) {
    xml::CXMLReader reader;
    benchmark::DoNotOptimize(reader.LoadXMLBytes(bytes.data(), bytes.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
  DestroyAll(records);
}
BENCHMARK(BM_LoadClientFile)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace
