// SPDX-License-Identifier: MIT
#include "tools/obexsesctl/session_files.h"

#include <fmt/format.h>

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

}  // namespace

const char* SideName(Side side) {
  return side == Side::kClient ? "client" : "server";
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

}  // namespace obexsesctl
