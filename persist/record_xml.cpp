// SPDX-License-Identifier: MIT
// Session records as session elements. Each of the four layouts (client and
// server, OPP and FTP) is a table of fields: its XML name, its offset in the
// record, its value kind and its width. One writer and one reader walk the
// tables for both sides.
#include "persist/record_xml.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "persist/block_writes.h"
#include "persist/prefetch.h"
#include "persist/record_fields.h"
#include "records/record_memory.h"

namespace obexses::persist {
namespace {

// ---- Writing ----
//
// A layout's session element is a fixed run of literal text and values: the
// writer's program for it joins the text that stands between two values (one
// value's closing part and the next one's opening part) into one literal,
// made once, so that a session is written as a few copies of literals, hex
// digits and texts into room made once for the whole element.

uint16_t BufferLength(const uint8_t* base, const Field& field) {
  uint16_t length = 0;
  std::memcpy(&length, base + field.offset, sizeof(length));
  return length;
}

const uint8_t* BufferBlock(const uint8_t* base, const Field& field) {
  const uint8_t* block = nullptr;
  std::memcpy(&block, base + field.block_offset, sizeof(block));
  return block;
}

const ReqLink* RequestHead(const uint8_t* base, const Field& field) {
  return reinterpret_cast<const ReqLink*>(base + field.offset);
}

// The nodes of a request list in forward order; a null head is an empty list.
template <typename Visit>
void ForEachRequest(const ReqLink* head, Visit visit) {
  for (const ReqLink* link = head->pNext; link != nullptr && link != head; link = link->pNext) {
    visit(*reinterpret_cast<const ReqEntry*>(link));
  }
}

// What a step writes after its literal. A hex value of at most eight bytes
// with eight bytes of the record from its start is read as one word.
enum class Op { kNone, kHex, kHexWord, kText, kBlock, kRequests };

// A step's literal is kept padded to whole blocks of kLiteralBlock units, and
// copied block by block: the padding lands in the room's slack, and what
// follows writes over it.
constexpr size_t kLiteralBlock = 16;
static_assert(kLiteralBlock <= kPutSlack);

struct Step {
  std::u16string literal;  // padded
  size_t literal_units = 0;
  Op op = Op::kNone;
  const Field* field = nullptr;
};

// A buffer value without bytes.
constexpr std::u16string_view kEmptyBlock = u"00";

// <req reqType="..">text</req>, the text escaped at most.
constexpr std::u16string_view kRequestOpen = u"<req reqType=\"";
constexpr std::u16string_view kRequestText = u"\">";
constexpr std::u16string_view kRequestClose = u"</req>";
constexpr size_t kMaxRequestUnits = kRequestOpen.size() + 2 + kRequestText.size() +
                                    kMaxEscapedUnits * OBEXSES_NAME_UNITS + kRequestClose.size();

class Program {
 public:
  explicit Program(const Layout& layout) : record_bytes_(layout.record_bytes) {
    pending_ = u"<session profile_type=\"";
    pending_ += layout.profile_type;
    pending_ += u"\"";
    for (const Field& field : layout.attributes) Value(field);
    pending_ += u">";
    for (std::span<const Field> fields : {layout.part, layout.tail}) {
      for (const Field& field : fields) Value(field);
    }
    pending_ += u"</session>";
    Emit(Op::kNone, nullptr);
    for (size_t i = 0; i < steps_.size(); ++i) {
      const Step& step = steps_[i];
      fixed_units_ += step.literal_units + FixedUnits(step);
      if (step.op == Op::kBlock || step.op == Op::kRequests) sized_by_record_.push_back(i);
      if (step.op != Op::kNone) AddLines(*step.field);
    }
  }

  const std::vector<Step>& steps() const { return steps_; }

  // The offsets of the cache lines the program reads of a record.
  const std::vector<size_t>& lines() const { return lines_; }

  // The most units a record's element takes, with the slack of its writing.
  size_t MaxUnits(const uint8_t* base) const {
    size_t units = fixed_units_ + kPutSlack;
    for (size_t i : sized_by_record_) units += RecordUnits(base, steps_[i]);
    return units;
  }

 private:
  void Value(const Field& field) {
    pending_ += field.before;
    switch (field.kind) {
      case Kind::kHex:
        Emit(field.width <= 8 && field.offset + 8 <= record_bytes_ ? Op::kHexWord : Op::kHex,
             &field);
        break;
      case Kind::kText:
        Emit(Op::kText, &field);
        break;
      case Kind::kBuffer:  // the length, then the block in an element of its own
        Emit(Op::kHex, &field);
        pending_ += field.after;
        pending_ += field.block_before;
        Emit(Op::kBlock, &field);
        pending_ += field.block_after;
        return;
      case Kind::kRequests:  // the count and the nodes, then the list's end tag
        Emit(Op::kRequests, &field);
        break;
    }
    pending_ += field.after;
  }

  void Emit(Op op, const Field* field) {
    const size_t units = pending_.size();
    pending_.resize((units + kLiteralBlock - 1) / kLiteralBlock * kLiteralBlock);
    steps_.push_back({std::move(pending_), units, op, field});
    pending_.clear();
  }

  // Units a step's value takes whatever the record holds.
  static size_t FixedUnits(const Step& step) {
    switch (step.op) {
      case Op::kHex:
      case Op::kHexWord:
        return 2 * step.field->width;
      case Op::kText:
        return kMaxEscapedUnits * step.field->width;
      case Op::kBlock:
        return kEmptyBlock.size();
      case Op::kRequests:
        return 8 + kRequestText.size();
      default:
        return 0;
    }
  }

  // Units a step's value may take beyond that, by what the record holds.
  static size_t RecordUnits(const uint8_t* base, const Step& step) {
    if (step.op == Op::kBlock) return 2 * size_t{BufferLength(base, *step.field)};
    size_t nodes = 0;
    ForEachRequest(RequestHead(base, *step.field), [&nodes](const ReqEntry&) { ++nodes; });
    return nodes * kMaxRequestUnits;
  }

  // The lines of a value's start; a text's first units are its likely whole.
  void AddLines(const Field& field) {
    const size_t bytes = field.kind == Kind::kText ? 2 * kCacheLine : field.width;
    for (size_t at = field.offset; at < field.offset + bytes; at += kCacheLine) {
      lines_.push_back(at - at % kCacheLine);
    }
  }

  static constexpr size_t kCacheLine = 64;

  size_t record_bytes_;
  std::vector<Step> steps_;
  std::vector<size_t> sized_by_record_;  // the steps whose room the record sets
  std::vector<size_t> lines_;
  std::u16string pending_;
  size_t fixed_units_ = 0;
};

char16_t* PutLiteral(char16_t* out, std::u16string_view literal) {
  return std::copy(literal.begin(), literal.end(), out);
}

// The literal's place and length are read once: the stores through out
// could otherwise be taken to change them.
char16_t* PutStepLiteral(char16_t* out, const Step& step) {
  const char16_t* const literal = step.literal.data();
  const size_t padded = step.literal.size();
  for (size_t at = 0; at < padded; at += kLiteralBlock) {
    std::memcpy(out + at, literal + at, kLiteralBlock * sizeof(char16_t));
  }
  return out + step.literal_units;
}

char16_t* PutRequests(char16_t* out, const ReqLink* head) {
  uint32_t count = 0;
  ForEachRequest(head, [&count](const ReqEntry&) { ++count; });
  const uint8_t count_bytes[4] = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                                  static_cast<uint8_t>(count >> 16),
                                  static_cast<uint8_t>(count >> 24)};
  out = PutLiteral(PutHex(out, count_bytes, 4), kRequestText);
  ForEachRequest(head, [&out](const ReqEntry& node) {
    out = PutLiteral(PutHex(PutLiteral(out, kRequestOpen), &node.reqType, 1), kRequestText);
    out = PutEscapedField(out, node.szText, OBEXSES_NAME_UNITS);
    out = PutLiteral(out, kRequestClose);
  });
  return out;
}

char16_t* PutValue(char16_t* out, const uint8_t* base, const Step& step) {
  const Field& field = *step.field;
  switch (step.op) {
    case Op::kHex:
      return PutHex(out, base + field.offset, field.width);
    case Op::kHexWord:
      return PutHexOfEight(out, base + field.offset, field.width);
    case Op::kText:
      return PutEscapedField(out, reinterpret_cast<const char16_t*>(base + field.offset),
                             field.width);
    case Op::kBlock: {
      const uint16_t length = BufferLength(base, field);
      const uint8_t* block = BufferBlock(base, field);
      return length != 0 && block != nullptr ? PutHex(out, block, length)
                                             : PutLiteral(out, kEmptyBlock);
    }
    case Op::kRequests:
      return PutRequests(out, RequestHead(base, field));
    case Op::kNone:
      break;
  }
  return out;
}

void WriteSession(SessionText* stream, const uint8_t* base, const Program& program) {
  char16_t* out = stream->BeginWrite(program.MaxUnits(base));
  for (const Step& step : program.steps()) {
    out = PutStepLiteral(out, step);
    if (step.op != Op::kNone) out = PutValue(out, base, step);
  }
  stream->EndWrite(out);
}

// The programs of a side's layouts, made once, in the order of the layouts.
template <typename Record>
const Program& ProgramOf(std::span<const Layout> layouts, const Layout* layout) {
  static const std::vector<Program> programs(layouts.begin(), layouts.end());
  return programs[static_cast<size_t>(layout - layouts.data())];
}

// The lines any of a side's programs reads: a record is prefetched before
// its profile is known, since reading that would wait for memory itself.
template <typename Record>
void PrefetchRecord(const Record* record, std::span<const Layout> layouts) {
  static const std::vector<size_t> lines = [layouts] {
    std::vector<size_t> all;
    for (const Layout& layout : layouts) {
      const std::vector<size_t>& some = ProgramOf<Record>(layouts, &layout).lines();
      all.insert(all.end(), some.begin(), some.end());
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
  }();
  const auto* base = reinterpret_cast<const uint8_t*>(record);
  for (size_t line : lines) PrefetchLine(base + line);
}

template <typename Record>
void WriteRecord(SessionText* stream, const Record* record, std::span<const Layout> layouts) {
  const Layout* layout = LayoutFor(layouts, record->profile_id);
  if (layout != nullptr) {
    WriteSession(stream, reinterpret_cast<const uint8_t*>(record),
                 ProgramOf<Record>(layouts, layout));
  }
}

// ---- Reading ----

// At most width bytes go to the start of the field; the rest stays as it was.
void ReadHex(Value text, uint8_t* field, size_t width) {
  if (text) HexInto(*text, field, width);
}

void ReadText(Value text, char16_t* field, size_t units) {
  if (text) UnescapeInto(*text, field, units);
}

// The block holds as many bytes as the length says, or as the text has if
// fewer; a length of 0 leaves the pointer null.
void ReadBuffer(const SessionValues& values, uint8_t* base, const Field& field) {
  uint16_t length = 0;
  ReadHex(values.ChildText(field.name), reinterpret_cast<uint8_t*>(&length), sizeof(length));
  uint8_t* block = nullptr;
  if (length != 0) {
    const Value digits = values.ChildText(field.block_name);
    length = static_cast<uint16_t>(std::min<size_t>(digits ? digits->size() / 2 : 0, length));
    if (length != 0) {
      block = static_cast<uint8_t*>(std::malloc(length));
      if (block == nullptr) throw std::bad_alloc();
      HexInto(*digits, block, length);
    }
  }
  std::memcpy(base + field.offset, &length, sizeof(length));
  std::memcpy(base + field.block_offset, &block, sizeof(block));
}

// Each request becomes a node at the tail of the record's list.
class RequestNodes final : public RequestReader {
 public:
  explicit RequestNodes(FtpClientSession* record) : record_(record) {}
  void Request(Value type, Value text) override {
    auto* node = static_cast<ReqEntry*>(std::calloc(1, sizeof(ReqEntry)));
    if (node == nullptr) throw std::bad_alloc();
    ReadHex(type, &node->reqType, 1);
    ReadText(text, node->szText, OBEXSES_NAME_UNITS);
    records::AppendRequest(record_, node);
  }

 private:
  FtpClientSession* record_;
};

// The list head is made proper whatever the file holds; the nodes are the
// requests, read only when the count is not zero.
void ReadRequests(const SessionValues& values, uint8_t* base, const Field& field) {
  auto* record = reinterpret_cast<FtpClientSession*>(base);
  records::ResetRequestList(record);
  uint32_t count = 0;
  ReadHex(values.RequestCount(field.name), reinterpret_cast<uint8_t*>(&count), sizeof(count));
  if (count == 0) return;
  RequestNodes nodes(record);
  values.EachRequest(field.name, nodes);
}

void ReadAttribute(const SessionValues& values, uint8_t* base, const Field& field) {
  const Value value = values.Attribute(field.name);
  if (field.kind == Kind::kText) {
    ReadText(value, reinterpret_cast<char16_t*>(base + field.offset), field.width);
  } else {
    ReadHex(value, base + field.offset, field.width);
  }
}

void ReadElement(const SessionValues& values, uint8_t* base, const Field& field) {
  switch (field.kind) {
    case Kind::kHex:
      ReadHex(values.ChildText(field.name), base + field.offset, field.width);
      break;
    case Kind::kText:
      ReadText(values.ChildText(field.name), reinterpret_cast<char16_t*>(base + field.offset),
               field.width);
      break;
    case Kind::kBuffer:
      ReadBuffer(values, base, field);
      break;
    case Kind::kRequests:
      ReadRequests(values, base, field);
      break;
  }
}

// A record laid out by profile_type, or null when profile_type is missing or
// unknown, or profile_id does not name the same layout. Out of memory throws,
// with nothing left allocated.
template <typename Record>
Record* ReadSession(const SessionValues& values, std::span<const Layout> layouts,
                    Record* (*make)(uint32_t), void (*drop)(Record*)) {
  const Value type = values.Attribute(kProfileType);
  const Layout* layout = type ? LayoutNamed(layouts, *type) : nullptr;
  if (layout == nullptr) return nullptr;
  Record* record = make(layout->profile);
  if (record == nullptr) throw std::bad_alloc();
  record->profile_id = 0;  // only the file says what it is
  auto* base = reinterpret_cast<uint8_t*>(record);
  // The release picks the layout by profile_id, so it must see the block's own.
  auto release = [&] {
    record->profile_id = layout->profile;
    drop(record);
  };
  try {
    for (const Field& field : layout->attributes) ReadAttribute(values, base, field);
    if (record->profile_id != layout->profile) {
      release();
      return nullptr;
    }
    for (const Field& field : layout->part) ReadElement(values, base, field);
    for (const Field& field : layout->tail) ReadElement(values, base, field);
  } catch (...) {
    release();
    throw;
  }
  return record;
}

}  // namespace

int WriteClientSession(SessionText* stream, const ClientSession* record) {
  WriteRecord(stream, record, ClientLayouts());
  return 1;
}

void PrefetchClientSession(const ClientSession* record) {
  PrefetchRecord(record, ClientLayouts());
}

ClientSession* ReadClientSession(const SessionValues& values) {
  return ReadSession<ClientSession>(values, ClientLayouts(), records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  WriteRecord(stream, record, ServerLayouts());
  return 1;
}

void PrefetchServerSession(const ServerSession* record) {
  PrefetchRecord(record, ServerLayouts());
}

ServerSession* ReadServerSession(const SessionValues& values) {
  return ReadSession<ServerSession>(values, ServerLayouts(), records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
