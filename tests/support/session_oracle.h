// SPDX-License-Identifier: MIT
// The sessions of a file as the tree finds them: the record reading of the
// time before the streaming reader, kept as the reference that it must agree
// with on every input. Also a sink that collects what a read hands over.
#pragma once

#include <string_view>
#include <vector>

#include "persist/session_file.h"

namespace obexses::testing {

// Collects the records and spans a read hands over, and the sessions it lost;
// a discard drops the records and spans.
template <typename RecordPtr>
struct Collected final : persist::SessionSink<RecordPtr> {
  void Take(RecordPtr record, persist::ElementSpan where) override {
    records.push_back(std::move(record));
    spans.push_back(where);
  }
  void Lost(size_t begin) override { lost.push_back(begin); }
  void Discard() override {
    records.clear();
    spans.clear();
    ++discards;
  }

  std::vector<RecordPtr> records;
  std::vector<persist::ElementSpan> spans;
  std::vector<size_t> lost;
  int discards = 0;
};

// Loads the text into a tree and reads the session children of the root's
// first child named as the side's top element, each with
// persist::Read*Session over the tree's FindAttribute, FindChild and GetText.
persist::LoadResult ReadClientTree(std::u16string_view units, size_t bytes,
                                   std::vector<persist::ClientRecordDeepPtr>* records);
persist::LoadResult ReadServerTree(std::u16string_view units, size_t bytes,
                                   std::vector<persist::ServerRecordDeepPtr>* records);

}  // namespace obexses::testing
