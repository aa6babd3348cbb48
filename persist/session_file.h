// SPDX-License-Identifier: MIT
// The two session files as bytes: ClientSession.xml and ServerSession.xml.
//
// Writing: the byte-order mark, the prolog line, the top element of the side,
// one session element per record added, the end tag. Reading: the records of
// the session elements under the side's top element, in file order. This
// layer knows nothing of the registry: which records go into a file, and
// what becomes of the records read, is its caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "persist/value_codec.h"
#include "records/record_memory.h"

namespace obexses::persist {

enum class Side { kClient, kServer };

// The largest session file the reader takes: 1 GiB, some 350,000 sessions. A
// restore refuses a larger file from its size, unread; a store never writes one.
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// The top element of a side's file: "client_session" or "server_session".
const char16_t* TopElementName(Side side);

// The size of a side's file that holds no session element; a file the
// builder made is no larger exactly when it holds none.
size_t EmptyFileBytes(Side side) noexcept;

// Builds one file's bytes, in a text of its own or in one the caller keeps
// from file to file (its room then serves the next file too). Add and Finish
// throw std::bad_alloc when memory runs out.
class SessionFileBuilder {
 public:
  explicit SessionFileBuilder(Side side, SessionText* text = nullptr);
  // Appends the record's session element; nothing for an unknown profile.
  void Add(const ClientSession* record);
  void Add(const ServerSession* record);
  // A hint that the record is added next, so that its memory is on its way.
  static void Prefetch(const ClientSession* record);
  static void Prefetch(const ServerSession* record);
  // The whole file, as a string of its own; the builder is spent.
  std::string Finish();
  // The whole file, in the builder's text (valid while that text is).
  std::string_view FinishView();

  // For a file written piece by piece: what was built since the last piece
  // (valid until the text changes), and the start of the next piece, which
  // continues the file where this one ends.
  std::string_view Piece() const { return text_->bytes(); }
  void NextPiece() { text_->Empty(); }

 private:
  Side side_;
  SessionText own_;
  SessionText* text_;
};

enum class LoadResult {
  kNotLoaded,   // the text does not load (empty, cut, not the grammar)
  kNoSessions,  // it loads, but has no top element of its side
  kLoaded,
};

// A read's load result and the unit at which its scan stopped: where the text
// failed, or its length when it was read to the end.
struct ReadResult {
  LoadResult result;
  size_t stopped_at;
};

// Where an element lies, in units: its "<", and one past its end tag.
struct ElementSpan {
  size_t begin;
  size_t end;
};

using ClientRecordDeepPtr = std::unique_ptr<ClientSession, records::ClientRecordDeepDeleter>;
using ServerRecordDeepPtr = std::unique_ptr<ServerSession, records::ServerRecordDeepDeleter>;

// Receives the sessions of a file as its text is scanned. The file's
// sessions are the session elements under the first top element of the side
// that completes, and only when the whole text loads; since they complete
// before the top element and the text do, a sink may be told afterwards that
// what it took does not count.
template <typename RecordPtr>
class SessionSink {
 public:
  virtual ~SessionSink() = default;
  // A session element under the side's top element, in file order: its
  // record, or null when its profile_type names no layout (or disagrees with
  // its profile_id).
  virtual void Take(RecordPtr record, ElementSpan where) = 0;
  // A session element that opened under the top element and never completed.
  virtual void Lost(size_t begin) { (void)begin; }
  // Everything taken so far no longer counts: the top element it lay in did
  // not complete, or the text did not load. Called once, last, and only
  // after a Take.
  virtual void Discard() = 0;
};

// Reads a file (its units and bytes as platform::Env::ReadFileUnits gives
// them: two bytes to a unit, low byte first; an odd last byte is no unit) and
// hands its sessions to sink as they complete. Holds no more than its fixed
// state besides the records it makes; the units are only read. Throws
// std::bad_alloc (and whatever the sink throws) when memory runs out; what the
// sink took is then the sink's.
ReadResult ReadClientFile(std::u16string_view units, size_t bytes,
                          SessionSink<ClientRecordDeepPtr>& sink);
ReadResult ReadServerFile(std::u16string_view units, size_t bytes,
                          SessionSink<ServerRecordDeepPtr>& sink);

// Whether a file read as units and bytes is exactly the file the records
// added make. One session at a time is formatted into a small text of its
// own and compared, so a file that differs early costs little and an equal
// one needs no buffer of its size. Add and Matches throw std::bad_alloc
// when memory runs out.
class SameFileCheck {
 public:
  SameFileCheck(Side side, std::u16string_view units, size_t bytes);
  void Add(const ClientSession* record);
  void Add(const ServerSession* record);
  bool Matches();

 private:
  // Compares what the text holds after its byte-order mark with the file
  // from where the comparison stands.
  void Compare();

  Side side_;
  std::u16string_view units_;
  size_t at_ = 1;  // after the file's byte-order mark
  bool same_;
  SessionText text_;
};

}  // namespace obexses::persist
