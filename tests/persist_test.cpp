// SPDX-License-Identifier: MIT
// Session elements and files through the writer and the reader: every stored byte of the four
// layouts, elements the writer would not write, the value encoding; then the files through the
// services: which sessions a store writes, byte for byte; what a restore keeps, drops, rewrites
// and replaces; a restart that finds every session by its name. The golden files of tests/data
// and fuzz/corpus were made by the writer once.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <sstream>

#include "persist/block_writes.h"
#include "persist/record_xml.h"
#include "persist/session_file.h"
#include "persist/value_codec.h"
#include "tests/registry_helpers.h"
#include "tests/support/session_oracle.h"
#include "text/wide.h"

namespace obexses::testing {
namespace {

using namespace persist;
using namespace std::string_literals;

constexpr uint8_t kAddress[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// A file as the writer made it once, for the sessions it holds.
std::string Golden(const std::string& name) {
  return ReadFile(fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" /
                  "session_file_fuzz" / name);
}

// A file of the data folder, byte for byte.
std::string Data(const std::string& name) {
  return ReadFile(fs::path(__FILE__).parent_path() / "data" / name);
}

class PersistFilesTest : public ::testing::Test, protected StoreFixture {
 protected:
  PersistFilesTest() { MakePaths(); }

  fs::path ClientFile() { return env().app_data() / "Velmora" / "Session" / "ClientSession.xml"; }
  fs::path ServerFile() { return env().app_data() / "Velmora" / "Session" / "ServerSession.xml"; }

  ClientSession* SavedClient(const std::u16string& name) {
    ClientSession* record = store().CreateClientSession(OBEXSES_PROFILE_OPP);
    std::memcpy(record->bdaddr, kAddress, 6);
    SetText(record->file_name, name);
    EXPECT_EQ(store().SaveClientSession(record), 1);
    return record;
  }
  ServerSession* SavedServer(uint32_t profile, uint8_t id) {
    ServerSession* record = store().CreateServerSession(profile);
    record->GoepServer_sessionId[0] = id;
    EXPECT_EQ(store().SaveServerSession(record), 1);
    return record;
  }
};

// Saved records of an unknown profile are left out.
TEST_F(PersistFilesTest, StoreWritesTheFilesOnlyWhenSavingIsOn) {
  SavedClient(u"a.txt")->profile_id = 0x1107;
  SavedServer(OBEXSES_PROFILE_FTP, 1)->profile_id = 0;
  WriteFile(ClientFile(), "old");
  WriteFile(ServerFile(), "old");
  EXPECT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(store().StoreServerSession(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), "old");
  EXPECT_EQ(ReadFile(ServerFile()), "old");
  SetSaveFile(1);
  EXPECT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(store().StoreServerSession(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), Golden("client_empty.xml"));
  EXPECT_EQ(ReadFile(ServerFile()), Golden("server_empty.xml"));
  EXPECT_EQ(persist::EmptyFileBytes(persist::Side::kClient), Golden("client_empty.xml").size());
  EXPECT_EQ(persist::EmptyFileBytes(persist::Side::kServer), Golden("server_empty.xml").size());
  EXPECT_EQ(store().Contents().client_saved.size(), 1u);
  // A destroy of a saved session rewrites the file without it.
  EXPECT_EQ(store().DestroyClientSession(SavedClient(u"b.txt")), 1);
  EXPECT_EQ(ReadFile(ClientFile()), Golden("client_empty.xml"));
  // A restore's rewrite that would change nothing leaves the file in place.
  const fs::path link = ClientFile().string() + ".link";
  fs::create_hard_link(ClientFile(), link);
  EXPECT_EQ(store().RestoreClientSession(), 1);
  EXPECT_TRUE(fs::equivalent(ClientFile(), link));
  EXPECT_TRUE(store().Contents().client_saved.empty());
}

// Each golden file, restored, is rewritten from the set that the restore
// replaces (here none) whatever ObexSesSaveFile says; the next store writes
// the session it read byte for byte.
TEST_F(PersistFilesTest, GoldenFilesComeBackByteForByte) {
  for (const std::string name : {"client_opp", "client_ftp", "server_opp", "server_ftp"}) {
    SCOPED_TRACE(name);
    const bool client = name.starts_with("client");
    const fs::path file = client ? ClientFile() : ServerFile();
    Restart();
    MakePaths();
    WriteFile(file, Golden(name + ".xml"));
    EXPECT_EQ(client ? store().RestoreClientSession() : store().RestoreServerSession(), 1);
    EXPECT_EQ(ReadFile(file), Golden(name.substr(0, 6) + "_empty.xml"));
    EXPECT_EQ(store().save_file(), 0u);
    SetSaveFile(1);
    EXPECT_EQ(client ? store().StoreClientSession() : store().StoreServerSession(), 1);
    EXPECT_EQ(ReadFile(file), Golden(name + ".xml"));
  }
}

// The restored set replaces the saved one. The files hold sessions created
// exactly the default age before now, a second later, and in the future; a
// name twice (the first in the file wins), an empty name, and the same name
// in capitals (keys never fold case); and an identity twice.
TEST_F(PersistFilesTest, RestoreKeepsYoungSessionsOfEachKeyOnceAndReplacesTheSavedSet) {
  ClientSession* unsaved = store().CreateClientSession(OBEXSES_PROFILE_FTP);
  ClientSession* old_client = SavedClient(u"old.txt");
  ServerSession* old_server = SavedServer(OBEXSES_PROFILE_OPP, 1);
  env().set_now(1700086400);
  WriteFile(ClientFile(), Utf16Le(text::FromUtf8(Data("restore_client.xml"))));
  WriteFile(ServerFile(), Utf16Le(text::FromUtf8(Data("restore_server.xml"))));
  EXPECT_EQ(store().RestoreClientSession(), 1);
  EXPECT_EQ(store().RestoreServerSession(), 1);
  const auto find = [this](const char16_t* name) {
    return store().FindClientSession(kAddress, name, OBEXSES_PROFILE_OPP);
  };
  const StoreContents contents = store().Contents();
  EXPECT_EQ(contents.client_saved.size(), 4u);
  std::vector<const void*> held = {unsaved, find(u"younger.txt"), find(u"future.txt"),
                                   find(u"a.txt"), find(u"A.txt")};
  std::sort(held.begin(), held.end());
  EXPECT_EQ(contents.client_held, held);
  EXPECT_EQ(records::AsOpp(find(u"a.txt"))->handler, 1u);
  EXPECT_TRUE(store().IsLiveSession(find(u"A.txt")));
  EXPECT_FALSE(store().IsLiveSession(old_client));
  EXPECT_EQ(store().SaveClientSession(old_client), 0);
  ASSERT_EQ(contents.server_held.size(), 1u);
  ASSERT_EQ(contents.server_saved.size(), 1u);
  const auto* restored = static_cast<const ServerSession*>(contents.server_held.front());
  EXPECT_EQ(std::u16string(records::AsOpp(restored)->m_szInboxpath), u"one");
  EXPECT_EQ(store().ResumeServerSession(old_server), 0);
  // Age 0 keeps only what lies in the future: of now.txt and next.txt, the latter.
  env().set_now(1700000000);
  env().set_dword(u"ObexSesObsoleteTime", 0);
  WriteFile(ClientFile(), Utf16Le(text::FromUtf8(Data("restore_age_zero.xml"))));
  EXPECT_EQ(store().RestoreClientSession(), 1);
  EXPECT_EQ(store().Contents().client_saved.size(), 1u);
  EXPECT_NE(find(u"next.txt"), nullptr);
}

// Names with each escaped character, Cyrillic, a character beyond the Basic
// Multilingual Plane, the neighbours of the letters (keys never fold case),
// and full length, next to the golden sessions of both profiles.
TEST_F(PersistFilesTest, RestartFindsEverySessionByName) {
  std::vector<std::u16string> names;
  std::u16string all = text::FromUtf8(Data("session_names.txt"));
  for (size_t at = 0, end; (end = all.find(u'\n', at)) != all.npos; at = end + 1) {
    names.push_back(all.substr(at, end - at));
  }
  WriteFile(ClientFile(), Golden("client_opp_ftp.xml"));
  WriteFile(ServerFile(), Golden("server_opp_ftp.xml"));
  EXPECT_EQ(store().RestoreClientSession(), 1);
  EXPECT_EQ(store().RestoreServerSession(), 1);
  SetSaveFile(1);
  for (const auto& name : names) SavedClient(name);
  EXPECT_EQ(store().StoreClientSession(), 1);
  EXPECT_EQ(store().StoreServerSession(), 1);

  Restart();
  MakePaths();
  EXPECT_EQ(store().RestoreClientSession(), 1);
  EXPECT_EQ(store().RestoreServerSession(), 1);

  EXPECT_EQ(store().Contents().client_saved.size(), names.size() + 2);
  EXPECT_EQ(store().Contents().server_saved.size(), 2u);
  for (const auto& name : names) {
    EXPECT_NE(store().FindClientSession(kAddress, name.c_str(), OBEXSES_PROFILE_OPP), nullptr)
        << text::ToUtf8(name);
  }
}

// A missing file, or one without the side's root, restores nothing and is
// not rewritten; a file in a folder that is not there cannot be written (the
// replacement that keeps an old file whole is the backend's).
TEST_F(PersistFilesTest, MissingFilesAndFoldersAndTheWrongRoot) {
  EXPECT_EQ(store().RestoreClientSession(), 0);
  EXPECT_FALSE(fs::exists(ClientFile()));
  WriteFile(ServerFile(), Golden("client_opp.xml"));
  EXPECT_EQ(store().RestoreServerSession(), 1);
  EXPECT_EQ(ReadFile(ServerFile()), Golden("client_opp.xml"));
  EXPECT_TRUE(store().Contents().server_held.empty());
  FolderEnv elsewhere(&env(), env().app_data_u16() + u"\\missing");
  SessionStore missing(env().seams(&elsewhere), SessionStore::AtEnd::kFreeRecords);
  SetSaveFile(1);
  missing.ReadSettings();
  missing.MakePaths();
  EXPECT_EQ(missing.StoreClientSession(), 0);
  EXPECT_EQ(missing.StoreServerSession(), 0);
  EXPECT_FALSE(fs::exists(env().app_data() / "missing"));
}

std::u16string Units(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), 2 * units.size());
  return units;
}

std::u16string Written(const ClientSession* record) {
  SessionText text;
  EXPECT_EQ(WriteClientSession(&text, record), 1);
  return std::u16string(text.Units());
}

std::u16string Written(const ServerSession* record) {
  SessionText text;
  EXPECT_EQ(WriteServerSession(&text, record), 1);
  return std::u16string(text.Units());
}

// Hands each record that the file's text reads as to take.
template <typename Take>
void ReadSessions(bool server, const std::u16string& text, Take take) {
  Collected<ClientRecordDeepPtr> clients;
  Collected<ServerRecordDeepPtr> servers;
  EXPECT_EQ((server ? ReadServerFile(text, 2 * text.size(), servers)
                    : ReadClientFile(text, 2 * text.size(), clients))
                .result,
            LoadResult::kLoaded);
  for (auto& record : clients.records) take(std::move(record));
  for (auto& record : servers.records) take(std::move(record));
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

// A client text read by the streaming reader, which must agree with the tree:
// the load result, then each record as its name, "null", or for FTP its
// requests (type:text), joined by "|".
std::string ReadStreamed(const std::u16string& text, ReadResult* read,
                         Collected<ClientRecordDeepPtr>* sink) {
  *read = ReadClientFile(text, 2 * text.size(), *sink);
  std::vector<ClientRecordDeepPtr> expected;
  EXPECT_EQ(read->result, ReadClientTree(text, 2 * text.size(), &expected));
  EXPECT_EQ(sink->records.size(), expected.size());
  std::string out = std::to_string(static_cast<int>(read->result));
  for (size_t i = 0; i < sink->records.size(); ++i) {
    const ClientSession* record = sink->records[i].get();
    EXPECT_EQ(record != nullptr ? Written(record) : u"",
              expected[i] ? Written(expected[i].get()) : u"");
    out += "|" + (record == nullptr ? "null" : text::ToUtf8(record->file_name));
    if (record == nullptr || record->profile_id != OBEXSES_PROFILE_FTP) continue;
    const ReqLink* head = &records::AsFtp(record)->m_reqList;
    for (const ReqLink* link = head->pNext; link != head; link = link->pNext) {
      const auto* node = reinterpret_cast<const ReqEntry*>(link);
      out += " " + std::to_string(node->reqType) + ":" + text::ToUtf8(node->szText);
    }
  }
  return out;
}

// What the streaming reader hands over and takes back, where the whole scan
// gives no quick hint: a file cut inside a session, a top element that fails,
// a second top element inside an unclosed first, attributes that are not
// leading or that the grammar takes back, request lists that are not the first.
TEST(PersistStreamTest, SessionsCountAsTheTreeFindsThem) {
  ReadResult read;
  {
    const std::u16string file = Units(Golden("client_opp_ftp.xml"));
    const size_t second = file.find(u"<session", file.find(u"</session>"));
    Collected<ClientRecordDeepPtr> sink;
    EXPECT_EQ(ReadStreamed(file.substr(0, second + 40), &read, &sink), "0");
    EXPECT_EQ(read.stopped_at, second + 40);
    EXPECT_EQ(sink.discards, 1);
    EXPECT_EQ(sink.lost, std::vector<size_t>{second});
  }
  const std::u16string top = u"<client_session>", end = u"</client_session>";
  const std::u16string opp = u"<session profile_type='opp' profile_id='05110000'";
  const std::u16string a = opp + u" file_name='a'></session>",
                       b = opp + u" file_name='b'></session>";
  const std::u16string lists =
      u"<session profile_type='ftp' profile_id='06110000' file_name='f'><m_reqList num='00'>"
      u"<req>x</req></m_reqList><m_reqList num='01'><req>y</req></m_reqList></session>"
      u"<session profile_type='ftp' profile_id='06110000' file_name='g'><m_reqList num='01'>"
      u"<req reqType='02'>x</req>z<req>y</req></m_reqList><m_reqList num='01'><req>w</req>"
      u"</m_reqList></session>";
  const struct {
    std::u16string text;
    std::string expected;
    int discards;
    size_t short_of_end;  // where the scan stopped, from the end of the text
  } cases[] = {
      {top + a + end + top + b + end, "2|a", 0, 0},
      {top + a + top + b + end, "0", 1, 1},
      {top + u"<session><x></session>" + end, "0", 0, 1},
      {top + opp + u"><handler>01</handler> file_name='z'</session>" + end, "2|", 0, 0},
      {top + u"<session file_name='a' profile_type='opp\0></session\0'>"s + end, "2|null", 0, 0},
      {top + lists + end, "2|f|g 2:x 0:y", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.text));
    Collected<ClientRecordDeepPtr> sink;
    EXPECT_EQ(ReadStreamed(c.text, &read, &sink), c.expected);
    EXPECT_EQ(sink.discards, c.discards);
    EXPECT_EQ(read.stopped_at, c.text.size() - c.short_of_end);
  }
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

// Values are scanned by blocks: a unit that needs a form, and a text's end in
// its array, are found wherever they stand, and nothing past the bound is read.
TEST(PersistCodecTest, FormsAndEndsAreFoundAtEveryPlace) {
  for (size_t at = 0; at < 20; ++at) {
    for (const char16_t special : std::u16string_view(u"<>='\"&")) {
      std::u16string value(20, u'x');
      value[at] = special;
      char16_t out[20 * kMaxEscapedUnits];
      EXPECT_EQ(std::u16string(out, PutEscaped(out, value)), EscapeText(value));
    }
    char16_t array[20];
    std::fill(std::begin(array), std::end(array), u'x');
    array[at] = 0;
    for (size_t max = 0; max <= at; ++max) EXPECT_EQ(text::BoundedLength(array, max), max);
    EXPECT_EQ(text::BoundedLength(array, 20), at);
  }
}

// A text field is copied by blocks: its end and a unit that needs a form are
// found wherever they stand, in either order, also in a field without a
// terminator; nothing past the field is read, nothing past the slack written.
TEST(PersistCodecTest, TextFieldsEndAndEscapeAtEveryPlace) {
  for (const size_t capacity : {5u, 8u, 13u, 16u, 21u}) {
    for (size_t end = 0; end <= capacity; ++end) {
      for (size_t form = 0; form <= capacity; ++form) {
        const std::unique_ptr<char16_t[]> field(new char16_t[capacity]);
        std::fill_n(field.get(), capacity, u'x');
        if (form < capacity) field[form] = u'"';
        if (end < capacity) field[end] = 0;
        const size_t room = kMaxEscapedUnits * capacity + kPutSlack;
        std::u16string out(room + 1, u'#');
        const char16_t* written = PutEscapedField(out.data(), field.get(), capacity);
        EXPECT_EQ(std::u16string_view(out.data(), written),
                  EscapeText(text::FixedView(field.get(), capacity)))
            << capacity << " " << end << " " << form;
        EXPECT_EQ(out[room], u'#');
      }
    }
  }
}

// Hex digits are made by blocks of eight bytes: every count and every digit
// comes out in order, nothing past the slack written; read by whole words,
// the same digits.
TEST(PersistCodecTest, HexDigitsOfEveryCount) {
  uint8_t bytes[40];
  for (size_t i = 0; i < std::size(bytes); ++i) bytes[i] = static_cast<uint8_t>(17 * i + i / 16);
  for (size_t count = 0; count <= 32; ++count) {
    std::u16string expected;
    for (size_t i = 0; i < count; ++i) {
      expected += u"0123456789ABCDEF"[bytes[i] >> 4];
      expected += u"0123456789ABCDEF"[bytes[i] & 0x0F];
    }
    const size_t room = 2 * count + kPutSlack;
    std::u16string out(room + 1, u'#');
    EXPECT_EQ(std::u16string_view(out.data(), PutHex(out.data(), bytes, count)), expected);
    EXPECT_EQ(out[room], u'#');
    out.assign(room + 1, u'#');
    EXPECT_EQ(std::u16string_view(out.data(), PutHexWords(out.data(), bytes, count)), expected);
    EXPECT_EQ(out[room], u'#');
  }
}

}  // namespace
}  // namespace obexses::testing
