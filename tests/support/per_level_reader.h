// SPDX-License-Identifier: MIT
// The reader as it was before the one-pass scan: every nesting level scans its
// own range again. Kept as the reference that the session-file reader must
// agree with on every input, accepted or not, the two trees compared as lines.
#pragma once

#include <cstddef>
#include <string>

#include "xml/xml_reader.h"

namespace obexses::testing {

// Parses the bytes of a file into *tree, as Dump shows a tree (partial on
// failure, empty when none is made). Returns the load result, 0 or 1.
int LoadPerLevel(const void* data, size_t size, std::u16string* tree);

// A tree as one line: name[children 'text'] for an element, @name=value for
// an attribute; an element whose child count is off is marked "#". Empty for
// no tree.
std::u16string Dump(const xml::CXMLElement* node);

}  // namespace obexses::testing
