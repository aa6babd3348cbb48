// SPDX-License-Identifier: MIT
// The session-file reader: the trees it builds, what it drops, and that no
// input can make it overrun or recurse without bound. Every load is also
// made by the per-level reader it replaces, and must give the same.
#include <sstream>

#include "tests/registry_helpers.h"
#include "tests/support/per_level_reader.h"
#include "xml/xml_reader.h"

namespace obexses::xml {
namespace {

class XmlReaderTest : public ::testing::Test {
 protected:
  // Loads the text with both readers; they must agree.
  int Load(const std::u16string& text) {
    const std::string bytes = testing::Utf16Le(text);
    std::u16string expected;
    const int result = testing::LoadPerLevel(bytes.data(), bytes.size(), &expected);
    EXPECT_EQ(reader_.LoadXMLBytes(bytes.data(), bytes.size()), result) << text::ToUtf8(text);
    EXPECT_EQ(testing::Dump(reader_.m_pRoot), expected) << text::ToUtf8(text);
    return result;
  }
  // The pseudo-root's children.
  std::u16string Tree() {
    const std::u16string all = testing::Dump(reader_.m_pRoot);
    return all.substr(9, all.size() - 10);
  }

  CXMLReader reader_;
};

// A field of the data file with its escapes resolved.
std::u16string Unescaped(std::string field) {
  for (size_t at, digits; (at = field.find("\\*")) != std::string::npos;) {
    const size_t count = std::stoul(field.substr(at + 2), &digits);
    field.replace(at, 3 + digits, std::string(count, field[at + 2 + digits]));
  }
  const std::pair<std::string, std::string> escapes[] = {
      {"\\t", "\t"}, {"\\r", "\r"}, {"\\n", "\n"}, {"\\0", {'\0'}}, {"\\uFEFF", "\xEF\xBB\xBF"}};
  for (const auto& [from, to] : escapes) {
    for (size_t at; (at = field.find(from)) != std::string::npos;)
      field.replace(at, from.size(), to);
  }
  return text::FromUtf8(field);
}

TEST_F(XmlReaderTest, GrammarCasesOfTheDataFile) {
  std::istringstream data(testing::ReadFile(std::filesystem::path(__FILE__).parent_path() / "data" /
                                            "xml_grammar.txt"));
  size_t cases = 0;
  for (std::string line; std::getline(data, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find(" | "), next = line.find(" | ", bar + 3);
    SCOPED_TRACE(line);
    EXPECT_EQ(Load(Unescaped(line.substr(next + 3))), line[0] - '0');
    EXPECT_EQ(Tree(), Unescaped(line.substr(bar + 3, next - bar - 3)));
    ++cases;
  }
  EXPECT_EQ(cases, 39u);
}

TEST_F(XmlReaderTest, NestingIsBounded) {
  const auto nested = [](int levels) {
    std::u16string open, close;
    for (int i = 0; i < levels; ++i) {
      const std::u16string name = {u'e', char16_t(u'A' + i % 26), char16_t(u'A' + i / 26)};
      open += u"<" + name + u">";
      close = u"</" + name + u">" + close;
    }
    return open + u"x" + close;
  };
  EXPECT_EQ(Load(nested(63)), 1);
  EXPECT_EQ(Load(nested(64)), 0);
  EXPECT_EQ(Load(nested(600)), 0);
}

// 0x1A and the pair 0x0D 0x0A inside UTF-16 units are ordinary text.
TEST_F(XmlReaderTest, LoadsFilesByteForByte) {
  testing::TestEnv files;  // not installed: its private folder only
  const std::u16string text = u"\uFEFF<?xml version=\"1.0\"?>\n<s><f>\u0A0D\u001A\u1A0A</f></s>";
  testing::WriteFile(files.app_data() / "ClientSession.xml", testing::Utf16Le(text) + "\x01");
  ASSERT_EQ(reader_.LoadXML(testing::ModulePath(files, "ClientSession.xml").c_str()), 1);
  EXPECT_EQ(reader_.m_nLength, text.size() * 2 + 1);  // an odd last byte is ignored
  EXPECT_EQ(reader_.m_pRoot->FindChild(u"s")->FindChild(u"f")->GetText(), u"\u0A0D\u001A\u1A0A");
  EXPECT_EQ(reader_.LoadXML(testing::ModulePath(files, "missing.xml").c_str()), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);  // the earlier tree is gone
  EXPECT_EQ(reader_.LoadXMLBytes("", 0) + reader_.LoadXMLBytes(nullptr, 4), 0);
  EXPECT_EQ(reader_.m_pRoot, nullptr);
  EXPECT_TRUE(reader_.Text().empty());
  EXPECT_EQ(reader_.m_nLength, 0u);
}

}  // namespace
}  // namespace obexses::xml
