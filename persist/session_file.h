// The two session files as bytes: ClientSession.xml and ServerSession.xml.
//
// Writing: the byte-order mark, the prolog line, the top element of the side,
// one session element per record added, the end tag. Reading: the records of
// the session elements under the side's top element, in file order. This
// layer knows nothing of the registry: which records go into a file, and
// what becomes of the records read, is its caller's business.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "persist/value_codec.h"
#include "records/record_memory.h"

namespace obexses::persist {

enum class Side { kClient, kServer };

// The largest session file the reader takes: 1 GiB, some 350,000 sessions. A
// restore refuses a larger file from its size, unread; a store never writes one.
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// Builds one file's bytes. Add and Finish throw std::bad_alloc when memory
// runs out.
class SessionFileBuilder {
 public:
  explicit SessionFileBuilder(Side side);
  // Appends the record's session element; nothing for an unknown profile.
  void Add(const ClientSession* record);
  void Add(const ServerSession* record);
  // The whole file; the builder is spent.
  std::string Finish();

 private:
  Side side_;
  SessionText text_;
};

enum class LoadResult {
  kNotLoaded,   // the text does not load (empty, cut, not the grammar)
  kNoSessions,  // it loads, but has no top element of its side
  kLoaded,
};

using ClientRecordDeepPtr = std::unique_ptr<ClientSession, records::ClientRecordDeepDeleter>;
using ServerRecordDeepPtr = std::unique_ptr<ServerSession, records::ServerRecordDeepDeleter>;

// Reads a file (its bytes as platform::Env::ReadFileUnits gives them) and
// hands each session element under the side's top element to take, in file
// order: the record it reads as, or null for an element of an unknown
// layout. The units are lent to the reader and given back unchanged, unless
// it throws: std::bad_alloc (and whatever take throws) when memory runs out;
// what take was given is then take's.
LoadResult ReadClientFile(std::u16string* units, size_t bytes,
                          const std::function<void(ClientRecordDeepPtr)>& take);
LoadResult ReadServerFile(std::u16string* units, size_t bytes,
                          const std::function<void(ServerRecordDeepPtr)>& take);

// Whether a file read as units and bytes holds exactly the file bytes given.
bool HoldsBytes(const std::u16string& units, size_t bytes, const std::string& file);

}  // namespace obexses::persist
