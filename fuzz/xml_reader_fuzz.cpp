// SPDX-License-Identifier: MIT
// The one-pass reader against the per-level reader it replaces: on any input
// both give the same result and the same tree, the partial tree of a rejected
// text included. An input whose first byte is odd has its other bytes taken
// one to a unit, so that the grammar's characters come up often. Every
// attribute name asked for as a short one is the whole name, or none when
// that is longer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/support/per_level_reader.h"
#include "xml/xml_reader.h"
#include "xml/xml_scan.h"

namespace {

using namespace obexses::xml;

struct ShortNames final : ScanHandler {
  void Opened(const OpenedElement&) override {}
  void Attribute(size_t, const AttributeName& name, std::u16string_view, size_t) override {
    const NameView whole = name.Whole();
    std::u16string units(whole.size(), u'\0');
    whole.CopyTo(units.data());
    for (size_t limit : {3, 12}) {
      const auto found = name.UpTo(limit);
      if (found.has_value() != (units.size() <= limit) || (found && !(*found == units)))
        std::abort();
    }
  }
  void Completed(const CompletedElement&) override {}
  void Dropped(size_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1) != 0) {
    bytes.clear();
    for (size_t i = 1; i < size; ++i) bytes += {static_cast<char>(data[i]), '\0'};
  }
  std::u16string expected;
  const int result = obexses::testing::LoadPerLevel(bytes.data(), bytes.size(), &expected);
  obexses::xml::CXMLReader reader;
  if (reader.LoadXMLBytes(bytes.data(), bytes.size()) != result) std::abort();
  if (obexses::testing::Dump(reader.m_pRoot) != expected) std::abort();
  ShortNames names;
  Scan(reader.Text(), names);
  return 0;
}
