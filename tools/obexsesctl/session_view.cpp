// SPDX-License-Identifier: MIT
// How a session file and its sessions are shown: names of states and fates,
// the rows of a table, JSON.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <span>

#include "persist/session_file.h"
#include "text/wide.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {

namespace persist = obexses::persist;
namespace platform = obexses::platform;
using obexses::Fate;

namespace {

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

}  // namespace

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

std::vector<const Session*> SessionsOf(std::span<const SessionFile> files) {
  std::vector<const Session*> sessions;
  for (const SessionFile& file : files) {
    for (const Session& session : file.sessions) sessions.push_back(&session);
  }
  return sessions;
}

void PrintSessions(const Context& context, const std::vector<const Session*>& sessions,
                   const char* last_column,
                   const std::function<std::string(const Session&)>& outcome, std::FILE* out) {
  if (sessions.empty()) return;
  Table table({"#", "SIDE", "PROFILE", "DEVICE", "NAME OR SESSION ID", "CREATED", "AGE", "DONE",
               "TRANSFER FILE", last_column});
  for (const Session* session : sessions) {
    std::vector<std::string> row = SessionCells(context, *session);
    row.push_back(outcome(*session));
    table.Add(std::move(row));
  }
  table.Print(out);
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
