#include "tools/obexsesctl/session_files.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/durable_file.h"
#include "records/record_paths.h"
#include "registry/keys.h"
#include "text/wide.h"

namespace obexsesctl {

namespace persist = obexses::persist;
namespace platform = obexses::platform;

namespace {

constexpr std::u16string_view kEndTag = u"</session>";
constexpr std::u16string_view kStartTag = u"<session";

const char16_t* TopElement(Side side) {
  return side == Side::kClient ? u"client_session" : u"server_session";
}

// Calls f with the record of a readable session, client or server.
template <typename F>
auto WithRecord(const Session& session, F f) {
  return session.client != nullptr ? f(*session.client) : f(*session.server);
}

// "<session" followed by a blank or ">", from position on; npos when none.
size_t FindStartTag(std::u16string_view units, size_t position) {
  for (;;) {
    position = units.find(kStartTag, position);
    if (position == std::u16string_view::npos) return position;
    const size_t after = position + kStartTag.size();
    if (after < units.size() && (units[after] == u' ' || units[after] == u'>')) return position;
    position = after;
  }
}

// Collects each record (or null) as a session of side, held by member; what
// turns out not to count is dropped again.
template <typename RecordPtr>
class Collector final : public persist::SessionSink<RecordPtr> {
 public:
  Collector(Side side, RecordPtr Session::*member, std::vector<Session>* sessions)
      : side_(side), member_(member), sessions_(sessions) {}
  void Take(RecordPtr record, persist::ElementSpan) override {
    Session session;
    session.side = side_;
    session.*member_ = std::move(record);
    sessions_->push_back(std::move(session));
  }
  void Discard() override { sessions_->clear(); }

 private:
  Side side_;
  RecordPtr Session::*member_;
  std::vector<Session>* sessions_;
};

// Reads a text of side into sessions.
persist::LoadResult ReadText(Side side, std::u16string_view units, size_t bytes,
                             std::vector<Session>* sessions) {
  if (side == Side::kClient) {
    Collector<persist::ClientRecordDeepPtr> sink(side, &Session::client, sessions);
    return persist::ReadClientFile(units, bytes, sink).result;
  }
  Collector<persist::ServerRecordDeepPtr> sink(side, &Session::server, sessions);
  return persist::ReadServerFile(units, bytes, sink).result;
}

}  // namespace

const char* SideName(Side side) {
  return side == Side::kClient ? "client" : "server";
}

const char* FateText(Fate fate) {
  switch (fate) {
    case Fate::kKept:
      return "kept";
    case Fate::kObsolete:
      return "obsolete";
    case Fate::kNoName:
      return "no name";
    case Fate::kRepeatedKey:
      return "repeated key";
    case Fate::kUnreadableProfile:
      return "unreadable profile";
    case Fate::kDamaged:
      return "damaged";
    case Fate::kCutOff:
      return "cut off";
  }
  return "?";
}

const char* TransferText(TransferState state) {
  switch (state) {
    case TransferState::kNone:
      return "-";
    case TransferState::kUnchanged:
      return "unchanged";
    case TransferState::kChanged:
      return "changed";
    case TransferState::kMissing:
      return "missing";
  }
  return "?";
}

const uint8_t* Session::bytes() const {
  return client != nullptr ? reinterpret_cast<const uint8_t*>(client.get())
                           : reinterpret_cast<const uint8_t*>(server.get());
}

uint32_t Session::profile() const {
  return WithRecord(*this, [](const auto& record) { return record.profile_id; });
}

int64_t Session::created() const {
  return WithRecord(*this, [](const auto& record) { return record.create_time_stamp; });
}

uint32_t Session::amount() const {
  return WithRecord(*this, [](const auto& record) { return record.FO_amount; });
}

uint32_t Session::length() const {
  return WithRecord(*this, [](const auto& record) { return record.FO_fileLen; });
}

std::u16string Session::Key() const {
  if (client != nullptr) {
    return obexses::BuildClientKey(client->bdaddr, client->file_name, client->profile_id);
  }
  return obexses::BuildServerKey(server->session_id);
}

std::u16string Session::TransferPath() const {
  char16_t path[OBEXSES_NAME_UNITS] = {};
  if (client != nullptr) {
    obexses::records::ClientTransferFilePath(client.get(), path);
  } else {
    obexses::records::ServerTransferFilePath(server.get(), path);
  }
  return std::u16string(obexses::text::FixedView(path, OBEXSES_NAME_UNITS));
}

// As the library's transfer-file checks: missing, or a last-write time whose
// low 32 bits differ from the one the save took.
TransferState Session::Transfer(platform::Env* env) const {
  const std::u16string path = TransferPath();
  if (path.empty()) return TransferState::kNone;
  if (!env->PathExists(path)) return TransferState::kMissing;
  platform::FileAttributes attributes;
  env->Attributes(path, &attributes);
  const uint32_t saved = WithRecord(*this, [](const auto& record) { return record.FO_timeStamp; });
  return static_cast<uint32_t>(attributes.last_write_time) == saved ? TransferState::kUnchanged
                                                                    : TransferState::kChanged;
}

Fate StartUpRule::Judge(const Session& session) {
  if (session.readable() && Obsolete(session.created())) return Fate::kObsolete;
  return JudgeKey(session);
}

Fate StartUpRule::JudgeKey(const Session& session) {
  if (!session.readable()) return Fate::kUnreadableProfile;
  std::u16string key = session.Key();
  if (key.empty()) return Fate::kNoName;
  if (!keys_.insert(std::move(key)).second) return Fate::kRepeatedKey;
  return Fate::kKept;
}

const char* FileStateName(FileState state) {
  switch (state) {
    case FileState::kMissing:
      return "missing";
    case FileState::kUnreadable:
      return "unreadable";
    case FileState::kNotLoaded:
      return "not_loaded";
    case FileState::kNoTopElement:
      return "no_top_element";
    case FileState::kLoaded:
      return "loaded";
  }
  return "?";
}

std::string FileStateText(FileState state, Side side) {
  switch (state) {
    case FileState::kMissing:
      return "not there";
    case FileState::kUnreadable:
      return "cannot be read";
    case FileState::kNotLoaded:
      return "does not load";
    case FileState::kNoTopElement:
      return std::string("has no ") + obexses::text::ToUtf8(TopElement(side)) + " element";
    case FileState::kLoaded:
      return "loads";
  }
  return "?";
}

SessionFile ReadSessionFile(platform::Env* env, Side side, const std::u16string& path,
                            int64_t threshold, int first_index) {
  SessionFile file;
  file.side = side;
  file.path = path;
  if (!platform::ReadFileUnits(env, path, persist::kMaxFileBytes, &file.units, &file.bytes).ok()) {
    file.state = env->PathExists(path) ? FileState::kUnreadable : FileState::kMissing;
    return file;
  }
  StartUpRule rule(threshold);
  int index = first_index;
  const persist::LoadResult result = ReadText(side, file.units, file.bytes, &file.sessions);
  for (Session& session : file.sessions) {
    session.index = index++;
    session.fate = rule.Judge(session);
  }
  file.state = result == persist::LoadResult::kLoaded       ? FileState::kLoaded
               : result == persist::LoadResult::kNoSessions ? FileState::kNoTopElement
                                                            : FileState::kNotLoaded;
  return file;
}

std::u16string SessionFolder(const std::u16string& app_data) {
  return app_data + u"\\Velmora\\Session";
}

std::u16string SessionFilePath(const std::u16string& app_data, Side side) {
  return SessionFolder(app_data) +
         (side == Side::kClient ? u"\\ClientSession.xml" : u"\\ServerSession.xml");
}

std::u16string TempListPath(const std::u16string& app_data) {
  return app_data + u"\\Velmora\\tmp_lst";
}

std::u16string PathFromArgument(const std::string& argument) {
  return obexses::text::FromUtf8(argument);
}

std::optional<Side> SideOfFile(std::u16string_view units, std::u16string_view path) {
  const size_t client = units.find(u"<client_session>");
  const size_t server = units.find(u"<server_session>");
  if (client != server) return client < server ? Side::kClient : Side::kServer;
  const size_t slash = path.find_last_of(u"\\/");
  const std::u16string_view name = path.substr(slash == path.npos ? 0 : slash + 1);
  if (obexses::text::EqualsAsciiNoCase(name, u"ClientSession.xml")) return Side::kClient;
  if (obexses::text::EqualsAsciiNoCase(name, u"ServerSession.xml")) return Side::kServer;
  return std::nullopt;
}

std::vector<Piece> SessionPieces(std::u16string_view units) {
  std::vector<Piece> pieces;
  size_t start = FindStartTag(units, 0);
  while (start != std::u16string_view::npos) {
    const size_t next = FindStartTag(units, start + 1);
    const size_t end = units.find(kEndTag, start);
    if (end != std::u16string_view::npos && end < next) {
      pieces.push_back({start, end + kEndTag.size(), true});
      start = FindStartTag(units, end + kEndTag.size());
    } else {
      pieces.push_back({start, std::min(next, units.size()), false});
      start = next;
    }
  }
  return pieces;
}

Session ReadPiece(std::u16string_view units, const Piece& piece, Side side) {
  Session read;
  read.side = side;
  read.fate = piece.complete ? Fate::kDamaged : Fate::kCutOff;
  if (!piece.complete) return read;
  std::u16string text = u"\uFEFF<?xml version=\"1.0\"?>\n<";
  text += TopElement(side);
  text += u">";
  text += units.substr(piece.begin, piece.end - piece.begin);
  text += u"</";
  text += TopElement(side);
  text += u">";
  std::vector<Session> sessions;
  const persist::LoadResult result = ReadText(side, text, 2 * text.size(), &sessions);
  if (result != persist::LoadResult::kLoaded || sessions.size() != 1) {
    read = Session();
    read.side = side;
    read.fate = Fate::kDamaged;
  } else {
    read = std::move(sessions.front());
    read.fate = read.readable() ? Fate::kKept : Fate::kUnreadableProfile;
  }
  return read;
}

std::unique_ptr<platform::FileLock> LockStore(platform::Env* env, const std::u16string& path) {
  std::unique_ptr<platform::FileLock> lock;
  platform::LockForReplace(env, path, std::chrono::milliseconds(0), &lock);
  return lock;
}

}  // namespace obexsesctl
