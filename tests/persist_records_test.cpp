// Session elements through the writer and the reader: every stored byte of
// the four layouts, what the reader makes of elements that the writer would
// not write, and the value encoding. The files of tests/data were made by the
// writer once.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "persist/record_xml.h"
#include "persist/session_file.h"
#include "persist/value_codec.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses::persist {
namespace {

std::string Data(const std::string& name) {
  return testing::ReadFile(std::filesystem::path(__FILE__).parent_path() / "data" / name);
}

std::u16string Units(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), 2 * units.size());
  return units;
}

std::u16string Written(const ClientSession* record) {
  SessionText text;
  EXPECT_EQ(WriteClientSession(&text, record), 1);
  return text.Units();
}

std::u16string Written(const ServerSession* record) {
  SessionText text;
  EXPECT_EQ(WriteServerSession(&text, record), 1);
  return text.Units();
}

// Hands each record that the file's text reads as to take.
template <typename Take>
void ReadSessions(bool server, std::u16string text, Take take) {
  EXPECT_EQ(server ? ReadServerFile(&text, 2 * text.size(), take)
                   : ReadClientFile(&text, 2 * text.size(), take),
            LoadResult::kLoaded);
}

// The record's bytes with its pointers (resume blocks, request list) cleared.
template <typename Record>
std::string Image(const Record* record, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(record), size);
  bytes.replace(offsetof(Record, ResumeParms_headerBuff), 8, 8, '\0');
  bytes.replace(offsetof(Record, ResumeParms_protoBuff), 8, 8, '\0');
  if (size == sizeof(FtpClientSession)) {
    bytes.replace(offsetof(FtpClientSession, m_reqList), sizeof(ReqLink), sizeof(ReqLink), '\0');
  }
  return bytes;
}

// A session of each layout with every byte of its record set, texts of full
// length full of markup, buffers of many pieces, requests: it reads as the
// image of the record it was written from, with its bytes that the file does
// not carry zero, also with the profile's children behind the common ones;
// and it is written again as it was.
TEST(PersistRecordsTest, EveryStoredByteOfTheFourLayoutsComesBack) {
  for (const std::string name : {"client_opp", "client_ftp", "server_opp", "server_ftp"}) {
    SCOPED_TRACE(name);
    const std::string image = Data(name + "_full.bin");
    const std::u16string file = Units(Data(name + "_full.xml"));
    const size_t start = file.find(u"<session"), body = file.find(u'>', start) + 1;
    const size_t common = file.find(u"<Goep"), end = file.rfind(u"</session>") + 10;
    const std::u16string element = file.substr(start, end - start);
    const std::u16string reordered = file.substr(0, body) + file.substr(common, end - 10 - common) +
                                     file.substr(body, common - body) + file.substr(end - 10);
    for (const std::u16string& text : {file, reordered}) {
      size_t read = 0;
      ReadSessions(name.starts_with("server"), text, [&](auto record) {
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Image(record.get(), image.size()), image);
        EXPECT_EQ(Written(record.get()), element);
        ++read;
      });
      EXPECT_EQ(read, 1u);
    }
  }
}

// The data file holds pairs of lines: the side and a session element that
// the writer would not write, then that element as the record read from it
// is written again, or "none" when no record is read.
TEST(PersistRecordsTest, ElementsOfTheDataFileAreReadAsItSays) {
  std::istringstream data(Data("session_elements.txt"));
  size_t cases = 0;
  for (std::string line, expected; std::getline(data, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::getline(data, expected);
    SCOPED_TRACE(line);
    const bool server = line.starts_with("server");
    const std::u16string root = server ? u"server_session>" : u"client_session>";
    std::u16string written;
    ReadSessions(server, u"<" + root + text::FromUtf8(line.substr(7)) + u"</" + root,
                 [&](auto record) {
                   written = record != nullptr ? Written(record.get()) : u"none";
                   if constexpr (std::is_same_v<decltype(record), ClientRecordDeepPtr>) {
                     if (record && record->profile_id == OBEXSES_PROFILE_FTP) {
                       // A proper list, if an empty one.
                       EXPECT_NE(records::AsFtp(record.get())->m_reqList.pNext, nullptr);
                     }
                   }
                 });
    EXPECT_EQ(text::ToUtf8(written), expected);
    ++cases;
  }
  EXPECT_EQ(cases, 14u);
}

// The conversions as no session element reaches them: the byte count of
// HexToBin, BinToHex refusing no bytes, and texts escaped on their own.
TEST(PersistCodecTest, ConversionsOnTheirOwn) {
  uint32_t count = 0;
  uint8_t* bytes = HexToBin(u"aB1", &count);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(bytes[0], 0xAB);
  EXPECT_EQ(BinToHex(bytes, 0), nullptr);
  EXPECT_EQ(BinToHex(bytes, -1), nullptr);
  std::free(bytes);
  EXPECT_EQ(EscapeText(u"a=<&lt;&"), u"a&#61;&lt;&amp;lt;&");
  EXPECT_EQ(EscapeText(std::u16string_view(u"a<", 1)), u"a");  // nothing past the view is read
  EXPECT_EQ(UnescapeText(u"a&#61;&lt;&amp;lt;&"), u"a=<&lt;&");
}

}  // namespace
}  // namespace obexses::persist
