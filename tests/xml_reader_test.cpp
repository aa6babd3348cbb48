// The session-file reader: the trees it builds, what it drops, and that no
// input can make it overrun or recurse without bound.
#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_env.h"
#include "text/wide.h"

namespace obexses::xml {
namespace {

using testing::Utf16Le;

// A node as one line: name[children], @attribute=value, 'text'.
std::u16string DumpNode(const CXMLElement* e) {
  if (e->m_nType == XML_ATTRIBUTE)
    return u"@" + std::u16string(e->m_pszName) + u"=" + e->m_pszValue;
  if (e->m_nType == XML_TEXT) return u"'" + std::u16string(e->m_pszName) + u"'";
  std::u16string out = std::u16string(e->m_pszName) + u"[";
  for (CXMLChildLink* c = e->m_pFirst; c != nullptr; c = c->m_pNext) {
    out += (c == e->m_pFirst ? u"" : u" ") + DumpNode(c->m_pElement);
  }
  return out + u"]";
}

class XmlReaderTest : public ::testing::Test {
 protected:
  int Load(const std::u16string& text) {
    const std::string bytes = Utf16Le(text);
    return reader_.LoadXMLBytes(bytes.data(), bytes.size());
  }
  // The pseudo-root's children, as UTF-8.
  std::string Tree() {
    const std::u16string all = DumpNode(reader_.m_pRoot);
    return text::ToUtf8(all.substr(9, all.size() - 10));
  }
  CXMLElement* Top() { return reader_.m_pRoot->First(); }

  CXMLReader reader_;
};

struct Case {
  const char16_t* text;
  int result;
  const char* tree;
};

TEST_F(XmlReaderTest, GrammarCases) {
  const Case cases[] = {
      // The shape of the module's own files: mark, prolog line, one run of text.
      {u"\uFEFF<?xml version=\"1.0\"?>\n<client_session><session profile_type=\"ftp\" "
       u"file_name=\"a b\"><m_lTimeout>0A</m_lTimeout><m_reqList num=\"02\"><req reqType=\"1\">"
       u"x &amp; y</req><req reqType=\"2\"></req></m_reqList></session><session p=\"o\">"
       u"</session></client_session>",
       1,
       "@version=1.0 client_session[session[@profile_type=ftp @file_name=a b m_lTimeout['0A'] "
       "m_reqList[@num=02 req[@reqType=1 'x &amp; y'] req[@reqType=2 '']]] session[@p=o '']]"},
      {u"\uFEFF<?xml version=\"1.0\"?>\n<server_session></server_session>", 1,
       "@version=1.0 server_session['']"},
      // Leaves keep their text as written: everything after the last ">".
      {u"<a></a>", 1, "a['']"},
      {u"<a x='1'></a>", 1, "a[@x=1 '']"},
      {u"<a> x\t&lt;\r\n y </a>", 1, "a[' x\t&lt;\r\n y ']"},
      {u"<a>1 > 2</a>", 1, "a[' 2']"},
      {u"<r><a>1</a>mixed<b>2</b></r>", 1, "r[a['1'] b['2']]"},
      {u"<a>x</a><b>", 1, "a['x']"},
      {u"\uFEFFplain", 1, "'\xEF\xBB\xBFplain'"},
      // Comments are passed over, unless an "=" in one makes an attribute.
      {u"<r><a>1</a><!-- note --><b>2</b></r>", 1, "r[a['1'] b['2']]"},
      {u"<r><a>1</a><!-- k='v' --><b>2</b></r>", 1, "r[a['1'] @k=v b['2']]"},
      // Attribute quirks.
      {u"<a f=\"Bob's\"></a>", 1, "a[@f=Bob '']"},
      {u"<a f='x=y' g='2'></a>", 1, "a[@g=2 '']"},
      {u"<a x ='1' y=''></a>", 1, "a[@=1 @y= '']"},
      {u"<a x='1'y='2'></a>", 1, "a[@x=1 @x=1y=2 '']"},
      {u"<a>n='v' tail</a>", 1, "a[@n=v 'n='v' tail']"},
      {u"x='1'", 1, "@x=1 'x='1''"},
      {u"<a x='1></a>", 1, "a['']"},
      // Shapes the grammar cannot close fail, keeping what was built.
      {u"<a/>", 0, ""},
      {u"<a><a>x</a></a>", 0, "a[]"},
      {u"<a\tx='1'>v</a>", 0, "@a\tx=1"},  // the tag never ends, the root takes it
      {u"<a\n>v</a>", 0, ""},
      {u"<a>x<y</a>", 0, "a[]"},
      {u"<a><!-- c --></a>", 0, "a[]"},
      {u"<?xml version=\"1.0\"?>", 0, "@version=1.0"},
      {u"<r><a>1</a>", 0, ""},
      {u"</a>", 0, ""},
      {u"<r><a>1</a><b><b>2</b></b></r>", 0, "r[a['1'] b[]]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.text));
    EXPECT_EQ(Load(c.text), c.result);
    EXPECT_EQ(Tree(), c.tree);
  }
}

TEST_F(XmlReaderTest, LongValuesNamesAndTokens) {
  const std::u16string value(1554, u'n');
  ASSERT_EQ(Load(u"<a v='" + value + u"'></a>"), 1);
  EXPECT_EQ(std::u16string(Top()->FindAttribute(u"v")->m_pszValue), value);
  ASSERT_EQ(Load(u"<a v='" + std::u16string(5000, u'n') + u"'></a>"), 1);
  EXPECT_EQ(std::u16string(Top()->First()->m_pszValue), std::u16string(2047, u'n'));
  // An overlong attribute name keeps the units nearest its "=".
  ASSERT_EQ(Load(u"<a " + std::u16string(300, u'p') + u"q='1'></a>"), 1);
  EXPECT_EQ(std::u16string(Top()->First()->m_pszName), std::u16string(254, u'p') + u"q");
  // A tag name must leave room for "/" in front of it.
  const std::u16string name(254, u'e');
  ASSERT_EQ(Load(u"<" + name + u">t</" + name + u">"), 1);
  EXPECT_EQ(std::u16string(Top()->m_pszName), name);
  EXPECT_EQ(Load(u"<" + name + u"e>t</" + name + u"e>"), 0);
  EXPECT_EQ(Load(u"<a>x</a><" + std::u16string(10000, u'z') + u" k='v'>"), 0);
}

std::u16string Nested(int levels) {
  std::u16string open, close;
  for (int i = 0; i < levels; ++i) {
    const std::u16string name = {u'e', static_cast<char16_t>(u'A' + i % 26),
                                 static_cast<char16_t>(u'A' + i / 26)};
    open += u"<" + name + u">";
    close = u"</" + name + u">" + close;
  }
  return open + u"x" + close;
}

TEST_F(XmlReaderTest, NestingIsBounded) {
  ASSERT_EQ(Load(Nested(63)), 1);
  CXMLElement* e = Top();
  for (int i = 1; i < 63; ++i) e = e->First();
  EXPECT_EQ(std::u16string(e->GetText()), u"x");
  EXPECT_EQ(Load(Nested(64)), 0);
  EXPECT_EQ(Load(Nested(600)), 0);
}

// Runs of "=" without quotes, and many small elements, stay linear.
TEST_F(XmlReaderTest, AttributeWalksDoNotRepeat) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 20000; ++i) text += u"<a>==========</a>";
  ASSERT_EQ(Load(text + u"'</r>"), 1);
  EXPECT_EQ(Top()->m_nChildCount, 20000u);
  EXPECT_EQ(Load(std::u16string(400000, u'=')), 1);
}

// The record reader walks children and finds attributes, children and texts
// (seen by the session-element tests); the rest of the lookups' rules:
TEST_F(XmlReaderTest, AttributeLookupIsExactAndStopsAtTheFirstChildElement) {
  ASSERT_EQ(Load(u"<r k='1' k='2'><c>t</c><k>e</k></r>"), 1);
  EXPECT_EQ(std::u16string(Top()->FindAttribute(u"k")->m_pszValue), u"1");
  EXPECT_EQ(Top()->FindAttribute(u"K"), nullptr);
  EXPECT_EQ(Top()->GetText(), nullptr);
  ASSERT_EQ(Load(u"<r><a>1</a><!-- k='v' --></r>"), 1);
  EXPECT_EQ(Top()->FindAttribute(u"k"), nullptr);
}

// 0x1A and the pair 0x0D 0x0A inside UTF-16 units are ordinary text.
TEST_F(XmlReaderTest, LoadsFilesByteForByte) {
  testing::TestEnv files;  // not installed: its private folder only
  const auto path = [&](const char* name) {
    return files.app_data_u16() + u"\\" + text::FromUtf8(name);
  };
  const std::u16string text = u"\uFEFF<?xml version=\"1.0\"?>\n<s><f>\u0A0D\u001A\u1A0A</f></s>";
  testing::WriteFile(files.app_data() / "ClientSession.xml", Utf16Le(text) + "\x01");
  ASSERT_EQ(reader_.LoadXML(path("ClientSession.xml").c_str()), 1);
  EXPECT_EQ(reader_.m_nLength, text.size() * 2 + 1);  // an odd last byte is ignored
  CXMLElement* f = reader_.m_pRoot->FindChild(u"s")->FindChild(u"f");
  EXPECT_EQ(std::u16string(f->GetText()), u"\u0A0D\u001A\u1A0A");
  EXPECT_EQ(reader_.LoadXML(path("missing.xml").c_str()), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);  // the earlier tree is gone
  testing::WriteFile(files.app_data() / "empty.xml", "");
  EXPECT_EQ(reader_.LoadXML(path("empty.xml").c_str()), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);
  EXPECT_EQ(reader_.m_pBuffer, nullptr);
  EXPECT_EQ(reader_.m_nLength, 0u);
}

}  // namespace
}  // namespace obexses::xml
