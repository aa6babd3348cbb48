// SPDX-License-Identifier: MIT
// What the module's in-process tests share: the headers they all use, record
// addresses as the trace prints them, records made and filled the way profile
// modules make and fill them, and transfer files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "records/record_memory.h"
#include "registry/keys.h"
#include "registry/session_store.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses::testing {

namespace fs = std::filesystem;

// The session id NewServer gives, first byte aside: 00 01 .. 0F.
constexpr uint8_t kSessionId[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// A record address as the trace prints it: 16 uppercase hex digits.
inline std::string Ptr(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

// Record addresses sorted, as StoreContents lists the held ones.
inline std::vector<const void*> Sorted(std::initializer_list<const void*> records) {
  std::vector<const void*> sorted(records);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

// A created client record with its device address and name, saved if asked.
inline ClientSession* NewClient(SessionStore& store, uint32_t profile, const uint8_t* address,
                                std::u16string_view name, bool save = true) {
  ClientSession* record = store.CreateClientSession(profile);
  std::copy_n(address, 6, record->bdaddr);
  SetText(record->file_name, name);
  if (save) store.SaveClientSession(record);
  return record;
}

// A created server record with kSessionId (first byte changed) as its session
// id and its file, folder and name (FTP: current directory and transfer name;
// OPP: inbox and object name), saved if asked.
inline ServerSession* NewServer(SessionStore& store, uint32_t profile, uint8_t first,
                                std::u16string_view folder = u"", std::u16string_view name = u"",
                                bool save = true) {
  ServerSession* record = store.CreateServerSession(profile);
  std::copy_n(kSessionId, 16, record->GoepServer_sessionId);
  record->GoepServer_sessionId[0] = first;
  if (profile == OBEXSES_PROFILE_FTP) {
    SetText(records::AsFtp(record)->m_bstrCurrentDirectory, folder);
    SetText(records::AsFtp(record)->m_bstrCurrentTxName, name);
  } else {
    SetText(records::AsOpp(record)->m_szInboxpath, folder);
    SetText(records::AsOpp(record)->internalObjectName, name);
  }
  if (save) store.SaveServerSession(record);
  return record;
}

// The test folder as the module writes paths, plus a file name.
inline std::u16string ModulePath(TestEnv& env, const std::string& name) {
  return env.app_data_u16() + u"\\" + text::FromUtf8(name);
}

// Writes a file of size bytes and gives it the last-write time when.
inline void WriteFileAt(const std::filesystem::path& path, size_t size,
                        std::filesystem::file_time_type when) {
  WriteFile(path, std::string(size, 'x'));
  std::filesystem::last_write_time(path, when);
}

// A whole second an hour ago: a last-write time every file system keeps exactly.
inline std::filesystem::file_time_type BaseTime() {
  const auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  return std::chrono::floor<std::chrono::seconds>(hour_ago);
}

}  // namespace obexses::testing
