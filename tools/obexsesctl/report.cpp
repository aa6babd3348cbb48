#include "tools/obexsesctl/report.h"

#include <cstdio>

#include "platform/platform.h"
#include "settings/settings.h"
#include "text/wide.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {

int64_t Context::Threshold() const {
  // Level 0: the tool shows no trace.
  const obexses::DebugTracer silent(obexses::platform::DebugOutput::Default());
  return now - static_cast<int64_t>(
                   obexses::ReadObsoleteAge(obexses::platform::SettingsStore::Default(), silent));
}

int64_t Context::AgeOf(int64_t created) const {
  int64_t age = 0;
  if (!__builtin_sub_overflow(now, created, &age)) return age;
  return created < 0 ? INT64_MAX : INT64_MIN;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "obexsesctl: %s\n", message.c_str());
}

void PrintJson(const Json& value) {
  std::fputs(value.Print().c_str(), stdout);
}

bool FindAppData(const Context& context, std::u16string* folder) {
  if (!context.invocation.data.empty()) {
    *folder = PathFromArgument(context.invocation.data);
    // A mistyped folder would read as one without sessions.
    if (context.env->PathExists(*folder)) return true;
    PrintError("there is no folder " + context.invocation.data);
    return false;
  }
  if (context.env->AppDataFolder(folder).ok()) return true;
  PrintError("cannot find the current user's application-data folder; give --data DIR");
  return false;
}

std::vector<SessionFile> ReadBothFiles(const Context& context, const std::u16string& app_data) {
  const int64_t threshold = context.Threshold();
  std::vector<SessionFile> files;
  int next = 1;
  for (const Side side : {Side::kClient, Side::kServer}) {
    files.push_back(
        ReadSessionFile(context.env, side, SessionFilePath(app_data, side), threshold, next));
    next += static_cast<int>(files.back().sessions.size());
  }
  return files;
}

std::string ProfileName(uint32_t profile) {
  if (profile == OBEXSES_PROFILE_OPP) return "OPP";
  if (profile == OBEXSES_PROFILE_FTP) return "FTP";
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", profile);
  return text;
}

namespace {

// Client sessions are named; server sessions go by their id.
std::string NameOrId(const Session& session) {
  if (session.client != nullptr) {
    return Utf8(obexses::text::FixedView(session.client->file_name, OBEXSES_NAME_UNITS));
  }
  return LowerHex(session.server->session_id, sizeof session.server->session_id);
}

}  // namespace

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
  cells.push_back(ProfileName(session.profile()));
  cells.push_back(session.client != nullptr ? DeviceAddress(session.client->bdaddr) : "-");
  cells.push_back(NameOrId(session));
  // A creation time no calendar shows (a damaged file's) has no age either.
  const std::string created = LocalTime(session.created());
  cells.push_back(created);
  cells.push_back(created == "?" ? "?" : Span(context.AgeOf(session.created())));
  cells.push_back(std::to_string(session.amount()) + "/" + std::to_string(session.length()));
  cells.push_back(TransferText(session.Transfer(context.env)));
  return cells;
}

std::string StartUpText(Fate fate) {
  return fate == Fate::kKept ? "kept" : std::string("dropped: ") + FateText(fate);
}

Json SessionJson(const Context& context, const Session& session) {
  Json json = Json::Object();
  json.Set("index", session.index).Set("side", SideName(session.side));
  json.Set("readable", session.readable());
  if (session.readable()) {
    const TransferState transfer = session.Transfer(context.env);
    json.Set("profile", ProfileName(session.profile()))
        .Set("profile_id", session.profile())
        .Set("device",
             session.client != nullptr ? Json(DeviceAddress(session.client->bdaddr)) : Json())
        .Set("name", session.client != nullptr ? Json(NameOrId(session)) : Json())
        .Set("session_id", session.server != nullptr ? Json(NameOrId(session)) : Json())
        .Set("key", Utf8(session.Key()))
        .Set("created", session.created())
        .Set("created_local", LocalTime(session.created()))
        .Set("age_seconds", context.AgeOf(session.created()))
        .Set("bytes_done", session.amount())
        .Set("bytes_total", session.length())
        .Set("transfer_file", transfer == TransferState::kNone ? "none" : TransferText(transfer));
  }
  json.Set("fate", FateText(session.fate));
  return json;
}

Json FileJson(const SessionFile& file) {
  Json json = Json::Object();
  json.Set("side", SideName(file.side))
      .Set("path", ShownPath(file.path))
      .Set("state", FileStateName(file.state));
  return json;
}

}  // namespace obexsesctl
