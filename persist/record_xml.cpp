// SPDX-License-Identifier: MIT
// Session records as session elements. Each of the four layouts (client and
// server, OPP and FTP) is a table of fields: its XML name, its offset in the
// record, its value kind and its width. The compiler makes each layout's
// writer from its table; one reader walks the tables for both sides.
#include "persist/record_xml.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <utility>

#include "persist/block_writes.h"
#include "persist/prefetch.h"
#include "persist/record_fields.h"
#include "records/record_memory.h"

namespace obexses::persist {
namespace {

// ---- Writing ----
//
// A layout's session element is a fixed run of literal text and values. Its
// steps, made at compile time, join the text that stands between two values
// (one value's closing part and the next one's opening part) into one
// literal, so that a session is written as a few copies of literals, hex
// digits and texts into room made once for the whole element, with no loop
// over the steps and no choice at run time but the record's profile.

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

// What a step writes after its literal. A hex value whose last run of eight
// bytes lies within the record is read by whole words of eight.
enum class Op { kNone, kHex, kHexWords, kText, kBlock, kRequests };

// A step's literal is copied by blocks of kLiteralBlock units, its padding
// landing in the room's slack, where what follows writes over it.
constexpr size_t kLiteralBlock = 16;
static_assert(kLiteralBlock <= kPutSlack);
// Room for the longest literal of any layout, padded.
constexpr size_t kMaxLiteralUnits = 64;

struct Step {
  std::array<char16_t, kMaxLiteralUnits> literal{};  // zeros past its units
  size_t units = 0;
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

// Each field of a layout, in file order.
template <typename Visit>
constexpr void ForEachField(const Layout& layout, Visit visit) {
  for (std::span<const Field> fields : {layout.attributes, layout.part, layout.tail}) {
    for (const Field& field : fields) visit(field);
  }
}

// The steps of a layout's element: one for each value, two for a buffer value
// (its length, then its block), and one for the element's end.
constexpr size_t StepCount(const Layout& layout) {
  size_t count = 1;
  ForEachField(layout,
               [&count](const Field& field) { count += field.kind == Kind::kBuffer ? 2 : 1; });
  return count;
}

// Makes a layout's steps, at compile time.
template <size_t kCount>
class StepMaker {
 public:
  constexpr explicit StepMaker(const Layout& layout) : record_bytes_(layout.record_bytes) {
    Add(u"<session profile_type=\"");
    Add(layout.profile_type);
    Add(u"\"");
    for (const Field& field : layout.attributes) Value(field);
    Add(u">");
    for (std::span<const Field> fields : {layout.part, layout.tail}) {
      for (const Field& field : fields) Value(field);
    }
    Add(u"</session>");
    Emit(Op::kNone, nullptr);
  }

  constexpr const std::array<Step, kCount>& steps() const { return steps_; }

 private:
  constexpr void Value(const Field& field) {
    Add(field.before);
    switch (field.kind) {
      case Kind::kHex:
        Emit(HexOp(field), &field);
        break;
      case Kind::kText:
        Emit(Op::kText, &field);
        break;
      case Kind::kBuffer:  // the length, then the block in an element of its own
        Emit(HexOp(field), &field);
        Add(field.after);
        Add(field.block_before);
        Emit(Op::kBlock, &field);
        Add(field.block_after);
        return;
      case Kind::kRequests:  // the count and the nodes, then the list's end tag
        Emit(Op::kRequests, &field);
        break;
    }
    Add(field.after);
  }

  constexpr Op HexOp(const Field& field) const {
    return field.offset + (field.width + 7) / 8 * 8 <= record_bytes_ ? Op::kHexWords : Op::kHex;
  }

  // Joins text to the literal of the step being made; a literal past its
  // room stops the compilation.
  constexpr void Add(std::u16string_view text) {
    Step& step = steps_[made_];
    if (step.units + text.size() > kMaxLiteralUnits) throw "a literal past its room";
    std::copy(text.begin(), text.end(), step.literal.begin() + step.units);
    step.units += text.size();
  }

  constexpr void Emit(Op op, const Field* field) {
    steps_[made_].op = op;
    steps_[made_].field = field;
    ++made_;
  }

  size_t record_bytes_;
  std::array<Step, kCount> steps_{};
  size_t made_ = 0;
};

// The steps of the layout kLayouts[kIndex].
template <const auto& kLayouts, size_t kIndex>
inline constexpr std::array kStepsOf =
    StepMaker<StepCount(kLayouts[kIndex])>(kLayouts[kIndex]).steps();

// Units a step's value takes whatever the record holds.
constexpr size_t FixedUnits(const Step& step) {
  switch (step.op) {
    case Op::kHex:
    case Op::kHexWords:
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

template <size_t kCount>
constexpr size_t FixedUnits(const std::array<Step, kCount>& steps) {
  size_t units = kPutSlack;
  for (const Step& step : steps) units += step.units + FixedUnits(step);
  return units;
}

// Units a step's value may take beyond that, by what the record holds.
template <const auto& kSteps, size_t kStep>
size_t RecordUnits(const uint8_t* base) {
  constexpr const Step& step = kSteps[kStep];
  if constexpr (step.op == Op::kBlock) {
    return 2 * size_t{BufferLength(base, *step.field)};
  } else if constexpr (step.op == Op::kRequests) {
    size_t nodes = 0;
    ForEachRequest(RequestHead(base, *step.field), [&nodes](const ReqEntry&) { ++nodes; });
    return nodes * kMaxRequestUnits;
  } else {
    return 0;
  }
}

char16_t* PutLiteral(char16_t* out, std::u16string_view literal) {
  return std::copy(literal.begin(), literal.end(), out);
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

char16_t* PutBlock(char16_t* out, const uint8_t* base, const Field& field) {
  const uint16_t length = BufferLength(base, field);
  const uint8_t* block = BufferBlock(base, field);
  return length != 0 && block != nullptr ? PutHex(out, block, length)
                                         : PutLiteral(out, kEmptyBlock);
}

// A step: its literal, by whole blocks, then its value.
template <const auto& kSteps, size_t kStep>
char16_t* PutStep(char16_t* out, const uint8_t* base) {
  constexpr const Step& step = kSteps[kStep];
  for (size_t at = 0; at < step.units; at += kLiteralBlock) {
    std::memcpy(out + at, step.literal.data() + at, kLiteralBlock * sizeof(char16_t));
  }
  out += step.units;
  constexpr const Field* field = step.field;
  if constexpr (step.op == Op::kHex) {
    return PutHex(out, base + field->offset, field->width);
  } else if constexpr (step.op == Op::kHexWords) {
    return PutHexWords(out, base + field->offset, field->width);
  } else if constexpr (step.op == Op::kText) {
    return PutEscapedField(out, reinterpret_cast<const char16_t*>(base + field->offset),
                           field->width);
  } else if constexpr (step.op == Op::kBlock) {
    return PutBlock(out, base, *field);
  } else if constexpr (step.op == Op::kRequests) {
    return PutRequests(out, RequestHead(base, *field));
  } else {
    return out;
  }
}

// A layout's element, its steps one after the other, into room made once.
template <const auto& kSteps, size_t... kStep>
void WriteSteps(SessionText* stream, const uint8_t* base, std::index_sequence<kStep...>) {
  constexpr size_t kFixedUnits = FixedUnits(kSteps);
  char16_t* out = stream->BeginWrite(kFixedUnits + (RecordUnits<kSteps, kStep>(base) + ...));
  ((out = PutStep<kSteps, kStep>(out, base)), ...);
  stream->EndWrite(out);
}

template <const auto& kSteps>
void WriteElement(SessionText* stream, const uint8_t* base) {
  WriteSteps<kSteps>(stream, base, std::make_index_sequence<kSteps.size()>());
}

using ElementWriter = void (*)(SessionText*, const uint8_t*);

template <const auto& kLayouts, size_t... kIndex>
constexpr std::array<ElementWriter, sizeof...(kIndex)> WritersOf(std::index_sequence<kIndex...>) {
  return {&WriteElement<kStepsOf<kLayouts, kIndex>>...};
}

template <const auto& kLayouts, typename Record>
void WriteRecord(SessionText* stream, const Record* record) {
  static constexpr auto kWriters =
      WritersOf<kLayouts>(std::make_index_sequence<std::size(kLayouts)>());
  const Layout* layout = LayoutFor(kLayouts, record->profile_id);
  if (layout != nullptr) {
    kWriters[static_cast<size_t>(layout - kLayouts)](stream,
                                                     reinterpret_cast<const uint8_t*>(record));
  }
}

// The record lines a side's elements read: a record is prefetched before its
// profile is known, since reading that would wait for memory itself. A text's
// first units are its likely whole.
constexpr size_t kCacheLine = 64;

struct Lines {
  std::array<size_t, 128> at{};
  size_t count = 0;
};

constexpr bool Reads(const Field& field, size_t line) {
  const size_t bytes = field.kind == Kind::kText ? 2 * kCacheLine : field.width;
  return field.offset < line + kCacheLine && line < field.offset + bytes;
}

template <const auto& kLayouts>
constexpr Lines LinesRead() {
  Lines lines;
  size_t record_bytes = 0;
  for (const Layout& layout : kLayouts) record_bytes = std::max(record_bytes, layout.record_bytes);
  for (size_t line = 0; line < record_bytes; line += kCacheLine) {
    bool read = false;
    for (const Layout& layout : kLayouts) {
      ForEachField(layout,
                   [&read, line](const Field& field) { read = read || Reads(field, line); });
    }
    if (read) lines.at.at(lines.count++) = line;
  }
  return lines;
}

template <const auto& kLayouts>
void PrefetchRecord(const void* record) {
  static constexpr Lines kLines = LinesRead<kLayouts>();
  const auto* base = static_cast<const uint8_t*>(record);
  for (size_t i = 0; i < kLines.count; ++i) PrefetchLine(base + kLines.at[i]);
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
  WriteRecord<kClientLayouts>(stream, record);
  return 1;
}

void PrefetchClientSession(const ClientSession* record) {
  PrefetchRecord<kClientLayouts>(record);
}

ClientSession* ReadClientSession(const SessionValues& values) {
  return ReadSession<ClientSession>(values, ClientLayouts(), records::NewClientRecord,
                                    records::DeleteClientRecordDeep);
}

int WriteServerSession(SessionText* stream, const ServerSession* record) {
  WriteRecord<kServerLayouts>(stream, record);
  return 1;
}

void PrefetchServerSession(const ServerSession* record) {
  PrefetchRecord<kServerLayouts>(record);
}

ServerSession* ReadServerSession(const SessionValues& values) {
  return ReadSession<ServerSession>(values, ServerLayouts(), records::NewServerRecord,
                                    records::DeleteServerRecordDeep);
}

}  // namespace obexses::persist
