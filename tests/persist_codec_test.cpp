// Value encoding of the session files: hex digits, text escapes, pieces and bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "persist/value_codec.h"

namespace obexses::persist {
namespace {

std::u16string Hex(const std::vector<uint8_t>& bytes) {
  char16_t* digits = BinToHex(bytes.data(), static_cast<int32_t>(bytes.size()));
  std::u16string text = digits != nullptr ? std::u16string(digits) : u"(null)";
  std::free(digits);
  return text;
}

std::vector<uint8_t> Bytes(const char16_t* text) {
  uint32_t count = 12345;
  uint8_t* block = HexToBin(text, &count);
  std::vector<uint8_t> bytes(block, block + count);
  std::free(block);
  return bytes;
}

TEST(PersistCodecTest, HexDigitsFollowTheRecordsByteOrder) {
  EXPECT_EQ(Hex({0x05, 0x11, 0x00, 0x00}), u"05110000");  // 4357
  EXPECT_EQ(Hex({0x06, 0x11, 0x00, 0x00}), u"06110000");  // 4358
  EXPECT_EQ(Hex({0x00, 0x00}), u"0000");
  EXPECT_EQ(Hex({0xFF}), u"FF");
  EXPECT_EQ(Hex({0x02, 0x01}), u"0201");                                      // 0x0102
  EXPECT_EQ(Hex({0x00, 0xF1, 0x53, 0x65, 0, 0, 0, 0}), u"00F1536500000000");  // 1700000000
  EXPECT_EQ(Hex({0xAB, 0xCD, 0xEF}), u"ABCDEF");
}

TEST(PersistCodecTest, NoDigitsForAnEmptyCount) {
  const uint8_t byte = 1;
  EXPECT_EQ(BinToHex(&byte, 0), nullptr);
  EXPECT_EQ(BinToHex(&byte, -1), nullptr);
}

TEST(PersistCodecTest, HexTextReadsPairsInEitherCase) {
  EXPECT_EQ(Bytes(u"05110000"), (std::vector<uint8_t>{0x05, 0x11, 0x00, 0x00}));
  EXPECT_EQ(Bytes(u"ff"), std::vector<uint8_t>{0xFF});
  EXPECT_EQ(Bytes(u"FF"), std::vector<uint8_t>{0xFF});
  EXPECT_EQ(Bytes(u"aBcD"), (std::vector<uint8_t>{0xAB, 0xCD}));
}

TEST(PersistCodecTest, OddLastDigitAndEmptyTextGiveNoByte) {
  EXPECT_EQ(Bytes(u"05110"), (std::vector<uint8_t>{0x05, 0x11}));
  EXPECT_EQ(Bytes(u"0"), std::vector<uint8_t>{});
  EXPECT_EQ(Bytes(u""), std::vector<uint8_t>{});
}

TEST(PersistCodecTest, NonHexUnitsCountAsZeroNibbles) {
  EXPECT_EQ(Bytes(u"G1x2"), (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_EQ(Bytes(u"1 2\u041A"), (std::vector<uint8_t>{0x10, 0x20}));
}

TEST(PersistCodecTest, FilePrintfWritesEveryPieceWhole) {
  SessionText text;
  EXPECT_EQ(FilePrintf(&text, u"<a>%s</a>", u"x"), 1);
  const std::u16string digits(2000, u'A');
  FilePrintf(&text, u"<ResumeParms_headerBuff>%s</ResumeParms_headerBuff>", digits);
  EXPECT_EQ(text.units,
            u"<a>x</a><ResumeParms_headerBuff>" + digits + u"</ResumeParms_headerBuff>");
}

TEST(PersistCodecTest, FileBytesAreTheMarkThenUtf16Le) {
  SessionText text;
  text.units = u"<a>\u041A\n";
  EXPECT_EQ(FileBytes(text), std::string("\xFF\xFE<\0a\0>\0\x1A\x04\n\0", 12));
}

TEST(PersistCodecTest, MarkupCharactersAreEscaped) {
  EXPECT_EQ(EscapeText(u"Bob's photo.jpg"), u"Bob&apos;s photo.jpg");
  EXPECT_EQ(EscapeText(u"a=b.txt"), u"a&#61;b.txt");
  EXPECT_EQ(EscapeText(u"<\">"), u"&lt;&quot;&gt;");
  EXPECT_EQ(EscapeText(u"photo.jpg"), u"photo.jpg");
  EXPECT_EQ(EscapeText(u""), u"");
}

TEST(PersistCodecTest, AmpersandIsEscapedOnlyWhereItStartsAForm) {
  EXPECT_EQ(EscapeText(u"Tom & Jerry&co"), u"Tom & Jerry&co");
  EXPECT_EQ(EscapeText(u"&lt;"), u"&amp;lt;");
  EXPECT_EQ(EscapeText(u"&amp;"), u"&amp;amp;");
  EXPECT_EQ(EscapeText(u"&#61;&apos;&quot;&gt;"), u"&amp;#61;&amp;apos;&amp;quot;&amp;gt;");
  EXPECT_EQ(EscapeText(u"&lt"), u"&lt");
  EXPECT_EQ(EscapeText(u"&<"), u"&&lt;");
}

TEST(PersistCodecTest, UnescapeDecodesExactlyTheSixForms) {
  EXPECT_EQ(UnescapeText(u"&lt;&gt;&#61;&apos;&quot;&amp;"), u"<>='\"&");
  EXPECT_EQ(UnescapeText(u"&#60;&nbsp;&LT;&amp"), u"&#60;&nbsp;&LT;&amp");
  EXPECT_EQ(UnescapeText(u"&amp;lt;"), u"&lt;");
}

TEST(PersistCodecTest, EveryMixOfMarkupRoundTrips) {
  const char16_t pieces[][7] = {u"&",    u"<",    u">",     u"=",     u"'",   u"\"", u"lt;",
                                u"amp;", u"#61;", u"quot;", u"apos;", u"gt;", u"x",  u"\u041A"};
  // Every string of up to three pieces.
  std::vector<std::u16string> values = {u""};
  for (int round = 0; round < 3; ++round) {
    std::vector<std::u16string> longer;
    for (const auto& value : values) {
      for (const auto* piece : pieces) longer.push_back(value + piece);
    }
    values.insert(values.end(), longer.begin(), longer.end());
  }
  for (const auto& value : values) {
    const std::u16string escaped = EscapeText(value);
    ASSERT_EQ(UnescapeText(escaped), value);
    for (char16_t unit : escaped) {
      ASSERT_TRUE(unit != u'<' && unit != u'>' && unit != u'=' && unit != u'\'' && unit != u'"');
    }
  }
}

}  // namespace
}  // namespace obexses::persist
