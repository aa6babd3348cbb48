// Session keys: the client and server key forms, missing inputs and the
// bound of the client key.
#include <gtest/gtest.h>

#include "module/state.h"
#include "registry/registry.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

class RegistryKeysTest : public ModuleFixtureBase, public ::testing::Test {
 protected:
  RegistryKeysTest() { g_debug_level = 3; }
  const uint8_t address_[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xa0};
};

TEST_F(RegistryKeysTest, ClientKeyOfAddressProfileAndNameWithItsTraceLine) {
  EXPECT_EQ(BuildClientKey(address_, u"a.txt", 0x1106), u"client_01:02:03:04:05:a0_1106_a.txt");
  EXPECT_EQ(env().trace_lines(),
            Lines{Trace("build client key client_01:02:03:04:05:a0_1106_a.txt\n")});
}

TEST_F(RegistryKeysTest, ProfileTakesAtLeastFourDigitsAndAsManyAsItNeeds) {
  EXPECT_EQ(BuildClientKey(address_, u"n", 0x12345), u"client_01:02:03:04:05:a0_12345_n");
  EXPECT_EQ(BuildClientKey(address_, u"n", 0x7), u"client_01:02:03:04:05:a0_0007_n");
}

TEST_F(RegistryKeysTest, ServerKeyIsTheSixteenIdBytesInLowercaseHexWithoutTrace) {
  uint8_t id[16];
  for (int i = 0; i < 16; ++i) id[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(BuildServerKey(id), u"server_000102030405060708090a0b0c0d0e0f");
  id[15] = 0xAB;
  EXPECT_EQ(BuildServerKey(id), u"server_000102030405060708090a0b0c0d0eab");
  EXPECT_EQ(BuildServerKey(nullptr), u"");
  EXPECT_TRUE(env().trace_lines().empty());
}

TEST_F(RegistryKeysTest, MissingInputsGiveTheEmptyKeyWithoutTrace) {
  EXPECT_EQ(BuildClientKey(nullptr, u"a.txt", 0x1105), u"");
  EXPECT_EQ(BuildClientKey(address_, nullptr, 0x1105), u"");
  EXPECT_EQ(BuildClientKey(address_, u"", 0x1105), u"");
  EXPECT_TRUE(env().trace_lines().empty());
}

TEST_F(RegistryKeysTest, NamesDifferingInCaseAreDifferentSessions) {
  EXPECT_NE(BuildClientKey(address_, u"A.txt", 0x1105), BuildClientKey(address_, u"a.txt", 0x1105));
  ClientSession* record = tvr_create_client_session(0x1105);
  std::copy_n(address_, 6, record->bdaddr);
  SetName(record->file_name, u"A.txt");
  tvr_save_client_session(record);
  EXPECT_EQ(tvr_find_client_session(address_, u"a.txt", 0x1105), nullptr);
  EXPECT_EQ(tvr_find_client_session(address_, u"A.txt", 0x1105), record);
}

TEST_F(RegistryKeysTest, ClientKeyLongerThan519UnitsIsTheKeyOfNothing) {
  // "client_" + 17 + "_" + 4 + "_" leaves 489 units of name in a 519-unit key.
  EXPECT_EQ(BuildClientKey(address_, std::u16string(489, u'n').c_str(), 0x1105).size(), 519u);
  EXPECT_EQ(BuildClientKey(address_, std::u16string(490, u'n').c_str(), 0x1105), u"");
  EXPECT_EQ(BuildClientKey(address_, std::u16string(100000, u'n').c_str(), 0x1105), u"");
  env().clear_output();
  EXPECT_EQ(tvr_find_client_session(address_, std::u16string(600, u'n').c_str(), 0x1105), nullptr);
  EXPECT_EQ(env().trace_lines(), Lines{Trace("find client:no found \n")});
}

}  // namespace
}  // namespace obexses::testing
