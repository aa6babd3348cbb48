// The reader as it was before the one-pass scan: every nesting level scans its
// own range again. Kept, with a plain tree of its own, as the reference the
// session-file reader must agree with on every input, accepted or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml_reader.h"

namespace obexses::testing {

// Element (1), attribute (2) or text (3), as the kinds of the reader; a text
// node holds its text in name.
struct RefNode {
  uint32_t type = 0;
  std::u16string name;
  std::u16string value;
  std::vector<RefNode> children;
};

// Parses the bytes of a file; *root receives the tree (partial on failure),
// left empty (type 0) when no tree is made. Returns the load result, 0 or 1.
int LoadPerLevel(const void* data, size_t size, RefNode* root);

// True when the reader's tree holds exactly the reference tree: the same
// nodes in the same order, names, values and texts, and child counts.
bool SameTree(const RefNode& expected, const xml::CXMLElement* actual);

}  // namespace obexses::testing
