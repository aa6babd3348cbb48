// SPDX-License-Identifier: MIT
// The tree of a session file, for the tests, the fuzzing and the tools.
//
// CXMLReader takes a whole UTF-16LE file and builds a tree of CXMLElement
// nodes from the events of the one scan of the module's own grammar
// (xml_scan.h), which decides what is taken in and what is dropped. The
// pseudo-root, named "XML:ROOT", receives the declaration's attributes and the
// top-level elements. Text is kept exactly as written; nothing is decoded.
//
// Ownership: the reader owns the loaded text and every node; names, values
// and texts are views into that text (or into the reader's node blocks), valid
// until the reader is loaded again or destroyed. A reader belongs to one
// caller at a time; it takes no lock. Loading never throws: lack of memory is
// a failed load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_scan.h"

namespace obexses::xml {

// Node kinds. A text is held by its element (see GetText) rather than by a
// node of its own, so walks meet elements and attributes only.
enum : uint32_t { XML_ELEMENT = 1, XML_ATTRIBUTE = 2, XML_TEXT = 3 };

// One node: an element or an attribute. Only elements have children: first
// their attributes, then child elements; an element whose content held no "<"
// has a text instead of child elements. Strings are not zero-terminated and
// end before the first zero unit the file held there.
class CXMLElement {
 public:
  std::u16string_view Name() const { return {m_pName, m_nNameUnits}; }
  // An attribute's value.
  std::u16string_view Value() const { return {m_pValue, m_nValueUnits}; }
  // An element's text; none when its content held a "<", which is not the
  // same as an empty text.
  std::optional<std::u16string_view> GetText() const;

  // The first attribute of that name among the leading attribute children.
  CXMLElement* FindAttribute(std::u16string_view name) const;
  // The first child element of that name.
  CXMLElement* FindChild(std::u16string_view name) const;
  // Child walk: the first child, then each one's next sibling; null at the end.
  CXMLElement* FirstChild() const { return m_pFirst; }
  CXMLElement* NextSibling() const { return m_pNext; }

  uint32_t m_nType = 0;
  uint32_t m_nChildCount = 0;
  const char16_t* m_pName = nullptr;
  uint32_t m_nNameUnits = 0;
  uint32_t m_nValueUnits = 0;
  const char16_t* m_pValue = nullptr;  // attribute: value; element: text, null when none
  CXMLElement* m_pFirst = nullptr;
  CXMLElement* m_pNext = nullptr;
};

// Owns the loaded text and the tree. Nodes and copied strings come from a few
// large blocks, all freed together with the text.
class CXMLFile {
 public:
  CXMLFile();
  CXMLFile(const CXMLFile&) = delete;
  CXMLFile& operator=(const CXMLFile&) = delete;
  // Frees the tree, then the text.
  virtual ~CXMLFile();

  // The last load's result and where its scan stopped (unit 0 when the text
  // was not scanned at all).
  ScanResult Result() const { return result_; }
  // The loaded text: m_nLength / 2 units (an odd last byte is no unit).
  std::u16string_view Text() const { return {text_.data(), m_nLength / 2}; }
  // Gives the loaded buffer back to the caller and frees the tree.
  std::u16string TakeText();

  uint32_t m_nLength = 0;          // bytes of loaded text; 0 when nothing is loaded
  CXMLElement* m_pRoot = nullptr;  // the pseudo-root, or null

 protected:
  class Blocks;

  void Release();
  CXMLElement* NewNode(uint32_t type, std::u16string_view name);
  char16_t* NewUnits(size_t count);

  std::u16string text_;
  std::unique_ptr<Blocks> blocks_;
  ScanResult result_;
};

class CXMLReader : public CXMLFile {
 public:
  // Reads the file byte for byte and parses it. 1 when it was read and
  // parsed, 0 otherwise (also for a tag name longer than 253 units, nesting
  // deeper than 64 levels, or a lack of memory); an earlier tree and text are
  // released first, a failed load's partial tree stays until the next load.
  int LoadXML(const char16_t* path);
  // The same on bytes already in memory (the file's whole contents).
  int LoadXMLBytes(const void* data, size_t size);
  // The same on a file's bytes as units (two bytes to a unit, the first the
  // low one); the reader keeps the buffer as its text, without a copy.
  int LoadXMLUnits(std::u16string units, size_t bytes);

 private:
  class Builder;
};

}  // namespace obexses::xml
