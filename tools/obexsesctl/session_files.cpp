#include "tools/obexsesctl/session_files.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <span>
#include <utility>

#include "platform/file_names.h"
#include "records/record_paths.h"
#include "registry/keys.h"
#include "text/wide.h"
#include "tools/obexsesctl/commands.h"

namespace obexsesctl {

namespace persist = obexses::persist;
namespace platform = obexses::platform;
using obexses::Fate;

namespace {

// Keeps every session element the reader completes, and where the ones that
// never complete began. What a file that does not load held still counts
// here: its reading says that the start-up restores none of it.
template <typename RecordPtr>
class Collector final : public persist::SessionSink<RecordPtr> {
 public:
  explicit Collector(SessionFile* file) : file_(file) {}
  void Take(RecordPtr record, persist::ElementSpan where) override {
    Session& session = file_->sessions.emplace_back();
    session.side = file_->side;
    session.span = where;
    if constexpr (std::is_same_v<RecordPtr, persist::ClientRecordDeepPtr>) {
      session.client = std::move(record);
    } else {
      session.server = std::move(record);
    }
  }
  void Lost(size_t begin) override { file_->lost.push_back(begin); }
  void Discard() override {}

 private:
  SessionFile* file_;
};

persist::ReadResult ReadText(SessionFile* file) {
  if (file->side == Side::kClient) {
    Collector<persist::ClientRecordDeepPtr> sink(file);
    return persist::ReadClientFile(file->units, file->bytes, sink);
  }
  Collector<persist::ServerRecordDeepPtr> sink(file);
  return persist::ReadServerFile(file->units, file->bytes, sink);
}

// The encoding of a file that is not the UTF-16LE the library reads, told by
// its byte-order mark or by text without the zero bytes of UTF-16; null for
// UTF-16LE and for anything else, which the reader judges.
const char* ForeignEncoding(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) return nullptr;
  if (bytes.starts_with("\xFE\xFF") || (bytes.size() >= 2 && bytes[0] == 0 && bytes[1] != 0)) {
    return "UTF-16BE";
  }
  const std::string_view text = bytes.substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != text.npos && text[first] == '<' && text.find('\0') == text.npos) return "UTF-8";
  return nullptr;
}

template <typename Record, typename RecordPtr>
void JudgeSide(std::vector<Session>& sessions, RecordPtr Session::*member,
               std::function<int64_t()> threshold) {
  obexses::RestoreRule<Record> rule(std::move(threshold));
  typename obexses::RestoreRule<Record>::Key key;
  for (Session& session : sessions) session.fate = rule.Judge((session.*member).get(), &key);
}

std::string ProfileName(uint32_t profile) {
  if (profile == OBEXSES_PROFILE_OPP) return "OPP";
  if (profile == OBEXSES_PROFILE_FTP) return "FTP";
  return fmt::format("{:#06x}", profile);
}

std::string DeviceOf(const Session& session) {
  return session.client == nullptr
             ? "-"
             : fmt::format("{:02x}", fmt::join(std::span(session.client->bdaddr, 6), ":"));
}

// Client sessions are named; server sessions go by their id.
std::string NameOrId(const Session& session) {
  if (session.client != nullptr) {
    return Utf8(obexses::text::FixedView(session.client->file_name, OBEXSES_NAME_UNITS));
  }
  return fmt::format("{:02x}", fmt::join(session.server->session_id, ""));
}

}  // namespace

const char* SideName(Side side) {
  return side == Side::kClient ? "client" : "server";
}

const char* FateName(std::optional<Fate> fate) {
  if (!fate) return "not_loaded";
  switch (*fate) {
    case Fate::kKept:
      return "kept";
    case Fate::kUnreadable:
      return "unreadable";
    case Fate::kObsolete:
      return "obsolete";
    case Fate::kNoKey:
      return "no_key";
    case Fate::kRepeatedKey:
      return "repeated_key";
  }
  return "?";
}

std::string ReasonText(Fate fate) {
  if (fate == Fate::kUnreadable) return "unreadable profile";
  std::string reason = FateName(fate);
  std::replace(reason.begin(), reason.end(), '_', ' ');
  return reason;
}

std::string StartUpText(std::optional<Fate> fate) {
  if (!fate) return "lost: the file does not load";
  return *fate == Fate::kKept ? "kept" : "dropped: " + ReasonText(*fate);
}

const char* TransferName(obexses::FileState state) {
  switch (state) {
    case obexses::FileState::kNoPath:
      return "no_path";
    case obexses::FileState::kMissing:
      return "missing";
    case obexses::FileState::kChanged:
      return "changed";
    case obexses::FileState::kUnchanged:
      return "unchanged";
  }
  return "?";
}

const char* ReadingName(Reading reading) {
  static constexpr const char* kNames[] = {"missing",    "unreadable",     "wrong_encoding",
                                           "not_loaded", "no_top_element", "loaded"};
  return kNames[static_cast<int>(reading)];
}

std::string Session::Key() const {
  if (client != nullptr) return Utf8(obexses::ClientRecordKey(client.get()).view());
  return Utf8(obexses::ServerKeyOf(server->session_id).view());
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

obexses::FileState Session::Transfer(platform::Env* env) const {
  const std::u16string path = TransferPath();
  return obexses::CheckFile(env, path.c_str(),
                            WithRecord([](const auto& record) { return record.FO_timeStamp; }));
}

Json SessionFile::At(size_t unit) const {
  const std::u16string_view before = std::u16string_view(units).substr(0, unit);
  const size_t line_start = before.rfind(u'\n') + 1;  // 0 on the first line
  const size_t mark = line_start == 0 && units.starts_with(u'\uFEFF') ? 1 : 0;
  return {{"line", std::count(before.begin(), before.end(), u'\n') + 1},
          {"column", unit - line_start - mark + 1}};
}

std::string SessionFile::Where(size_t unit) const {
  const Json at = At(unit);
  return fmt::format("line {}, column {}", at["line"].get<size_t>(), at["column"].get<size_t>());
}

std::string SessionFile::Trouble(platform::Env* env) const {
  switch (reading) {
    case Reading::kUnreadable:
      return env->Describe(status);
    case Reading::kForeignEncoding:
      return fmt::format("is {}, not UTF-16LE", encoding);
    case Reading::kNotLoaded:
      return "does not load";
    case Reading::kNoTopElement:
      return fmt::format("has no {} element", side_known ? Utf8(persist::TopElementName(side))
                                                         : "client_session or server_session");
    default:
      return "";
  }
}

SessionFile ReadSessionFile(platform::Env* env, Side side, std::u16string path, int first_index) {
  SessionFile file;
  file.side = side;
  file.path = std::move(path);
  file.status =
      platform::ReadFileUnits(env, file.path, persist::kMaxFileBytes, &file.units, &file.bytes);
  if (!file.status.ok()) {
    const bool missing = file.status.kind() == platform::Status::Kind::kNotFound;
    file.reading = missing ? Reading::kMissing : Reading::kUnreadable;
    return file;
  }
  file.encoding = ForeignEncoding({reinterpret_cast<const char*>(file.units.data()), file.bytes});
  if (file.encoding != nullptr) {
    file.reading = Reading::kForeignEncoding;
    return file;
  }
  const persist::ReadResult read = ReadText(&file);
  file.stopped_at = read.stopped_at;
  file.reading = read.result == persist::LoadResult::kLoaded       ? Reading::kLoaded
                 : read.result == persist::LoadResult::kNoSessions ? Reading::kNoTopElement
                                                                   : Reading::kNotLoaded;
  for (Session& session : file.sessions) session.index = first_index++;
  return file;
}

void Judge(SessionFile* file, std::function<int64_t()> threshold, bool every) {
  if (file->reading != Reading::kLoaded && !every) return;
  if (file->side == Side::kClient) {
    JudgeSide<ClientSession>(file->sessions, &Session::client, std::move(threshold));
  } else {
    JudgeSide<ServerSession>(file->sessions, &Session::server, std::move(threshold));
  }
}

std::vector<SessionFile> ReadBothFiles(const Context& context, const std::u16string& app_data) {
  std::vector<SessionFile> files;
  int next = 1;
  for (const Side side : {Side::kClient, Side::kServer}) {
    files.push_back(
        ReadSessionFile(context.env, side,
                        platform::names::SessionFilePath(app_data, side == Side::kClient), next));
    Judge(&files.back(), [&context] { return context.Threshold(); });
    next += static_cast<int>(files.back().sessions.size());
  }
  return files;
}

bool ReadGivenFile(const Context& context, SessionFile* file) {
  const std::u16string path = PathArgument(context.options.operand);
  *file = ReadSessionFile(context.env, Side::kClient, path, 1);
  if (!file->status.ok()) {
    PrintFailure(context.env, path, file->status);
    return false;
  }
  std::optional<Side> side = SideOfFile(file->units, path);
  if (!context.options.side.empty()) {
    side = context.options.side == "client" ? Side::kClient : Side::kServer;
  }
  // A text that opens neither top element holds no session of either side.
  if (side == Side::kServer) *file = ReadSessionFile(context.env, *side, path, 1);
  file->side_known = side.has_value();
  return true;
}

bool ReportTrouble(const Context& context, const SessionFile& file) {
  if (!file.Problem()) return false;
  if (file.reading == Reading::kUnreadable) {
    PrintFailure(context.env, file.path, file.status);
  } else {
    PrintError(
        fmt::format("{}: {}; the next start-up restores none of it (obexsesctl verify "
                    "says more)",
                    ShownPath(file.path), file.Trouble(context.env)));
  }
  return true;
}

std::vector<std::string> Losses(const SessionFile& file) {
  std::vector<std::string> lines;
  if (file.reading != Reading::kNotLoaded) return lines;
  for (const size_t begin : file.lost) {
    lines.push_back(fmt::format("the session element at {} never completes", file.Where(begin)));
  }
  if (!file.lost.empty()) return lines;
  if (file.sessions.empty()) {
    lines.push_back("no session element of it reads whole");
  } else {
    lines.push_back(
        fmt::format("nothing after {}, where its last whole session element ends, "
                    "reads as one",
                    file.Where(file.sessions.back().span.end)));
  }
  return lines;
}

std::optional<Side> SideOfFile(std::u16string_view units, std::u16string_view path) {
  const auto opens = [units](Side side) {
    return units.find(u"<" + std::u16string(persist::TopElementName(side)) + u">");
  };
  const size_t client = opens(Side::kClient), server = opens(Side::kServer);
  if (client != server) return client < server ? Side::kClient : Side::kServer;
  const std::u16string_view name =
      platform::names::NameOf(path.substr(path.find_last_of(u'/') + 1));
  if (obexses::text::EqualsAsciiNoCase(name, platform::names::kClientFileName))
    return Side::kClient;
  if (obexses::text::EqualsAsciiNoCase(name, platform::names::kServerFileName))
    return Side::kServer;
  return std::nullopt;
}

std::vector<std::string> SessionHeader(const char* last_column) {
  return {"#",       "SIDE", "PROFILE", "DEVICE",        "NAME OR SESSION ID",
          "CREATED", "AGE",  "DONE",    "TRANSFER FILE", last_column};
}

std::vector<std::string> SessionCells(const Context& context, const Session& session) {
  std::vector<std::string> cells = {std::to_string(session.index), SideName(session.side)};
  if (!session.readable()) {
    cells.insert(cells.end(), 7, "-");
    return cells;
  }
  const auto& [profile, created, amount, length] = session.WithRecord([](const auto& record) {
    return std::tuple(record.profile_id, record.create_time_stamp, record.FO_amount,
                      record.FO_fileLen);
  });
  // A creation time that no calendar shows (a damaged file's) has no age either.
  const std::string local = LocalTime(created);
  const obexses::FileState transfer = session.Transfer(context.env);
  cells.insert(
      cells.end(),
      {ProfileName(profile), DeviceOf(session), NameOrId(session), local,
       local == "?" ? "?" : Span(context.AgeOf(created)), fmt::format("{}/{}", amount, length),
       transfer == obexses::FileState::kNoPath ? "-" : TransferName(transfer)});
  return cells;
}

Json SessionJson(const Context& context, const Session& session) {
  Json json = {{"index", session.index}, {"side", SideName(session.side)}};
  json["readable"] = session.readable();
  if (session.readable()) {
    session.WithRecord([&](const auto& record) {
      json["profile"] = ProfileName(record.profile_id);
      json["profile_id"] = record.profile_id;
      json["device"] = session.client ? Json(DeviceOf(session)) : Json();
      json["name"] = session.client ? Json(NameOrId(session)) : Json();
      json["session_id"] = session.server ? Json(NameOrId(session)) : Json();
      const std::string key = session.Key();
      json["key"] = key.empty() ? Json() : Json(key);
      json["created"] = record.create_time_stamp;
      json["created_local"] = LocalTime(record.create_time_stamp);
      json["age_seconds"] = context.AgeOf(record.create_time_stamp);
      json["bytes_done"] = record.FO_amount;
      json["bytes_total"] = record.FO_fileLen;
    });
    const std::u16string transfer = session.TransferPath();
    json["transfer_file"] = transfer.empty() ? Json() : Json(ShownPath(transfer));
    json["transfer_state"] = TransferName(session.Transfer(context.env));
  }
  json["fate"] = FateName(session.fate);
  return json;
}

Json FileJson(const Context& context, const SessionFile& file) {
  Json json = {{"side", SideName(file.side)},
               {"path", ShownPath(file.path)},
               {"state", ReadingName(file.reading)}};
  if (file.reading == Reading::kUnreadable) json["error"] = file.Trouble(context.env);
  if (file.reading == Reading::kForeignEncoding) json["encoding"] = file.encoding;
  if (file.reading == Reading::kNotLoaded || file.reading == Reading::kNoTopElement) {
    Json incomplete = Json::array();
    for (const size_t begin : file.lost) incomplete.push_back(file.At(begin));
    json["incomplete_elements"] = std::move(incomplete);
    json["stopped_at"] = file.At(file.stopped_at);
  }
  return json;
}

}  // namespace obexsesctl
