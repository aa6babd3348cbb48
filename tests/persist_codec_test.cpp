// Value encoding of the session files: hex digits and text escapes. Pieces
// and file bytes are checked by the exact session files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "persist/value_codec.h"
#include "text/wide.h"

namespace obexses::persist {
namespace {

using Bytes = std::vector<uint8_t>;

std::u16string Hex(const Bytes& bytes) {
  char16_t* digits = BinToHex(bytes.data(), static_cast<int32_t>(bytes.size()));
  std::u16string text = digits != nullptr ? std::u16string(digits) : u"(null)";
  std::free(digits);
  return text;
}

Bytes BytesOf(const char16_t* text) {
  uint32_t count = 12345;
  uint8_t* block = HexToBin(text, &count);
  Bytes bytes(block, block + count);
  std::free(block);
  return bytes;
}

TEST(PersistCodecTest, HexDigitsAreWrittenInByteOrderAndReadByPairs) {
  const struct {
    const char16_t* text;
    Bytes bytes;
  } cases[] = {
      {u"05110000", {0x05, 0x11, 0x00, 0x00}},
      {u"ff", {0xFF}},
      {u"aBcD", {0xAB, 0xCD}},
      {u"05110", {0x05, 0x11}},  // an odd last digit gives no byte
      {u"0", {}},
      {u"", {}},
      {u"G1x2", {0x01, 0x02}},  // units that are no digit count as zero
      {u"1 2\u041A", {0x10, 0x20}},
  };
  for (const auto& c : cases) EXPECT_EQ(BytesOf(c.text), c.bytes) << text::ToUtf8(c.text);
  const Bytes bytes = {0x00, 0xF1, 0x53, 0x65, 0xAB, 0xCD, 0xEF, 0xFF};
  EXPECT_EQ(Hex(bytes), u"00F15365ABCDEFFF");
  EXPECT_EQ(BinToHex(bytes.data(), 0), nullptr);
  EXPECT_EQ(BinToHex(bytes.data(), -1), nullptr);
}

TEST(PersistCodecTest, EscapesAndTheirReading) {
  const struct {
    const char16_t* text;
    const char16_t* escaped;
  } cases[] = {
      {u"Bob's photo.jpg", u"Bob&apos;s photo.jpg"},
      {u"a=b.txt", u"a&#61;b.txt"},
      {u"<\">", u"&lt;&quot;&gt;"},
      {u"", u""},
      // "&" is escaped only where it starts one of the forms.
      {u"Tom & Jerry&co", u"Tom & Jerry&co"},
      {u"&lt;", u"&amp;lt;"},
      {u"&amp;", u"&amp;amp;"},
      {u"&#61;&apos;&quot;&gt;", u"&amp;#61;&amp;apos;&amp;quot;&amp;gt;"},
      {u"&lt", u"&lt"},
      {u"&<", u"&&lt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeText(c.text), c.escaped) << text::ToUtf8(c.text);
    EXPECT_EQ(UnescapeText(c.escaped), c.text) << text::ToUtf8(c.text);
  }
  EXPECT_EQ(UnescapeText(u"&lt;&gt;&#61;&apos;&quot;&amp;"), u"<>='\"&");
  EXPECT_EQ(UnescapeText(u"&#60;&nbsp;&LT;&amp"), u"&#60;&nbsp;&LT;&amp");
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
    ASSERT_EQ(escaped.find_first_of(u"<>='\""), std::u16string::npos);
  }
}

}  // namespace
}  // namespace obexses::persist
