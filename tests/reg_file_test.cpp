// The .reg file reader that stands for the machine settings on POSIX.
#include <gtest/gtest.h>

#include <string>

#include "platform/reg_file.h"
#include "tests/support/test_env.h"

namespace obexses::platform {
namespace {

constexpr char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway";

std::string Value(const std::string& file, const std::u16string& name) {
  std::string data;
  return FindRegFileValue(file, kKey, name, &data) ? data : std::string("<none>");
}

const std::string kFile =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
    "\"Elsewhere\"=dword:00000001\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brindleway]\r\n"
    "; a comment\r\n"
    "\"ObexSesDebugLevel\"=dword:0000002a\r\n"
    "\"Name\"=\"ab\"\r\n"
    "\"Quoted\"=\"a\\\"b\\\\\"\r\n"
    "\"Bytes\"=hex:01,02,ff\r\n"
    "\"Long\"=hex:01,02,03,\\\r\n"
    "  04,05\r\n"
    "\"Gone\"=dword:00000001\r\n"
    "\"Gone\"=-\r\n"
    "\"Twice\"=dword:00000001\r\n"
    "\"Twice\"=dword:00000002\r\n";

TEST(RegFileTest, ValueKindsGiveTheBytesTheRegistryStores) {
  EXPECT_EQ(Value(kFile, u"ObexSesDebugLevel"), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(Value(kFile, u"Name"), std::string("a\0b\0\0\0", 6));  // units and terminator
  EXPECT_EQ(Value(kFile, u"Quoted"), std::string("a\0\"\0b\0\\\0\0\0", 10));
  EXPECT_EQ(Value(kFile, u"Bytes"), std::string("\x01\x02\xff", 3));
  EXPECT_EQ(Value(kFile, u"Long"), std::string("\x01\x02\x03\x04\x05", 5));
  EXPECT_EQ(Value(kFile, u"Twice"), std::string("\x02\0\0\0", 4));
}

TEST(RegFileTest, NamesCompareWithoutCase) {
  std::string data;
  EXPECT_TRUE(FindRegFileValue(kFile, u"hkey_local_machine\\SOFTWARE\\velmora\\brindleway",
                               u"obexsesdebuglevel", &data));
  EXPECT_EQ(data, std::string("\x2a\0\0\0", 4));
}

TEST(RegFileTest, MissingSectionValueOrDeletedValueIsNotFound) {
  EXPECT_EQ(Value(kFile, u"Elsewhere"), "<none>");
  EXPECT_EQ(Value(kFile, u"Gone"), "<none>");
  EXPECT_EQ(Value(kFile, u"Absent"), "<none>");
  EXPECT_EQ(Value("\"ObexSesDebugLevel\"=dword:00000003\n", u"ObexSesDebugLevel"), "<none>");
  EXPECT_EQ(Value("", u"ObexSesDebugLevel"), "<none>");
}

TEST(RegFileTest, Utf16LittleEndianFileWithItsByteOrderMark) {
  const std::string file = "\xFF\xFE" + testing::Utf16Le(
                                            u"Windows Registry Editor Version 5.00\r\n"
                                            u"[HKEY_LOCAL_MACHINE\\Software\\Velmora\\"
                                            u"Brindleway]\r\n"
                                            u"\"ObexSesSaveFile\"=dword:00000001\r\n");
  EXPECT_EQ(Value(file, u"ObexSesSaveFile"), std::string("\x01\0\0\0", 4));
}

}  // namespace
}  // namespace obexses::platform
