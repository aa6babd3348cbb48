// Session elements: the encoding of values, round trips of every field of the
// four layouts, and the reader's rules. The exact text of each layout, its
// pieces and bytes are checked by the files test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "persist/record_xml.h"
#include "persist/value_codec.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/state.h"
#include "settings/settings.h"
#include "tests/persist_samples.h"
#include "tests/support/test_env.h"
#include "text/wide.h"
#include "xml/xml_reader.h"

namespace obexses::persist {
namespace {

using Requests = std::vector<std::pair<int, std::u16string>>;

struct Range {
  size_t offset;
  size_t width;
};

// What the files do not carry, by the record tables (pointers and list head included).
const std::vector<Range> kClientHeadNotStored = {{132, 12}, {146, 6}, {152, 8}, {162, 6}, {168, 8},
                                                 {180, 12}, {718, 2}, {724, 4}, {740, 4}};
const std::vector<Range> kServerHeadNotStored = {{132, 12}, {146, 6},  {152, 8}, {162, 6},
                                                 {168, 8},  {180, 12}, {212, 4}, {228, 4}};

struct Layout {
  const char* name;
  bool client;
  uint32_t profile;
  size_t size;
  std::vector<size_t> texts;  // offsets of the text values
  std::vector<Range> part_not_stored;
};

// clang-format off
const Layout kLayouts[] = {
    {"opp client", true, OBEXSES_PROFILE_OPP, 3392, {198, 764, 1284, 1804, 2344, 2864},
     {{2324, 12}, {2337, 3}}},
    {"ftp client", true, OBEXSES_PROFILE_FTP, 3432, {198, 788, 1308, 1828, 2348, 2868},
     {{772, 12}, {3404, 4}, {3408, 16}, {3424, 8}}},
    {"opp server", false, OBEXSES_PROFILE_OPP, 1848, {248, 790, 1310},
     {{770, 14}, {788, 2}, {1830, 2}, {1844, 4}}},
    {"ftp server", false, OBEXSES_PROFILE_FTP, 2912, {240, 776, 1296, 1816, 2376},
     {{760, 8}, {769, 1}, {2344, 32}}},
};
// clang-format on

// 259 units of markup, entity look-alikes, Cyrillic (К holds byte 0x1A) and
// a unit whose bytes are 0D 0A, varied by seed.
std::u16string NastyText(size_t seed) {
  static const std::u16string palette =
      u"<>='\"&;lt;gt;amp;#61;apos;quot; \u041A\u0A0D\t?!/\\xyz\u00E9";
  std::u16string text;
  for (size_t i = 0; i < 259; ++i) text.push_back(palette[(i * 7 + seed) % palette.size()]);
  return text;
}

uint8_t* Pattern(size_t size, uint32_t seed) {
  auto* block = static_cast<uint8_t*>(std::malloc(size));
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    block[i] = static_cast<uint8_t>(seed >> 16);
  }
  return block;
}

// Every byte of the record, texts full length, buffers of more than a piece's
// worth of digits.
template <typename Record>
void FillEverything(Record* record, const Layout& layout) {
  auto* base = reinterpret_cast<uint8_t*>(record);
  uint8_t* pattern = Pattern(layout.size, static_cast<uint32_t>(layout.size));
  std::memcpy(base, pattern, layout.size);
  std::free(pattern);
  for (size_t offset : layout.texts) {
    testing::SetText(reinterpret_cast<char16_t*>(base + offset), NastyText(offset));
  }
  record->profile_id = layout.profile;
  record->ResumeParms_headerLen = 1000;
  record->ResumeParms_headerBuff = Pattern(1000, 1);
  record->ResumeParms_protoLen = 600;
  record->ResumeParms_protoBuff = Pattern(600, 2);
}

std::vector<uint8_t> Masked(const void* record, size_t size, const std::vector<Range>& ranges) {
  const auto* base = static_cast<const uint8_t*>(record);
  std::vector<uint8_t> bytes(base, base + size);
  for (const Range& r : ranges) std::fill_n(bytes.begin() + r.offset, r.width, 0);
  return bytes;
}

// The read record equals the written one in every stored byte, and is zero elsewhere.
template <typename Record>
void ExpectStoredBytesEqual(const Record* written, const Record* read, const Layout& layout) {
  std::vector<Range> not_stored = layout.client ? kClientHeadNotStored : kServerHeadNotStored;
  not_stored.insert(not_stored.end(), layout.part_not_stored.begin(), layout.part_not_stored.end());
  std::vector<Range> pointers = {{152, 8}, {168, 8}};
  if (layout.client && layout.profile == OBEXSES_PROFILE_FTP) pointers.push_back({3408, 16});
  EXPECT_EQ(Masked(read, layout.size, pointers), Masked(written, layout.size, not_stored));
  const auto buffer = [](const uint8_t* block, uint16_t length) {
    return block != nullptr ? std::vector<uint8_t>(block, block + length) : std::vector<uint8_t>{};
  };
  EXPECT_EQ(buffer(read->ResumeParms_headerBuff, read->ResumeParms_headerLen),
            buffer(written->ResumeParms_headerBuff, written->ResumeParms_headerLen));
  EXPECT_EQ(buffer(read->ResumeParms_protoBuff, read->ResumeParms_protoLen),
            buffer(written->ResumeParms_protoBuff, written->ResumeParms_protoLen));
}

Requests RequestsOf(ClientSession* record) {
  Requests list;
  const ReqLink* head = &records::AsFtp(record)->m_reqList;
  for (const ReqLink* link = head->pNext; link != head; link = link->pNext) {
    const auto* node = reinterpret_cast<const ReqEntry*>(link);
    list.emplace_back(node->reqType, node->szText);
  }
  return list;
}

class PersistRecordsTest : public ::testing::Test, protected testing::ModuleFixtureBase {
 protected:
  // Records go on the registry's lists, which the fixture empties with their buffers.
  static ClientSession* Keep(ClientSession* r) { return r ? g_client_sessions.emplace_back(r) : r; }
  static ServerSession* Keep(ServerSession* r) { return r ? g_server_sessions.emplace_back(r) : r; }
  static ClientSession* NewLiveClient(uint32_t profile) {
    ClientSession* record = Keep(records::NewClientRecord(profile));
    RegisterLiveSession(record);
    return record;
  }
  static ServerSession* NewServer(uint32_t profile) {
    return Keep(records::NewServerRecord(profile));
  }

  // The first session element of a parsed file text.
  xml::CXMLElement* Session(const std::u16string& root, const std::u16string& sessions) {
    const std::string bytes = testing::FileBytes(root, sessions);
    EXPECT_EQ(reader_.LoadXMLBytes(bytes.data(), bytes.size()), 1);
    xml::CXMLElement* top =
        reader_.m_pRoot != nullptr ? reader_.m_pRoot->FindChild(root.c_str()) : nullptr;
    return top != nullptr ? top->FindChild(u"session") : nullptr;
  }
  ClientSession* ReadClient(const std::u16string& element) {
    xml::CXMLElement* session = Session(u"client_session", element);
    return session != nullptr ? Keep(ReadClientSession(session)) : nullptr;
  }
  ServerSession* ReadServer(const std::u16string& element) {
    xml::CXMLElement* session = Session(u"server_session", element);
    return session != nullptr ? Keep(ReadServerSession(session)) : nullptr;
  }

  static std::u16string Written(const ClientSession* record) {
    SessionText text;
    WriteClientSession(&text, record);
    return text.Units();
  }
  static std::u16string Written(const ServerSession* record) {
    SessionText text;
    WriteServerSession(&text, record);
    return text.Units();
  }

  xml::CXMLReader reader_;
};

TEST_F(PersistRecordsTest, EveryFieldOfTheFourLayoutsRoundTrips) {
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    if (!layout.client) {
      ServerSession* record = NewServer(layout.profile);
      FillEverything(record, layout);
      ServerSession* read = ReadServer(Written(record));
      ASSERT_NE(read, nullptr);
      ExpectStoredBytesEqual(record, read, layout);
      continue;
    }
    ClientSession* record = NewLiveClient(layout.profile);
    FillEverything(record, layout);
    if (layout.profile == OBEXSES_PROFILE_FTP) {
      records::ResetRequestList(records::AsFtp(record));
      for (uint8_t type : {0x00, 0x7F, 0xFF}) {
        records::AppendRequest(records::AsFtp(record), testing::Request(type, NastyText(type)));
      }
    }
    ClientSession* read = ReadClient(Written(record));
    ASSERT_NE(read, nullptr);
    ExpectStoredBytesEqual(record, read, layout);
    if (layout.profile == OBEXSES_PROFILE_FTP) {
      EXPECT_EQ(RequestsOf(read), RequestsOf(record));
    }
  }
}

TEST_F(PersistRecordsTest, ChildOrderDoesNotMatter) {
  // The profile's children moved behind the common ones.
  const std::u16string e = testing::FtpClientElement();
  const size_t body = e.find(u'>') + 1;
  const size_t common = e.find(u"<GoepClient_sessionTimeout>");
  const size_t end = e.rfind(u"</session>");
  ClientSession* read = ReadClient(e.substr(0, body) + e.substr(common, end - common) +
                                   e.substr(body, common - body) + u"</session>");
  ASSERT_NE(read, nullptr);
  ClientSession* model = NewLiveClient(OBEXSES_PROFILE_FTP);
  testing::FillFtpClient(model);
  const std::vector<Range> pointers = {{152, 8}, {168, 8}, {3408, 16}};
  EXPECT_EQ(Masked(read, 3432, pointers), Masked(model, 3432, pointers));
  EXPECT_EQ(RequestsOf(read), RequestsOf(model));
}

TEST_F(PersistRecordsTest, MissingValuesStayZeroRepeatsAreIgnoredLongTextIsCut) {
  ClientSession* read = ReadClient(
      u"<session profile_type=\"opp\" profile_id=\"05110000\" file_name=\"a.txt\" "
      u"file_name=\"b.txt\"><state>07</state><state>08</state><handler><x>1</x></handler>"
      u"<m_szInboxpath>C:\\In</m_szInboxpath><pathName>" +
      std::u16string(300, u'n') + u"</pathName></session>");
  ASSERT_NE(read, nullptr);
  ClientSession* model = NewLiveClient(OBEXSES_PROFILE_OPP);
  testing::SetText(model->file_name, u"a.txt");
  records::AsOpp(model)->state = 7;
  testing::SetText(records::AsOpp(model)->m_szInboxpath, u"C:\\In");
  testing::SetText(records::AsOpp(model)->pathName, std::u16string(259, u'n'));
  EXPECT_EQ(std::memcmp(read, model, 3392), 0);
}

TEST_F(PersistRecordsTest, ProfileTypeMustBeKnownAndAgreeWithProfileId) {
  for (const char16_t* element :
       {u"<session profile_type=\"FTP\" profile_id=\"06110000\"></session>",
        u"<session profile_id=\"06110000\"></session>",
        u"<session profile_type=\"opp\" profile_id=\"06110000\"></session>",
        u"<session profile_type=\"ftp\"><m_reqList num=\"01000000\"><req reqType=\"01\">x"
        u"</req></m_reqList></session>"}) {
    EXPECT_EQ(ReadClient(element), nullptr) << text::ToUtf8(element);
  }
  for (const char16_t* element :
       {u"<session profile_type=\"ftp\" profile_id=\"05110000\"></session>",
        u"<session profile_type=\"Opp\" profile_id=\"05110000\"></session>"}) {
    EXPECT_EQ(ReadServer(element), nullptr) << text::ToUtf8(element);
  }
  // A child of the other profile is not read.
  ServerSession* ftp = ReadServer(
      u"<session profile_type=\"ftp\" profile_id=\"06110000\" session_id=\"0102030405060708\">"
      u"<m_szInboxpath>C:\\In</m_szInboxpath></session>");
  ASSERT_NE(ftp, nullptr);
  ServerSession* model = NewServer(OBEXSES_PROFILE_FTP);
  for (int i = 0; i < 8; ++i) model->session_id[i] = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(std::memcmp(ftp, model, 2912), 0);
}

TEST_F(PersistRecordsTest, RequestNodesFollowTheReqChildrenNotTheCount) {
  ClientSession* fresh = NewLiveClient(OBEXSES_PROFILE_FTP);  // head still two null pointers
  const std::u16string empty = u"<m_reqList num=\"00000000\"></m_reqList>";
  EXPECT_NE(Written(fresh).find(empty), std::u16string::npos);
  records::ResetRequestList(records::AsFtp(fresh));
  EXPECT_NE(Written(fresh).find(empty), std::u16string::npos);
  const std::u16string head = u"<session profile_type=\"ftp\" profile_id=\"06110000\">";
  ClientSession* three = ReadClient(head +
                                    u"<m_reqList num=\"01000000\"><req reqType=\"01\">a</req>"
                                    u"<other>z</other><req reqType=\"02\">b</req><req>c</req>"
                                    u"</m_reqList></session>");
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(RequestsOf(three), (Requests{{1, u"a"}, {2, u"b"}, {0, u"c"}}));
  ClientSession* none = ReadClient(
      head + u"<m_reqList num=\"00000000\"><req reqType=\"01\">a</req></m_reqList></session>");
  ASSERT_NE(none, nullptr);
  const ReqLink* list = &records::AsFtp(none)->m_reqList;
  EXPECT_TRUE(list->pNext == list && list->pPrev == list);  // an empty list points at itself
}

TEST_F(PersistRecordsTest, BufferLengthIsWhatWasRead) {
  ServerSession* read = ReadServer(
      u"<session profile_type=\"opp\" profile_id=\"05110000\">"
      u"<ResumeParms_headerLen>0500</ResumeParms_headerLen>"
      u"<ResumeParms_headerBuff>0102</ResumeParms_headerBuff>"
      u"<ResumeParms_protoLen>0000</ResumeParms_protoLen>"
      u"<ResumeParms_protoBuff>0102</ResumeParms_protoBuff></session>");
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->ResumeParms_headerLen, 2);
  EXPECT_EQ(read->ResumeParms_headerBuff[1], 2);
  EXPECT_EQ(read->ResumeParms_protoLen, 0);
  EXPECT_EQ(read->ResumeParms_protoBuff, nullptr);
  // A null buffer with a length is written as one zero byte, and read back so.
  ClientSession* record = NewLiveClient(OBEXSES_PROFILE_OPP);
  record->ResumeParms_headerLen = 2;
  const std::u16string text = Written(record);
  EXPECT_NE(text.find(u"<ResumeParms_headerLen>0200</ResumeParms_headerLen>"
                      u"<ResumeParms_headerBuff>00</ResumeParms_headerBuff>"),
            std::u16string::npos);
  ClientSession* back = ReadClient(text);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->ResumeParms_headerLen, 1);
  EXPECT_EQ(back->ResumeParms_headerBuff[0], 0);
}

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const char16_t* text) {
  uint32_t count = 12345;
  uint8_t* block = HexToBin(text, &count);
  Bytes bytes(block, block + count);
  std::free(block);
  return bytes;
}

// What BinToHex writes is pinned by the sample files.
TEST(PersistCodecTest, HexDigitsAreReadByPairs) {
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
  EXPECT_EQ(BinToHex(cases[0].bytes.data(), 0), nullptr);
  EXPECT_EQ(BinToHex(cases[0].bytes.data(), -1), nullptr);
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

}  // namespace
}  // namespace obexses::persist
