// Session elements: the exact text of each layout, the reader's rules, and
// round trips of every field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "module/state.h"
#include "persist/record_xml.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "tests/persist_samples.h"
#include "tests/support/test_env.h"
#include "xml/xml_reader.h"

namespace obexses::persist {
namespace {

using obexses::testing::FileText;

struct Range {
  size_t offset;
  size_t width;
};

// What the files do not carry, by the record tables (pointers and list head included).
const std::vector<Range> kClientHeadNotStored = {{132, 12}, {146, 6}, {152, 8}, {162, 6}, {168, 8},
                                                 {180, 12}, {718, 2}, {724, 4}, {740, 4}};
const std::vector<Range> kOppClientNotStored = {{2324, 12}, {2337, 3}};
const std::vector<Range> kFtpClientNotStored = {{772, 12}, {3404, 4}, {3408, 16}, {3424, 8}};
const std::vector<Range> kServerHeadNotStored = {{132, 12}, {146, 6},  {152, 8}, {162, 6},
                                                 {168, 8},  {180, 12}, {212, 4}, {228, 4}};
const std::vector<Range> kOppServerNotStored = {{770, 14}, {788, 2}, {1830, 2}, {1844, 4}};
const std::vector<Range> kFtpServerNotStored = {{760, 8}, {769, 1}, {2344, 32}};

// Offsets of the text values of each layout.
const std::vector<size_t> kOppClientTexts = {198, 764, 1284, 1804, 2344, 2864};
const std::vector<size_t> kFtpClientTexts = {198, 788, 1308, 1828, 2348, 2868};
const std::vector<size_t> kOppServerTexts = {248, 790, 1310};
const std::vector<size_t> kFtpServerTexts = {240, 776, 1296, 1816, 2376};

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

// Every byte of the record set, texts full length, buffers of more than a
// piece's worth of digits.
void FillEverything(uint8_t* base, size_t size, const std::vector<size_t>& texts) {
  uint8_t* pattern = Pattern(size, static_cast<uint32_t>(size));
  std::memcpy(base, pattern, size);
  std::free(pattern);
  for (size_t offset : texts) {
    testing::SetText(reinterpret_cast<char16_t*>(base + offset), NastyText(offset));
  }
  uint16_t header = 1000, proto = 600;
  std::memcpy(base + 144, &header, 2);
  std::memcpy(base + 160, &proto, 2);
  uint8_t* header_block = Pattern(header, 1);
  uint8_t* proto_block = Pattern(proto, 2);
  std::memcpy(base + 152, &header_block, 8);
  std::memcpy(base + 168, &proto_block, 8);
}

std::vector<uint8_t> Expected(const uint8_t* base, size_t size,
                              std::initializer_list<const std::vector<Range>*> skipped) {
  std::vector<uint8_t> bytes(base, base + size);
  for (const auto* ranges : skipped) {
    for (const Range& r : *ranges) std::fill_n(bytes.begin() + r.offset, r.width, 0);
  }
  return bytes;
}

std::vector<uint8_t> Buffer(const uint8_t* base, size_t length_offset) {
  uint16_t length = 0;
  const uint8_t* block = nullptr;
  std::memcpy(&length, base + length_offset, 2);
  std::memcpy(&block, base + length_offset + 8, 8);
  if (block == nullptr) return {};
  return std::vector<uint8_t>(block, block + length);
}

// The record's bytes with its pointers and list head cleared.
std::vector<uint8_t> WithoutPointers(const uint8_t* base, size_t size, bool list_head) {
  std::vector<uint8_t> bytes(base, base + size);
  std::fill_n(bytes.begin() + 152, 8, 0);
  std::fill_n(bytes.begin() + 168, 8, 0);
  if (list_head) std::fill_n(bytes.begin() + 3408, 16, 0);
  return bytes;
}

std::vector<std::pair<int, std::u16string>> Requests(ClientSession* record) {
  std::vector<std::pair<int, std::u16string>> list;
  const ReqLink* head = &records::AsFtp(record)->m_reqList;
  for (const ReqLink* link = head->pNext; link != head; link = link->pNext) {
    const auto* node = reinterpret_cast<const ReqEntry*>(link);
    list.emplace_back(node->reqType, node->szText);
  }
  return list;
}

class PersistRecordsTest : public ::testing::Test, protected testing::ModuleFixtureBase {
 protected:
  ~PersistRecordsTest() override {
    for (ClientSession* r : clients_) {
      UnregisterLiveSession(r);
      records::DeleteClientRecordDeep(r);
    }
    for (ServerSession* r : servers_) records::DeleteServerRecordDeep(r);
  }

  ClientSession* NewLiveClient(uint32_t profile) {
    ClientSession* record = records::NewClientRecord(profile);
    RegisterLiveSession(record);
    clients_.push_back(record);
    return record;
  }
  ServerSession* NewServer(uint32_t profile) {
    ServerSession* record = records::NewServerRecord(profile);
    servers_.push_back(record);
    return record;
  }
  ClientSession* Keep(ClientSession* record) {
    if (record != nullptr) clients_.push_back(record);
    return record;
  }
  ServerSession* Keep(ServerSession* record) {
    if (record != nullptr) servers_.push_back(record);
    return record;
  }

  // The first session element of a parsed file text.
  xml::CXMLElement* Session(const std::u16string& root, const std::u16string& sessions) {
    const std::u16string units = u"\uFEFF" + FileText(root, sessions);
    const std::string bytes = testing::Utf16Le(units);
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
    return text.units;
  }
  static std::u16string Written(const ServerSession* record) {
    SessionText text;
    WriteServerSession(&text, record);
    return text.units;
  }

  xml::CXMLReader reader_;
  std::vector<ClientSession*> clients_;
  std::vector<ServerSession*> servers_;
};

TEST_F(PersistRecordsTest, OppClientSessionIsWrittenExactly) {
  ClientSession* record = NewLiveClient(records::kProfileOpp);
  testing::FillOppClient(record);
  EXPECT_EQ(Written(record), testing::OppClientElement());
}

TEST_F(PersistRecordsTest, FtpClientSessionWritesItsRequestsInListOrder) {
  ClientSession* record = NewLiveClient(records::kProfileFtp);
  testing::FillFtpClient(record);
  EXPECT_EQ(Written(record), testing::FtpClientElement());
}

TEST_F(PersistRecordsTest, ServerSessionsAreWrittenExactly) {
  ServerSession* opp = NewServer(records::kProfileOpp);
  testing::FillOppServer(opp);
  EXPECT_EQ(Written(opp), testing::OppServerElement());
  ServerSession* ftp = NewServer(records::kProfileFtp);
  testing::FillFtpServer(ftp);
  EXPECT_EQ(Written(ftp), testing::FtpServerElement());
}

TEST_F(PersistRecordsTest, NotLiveOrUnknownRecordsWriteNothing) {
  ClientSession* record = records::NewClientRecord(records::kProfileOpp);
  SessionText text;
  EXPECT_EQ(WriteClientSession(&text, record), 0);
  records::DeleteClientRecord(record);
  ClientSession* other = NewLiveClient(records::kProfileOpp);
  other->profile_id = 0x1107;
  EXPECT_EQ(WriteClientSession(&text, other), 1);
  ServerSession* server = NewServer(records::kProfileFtp);
  server->profile_id = 0;
  EXPECT_EQ(WriteServerSession(&text, server), 1);
  EXPECT_EQ(text.units, u"");
}

TEST_F(PersistRecordsTest, NullOrEmptyRequestListIsWrittenEmpty) {
  ClientSession* fresh = NewLiveClient(records::kProfileFtp);  // head still two null pointers
  EXPECT_NE(Written(fresh).find(u"<m_reqList num=\"00000000\"></m_reqList>"), std::u16string::npos);
  records::ResetRequestList(records::AsFtp(fresh));
  EXPECT_NE(Written(fresh).find(u"<m_reqList num=\"00000000\"></m_reqList>"), std::u16string::npos);
  ClientSession* read = ReadClient(Written(fresh));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(records::AsFtp(read)->m_reqList.pNext, &records::AsFtp(read)->m_reqList);
  EXPECT_EQ(records::AsFtp(read)->m_reqList.pPrev, &records::AsFtp(read)->m_reqList);
}

TEST_F(PersistRecordsTest, EveryClientFieldRoundTrips) {
  struct Case {
    uint32_t profile;
    size_t size;
    const std::vector<size_t>* texts;
    const std::vector<Range>* part;
  };
  for (const Case& c : {Case{records::kProfileOpp, 3392, &kOppClientTexts, &kOppClientNotStored},
                        Case{records::kProfileFtp, 3432, &kFtpClientTexts, &kFtpClientNotStored}}) {
    ClientSession* record = NewLiveClient(c.profile);
    auto* base = reinterpret_cast<uint8_t*>(record);
    FillEverything(base, c.size, *c.texts);
    record->profile_id = c.profile;
    const bool ftp = c.profile == records::kProfileFtp;
    if (ftp) {
      records::ResetRequestList(records::AsFtp(record));
      for (uint8_t type : {0x00, 0x7F, 0xFF}) {
        records::AppendRequest(records::AsFtp(record), testing::Request(type, NastyText(type)));
      }
    }
    ClientSession* read = ReadClient(Written(record));
    ASSERT_NE(read, nullptr);
    const auto* back = reinterpret_cast<const uint8_t*>(read);
    EXPECT_EQ(WithoutPointers(back, c.size, ftp),
              Expected(base, c.size, {&kClientHeadNotStored, c.part}));
    EXPECT_EQ(Buffer(back, 144), Buffer(base, 144));
    EXPECT_EQ(Buffer(back, 160), Buffer(base, 160));
    if (ftp) {
      EXPECT_EQ(Requests(read), Requests(record));
    }
  }
}

TEST_F(PersistRecordsTest, EveryServerFieldRoundTrips) {
  struct Case {
    uint32_t profile;
    size_t size;
    const std::vector<size_t>* texts;
    const std::vector<Range>* part;
  };
  for (const Case& c : {Case{records::kProfileOpp, 1848, &kOppServerTexts, &kOppServerNotStored},
                        Case{records::kProfileFtp, 2912, &kFtpServerTexts, &kFtpServerNotStored}}) {
    ServerSession* record = NewServer(c.profile);
    auto* base = reinterpret_cast<uint8_t*>(record);
    FillEverything(base, c.size, *c.texts);
    record->profile_id = c.profile;
    ServerSession* read = ReadServer(Written(record));
    ASSERT_NE(read, nullptr);
    const auto* back = reinterpret_cast<const uint8_t*>(read);
    EXPECT_EQ(WithoutPointers(back, c.size, false),
              Expected(base, c.size, {&kServerHeadNotStored, c.part}));
    EXPECT_EQ(Buffer(back, 144), Buffer(base, 144));
    EXPECT_EQ(Buffer(back, 160), Buffer(base, 160));
  }
}

// The children of a session element, each as written.
std::vector<std::u16string> Children(const std::u16string& element, std::u16string* start_tag) {
  const size_t body = element.find(u'>') + 1;
  *start_tag = element.substr(0, body);
  std::vector<std::u16string> children;
  size_t at = body;
  while (element.compare(at, 10, u"</session>") != 0) {
    const size_t name_end = element.find_first_of(u" >", at);
    const std::u16string close = u"</" + element.substr(at + 1, name_end - at - 1) + u">";
    const size_t end = element.find(close, at) + close.size();
    children.push_back(element.substr(at, end - at));
    at = end;
  }
  return children;
}

TEST_F(PersistRecordsTest, ChildOrderDoesNotMatter) {
  std::u16string start;
  std::vector<std::u16string> children = Children(testing::FtpClientElement(), &start);
  ASSERT_EQ(children.size(), 28u);
  std::reverse(children.begin(), children.end());
  std::u16string shuffled = start;
  for (const auto& child : children) shuffled += child;
  ClientSession* read = ReadClient(shuffled + u"</session>");
  ASSERT_NE(read, nullptr);
  ClientSession* model = NewLiveClient(records::kProfileFtp);
  testing::FillFtpClient(model);
  EXPECT_EQ(WithoutPointers(reinterpret_cast<uint8_t*>(read), 3432, true),
            WithoutPointers(reinterpret_cast<uint8_t*>(model), 3432, true));
  EXPECT_EQ(Requests(read), Requests(model));
}

TEST_F(PersistRecordsTest, MissingValuesStayZeroAndRepeatsAreIgnored) {
  ClientSession* read = ReadClient(
      u"<session profile_type=\"opp\" profile_id=\"05110000\" file_name=\"a.txt\" "
      u"file_name=\"b.txt\"><state>07</state><state>08</state><handler><x>1</x></handler>"
      u"<m_szInboxpath>C:\\In</m_szInboxpath></session>");
  ASSERT_NE(read, nullptr);
  ClientSession* model = NewLiveClient(records::kProfileOpp);
  testing::SetText(model->file_name, u"a.txt");
  records::AsOpp(model)->state = 7;
  testing::SetText(records::AsOpp(model)->m_szInboxpath, u"C:\\In");
  EXPECT_EQ(std::memcmp(read, model, 3392), 0);
}

TEST_F(PersistRecordsTest, ProfileTypeMustBeKnownAndAgreeWithProfileId) {
  EXPECT_EQ(ReadClient(u"<session profile_type=\"FTP\" profile_id=\"06110000\"></session>"),
            nullptr);
  EXPECT_EQ(ReadClient(u"<session profile_id=\"06110000\"></session>"), nullptr);
  EXPECT_EQ(ReadClient(u"<session profile_type=\"opp\" profile_id=\"06110000\"></session>"),
            nullptr);
  EXPECT_EQ(ReadClient(u"<session profile_type=\"ftp\"><m_reqList num=\"01000000\">"
                       u"<req reqType=\"01\">x</req></m_reqList></session>"),
            nullptr);
  EXPECT_EQ(ReadServer(u"<session profile_type=\"ftp\" profile_id=\"05110000\"></session>"),
            nullptr);
  EXPECT_EQ(ReadServer(u"<session profile_type=\"Opp\" profile_id=\"05110000\"></session>"),
            nullptr);
  ServerSession* ftp = ReadServer(
      u"<session profile_type=\"ftp\" profile_id=\"06110000\" session_id=\"0102030405060708\">"
      u"<m_szInboxpath>C:\\In</m_szInboxpath></session>");
  ASSERT_NE(ftp, nullptr);
  ServerSession* model = NewServer(records::kProfileFtp);
  for (int i = 0; i < 8; ++i) model->session_id[i] = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(std::memcmp(ftp, model, 2912), 0);
}

TEST_F(PersistRecordsTest, RequestNodesFollowTheReqChildrenNotTheCount) {
  const std::u16string head = u"<session profile_type=\"ftp\" profile_id=\"06110000\">";
  ClientSession* three = ReadClient(head +
                                    u"<m_reqList num=\"01000000\"><req reqType=\"01\">a</req>"
                                    u"<other>z</other><req reqType=\"02\">b</req><req>c</req>"
                                    u"</m_reqList></session>");
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(Requests(three),
            (std::vector<std::pair<int, std::u16string>>{{1, u"a"}, {2, u"b"}, {0, u"c"}}));
  ClientSession* none = ReadClient(
      head + u"<m_reqList num=\"00000000\"><req reqType=\"01\">a</req></m_reqList></session>");
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(Requests(none).empty());
}

TEST_F(PersistRecordsTest, BufferLengthIsWhatWasRead) {
  ServerSession* read = ReadServer(
      u"<session profile_type=\"opp\" profile_id=\"05110000\">"
      u"<ResumeParms_headerLen>0500</ResumeParms_headerLen>"
      u"<ResumeParms_headerBuff>0102</ResumeParms_headerBuff>"
      u"<ResumeParms_protoLen>0300</ResumeParms_protoLen>"
      u"<ResumeParms_protoBuff>00</ResumeParms_protoBuff></session>");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->ResumeParms_headerLen, 2);
  EXPECT_EQ(Buffer(reinterpret_cast<uint8_t*>(read), 144), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(read->ResumeParms_protoLen, 1);
  EXPECT_EQ(Buffer(reinterpret_cast<uint8_t*>(read), 160), std::vector<uint8_t>{0});

  ServerSession* zero = ReadServer(
      u"<session profile_type=\"opp\" profile_id=\"05110000\">"
      u"<ResumeParms_headerLen>0000</ResumeParms_headerLen>"
      u"<ResumeParms_headerBuff>0102</ResumeParms_headerBuff></session>");
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->ResumeParms_headerLen, 0);
  EXPECT_EQ(zero->ResumeParms_headerBuff, nullptr);
}

TEST_F(PersistRecordsTest, NullBufferWithALengthComesBackAsOneZeroByte) {
  ClientSession* record = NewLiveClient(records::kProfileOpp);
  record->ResumeParms_headerLen = 2;
  const std::u16string text = Written(record);
  EXPECT_NE(text.find(u"<ResumeParms_headerLen>0200</ResumeParms_headerLen>"
                      u"<ResumeParms_headerBuff>00</ResumeParms_headerBuff>"),
            std::u16string::npos);
  ClientSession* read = ReadClient(text);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(Buffer(reinterpret_cast<uint8_t*>(read), 144), std::vector<uint8_t>{0});
}

TEST_F(PersistRecordsTest, OverlongTextIsCutTo259Units) {
  const std::u16string name(300, u'n');
  ServerSession* read = ReadServer(
      u"<session profile_type=\"opp\" profile_id=\"05110000\">"
      u"<internalObjectName>" +
      name + u"</internalObjectName></session>");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::u16string(records::AsOpp(read)->internalObjectName), name.substr(0, 259));
}

}  // namespace
}  // namespace obexses::persist
