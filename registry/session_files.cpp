// SPDX-License-Identifier: MIT
// Slots 10 to 13: the saved sessions to their files and back, written once
// for both sides; what differs (path, messages, the key, the reading) is in
// SideFile. The bytes themselves are persist's.
//
// A store turns the saved set into the file's bytes under the shared lock
// (finds go on meanwhile) and writes them with no lock held, a piece of about
// 1 MB at a time; should the set change between two pieces, it makes the
// bytes whole under the lock and writes them again. Each file's
// writes are ordered by generation: a store takes the next one under the
// lock, and the write that serves it is one that began after it, so the file
// never goes back to an older saved set. One write is under way at a time;
// the stores that queue behind it share the next one and its result.
//
// A restore reads and parses its file with no lock held, then, under the
// lock, turns the saved set it replaces into bytes for the rewrite, takes a
// generation for them, and installs what it read. The rewrite is written in
// generation order like a store, unless a later store supersedes it.
#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "persist/prefetch.h"
#include "persist/session_file.h"
#include "persist/value_codec.h"
#include "platform/durable_file.h"
#include "platform/pages.h"
#include "platform/platform.h"
#include "registry/restore_rule.h"
#include "registry/store_internal.h"
#include "settings/settings.h"

namespace obexses {
namespace {

template <typename Record>
struct SideFile;

template <>
struct SideFile<ClientSession> {
  using RecordPtr = persist::ClientRecordDeepPtr;
  static constexpr persist::Side kSide = persist::Side::kClient;
  static constexpr char16_t kStoring[] = u"store all client session to file\n";
  static constexpr char16_t kStoreFailed[] = u"tvr_store_client_session ,open failed %s\n";
  static constexpr char16_t kRestoring[] = u"restore all client session from file\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_client_session ,LoadXML failed %s\n";

  // A restore builds the key of each session it keeps, and says so.
  static constexpr bool kTracesKeys = true;
  static void TraceKey(const DebugTracer& trace, const ClientKeyText& key) {
    TraceClientKey(trace, key);
  }
  static persist::ReadResult Read(std::u16string_view units, size_t bytes,
                                  persist::SessionSink<RecordPtr>& sink) {
    return persist::ReadClientFile(units, bytes, sink);
  }
};

template <>
struct SideFile<ServerSession> {
  using RecordPtr = persist::ServerRecordDeepPtr;
  static constexpr persist::Side kSide = persist::Side::kServer;
  static constexpr char16_t kStoring[] = u"store all server session to file\n";
  static constexpr char16_t kStoreFailed[] = u"tvr_store_server_session ,open failed %s\n";
  static constexpr char16_t kRestoring[] = u"retore all server session from file\n";
  static constexpr char16_t kLoadFailed[] = u"tvr_restore_server_session ,LoadXML failed %s\n";

  // A server restore says nothing of the keys it builds.
  static constexpr bool kTracesKeys = false;
  static persist::ReadResult Read(std::u16string_view units, size_t bytes,
                                  persist::SessionSink<RecordPtr>& sink) {
    return persist::ReadServerFile(units, bytes, sink);
  }
};

// The file as a restore read it: a rewrite to these very bytes is left out.
// Its room is not cleared first, since the read fills it; the unit an odd
// last byte half fills is completed as in a cleared room.
class FileRead final : public platform::ReadTarget {
 public:
  char* Room(size_t bytes) override {
    const size_t units = (bytes + 1) / 2;
    if (units > room_) {
      std::unique_ptr<char16_t[]> grown(new char16_t[units]);
      platform::MakePages(grown.get(), units * sizeof(char16_t));
      std::copy_n(units_.get(), room_, grown.get());
      units_ = std::move(grown);
      room_ = units;
    }
    return reinterpret_cast<char*>(units_.get());
  }
  void Read(size_t bytes) override {
    bytes_ = bytes;
    if (bytes % 2 != 0) {
      reinterpret_cast<char*>(units_.get())[bytes] = 0;
      units_[bytes / 2] &= 0xFF;
    }
  }
  std::u16string_view units() const { return {units_.get(), (bytes_ + 1) / 2}; }
  size_t bytes() const { return bytes_; }

 private:
  std::unique_ptr<char16_t[]> units_;
  size_t room_ = 0;
  size_t bytes_ = 0;
};

}  // namespace

// What a restore read, in file order: the first session of each key that is
// young enough, each filed under its key. Dropped records go at once, with
// their buffers; what is never installed goes with the set.
template <typename Record>
class SessionStore::RestoredSet final
    : public persist::SessionSink<typename SideFile<Record>::RecordPtr> {
 public:
  using File = SideFile<Record>;
  using RecordPtr = typename File::RecordPtr;

  // The age is read once the file has shown a session.
  RestoredSet(platform::Env* env, platform::SettingsStore* settings, const DebugTracer& trace)
      : trace_(trace),
        rule_([env, settings, &trace] {
          return ObsoleteThreshold(env->NowSeconds(), ReadObsoleteAge(settings, trace));
        }),
        map_(EmptySavedSessions<Record>()) {}
  RestoredSet(const RestoredSet&) = delete;
  RestoredSet& operator=(const RestoredSet&) = delete;
  ~RestoredSet() override { Discard(); }

  // A session element read: kept unless unreadable, obsolete, key-less or
  // repeated. One look-up files it under its key, or finds the session kept
  // before it with that key, which makes it repeated.
  void Take(RecordPtr record, persist::ElementSpan) override {
    typename RestoreRule<Record>::Key key;
    if (rule_.JudgeAlone(record.get(), &key) != Fate::kKept) return;
    const auto [entry, kept] = map_.try_emplace(std::u16string(key.view()), record.get());
    if (kept) record.release();
    if constexpr (File::kTracesKeys) keys_made_.push_back(&entry->first);
  }

  // What was taken no longer counts.
  void Discard() noexcept override {
    for (auto& entry : map_) RecordPtr dropped(entry.second);
    map_.clear();
    keys_made_.clear();
  }

  // The trace lines of the keys the restore made, in file order; none are
  // copied out when the level hides them.
  void TraceKeys() const {
    if constexpr (File::kTracesKeys) {
      if (!trace_.Shows(kKeyTraceLevel)) return;
      typename RestoreRule<Record>::Key key;
      for (const std::u16string* made : keys_made_) {
        key.size = made->copy(key.units, std::size(key.units) - 1);
        key.units[key.size] = 0;
        File::TraceKey(trace_, key);
      }
    }
  }

  SavedSessions<Record>& map() { return map_; }

 private:
  const DebugTracer& trace_;
  RestoreRule<Record> rule_;
  SavedSessions<Record> map_;
  std::vector<const std::u16string*> keys_made_;
};

// ---- Store ----

namespace {

// While other callers are storing too, a write waits a moment before it
// starts, so that the stores they are about to ask for share it rather than
// wait for the one after: a fraction of one sync, for a sync less each.
constexpr std::chrono::microseconds kGatherWait{100};

// A saved set in its order, asked for ahead of the writer: the set's entries
// and records lie apart in memory, so the record four entries on is asked
// for, and the entry after that one (with a large set, two left the writer
// waiting for memory; more than four gained nothing). The walk stays valid
// while the set does not change.
template <typename Saved>
class SavedWalk {
 public:
  explicit SavedWalk(const Saved& saved)
      : next_(saved.begin()), lead_(saved.begin()), end_(saved.end()) {
    for (int i = 0; i < kAhead; ++i) AskAhead();
  }
  bool done() const { return next_ == end_; }

  // Adds the records to the sink, up to the end or until more() says no.
  template <typename Sink, typename More>
  void Add(Sink& sink, More more) {
    for (; next_ != end_ && more(); ++next_) {
      AskAhead();
      sink.Add(next_->second);
    }
  }

 private:
  static constexpr int kAhead = 4;
  void AskAhead() {
    if (lead_ == end_) return;
    persist::SessionFileBuilder::Prefetch(lead_->second);
    if (++lead_ != end_) persist::PrefetchLine(&*lead_);
  }

  typename Saved::const_iterator next_, lead_, end_;
};

template <typename Sink, typename Saved>
void AddSaved(Sink& sink, const Saved& saved) {
  SavedWalk<Saved>(saved).Add(sink, [] { return true; });
}

// A store writes the saved set in pieces of about this many bytes, each
// written before the next is made, so that the text goes to the file from the
// processor's caches rather than out to memory and back (some 2 ms of a store
// of 10,000 sessions, 29 MB).
constexpr size_t kPieceBytes = size_t{1} << 20;

}  // namespace

template <typename Record>
std::string_view SessionStore::FileBytes(persist::SessionText* text) {
  persist::SessionFileBuilder builder(SideFile<Record>::kSide, text);
  // A saved record is always held, and so (on the client side) live.
  AddSaved(builder, Saved<Record>());
  return builder.FinishView();
}

// Whether the file read would be written again as it is, the saved set
// compared as it is formatted, up to its first difference.
template <typename Record>
bool SessionStore::FileHolds(std::u16string_view units, size_t bytes) {
  persist::SameFileCheck check(SideFile<Record>::kSide, units, bytes);
  AddSaved(check, Saved<Record>());
  return check.Matches();
}

// What one write puts in the file: the bytes (or the saved set, made in
// pieces as it is written), whether they are waited for, and the newest
// generation they hold.
struct SessionStore::PendingWrite {
  uint64_t covers = 0;
  bool in_pieces = false;
  std::string_view bytes;
  platform::Sync sync = platform::Sync::kDurable;
  bool ok = true;
  std::unique_ptr<persist::SessionText> rewrite;  // the restore's, when it is the one written
};

// Under the shared lock, by the one write under way (busy): every generation
// taken so far, as the newest restore rewrite when that is the newest
// generation; else as the saved set, made whole now when asked, else in
// pieces as it is written (WriteInPieces).
template <typename Record>
void SessionStore::TakeWrite(FileWrites& file, PendingWrite* write, bool whole) {
  SharedStoreLock lock(session_lock_);
  write->covers = file.taken;
  write->rewrite = std::move(file.rewrite);  // or superseded
  if (write->rewrite != nullptr && file.rewrite_generation == write->covers) {
    write->bytes = write->rewrite->bytes();
    // A rewrite without sessions is not waited for: the sessions of the file
    // it replaces are those its restore has just installed, so the old file
    // that a crash may leave restores them again, as it would have before;
    // a cut new file restores none, as the new one would.
    if (write->bytes.size() <= persist::EmptyFileBytes(SideFile<Record>::kSide)) {
      write->sync = platform::Sync::kUnsynced;
    }
    return;
  }
  try {
    if (file.text == nullptr) file.text = std::make_unique<persist::SessionText>();
    write->in_pieces = !whole;
    if (whole) write->bytes = FileBytes<Record>(file.text.get());
  } catch (...) {
    write->ok = false;
  }
}

// Writes the saved set to out piece by piece: each piece is made under the
// shared lock and written with none held, and the write covers what was
// taken when its first piece was made. Should the set change between two
// pieces, nothing more is written and *changed says so.
template <typename Record>
platform::Status SessionStore::WriteInPieces(FileWrites& file, PendingWrite* write,
                                             platform::WritableFile* out, bool* changed) {
  persist::SessionFileBuilder builder(SideFile<Record>::kSide, file.text.get());
  std::optional<SavedWalk<SavedSessions<Record>>> walk;
  uint64_t stamp = 0;
  uint64_t total = 0;
  for (;;) {
    {
      SharedStoreLock lock(session_lock_);
      if (!walk) {
        write->covers = file.taken;
        stamp = file.set_changes;
        walk.emplace(Saved<Record>());
      } else if (file.set_changes != stamp) {
        *changed = true;
        return platform::Status(platform::Status::Kind::kFailed, 0);
      }
      walk->Add(builder, [&builder] { return builder.Piece().size() < kPieceBytes; });
    }
    const bool last = walk->done();
    const std::string_view piece = last ? builder.FinishView() : builder.Piece();
    total += piece.size();
    if (total > persist::kMaxFileBytes) {
      return platform::Status(platform::Status::Kind::kTooLarge, 0);
    }
    const platform::Status status = out->Append(piece);
    if (!status.ok() || last) return status;
    builder.NextPiece();
  }
}

// Writes the file with no lock held: whether it stands. Nothing is thrown
// through the replacement, which cleans up after a failure it is told of.
template <typename Record>
bool SessionStore::Replace(FileWrites& file, PendingWrite* write, bool* changed) {
  if (!write->ok) return false;
  if (!write->in_pieces) {
    return write->bytes.size() <= persist::kMaxFileBytes &&
           platform::ReplaceFile(env_, PathOf<Record>(), write->bytes, lock_wait_, write->sync)
               .ok();
  }
  const auto write_pieces = [&](platform::WritableFile* out) {
    try {
      return WriteInPieces<Record>(file, write, out, changed);
    } catch (...) {
      return platform::Status(platform::Status::Kind::kFailed, 0);
    }
  };
  return platform::ReplaceFileWith(env_, PathOf<Record>(), write_pieces, lock_wait_, write->sync)
      .ok();
}

// Leads one write, covering every generation taken so far. No other write of
// this file runs meanwhile (busy), so its text stays as made. The saved set
// is written in pieces; should it change meanwhile, it is made whole under
// the shared lock and written again.
template <typename Record>
void SessionStore::WriteNext(StoreLock& lock) {
  FileWrites& file = FileOf<Record>();
  file.busy = true;
  const bool gather = file.shared;
  lock.unlock();
  if (gather) std::this_thread::sleep_for(kGatherWait);
  PendingWrite write;
  bool changed = false;
  try {
    TakeWrite<Record>(file, &write, false);
    write.ok = Replace<Record>(file, &write, &changed);
    if (changed) {
      write = PendingWrite();
      TakeWrite<Record>(file, &write, true);
      write.ok = Replace<Record>(file, &write, &changed);
    }
  } catch (...) {
    write.ok = false;
  }
  lock.lock();
  file.busy = false;
  file.shared = write.covers - file.written > 1;
  file.written = write.covers;
  file.written_ok = write.ok;
  ++file.finished;
  file.done.notify_all();
}

// The result of the first write that began after generation was taken (or of
// a later one, which holds all that one held).
template <typename Record>
int32_t SessionStore::AwaitWrite(StoreLock& lock, uint64_t generation) {
  FileWrites& file = FileOf<Record>();
  while (file.written < generation) {
    if (file.busy) {
      file.done.wait(lock);
    } else {
      WriteNext<Record>(lock);
    }
  }
  return file.written_ok ? 1 : 0;
}

template <typename Record>
int32_t SessionStore::Store() {
  if (save_file_.load() == 0) return 1;
  trace_.DebugTrace(3, SideFile<Record>::kStoring);
  StoreLock lock(session_lock_);
  const int32_t result = AwaitWrite<Record>(lock, ++FileOf<Record>().taken);
  lock.unlock();
  if (result == 0) trace_.DebugTrace(2, SideFile<Record>::kStoreFailed, PathOf<Record>());
  return result;
}

// ---- Restore ----

// The restored set becomes the saved set; the set saved before is retired:
// released, and freed (its buffers left to the profile modules that hold
// them) now or by the last enumeration that holds one. All or nothing.
template <typename Record>
void SessionStore::InstallRestored(SavedSessions<Record>& restored, std::vector<Record*>* to_free) {
  auto& held = Held<Record>();
  auto& saved = Saved<Record>();
  to_free->reserve(saved.size());
  held.reserve(held.size() + restored.size());
  // Each entry keeps its place in memory through the exchange, and so its key.
  for (auto entry = restored.begin(); entry != restored.end(); ++entry) {
    try {
      Hold(entry->second, &entry->first);
    } catch (...) {
      for (auto undo = restored.begin(); undo != entry; ++undo) held.erase(undo->second);
      throw;
    }
  }
  std::swap(restored, saved);
  ++FileOf<Record>().set_changes;
  for (auto& entry : restored) {
    held.erase(entry.second);
    if (Retire(entry.second)) to_free->push_back(entry.second);
  }
  restored.clear();
}

// The file is read and parsed with no lock held. Then, in one step under the
// lock, the rewrite's bytes are made from the saved set as it stands before
// the exchange, their generation is taken, and the restored set is installed.
// When the file already holds those bytes and nothing was written since it
// was read, the rewrite would change nothing and is left out.
template <typename Record>
int32_t SessionStore::Restore() {
  using File = SideFile<Record>;
  trace_.DebugTrace(3, File::kRestoring);
  FileWrites& file = FileOf<Record>();
  uint64_t finished_before = 0;
  {
    StoreLock lock(session_lock_);
    finished_before = file.finished;
  }
  RestoredSet<Record> restored(env_, settings_, trace_);
  FileRead read;
  persist::LoadResult loaded = persist::LoadResult::kNotLoaded;
  // A file larger than the reader takes is refused from its size, unread.
  if (env_->ReadFile(PathOf<Record>(), persist::kMaxFileBytes, &read).ok()) {
    loaded = File::Read(read.units(), read.bytes(), restored).result;
  }
  if (loaded != persist::LoadResult::kLoaded) {
    restored.Discard();
    trace_.DebugTrace(2, File::kLoadFailed, PathOf<Record>());
    return loaded == persist::LoadResult::kNoSessions ? 1 : 0;
  }
  restored.TraceKeys();

  std::vector<Record*> to_free;
  uint64_t generation = 0;
  bool rewrite_failed = false;
  {
    StoreLock lock(session_lock_);
    std::unique_ptr<persist::SessionText> rewrite;
    try {
      const bool unchanged = !file.busy && file.written == file.taken &&
                             file.finished == finished_before &&
                             FileHolds<Record>(read.units(), read.bytes());
      if (!unchanged) {
        rewrite = std::make_unique<persist::SessionText>();
        FileBytes<Record>(rewrite.get());
      }
    } catch (const std::bad_alloc&) {
      rewrite.reset();
      rewrite_failed = true;
    }
    InstallRestored(restored.map(), &to_free);
    if (rewrite != nullptr) {
      generation = ++file.taken;
      file.rewrite_generation = generation;
      file.rewrite = std::move(rewrite);
    }
  }
  for (Record* record : to_free) RecordKind<Record>::Free(record);
  trace_.DebugTrace(3, File::kStoring);
  if (generation != 0) {
    StoreLock lock(session_lock_);
    rewrite_failed = AwaitWrite<Record>(lock, generation) == 0;
  }
  if (rewrite_failed) trace_.DebugTrace(2, File::kStoreFailed, PathOf<Record>());
  return 1;
}

int32_t SessionStore::StoreClientSession() noexcept try {
  return Store<ClientSession>();
} catch (...) {
  return 0;
}

int32_t SessionStore::StoreServerSession() noexcept try {
  return Store<ServerSession>();
} catch (...) {
  return 0;
}

int32_t SessionStore::RestoreClientSession() noexcept try {
  return Restore<ClientSession>();
} catch (...) {
  return 0;
}

int32_t SessionStore::RestoreServerSession() noexcept try {
  return Restore<ServerSession>();
} catch (...) {
  return 0;
}

}  // namespace obexses
