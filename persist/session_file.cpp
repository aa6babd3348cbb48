// SPDX-License-Identifier: MIT
#include "persist/session_file.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "persist/record_xml.h"

namespace obexses::persist {
namespace {

constexpr std::u16string_view kProlog = u"<?xml version=\"1.0\"?>\n";

}  // namespace

const char16_t* TopElementName(Side side) {
  return side == Side::kClient ? u"client_session" : u"server_session";
}

size_t EmptyFileBytes(Side side) noexcept {
  const size_t top = std::char_traits<char16_t>::length(TopElementName(side));
  // The byte-order mark, the prolog, "<top>" and "</top>".
  return sizeof(char16_t) * (1 + kProlog.size() + (top + 2) + (top + 3));
}

SessionFileBuilder::SessionFileBuilder(Side side, SessionText* text)
    : side_(side), text_(text != nullptr ? text : &own_) {
  text_->Clear();
  text_->Append(kProlog);
  FilePrintf(text_, u"<%s>", TopElementName(side_));
}

void SessionFileBuilder::Add(const ClientSession* record) {
  WriteClientSession(text_, record);
}

void SessionFileBuilder::Add(const ServerSession* record) {
  WriteServerSession(text_, record);
}

void SessionFileBuilder::Prefetch(const ClientSession* record) {
  PrefetchClientSession(record);
}

void SessionFileBuilder::Prefetch(const ServerSession* record) {
  PrefetchServerSession(record);
}

std::string SessionFileBuilder::Finish() {
  return std::string(FinishView());
}

std::string_view SessionFileBuilder::FinishView() {
  FilePrintf(text_, u"</%s>", TopElementName(side_));
  return text_->bytes();
}

SameFileCheck::SameFileCheck(Side side, std::u16string_view units, size_t bytes)
    : side_(side),
      units_(units.substr(0, bytes / 2)),
      same_(bytes % 2 == 0 && !units_.empty() && units_[0] == u'\uFEFF') {
  text_.Append(kProlog);
  FilePrintf(&text_, u"<%s>", TopElementName(side_));
  Compare();
}

void SameFileCheck::Add(const ClientSession* record) {
  if (!same_) return;
  text_.Clear();
  WriteClientSession(&text_, record);
  Compare();
}

void SameFileCheck::Add(const ServerSession* record) {
  if (!same_) return;
  text_.Clear();
  WriteServerSession(&text_, record);
  Compare();
}

bool SameFileCheck::Matches() {
  if (!same_) return false;
  text_.Clear();
  FilePrintf(&text_, u"</%s>", TopElementName(side_));
  Compare();
  return same_ && at_ == units_.size();
}

void SameFileCheck::Compare() {
  const std::u16string_view piece = text_.Units();
  // Equality only, so the bytes compare as a block rather than unit by unit.
  same_ = same_ && piece.size() <= units_.size() - at_ &&
          std::memcmp(units_.data() + at_, piece.data(), piece.size() * sizeof(char16_t)) == 0;
  at_ += piece.size();
}

}  // namespace obexses::persist
