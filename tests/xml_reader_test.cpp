// The session-file reader: the trees it builds, what it drops, and that no
// input can make it overrun or recurse without bound. Every tree is also
// checked against the per-level reader it replaces.
#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/test_env.h"
#include "tests/support/per_level_reader.h"
#include "text/wide.h"

namespace obexses::xml {
namespace {

using testing::Utf16Le;

// A node as one line: name[children 'text'], @attribute=value.
std::u16string DumpNode(const CXMLElement* e) {
  if (e->m_nType == XML_ATTRIBUTE)
    return u"@" + std::u16string(e->Name()) + u"=" + std::u16string(e->Value());
  std::u16string out = std::u16string(e->Name()) + u"[";
  for (CXMLElement* c = e->FirstChild(); c != nullptr; c = c->NextSibling()) {
    out += (c == e->FirstChild() ? u"" : u" ") + DumpNode(c);
  }
  if (const auto text = e->GetText()) {
    out += (e->FirstChild() == nullptr ? u"\'" : u" \'") + std::u16string(*text) + u"\'";
  }
  return out + u"]";
}

class XmlReaderTest : public ::testing::Test {
 protected:
  // Loads the text with both readers; they must agree.
  int Load(const std::u16string& text) {
    const std::string bytes = Utf16Le(text);
    testing::RefNode expected;
    const int result = testing::LoadPerLevel(bytes.data(), bytes.size(), &expected);
    EXPECT_EQ(reader_.LoadXMLBytes(bytes.data(), bytes.size()), result) << text::ToUtf8(text);
    EXPECT_TRUE(expected.type == 0 ? reader_.m_pRoot == nullptr
                                   : testing::SameTree(expected, reader_.m_pRoot))
        << text::ToUtf8(text) << " gives " << text::ToUtf8(Dump());
    return result;
  }
  std::u16string Dump() { return reader_.m_pRoot ? DumpNode(reader_.m_pRoot) : u"-"; }
  // The pseudo-root's children, as UTF-8.
  std::string Tree() {
    const std::u16string all = Dump();
    return text::ToUtf8(all.substr(9, all.size() - 10));
  }
  CXMLElement* Top() { return reader_.m_pRoot->FirstChild(); }

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
  EXPECT_EQ(Top()->FindAttribute(u"v")->Value(), value);
  ASSERT_EQ(Load(u"<a v='" + std::u16string(5000, u'n') + u"'></a>"), 1);
  EXPECT_EQ(Top()->FirstChild()->Value(), std::u16string(2047, u'n'));
  // An overlong attribute name keeps the units nearest its "=".
  ASSERT_EQ(Load(u"<a " + std::u16string(300, u'p') + u"q='1'></a>"), 1);
  EXPECT_EQ(Top()->FirstChild()->Name(), std::u16string(254, u'p') + u"q");
  // A tag name must leave room for "/" in front of it.
  const std::u16string name(254, u'e');
  ASSERT_EQ(Load(u"<" + name + u">t</" + name + u">"), 1);
  EXPECT_EQ(Top()->Name(), name);
  EXPECT_EQ(Load(u"<" + name + u"e>t</" + name + u"e>"), 0);
  EXPECT_EQ(Load(u"<a>x</a><" + std::u16string(10000, u'z') + u" k='v'>"), 0);
  // An end tag is compared up to a zero unit in it, but only within 255 units.
  const std::u16string zero(1, u'\0');
  EXPECT_EQ(Load(u"<a>x</a" + zero + std::u16string(252, u'z') + u">"), 1);
  EXPECT_EQ(Load(u"<a>x</a" + zero + std::u16string(253, u'z') + u">"), 0);
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
  for (int i = 1; i < 63; ++i) e = e->FirstChild();
  EXPECT_EQ(e->GetText(), u"x");
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

// Texts made of the pieces the grammar reacts to, a zero unit among them:
// whatever the per-level reader gives, tree and result, the reader gives too.
TEST_F(XmlReaderTest, AgreesWithThePerLevelReaderOnGeneratedTexts) {
  const std::u16string pieces[] = {u"<a>", u"</a>", u"<b ", u"</b>", u"<a",   u"</a", u"x='1'",
                                   u" ",   u"?",    u"!",   u">",    u"<",    u"=",   u"'",
                                   u"\"",  u"/",    u"t",   u"\t",   u"<?x ", u"<!",  u"b"};
  uint64_t state = 1;
  const auto next = [&state](uint64_t bound) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % bound;
  };
  for (int n = 0; n < 20000; ++n) {
    std::u16string text;
    for (uint64_t k = next(16); k > 0; --k) {
      text += next(40) == 0 ? std::u16string(1, u'\0') : pieces[next(std::size(pieces))];
    }
    Load(text);
  }
}

// The record reader walks children and finds attributes, children and texts
// (seen by the session-element tests); the rest of the lookups' rules:
TEST_F(XmlReaderTest, AttributeLookupIsExactAndStopsAtTheFirstChildElement) {
  ASSERT_EQ(Load(u"<r k='1' k='2'><c>t</c><k>e</k></r>"), 1);
  EXPECT_EQ(Top()->FindAttribute(u"k")->Value(), u"1");
  EXPECT_EQ(Top()->FindAttribute(u"K"), nullptr);
  EXPECT_FALSE(Top()->GetText());
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
  EXPECT_EQ(f->GetText(), u"\u0A0D\u001A\u1A0A");
  EXPECT_EQ(reader_.LoadXML(path("missing.xml").c_str()), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);  // the earlier tree is gone
  testing::WriteFile(files.app_data() / "empty.xml", "");
  EXPECT_EQ(reader_.LoadXML(path("empty.xml").c_str()), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);
  EXPECT_TRUE(reader_.Text().empty());
  EXPECT_EQ(reader_.m_nLength, 0u);
}

}  // namespace
}  // namespace obexses::xml
