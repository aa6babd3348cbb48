// SPDX-License-Identifier: MIT
// The containers of the session store, by side. Every record the store made
// or restored is held, with its place: the key it is saved under (the key
// string lives in the saved map's node) and the serial of this holding, which
// tells a record from a later one at the same address. Records that an
// enumeration hands out are pinned until it returns; one destroyed meanwhile
// is retired there and freed by the last enumeration that holds it. The
// session store guards all of it with its one mutex; the fields of a file's
// writes change under the whole lock, or under its shared side by the one
// write under way.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace obexses::persist {
class SessionText;
}  // namespace obexses::persist

namespace obexses {

struct Place {
  const std::u16string* saved_key = nullptr;  // null while the record is not saved
  uint64_t serial = 0;
};

// Every record of a side that exists; for client records this is the live set.
template <typename Record>
using HeldRecords = std::unordered_map<const Record*, Place>;

// The saved sessions of a side by key. Created with 8 buckets and a maximum
// load factor of 1; the files and the enumerations walk them in their own
// element order.
// Keys are looked up as views, so that a look-up needs no string of its own.
struct KeyHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view key) const { return std::hash<std::u16string_view>()(key); }
};
template <typename Record>
using SavedSessions = std::unordered_map<std::u16string, Record*, KeyHash, std::equal_to<>>;

template <typename Record>
SavedSessions<Record> EmptySavedSessions() {
  SavedSessions<Record> saved(8);
  saved.max_load_factor(1.0f);
  return saved;
}

struct Pin {
  uint32_t count = 0;    // enumerations that hold the record
  bool retired = false;  // destroyed or replaced meanwhile: freed when count drops to 0
};
using PinnedRecords = std::unordered_map<const void*, Pin>;

// The writes of one session file, in the order of the generations that the
// stores (and the restores' rewrites) take under the store's mutex. One write
// is under way at a time, outside the mutex; it covers every generation taken
// before it began, so stores that queue behind it share the next write.
struct FileWrites {
  uint64_t taken = 0;    // the last generation handed out
  uint64_t written = 0;  // the last generation a finished write covered
  bool written_ok = true;
  bool busy = false;  // a write is under way
  // The text a write of the saved set is made in, kept from one write to the
  // next so that its room is made once.
  std::unique_ptr<persist::SessionText> text;
  // A restore's rewrite: the text of the saved set it replaced, and its
  // generation. A later store supersedes it.
  uint64_t rewrite_generation = 0;
  std::unique_ptr<persist::SessionText> rewrite;
  uint64_t finished = 0;  // writes finished, to tell whether the file changed meanwhile
  // Changes of the side's saved set (under the mutex), to tell whether a
  // write made in pieces still holds one set.
  uint64_t set_changes = 0;
  bool shared = false;  // the last write covered stores of more than one caller
  std::condition_variable_any done;
};

}  // namespace obexses
