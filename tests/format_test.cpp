// The module's formatter: the conversions its messages use, its bounds, and
// arguments that do not match their conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "text/format.h"

namespace obexses::text {
namespace {

TEST(FormatTest, ConversionsOfTheModulesMessages) {
  EXPECT_EQ(Format(u"%s|%s|%S", u"wide", std::u16string(u"owned"), "narrow"), u"wide|owned|narrow");
  EXPECT_EQ(Format(u"%p|%p", reinterpret_cast<const void*>(uintptr_t{0xabc123}), nullptr),
            u"0000000000ABC123|0000000000000000");
  EXPECT_EQ(Format(u"%d %d %u", -42, 7, 4294967295u), u"-42 7 4294967295");
  EXPECT_EQ(Format(u"%x %02x %02x %02x", 0xbeefu, 5, 0xa0, 0x1ff), u"beef 05 a0 1ff");
  EXPECT_EQ(Format(u"%04x %04x %04x", 0x1105u, 0x7u, 0x12345u), u"1105 0007 12345");
  EXPECT_EQ(Format(u"100%% %5d|", 42), u"100%    42|");
}

TEST(FormatTest, MismatchedOrMissingArgumentsAreSafe) {
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%S", static_cast<const char*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%s|%S|%s", 5, u"wide", "narrow"), u"(bad)|(bad)|(bad)");
  EXPECT_EQ(Format(u"[%s][%d]", u"only"), u"[only][]");
  EXPECT_EQ(Format(u"%q|%s", 1, u"x"), u"(bad)|x");
  EXPECT_EQ(Format(u"end %"), u"end ");
  EXPECT_FALSE(Format(u"%d %x %p", u"string", "narrow", 3).empty());
  EXPECT_EQ(Format(u"%99999999999d", 1).size(), 64u);  // width is capped
}

TEST(FormatTest, BoundedFormattingNeverPassesItsCapacity) {
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(FormatBounded(buffer, 5, u"%s-%d", u"abc", 12345), 4u);
  EXPECT_EQ(std::u16string(buffer), u"abc-");
  EXPECT_EQ(buffer[5], u'#');
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(FormatBounded(buffer, 1, u"abc"), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], u'#');
  buffer[0] = u'#';
  EXPECT_EQ(FormatBounded(buffer, 0, u"abc"), 0u);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(FormatBounded(buffer, 8, u"%p", nullptr), 7u);
  EXPECT_EQ(std::u16string(buffer), u"0000000");
}

}  // namespace
}  // namespace obexses::text
