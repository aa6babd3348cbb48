// show: every stored field of one session, walked through the field tables
// the library's writer and reader use, decoded where a person reads that
// better.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "persist/record_fields.h"
#include "persist/value_codec.h"
#include "text/wide.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace {

namespace persist = obexses::persist;

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// The hex digits of a value as the file stores them.
std::string StoredHex(const uint8_t* bytes, size_t width) {
  std::unique_ptr<char16_t, FreeDeleter> digits(
      persist::BinToHex(bytes, static_cast<int32_t>(width)));
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
  if (name == u"bdaddr") return DeviceAddress(at);
  if (name == u"create_time_stamp") {
    const auto created = static_cast<int64_t>(LittleEndian(at, 8));
    return std::to_string(created) + " (" + LocalTime(created) + ", age " +
           Span(context.AgeOf(created)) + ")";
  }
  if (field.width > 4) return StoredHex(at, field.width);
  const uint64_t value = LittleEndian(at, field.width);
  if (name == u"profile_id") {
    return std::to_string(value) + " (" + ProfileName(static_cast<uint32_t>(value)) + ")";
  }
  if (name.substr(0, 3) == u"m_l") return static_cast<int64_t>(static_cast<int32_t>(value));
  return static_cast<int64_t>(value);
}

// A buffer value's length and its block's digits (empty for no block).
std::pair<uint16_t, std::string> BufferAt(const persist::Field& field, const uint8_t* record) {
  uint16_t length = 0;
  std::memcpy(&length, record + field.offset, sizeof length);
  const uint8_t* block = nullptr;
  std::memcpy(&block, record + field.block_offset, sizeof block);
  return {length, length != 0 && block != nullptr ? StoredHex(block, length) : std::string()};
}

Json BufferJson(const persist::Field& field, const uint8_t* record) {
  const auto [length, digits] = BufferAt(field, record);
  Json json = Json::Object();
  json.Set("name", Utf8(field.name))
      .Set("kind", "buffer")
      .Set("length", static_cast<int>(length))
      .Set("block_name", Utf8(field.block_name))
      .Set("block", digits.empty() ? Json() : Json(digits));
  return json;
}

Json RequestsJson(const persist::Field& field, const uint8_t* record) {
  Json requests = Json::Array();
  const auto* head = reinterpret_cast<const ReqLink*>(record + field.offset);
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    const auto* entry = reinterpret_cast<const ReqEntry*>(link);
    Json request = Json::Object();
    request.Set("reqType", static_cast<int>(entry->reqType))
        .Set("text", Utf8(obexses::text::FixedView(entry->szText, OBEXSES_NAME_UNITS)));
    requests.Add(std::move(request));
  }
  Json json = Json::Object();
  json.Set("name", Utf8(field.name)).Set("kind", "requests").Set("requests", std::move(requests));
  return json;
}

Json FieldJson(const Context& context, const persist::Field& field, const uint8_t* record) {
  if (field.kind == persist::Kind::kBuffer) return BufferJson(field, record);
  if (field.kind == persist::Kind::kRequests) return RequestsJson(field, record);
  Json json = Json::Object();
  json.Set("name", Utf8(field.name));
  if (field.kind == persist::Kind::kText) {
    json.Set("kind", "text").Set("value", TextAt(record, field.offset));
  } else {
    json.Set("kind", "hex")
        .Set("stored", StoredHex(record + field.offset, field.width))
        .Set("value", DecodedHex(context, field, record + field.offset));
  }
  return json;
}

// A decoded value in the text form: numbers and strings without quotes
// (decoded values hold no character that JSON escapes).
std::string ValueText(const Json& value) {
  std::string text = value.Print();
  text.pop_back();  // the final line break
  return text.front() == '"' ? text.substr(1, text.size() - 2) : text;
}

void AddBufferRows(const persist::Field& field, const uint8_t* record, Table* table) {
  uint16_t length = 0;
  std::memcpy(&length, record + field.offset, sizeof length);
  const uint8_t* block = nullptr;
  std::memcpy(&block, record + field.block_offset, sizeof block);
  table->Add({Utf8(field.name), std::to_string(length)});
  table->Add(
      {Utf8(field.block_name), length != 0 && block != nullptr ? StoredHex(block, length) : "-"});
}

void AddRequestRows(const persist::Field& field, const uint8_t* record, Table* table) {
  const auto* head = reinterpret_cast<const ReqLink*>(record + field.offset);
  std::vector<std::vector<std::string>> rows;
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    const auto* entry = reinterpret_cast<const ReqEntry*>(link);
    rows.push_back(
        {"  req", "reqType " + std::to_string(entry->reqType) + ": " +
                      Utf8(obexses::text::FixedView(entry->szText, OBEXSES_NAME_UNITS))});
  }
  table->Add({Utf8(field.name), std::to_string(rows.size()) + " requests"});
  for (auto& row : rows) table->Add(std::move(row));
}

void AddFieldRows(const Context& context, const persist::Field& field, const uint8_t* record,
                  Table* table) {
  if (field.kind == persist::Kind::kBuffer) return AddBufferRows(field, record, table);
  if (field.kind == persist::Kind::kRequests) return AddRequestRows(field, record, table);
  table->Add(
      {Utf8(field.name), field.kind == persist::Kind::kText
                             ? TextAt(record, field.offset)
                             : ValueText(DecodedHex(context, field, record + field.offset))});
}

// Calls visit for every field of the session's layout in file order:
// attributes, the profile's part, the common tail.
template <typename Visit>
void ForEachField(const Session& session, Visit visit) {
  const auto layouts =
      session.side == Side::kClient ? persist::ClientLayouts() : persist::ServerLayouts();
  const persist::Layout* layout = persist::LayoutFor(layouts, session.profile());
  if (layout == nullptr) return;
  for (const auto group : {layout->attributes, layout->part, layout->tail}) {
    for (const persist::Field& field : group) visit(field);
  }
}

std::string TransferShown(const Context& context, const Session& session) {
  const std::u16string path = session.TransferPath();
  return path.empty() ? "-"
                      : ShownPath(path) + " (" + TransferText(session.Transfer(context.env)) + ")";
}

Json ShowJson(const Context& context, const SessionFile& file, const Session& session) {
  const std::u16string transfer = session.TransferPath();
  Json fields = Json::Array();
  ForEachField(session, [&](const persist::Field& field) {
    fields.Add(FieldJson(context, field, session.bytes()));
  });
  const TransferState state = session.Transfer(context.env);
  Json json = Json::Object();
  json.Set("index", session.index)
      .Set("side", SideName(session.side))
      .Set("file", ShownPath(file.path))
      .Set("key", Utf8(session.Key()))
      .Set("fate", FateText(session.fate))
      .Set("transfer_file", transfer.empty() ? Json() : Json(ShownPath(transfer)))
      .Set("transfer_state", state == TransferState::kNone ? "none" : TransferText(state))
      .Set("fields", std::move(fields));
  return json;
}

void PrintShowText(const Context& context, const SessionFile& file, const Session& session) {
  std::printf("session %d of %s\n", session.index, ShownPath(file.path).c_str());
  Table about({"key", Utf8(session.Key())});
  about.Add({"next start-up", StartUpText(session.fate)});
  about.Add({"transfer file", TransferShown(context, session)});
  about.Print(stdout);
  std::printf("\n");
  Table table({"FIELD", "VALUE"});
  ForEachField(session, [&](const persist::Field& field) {
    AddFieldRows(context, field, session.bytes(), &table);
  });
  table.Print(stdout);
}

const Session* Find(const std::vector<SessionFile>& files, const std::string& wanted,
                    const SessionFile** in) {
  const bool by_index = std::all_of(wanted.begin(), wanted.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
  for (const SessionFile& file : files) {
    for (const Session& session : file.sessions) {
      const bool match = by_index ? std::to_string(session.index) == wanted
                                  : session.readable() && Utf8(session.Key()) == wanted;
      if (match) {
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
  if (!FindAppData(context, &app_data)) return kExitProblems;
  const std::vector<SessionFile> files = ReadBothFiles(context, app_data);
  const std::string& wanted = context.invocation.operands.front();
  const SessionFile* file = nullptr;
  const Session* session = Find(files, wanted, &file);
  if (session == nullptr) {
    PrintError("no session " + wanted + " in " + ShownPath(SessionFolder(app_data)));
    return kExitProblems;
  }
  if (!session->readable()) {
    PrintError("session " + wanted + " is of a profile the library cannot read; it has no fields");
    return kExitProblems;
  }
  if (context.json()) {
    PrintJson(ShowJson(context, *file, *session));
  } else {
    PrintShowText(context, *file, *session);
  }
  return kExitOk;
}

}  // namespace obexsesctl
