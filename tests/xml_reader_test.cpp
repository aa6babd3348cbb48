// The session-file reader: the trees it builds, what it drops, and that no
// input can make it overrun or recurse without bound.
#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_env.h"

namespace obexses::xml {
namespace {

using testing::Utf16Le;

// One node of a tree, flattened: kind, name (or text) and value.
struct Node {
  uint32_t type;
  std::u16string name;
  std::u16string value;
  bool operator==(const Node&) const = default;
};

std::vector<Node> Children(CXMLElement* element) {
  std::vector<Node> out;
  for (CXMLElement* c = element->First(); c != nullptr; c = element->Next()) {
    out.push_back({c->m_nType, c->m_pszName, c->m_pszValue ? c->m_pszValue : u""});
  }
  return out;
}

Node Elem(std::u16string name) {
  return {XML_ELEMENT, std::move(name), u""};
}
Node Attr(std::u16string name, std::u16string value) {
  return {XML_ATTRIBUTE, std::move(name), std::move(value)};
}
Node Text(std::u16string text) {
  return {XML_TEXT, std::move(text), u""};
}

class XmlReaderTest : public ::testing::Test {
 protected:
  int Load(const std::u16string& text) {
    const std::string bytes = Utf16Le(text);
    return reader_.LoadXMLBytes(bytes.data(), bytes.size());
  }
  CXMLElement* Root() { return reader_.m_pRoot; }
  // The top-level element: the first element under the pseudo-root.
  CXMLElement* Top() {
    for (CXMLElement* c = Root()->First(); c != nullptr; c = Root()->Next()) {
      if (c->m_nType == XML_ELEMENT) return c;
    }
    return nullptr;
  }

  CXMLReader reader_;
};

TEST_F(XmlReaderTest, EmptyElementGetsEmptyText) {
  ASSERT_EQ(Load(u"<a></a>"), 1);
  EXPECT_EQ(std::u16string(Root()->m_pszName), u"XML:ROOT");
  EXPECT_EQ(Children(Root()), std::vector<Node>{Elem(u"a")});
  EXPECT_EQ(Children(Top()), std::vector<Node>{Text(u"")});
  EXPECT_EQ(Load(u"<a x='1'></a>"), 1);
  EXPECT_EQ(Children(Top()), (std::vector<Node>{Attr(u"x", u"1"), Text(u"")}));
}

}  // namespace
}  // namespace obexses::xml
