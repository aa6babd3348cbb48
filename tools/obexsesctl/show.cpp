// SPDX-License-Identifier: MIT
// show: every stored field of one session, walked through the field tables
// that the library's writer and reader use, decoded where a person reads
// that better.
#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "persist/record_fields.h"
#include "persist/value_codec.h"
#include "text/wide.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {
namespace {

namespace persist = obexses::persist;

// The hex digits of a value as the file stores them.
std::string StoredHex(const uint8_t* bytes, size_t width) {
  const std::unique_ptr<char16_t, decltype(&std::free)> digits(
      persist::BinToHex(bytes, static_cast<int32_t>(width)), &std::free);
  if (digits == nullptr) throw std::bad_alloc();
  return Utf8(digits.get());
}

// An integer field of up to 8 bytes, least significant byte first.
uint64_t LittleEndian(const uint8_t* bytes, size_t width) {
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

std::string TextAt(const uint8_t* record, size_t offset) {
  return Utf8(obexses::text::FixedView(reinterpret_cast<const char16_t*>(record + offset),
                                       OBEXSES_NAME_UNITS));
}

// A hex value as a person reads it: the device address with colons, the
// profile by name, the creation time as local time, integers in decimal
// (m_l fields signed); wider blocks as stored.
Json DecodedHex(const Context& context, const persist::Field& field, const uint8_t* at) {
  const std::u16string_view name = field.name;
  if (name == u"bdaddr") return fmt::format("{:02x}", fmt::join(at, at + 6, ":"));
  if (name == u"create_time_stamp") {
    const auto created = static_cast<int64_t>(LittleEndian(at, 8));
    return fmt::format("{} ({}, age {})", created, LocalTime(created),
                       Span(context.AgeOf(created)));
  }
  if (field.width > 4) return StoredHex(at, field.width);
  const uint64_t value = LittleEndian(at, field.width);
  if (name == u"profile_id") {
    return fmt::format("{} ({})", value,
                       value == OBEXSES_PROFILE_OPP   ? "OPP"
                       : value == OBEXSES_PROFILE_FTP ? "FTP"
                                                      : "?");
  }
  if (name.starts_with(u"m_l")) return static_cast<int32_t>(value);
  return value;
}

Json BufferJson(const persist::Field& field, const uint8_t* record) {
  uint16_t length = 0;
  std::memcpy(&length, record + field.offset, sizeof length);
  const uint8_t* block = nullptr;
  std::memcpy(&block, record + field.block_offset, sizeof block);
  return {{"kind", "buffer"},
          {"length", length},
          {"block_name", Utf8(field.block_name)},
          {"block", length != 0 && block != nullptr ? Json(StoredHex(block, length)) : Json()}};
}

Json RequestsJson(const uint8_t* list) {
  Json requests = Json::array();
  const auto* head = reinterpret_cast<const ReqLink*>(list);
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    const auto* entry = reinterpret_cast<const ReqEntry*>(link);
    requests.push_back(
        {{"req_type", entry->reqType},
         {"text", Utf8(obexses::text::FixedView(entry->szText, OBEXSES_NAME_UNITS))}});
  }
  return {{"kind", "requests"}, {"requests", std::move(requests)}};
}

Json FieldJson(const Context& context, const persist::Field& field, const uint8_t* record) {
  Json json = {{"name", Utf8(field.name)}};
  if (field.kind == persist::Kind::kBuffer) {
    json.update(BufferJson(field, record));
  } else if (field.kind == persist::Kind::kRequests) {
    json.update(RequestsJson(record + field.offset));
  } else if (field.kind == persist::Kind::kText) {
    json.update({{"kind", "text"}, {"value", TextAt(record, field.offset)}});
  } else {
    json.update({{"kind", "hex"},
                 {"stored", StoredHex(record + field.offset, field.width)},
                 {"value", DecodedHex(context, field, record + field.offset)}});
  }
  return json;
}

std::string Shown(const Json& value) {
  return value.is_string() ? value.get<std::string>() : value.is_null() ? "-" : value.dump();
}

// A field in rows of the text form: a buffer's length and block, a request
// list's count and each request.
void AddRows(const Json& field, Table* table) {
  const std::string name = field["name"];
  if (field["kind"] == "buffer") {
    table->Add({name, Shown(field["length"])});
    table->Add({field["block_name"], Shown(field["block"])});
  } else if (field["kind"] == "requests") {
    table->Add({name, Count(field["requests"].size(), "request")});
    for (const Json& request : field["requests"]) {
      table->Add({"  req", fmt::format("reqType {}: {}", Shown(request["req_type"]),
                                       Shown(request["text"]))});
    }
  } else {
    table->Add({name, Shown(field["value"])});
  }
}

// Every field of the session's layout in file order: attributes, the
// profile's part, the common tail.
Json Fields(const Context& context, const Session& session) {
  const auto layouts =
      session.side == Side::kClient ? persist::ClientLayouts() : persist::ServerLayouts();
  const auto* record = session.WithRecord(
      [](const auto& value) { return reinterpret_cast<const uint8_t*>(&value); });
  const persist::Layout* layout = persist::LayoutFor(
      layouts, session.WithRecord([](const auto& value) { return value.profile_id; }));
  Json fields = Json::array();
  for (const auto group : {layout->attributes, layout->part, layout->tail}) {
    for (const persist::Field& field : group) fields.push_back(FieldJson(context, field, record));
  }
  return fields;
}

Json ShowJson(const Context& context, const SessionFile& file, const Session& session) {
  const std::u16string transfer = session.TransferPath();
  return {{"index", session.index},
          {"side", SideName(session.side)},
          {"file", ShownPath(file.path)},
          {"key", session.Key()},
          {"fate", FateName(session.fate)},
          {"transfer_file", transfer.empty() ? Json() : Json(ShownPath(transfer))},
          {"transfer_state", TransferName(session.Transfer(context.env))},
          {"fields", Fields(context, session)}};
}

void PrintShowText(const Json& shown, const Session& session) {
  fmt::print("session {} of {}\n", Shown(shown["index"]), Shown(shown["file"]));
  Table about({"key", shown["key"]});
  about.Add({"next start-up", StartUpText(session.fate)});
  about.Add({"transfer file", shown["transfer_file"].is_null()
                                  ? "-"
                                  : fmt::format("{} ({})", Shown(shown["transfer_file"]),
                                                Shown(shown["transfer_state"]))});
  about.Print();
  fmt::print("\n");
  Table table({"FIELD", "VALUE"});
  for (const Json& field : shown["fields"]) AddRows(field, &table);
  table.Print();
}

const Session* Find(const std::vector<SessionFile>& files, const std::string& wanted,
                    const SessionFile** in) {
  const bool by_index =
      std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; });
  for (const SessionFile& file : files) {
    for (const Session& session : file.sessions) {
      if (by_index ? std::to_string(session.index) == wanted
                   : session.readable() && session.Key() == wanted) {
        *in = &file;
        return &session;
      }
    }
  }
  return nullptr;
}

}  // namespace

int RunShow(const Context& context) {
  std::u16string app_data;
  if (!context.AppData(&app_data)) return kExitProblems;
  const std::vector<SessionFile> files = ReadBothFiles(context, app_data);
  bool problems = false;
  for (const SessionFile& file : files) {
    if (file.reading == Reading::kUnreadable) problems |= ReportTrouble(context, file);
  }
  const std::string& wanted = context.options.operand;
  const SessionFile* file = nullptr;
  const Session* session = Find(files, wanted, &file);
  if (session == nullptr) {
    if (!problems) PrintError(fmt::format("there is no session {}", wanted));
    return kExitProblems;
  }
  if (!session->readable()) {
    PrintError(fmt::format("session {} is of a profile the library cannot read; it has no fields",
                           wanted));
    return kExitProblems;
  }
  const Json shown = ShowJson(context, *file, *session);
  if (context.options.json) {
    PrintJson(shown);
  } else {
    PrintShowText(shown, *session);
  }
  return kExitOk;
}

}  // namespace obexsesctl
