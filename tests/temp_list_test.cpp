// SPDX-License-Identifier: MIT
// The temporary file list: tmp_lst pruned against the saved OPP server sessions.

#include "templist/temp_list.h"
#include "platform/env.h"
#include "tests/registry_helpers.h"

namespace obexses::testing {
namespace {

class TempListTest : public StoreFixture, public ::testing::Test {
 protected:
  fs::path ListFile() { return env().app_data() / "Velmora" / "tmp_lst"; }

  // A real file in a folder of the app-data folder; returns the path to list.
  std::string MakeFile(const std::string& folder, const std::string& name) {
    fs::create_directories(env().app_data() / folder);
    const fs::path path = env().app_data() / folder / name;
    WriteFile(path, "data");
    return path.string();
  }

  void WriteList(const std::string& text) {
    fs::create_directories(ListFile().parent_path());
    WriteFile(ListFile(), text);
  }

  // The rewritten list with its line ends as "\n", whatever the platform writes.
  std::string ReadList() {
    std::string text = ReadFile(ListFile());
    std::erase(text, '\r');
    return text;
  }

  // Each with its own session id.
  ServerSession* NewSession(uint32_t profile, const std::string& object, bool save = true) {
    return NewServer(store(), profile, next_id_++, u"", text::FromUtf8(object), save);
  }
  void SaveOppSession(const std::string& object) { NewSession(OBEXSES_PROFILE_OPP, object); }

 private:
  uint8_t next_id_ = 1;
};

TEST_F(TempListTest, ListedFilesStayOnlyWhileASavedOppServerSessionNamesThem) {
  const struct {
    const char* name;
    std::vector<std::string> entries;  // "folder/name" of a file made, "" for an empty line
    bool last_line_ended;
    std::vector<std::string> objects;  // of the saved OPP server sessions
    const char* stays;                 // per entry: '+' kept, '-' deleted, '.' no file
    std::vector<int> listed;           // entries in the rewritten list; none: list deleted
  } cases[] = {
      {"nothing kept", {"in/a.txt", "in/b.txt"}, true, {}, "--", {}},
      {"old order", {"in/a", "in/b", "in/c", "in/d"}, true, {"c", "a"}, "+-+-", {0, 2}},
      // Each session keeps the first entry of its name, searching from the first each time.
      {"same name twice", {"one/x.txt", "two/x.txt"}, true, {"x.txt", "X.TXT"}, "+-", {0}},
      // The second, unkept entry names the same file.
      {"repeated line", {"in/a.txt", "in/a.txt"}, true, {"a.txt"}, "--", {0}},
      {"empty lines", {"", "in/a.txt", "", "in/b.txt"}, false, {"b.txt", ""}, ".-.+", {0, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    std::vector<std::string> paths;
    std::string list;
    for (const auto& entry : c.entries) {
      const size_t slash = entry.rfind('/');
      paths.push_back(entry.empty() ? ""
                                    : MakeFile(entry.substr(0, slash), entry.substr(slash + 1)));
      list += paths.back() + "\n";
    }
    WriteList(c.last_line_ended ? list : list.substr(0, list.size() - 1));
    for (const auto& object : c.objects) SaveOppSession(object);
    // Neither an FTP session holding a.txt where an OPP one holds its object
    // name nor an unsaved OPP session keeps a file.
    ServerSession* ftp = NewSession(OBEXSES_PROFILE_FTP, "", false);
    text::CopyBounded(records::AsFtp(ftp)->m_bstrCurrentTxName + 4, OBEXSES_NAME_UNITS - 4,
                      u"a.txt");
    ASSERT_EQ(store().SaveServerSession(ftp), 1);
    NewSession(OBEXSES_PROFILE_OPP, "a.txt", false);
    SetDebugLevel(3);
    env().clear_output();
    CleanTempFileList(store());
    std::string expected = c.listed.empty() ? "(deleted)" : "";
    for (int index : c.listed) expected += paths[index] + "\n";
    EXPECT_EQ(fs::exists(ListFile()) ? ReadList() : "(deleted)", expected);
    for (size_t i = 0; i < paths.size(); ++i) {
      EXPECT_TRUE(c.stays[i] == '.' || fs::exists(paths[i]) == (c.stays[i] == '+')) << paths[i];
    }
    EXPECT_TRUE(env().trace_lines().empty());  // the clean-up reports nothing
    EXPECT_TRUE(env().host_lines().empty());
  }
}

// Lines of the read buffer's full size, 259 units: folder, separator and name.
TEST_F(TempListTest, RestOfALongerLineIsTheNextEntryAndABreakAfterAFullReadAnEmptyOne) {
  const std::string name(259 - (env().app_data() / "in").string().size() - 1, 'n');
  const std::string full = (env().app_data() / "in" / name).string();
  ASSERT_EQ(full.size(), 259u);
  WriteList(full + "tail.txt\n");
  SaveOppSession(name);
  SaveOppSession("tail.txt");
  CleanTempFileList(store());
  EXPECT_EQ(ReadList(), full + "\ntail.txt\n");
  const std::string other = MakeFile("in", "other.txt");
  WriteList(full + "\n" + other + "\n");
  SaveOppSession("");
  CleanTempFileList(store());
  EXPECT_FALSE(fs::exists(other));
  EXPECT_EQ(ReadList(), full + "\n\n");
}

// The list is "<folder>\\Velmora\\tmp_lst", which must fit into 259 units.
TEST_F(TempListTest, SkippedWithoutAppDataFolderOrListOrWhenTheListPathWouldNotFit) {
  const struct {
    std::u16string folder;
    int calls;
  } cases[] = {{u"", 0},
               {u"/" + std::u16string(243, u'x'), 0},
               {u"/" + std::u16string(242, u'x'), 2}};  // the folder made, the list not found
  for (const auto& c : cases) {
    FolderEnv folder(&env(), c.folder);
    SessionStore elsewhere(env().seams(&folder), SessionStore::AtEnd::kFreeRecords);
    CleanTempFileList(elsewhere);
    EXPECT_EQ(folder.calls, c.calls) << c.folder.size();
  }
}

// Index of the entry that a session with this object name keeps, or -1.
int KeptIndex(const std::u16string& object, const std::vector<std::u16string>& paths) {
  ServerSession* record = records::NewServerRecord(OBEXSES_PROFILE_OPP);
  text::CopyBounded(records::AsOpp(record)->internalObjectName, OBEXSES_NAME_UNITS, object);
  KeptFiles kept;
  MarkKeptTempFile(record, &kept);
  MarkKeptTempFile(record, nullptr);
  MarkKeptTempFile(nullptr, &kept);
  records::DeleteServerRecord(record);
  int index = -1;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (kept.Keeps(paths[i])) index = index == -1 ? static_cast<int>(i) : -2;
  }
  return index;
}

TEST(MarkKeptTempFileTest, ComparesTheNameAfterTheLastSeparator) {
  EXPECT_EQ(KeptIndex(u"pic.jpg", {u"C:\\in\\pic.jpg"}), 0);
  EXPECT_EQ(KeptIndex(u"pic.jpg", {u"C:pic.jpg"}), 0);
  EXPECT_EQ(KeptIndex(u"pic.jpg", {u"in/PIC.jpg"}), 0);
  EXPECT_EQ(KeptIndex(u"pic.jpg", {u"in\\\\pic.jpg"}), 0);
  EXPECT_EQ(KeptIndex(u"pic.jpg", {u"C:\\in\\pic.jpg\\"}), -1);  // "pic.jpg\" is the name
  EXPECT_EQ(KeptIndex(u"in\\", {u"C:\\in\\"}), 0);
  EXPECT_EQ(KeptIndex(u"in//", {u"C:\\in//"}), 0);
  // Only A-Z fold: the neighbours of the letters and other letters do not.
  EXPECT_EQ(KeptIndex(u"Z.txt", {u"@.txt", u"[.txt", u"z.txt"}), 2);
  EXPECT_EQ(KeptIndex(u"A.txt", {u"`.txt", u"{.txt", u"a.txt"}), 2);
  EXPECT_EQ(KeptIndex(u"@.txt", {u"`.txt"}), -1);
  EXPECT_EQ(KeptIndex(u"[.txt", {u"{.txt"}), -1);
  EXPECT_EQ(KeptIndex(u"\u00e9.txt", {u"\u00c9.txt"}), -1);
  EXPECT_EQ(KeptIndex(u"\U0001F4F7.jpg", {u"in\\\U0001F4F7.JPG"}), 0);
  EXPECT_EQ(KeptIndex(u"a.txt", {u"x\\b.txt", u"x\\A.TXT", u"y\\a.txt"}), 1);
  EXPECT_EQ(KeptIndex(u"a.txt", {}), -1);
}

}  // namespace
}  // namespace obexses::testing
