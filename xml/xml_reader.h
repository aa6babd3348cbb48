// The small XML reader with which the session files are read back.
//
// CXMLReader loads a whole UTF-16LE file and turns it into a tree of
// CXMLElement nodes in one recursive pass, following the module's own fixed,
// character-driven grammar (not the XML standard): what it takes in and what
// it drops decides which saved sessions come back. The pseudo-root, named
// "XML:ROOT", receives the declaration's attributes and the top-level
// elements. Text is kept exactly as written; nothing is decoded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace obexses::xml {

enum : uint32_t { XML_ELEMENT = 1, XML_ATTRIBUTE = 2, XML_TEXT = 3 };

class CXMLElement;

// One cell of an element's singly linked child list.
struct CXMLChildLink {
  CXMLElement* m_pElement = nullptr;
  CXMLChildLink* m_pNext = nullptr;
};

// One node: an element, an attribute (name and value) or a text (its text in
// m_pszName). Only elements have children: first their attributes, then
// either child elements or exactly one text node.
class CXMLElement {
 public:
  CXMLElement() = default;
  CXMLElement(const CXMLElement&) = delete;
  CXMLElement& operator=(const CXMLElement&) = delete;
  // Deletes every child and cell, then clears the kind and frees the strings.
  virtual ~CXMLElement();

  // Appends node (ignored when null) at the end of the child list, which owns
  // it from then on; a node for which no cell can be made is deleted.
  void AddChild(CXMLElement* node);

  // The first attribute of that name among the leading attribute nodes.
  CXMLElement* FindAttribute(const char16_t* name) const;
  // The first child element of that name.
  CXMLElement* FindChild(const char16_t* name) const;
  // The text of the first text child, or null.
  const char16_t* GetText() const;
  // Child iteration with the element's own cursor.
  CXMLElement* First();
  CXMLElement* Next();

  uint32_t m_nType = 0;
  char16_t* m_pszName = nullptr;
  uint32_t m_nChildCount = 0;
  CXMLChildLink* m_pFirst = nullptr;
  CXMLChildLink* m_pCursor = nullptr;
  CXMLChildLink* m_pLast = nullptr;
  char16_t* m_pszValue = nullptr;
};

// Owns the loaded text and the tree.
class CXMLFile {
 public:
  CXMLFile() = default;
  CXMLFile(const CXMLFile&) = delete;
  CXMLFile& operator=(const CXMLFile&) = delete;
  // Deletes the tree, then frees the text.
  virtual ~CXMLFile();

  uint32_t m_nLength = 0;          // bytes of loaded text
  char16_t* m_pBuffer = nullptr;   // the text, m_nLength / 2 units, not terminated
  CXMLElement* m_pRoot = nullptr;  // the pseudo-root, or null

 protected:
  void Release();
};

class CXMLReader : public CXMLFile {
 public:
  // Reads the file byte for byte and parses it. 1 when it was read and
  // parsed, 0 otherwise (also for a tag name longer than 254 units, nesting
  // deeper than 64 levels, or a lack of memory); an earlier tree and text are
  // released first, a failed load's partial tree stays until the next load.
  int LoadXML(const char16_t* path);
  // The same on bytes already in memory (the file's whole contents).
  int LoadXMLBytes(const void* data, size_t size);

  // Parses the units first..last (both included) as the content of element.
  int ParseElement(CXMLElement* element, int64_t first, int64_t last);
  // Reads the attribute whose "=" stands at index into name and value
  // (capacities in units, terminator included; a longer name keeps the units
  // nearest the "=", a longer value its start); returns the index of the
  // closing quote, or one past the text when there is none.
  int64_t ParseAttribute(int64_t index, char16_t* name, size_t name_units, char16_t* value,
                         size_t value_units);

 private:
  struct Scan;

  int64_t TextUnits() const { return m_pBuffer ? m_nLength / 2 : 0; }
  int ParseLevel(CXMLElement* element, int64_t first, int64_t last, int depth);
  bool HandleTag(Scan& scan, CXMLElement* element, int64_t index, int depth);
  bool CompleteChild(Scan& scan, CXMLElement* element, int64_t index, int depth);
  bool AddPendingAttribute(const Scan& scan, CXMLElement* element);
};

}  // namespace obexses::xml
