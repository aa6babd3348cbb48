// SPDX-License-Identifier: MIT
// The sessions of a file, read straight from the scan's events.
//
// No tree is built: while a session element is open, the reader keeps views
// into the text of what its record needs (the first leading attribute of each
// name it reads, the first completed child of each field name of the side's
// layouts) and decodes them into the record when the element completes. What
// it holds is fixed in size, whatever the file; only the records grow.
//
// The request list is read again when its session completes, by a scan of
// its range alone: the grammar defines every level by its own range, so that
// scan gives exactly the children the whole scan gave, and nothing per
// request is held while the session is still open (a list of a session that
// never completes, or that is not the first, costs nothing). The extra scan
// covers each session's first list once, so the reading stays linear.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

#include "persist/record_fields.h"
#include "persist/record_xml.h"
#include "persist/session_file.h"
#include "xml/xml_scan.h"

namespace obexses::persist {
namespace {

constexpr size_t kTop = 1, kSession = 2, kField = 3, kFieldChild = 4;
constexpr char16_t kSessionName[] = u"session";

// The names a side's session elements are read by: the two layouts of a side
// hold 40 child names between them (a buffer value has two), and 5 attribute
// names with profile_type.
struct SideNames {
  static constexpr size_t kMaxChildren = 64;
  static constexpr size_t kMaxAttributes = 8;

  explicit SideNames(std::span<const Layout> layouts) {
    Add(attributes, attribute_count, kProfileType);
    for (const Layout& layout : layouts) {
      for (const Field& field : layout.attributes) Add(attributes, attribute_count, field.name);
      for (std::span<const Field> fields : {layout.part, layout.tail}) {
        for (const Field& field : fields) {
          Add(children, child_count, field.name);
          if (field.kind == Kind::kBuffer) Add(children, child_count, field.block_name);
          if (field.kind == Kind::kRequests) list = field.name;
        }
      }
    }
    for (size_t k = 0; k < attribute_count; ++k)
      longest_attribute = std::max(longest_attribute, attributes[k].size());
  }

  template <size_t N>
  static void Add(std::array<std::u16string_view, N>& names, size_t& count, const char16_t* name) {
    if (std::find(names.begin(), names.begin() + count, name) == names.begin() + count && count < N)
      names[count++] = name;
  }

  std::array<std::u16string_view, kMaxAttributes> attributes{};
  size_t attribute_count = 0;
  size_t longest_attribute = 0;
  std::array<std::u16string_view, kMaxChildren> children{};
  size_t child_count = 0;
  std::u16string_view list;  // the request list's name, if the side has one
};

const SideNames& NamesOf(Side side) {
  static const SideNames client(ClientLayouts()), server(ServerLayouts());
  return side == Side::kClient ? client : server;
}

bool SameUnits(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         (a.data() == b.data() ||
          std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

// The first attribute of a name: it counts unless the element's range ends
// before its closing quote.
struct Captured {
  Value value;
  size_t close_quote = 0;

  void Take(std::u16string_view v, size_t quote) {
    if (!value) value = v, close_quote = quote;
  }
  Value Within(size_t end) const { return close_quote < end ? value : std::nullopt; }
};

// The requests of a list, from a scan of the list's range.
class RequestScan final : public xml::ScanHandler {
 public:
  RequestScan(size_t depth, RequestReader& reader) : depth_(depth), reader_(reader) {}

  void Opened(const xml::OpenedElement& element) override {
    if (element.depth != depth_) return;
    open_ = element.name == kRequest;
    has_child_ = false;
    type_ = Captured();
  }
  void Attribute(size_t depth, const xml::AttributeName& name, std::u16string_view value,
                 size_t close_quote) override {
    if (depth != depth_ || !open_ || has_child_) return;
    const auto found = name.UpTo(std::size(kRequestType) - 1);
    if (found && *found == kRequestType) type_.Take(value, close_quote);
  }
  void Completed(const xml::CompletedElement& element) override {
    if (!open_) return;
    if (element.depth == depth_ + 1) has_child_ = true;
    if (element.depth != depth_) return;
    open_ = false;
    reader_.Request(type_.Within(element.end), element.text);
  }
  void Dropped(size_t depth) override {
    if (depth == depth_) open_ = false;
  }

 private:
  size_t depth_;
  RequestReader& reader_;
  bool open_ = false;
  bool has_child_ = false;
  Captured type_;
};

template <typename RecordPtr>
class SessionReader final : public xml::ScanHandler, private SessionValues {
 public:
  SessionReader(Side side, std::u16string_view text, SessionSink<RecordPtr>& sink)
      : side_(side), names_(NamesOf(side)), text_(text), sink_(sink) {}

  ReadResult Read() {
    const xml::ScanResult scan = xml::Scan(text_, *this);
    const LoadResult result = scan.result == 0 ? LoadResult::kNotLoaded
                              : top_complete_  ? LoadResult::kLoaded
                                               : LoadResult::kNoSessions;
    if (taken_ && result != LoadResult::kLoaded) sink_.Discard();
    return {result, scan.stopped_at};
  }

 private:
  // ---- Events ----

  void Opened(const xml::OpenedElement& element) override {
    if (element.depth == kTop) {
      // The first top element of the side is the only one that can complete
      // first: a top element ends only by completing, or with the text.
      top_open_ = !top_seen_ && element.name == TopElementName(side_);
      top_seen_ = top_seen_ || top_open_;
    } else if (element.depth == kSession && top_open_ && element.name == kSessionName) {
      in_session_ = true;
      session_begin_ = element.begin;
      session_has_child_ = false;
      attributes_.fill(Captured());
      ++session_;  // every child slot is empty again
      next_child_ = 0;
      list_found_ = list_open_ = false;
    } else if (element.depth == kField && in_session_) {
      list_open_ = !list_found_ && element.name == names_.list;
      list_has_child_ = false;
      count_ = Captured();
    }
  }

  void Attribute(size_t depth, const xml::AttributeName& name, std::u16string_view value,
                 size_t close_quote) override {
    if (depth == kSession && in_session_ && !session_has_child_) {
      const auto found = name.UpTo(names_.longest_attribute);
      if (!found) return;
      for (size_t k = 0; k < names_.attribute_count; ++k) {
        if (*found == names_.attributes[k]) attributes_[k].Take(value, close_quote);
      }
    } else if (depth == kField && list_open_ && !list_has_child_) {
      const auto found = name.UpTo(std::size(kRequestCount) - 1);
      if (found && *found == kRequestCount) count_.Take(value, close_quote);
    }
  }

  void Completed(const xml::CompletedElement& element) override {
    if (element.depth == kFieldChild) {
      list_has_child_ = list_has_child_ || list_open_;
    } else if (element.depth == kField && in_session_) {
      session_has_child_ = true;
      const size_t slot = SlotOf(element.name);
      if (slot < names_.child_count && children_[slot].session != session_) {
        children_[slot] = {session_, element.text};
        next_child_ = slot + 1;
      }
      if (list_open_) {
        list_open_ = false;
        list_found_ = true;
        list_ = element;
        list_count_ = count_.Within(element.end);
      }
    } else if (element.depth == kSession && in_session_) {
      in_session_ = false;
      // A session that failed fails the text: nothing of it would count.
      if (element.outcome == 0) return;
      session_end_ = element.end;
      next_child_ = 0;
      taken_ = true;
      sink_.Take(MakeRecord(), {session_begin_, element.tag_end});
    } else if (element.depth == kTop && top_open_) {
      top_open_ = false;
      top_complete_ = true;
    }
  }

  void Dropped(size_t depth) override {
    if (depth == kField) {
      list_open_ = false;
    } else if (depth == kSession && in_session_) {
      in_session_ = false;
      sink_.Lost(session_begin_);
    } else if (depth == kTop) {
      top_open_ = false;
    }
  }

  RecordPtr MakeRecord() const {
    if constexpr (std::is_same_v<RecordPtr, ClientRecordDeepPtr>) {
      return RecordPtr(ReadClientSession(*this));
    } else {
      return RecordPtr(ReadServerSession(*this));
    }
  }

  // The slot of a child name; fields usually come in the layout's order, so
  // the search starts after the last one found.
  size_t SlotOf(std::u16string_view name) const {
    for (size_t k = 0, slot = next_child_; k < names_.child_count; ++k, ++slot) {
      if (slot >= names_.child_count) slot = 0;
      if (SameUnits(names_.children[slot], name)) return slot;
    }
    return names_.child_count;
  }

  // ---- The values of the session just completed ----

  Value Attribute(std::u16string_view name) const override {
    for (size_t k = 0; k < names_.attribute_count; ++k) {
      if (names_.attributes[k] == name) return attributes_[k].Within(session_end_);
    }
    return std::nullopt;
  }

  Value ChildText(std::u16string_view name) const override {
    const size_t slot = SlotOf(name);
    next_child_ = slot + 1;
    const Child& child = children_[slot];
    return child.session == session_ ? child.text : std::nullopt;
  }

  Value RequestCount(std::u16string_view list) const override {
    return list_found_ && list == names_.list ? list_count_ : std::nullopt;
  }

  void EachRequest(std::u16string_view list, RequestReader& reader) const override {
    if (!list_found_ || list != names_.list) return;
    RequestScan requests(list_.depth + 1, reader);
    xml::ScanRange(text_, list_, requests);
  }

  struct Child {
    uint64_t session = 0;  // the session that found it
    Value text;
  };

  Side side_;
  const SideNames& names_;
  std::u16string_view text_;
  SessionSink<RecordPtr>& sink_;

  bool top_seen_ = false;
  bool top_open_ = false;
  bool top_complete_ = false;
  bool taken_ = false;

  bool in_session_ = false;
  size_t session_begin_ = 0;
  size_t session_end_ = 0;
  bool session_has_child_ = false;  // its attributes since are not leading ones
  std::array<Captured, SideNames::kMaxAttributes> attributes_;
  std::array<Child, SideNames::kMaxChildren + 1> children_;  // the last stays empty
  uint64_t session_ = 0;
  mutable size_t next_child_ = 0;

  bool list_open_ = false;  // the open field is the session's first list so far
  bool list_has_child_ = false;
  Captured count_;
  bool list_found_ = false;
  xml::CompletedElement list_{};
  Value list_count_;
};

template <typename RecordPtr>
ReadResult ReadFile(Side side, std::u16string_view units, size_t bytes,
                    SessionSink<RecordPtr>& sink) {
  if (bytes == 0 || bytes > UINT32_MAX || units.size() < bytes / 2)
    return {LoadResult::kNotLoaded, 0};
  return SessionReader<RecordPtr>(side, units.substr(0, bytes / 2), sink).Read();
}

}  // namespace

ReadResult ReadClientFile(std::u16string_view units, size_t bytes,
                          SessionSink<ClientRecordDeepPtr>& sink) {
  return ReadFile(Side::kClient, units, bytes, sink);
}

ReadResult ReadServerFile(std::u16string_view units, size_t bytes,
                          SessionSink<ServerRecordDeepPtr>& sink) {
  return ReadFile(Side::kServer, units, bytes, sink);
}

}  // namespace obexses::persist
