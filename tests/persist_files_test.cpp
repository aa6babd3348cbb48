// The two session files: exact bytes, traces, obsolete and repeated sessions,
// the rewrite at restore, the exchange of saved sets, and a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/state.h"
#include "settings/settings.h"
#include "tests/persist_samples.h"
#include "tests/support/test_env.h"
#include "text/wide.h"

namespace obexses::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Keys = std::vector<std::u16string>;

constexpr uint8_t kAddress[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// A small OPP client session element; handler tells copies apart.
std::u16string ClientElement(const std::u16string& name, const std::u16string& created,
                             const std::u16string& handler = u"00000000") {
  return u"<session profile_type=\"opp\" bdaddr=\"001122334455\" profile_id=\"05110000\" "
         u"file_name=\"" +
         name + u"\" create_time_stamp=\"" + created + u"\"><handler>" + handler +
         u"</handler></session>";
}

std::u16string ServerElement(const std::u16string& id, const std::u16string& created,
                             const std::u16string& path = u"") {
  return u"<session profile_type=\"opp\" session_id=\"" + id +
         u"\" profile_id=\"05110000\" create_time_stamp=\"" + created + u"\"><m_szInboxpath>" +
         path + u"</m_szInboxpath></session>";
}

template <typename Map>
Keys KeysOf(const Map& saved) {
  Keys keys;
  for (const auto& entry : saved) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  return keys;
}

std::u16string ClientKey(const std::u16string& name) {
  return u"client_00:11:22:33:44:55_1105_" + name;
}

class PersistFilesTest : public ::testing::Test, protected ModuleFixtureBase {
 protected:
  PersistFilesTest() { MakePaths(); }

  fs::path ClientFile() { return env().app_data() / "Velmora" / "Session" / "ClientSession.xml"; }
  fs::path ServerFile() { return env().app_data() / "Velmora" / "Session" / "ServerSession.xml"; }

  void WriteClientFile(const std::u16string& sessions) {
    WriteFile(ClientFile(), FileBytes(u"client_session", sessions));
  }
  void WriteServerFile(const std::u16string& sessions) {
    WriteFile(ServerFile(), FileBytes(u"server_session", sessions));
  }

  ClientSession* SavedClient(uint32_t profile, void (*fill)(ClientSession*)) {
    ClientSession* record = tvr_create_client_session(profile);
    fill(record);
    EXPECT_EQ(tvr_save_client_session(record), 1);
    return record;
  }
  ServerSession* SavedServer(uint32_t profile, void (*fill)(ServerSession*)) {
    ServerSession* record = tvr_create_server_session(profile);
    fill(record);
    EXPECT_EQ(tvr_save_server_session(record), 1);
    return record;
  }

  std::string Trace(const std::u16string& text) { return "\nTavrin: " + text::ToUtf8(text); }
};

// Saved records that are not live or of an unknown profile are left out.
TEST_F(PersistFilesTest, StoreWritesTheFilesOnlyWhenSavingIsOn) {
  UnregisterLiveSession(SavedClient(OBEXSES_PROFILE_OPP, FillOppClient));
  SavedClient(OBEXSES_PROFILE_OPP, [](ClientSession* r) {
    SetText(r->file_name, u"a.txt");
  })->profile_id = 0x1107;
  SavedServer(OBEXSES_PROFILE_FTP, FillFtpServer)->profile_id = 0;
  WriteFile(ClientFile(), "old");
  WriteFile(ServerFile(), "old");
  g_debug_level = 3;
  EXPECT_EQ(tvr_store_client_session(), 1);
  EXPECT_EQ(tvr_store_server_session(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), "old");
  EXPECT_EQ(ReadFile(ServerFile()), "old");
  EXPECT_TRUE(env().trace_lines().empty());
  g_save_file = 1;
  EXPECT_EQ(tvr_store_client_session(), 1);
  EXPECT_EQ(tvr_store_server_session(), 1);
  EXPECT_EQ(ReadFile(ClientFile()), FileBytes(u"client_session", u""));
  EXPECT_EQ(ReadFile(ServerFile()), FileBytes(u"server_session", u""));
  EXPECT_EQ(env().trace_lines(), (Lines{Trace(u"store all client session to file\n"),
                                        Trace(u"store all server session to file\n")}));
  EXPECT_EQ(g_saved_client_sessions.size(), 2u);
}

TEST_F(PersistFilesTest, SavedSessionsOfEachSideAndProfileAreWrittenExactly) {
  g_save_file = 1;
  ClientSession* opp = SavedClient(OBEXSES_PROFILE_OPP, FillOppClient);
  EXPECT_EQ(ReadFile(ClientFile()), FileBytes(u"client_session", OppClientElement()));
  // A destroy releases the record alone; its buffer is the profile module's.
  std::free(opp->ResumeParms_headerBuff);
  EXPECT_EQ(tvr_destroy_client_session(opp), 1);
  SavedClient(OBEXSES_PROFILE_FTP, FillFtpClient);
  EXPECT_EQ(ReadFile(ClientFile()), FileBytes(u"client_session", FtpClientElement()));
  SavedServer(OBEXSES_PROFILE_OPP, FillOppServer);
  SavedServer(OBEXSES_PROFILE_FTP, FillFtpServer);
  const std::string file = ReadFile(ServerFile());
  const std::u16string opp_server = OppServerElement();
  const std::u16string ftp_server = FtpServerElement();
  EXPECT_TRUE(file == FileBytes(u"server_session", opp_server + ftp_server) ||
              file == FileBytes(u"server_session", ftp_server + opp_server));
}

TEST_F(PersistFilesTest, MissingFileOrRootRestoresNothing) {
  g_debug_level = 3;
  EXPECT_EQ(tvr_restore_client_session(), 0);
  EXPECT_FALSE(fs::exists(ClientFile()));
  const std::string other = FileBytes(u"client_session", u"");
  WriteFile(ServerFile(), other);
  EXPECT_EQ(tvr_restore_server_session(), 1);
  EXPECT_EQ(ReadFile(ServerFile()), other);
  EXPECT_TRUE(g_server_sessions.empty());
  EXPECT_EQ(env().trace_lines(), (Lines{Trace(u"restore all client session from file\n"),
                                        Trace(u"tvr_restore_client_session ,LoadXML failed " +
                                              std::u16string(g_client_session_path) + u"\n"),
                                        Trace(u"retore all server session from file\n"),
                                        Trace(u"tvr_restore_server_session ,LoadXML failed " +
                                              std::u16string(g_server_session_path) + u"\n")}));
}

// Both sides share the restore; the server's keys are seen by the next tests.
TEST_F(PersistFilesTest, ObsoleteBoundaryWithTheDefaultAgeAndWithAgeZero) {
  env().set_now(1700086400);
  WriteClientFile(ClientElement(u"day.txt", u"00F1536500000000") +      // 86400 old
                  ClientElement(u"younger.txt", u"01F1536500000000") +  // 86399 old
                  ClientElement(u"future.txt", u"8142556500000000"));
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(KeysOf(g_saved_client_sessions),
            (Keys{ClientKey(u"future.txt"), ClientKey(u"younger.txt")}));
  EXPECT_EQ(g_client_sessions.size(), 2u);
  // Age 0 keeps only what lies in the future; an obsolete session gets no key.
  env().set_now(1700000000);
  env().set_dword(u"ObexSesObsoleteTime", 0);
  WriteClientFile(ClientElement(u"now.txt", u"00F1536500000000") +
                  ClientElement(u"next.txt", u"01F1536500000000"));
  g_debug_level = 3;
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(KeysOf(g_saved_client_sessions), Keys{ClientKey(u"next.txt")});
  EXPECT_EQ(env().trace_lines(),
            (Lines{Trace(u"restore all client session from file\n"),
                   Trace(u"build client key " + ClientKey(u"next.txt") + u"\n"),
                   Trace(u"store all client session to file\n")}));
}

TEST_F(PersistFilesTest, FirstOfRepeatedKeysWinsAndKeylessSessionsGo) {
  WriteClientFile(ClientElement(u"a.txt", u"00F1536500000000", u"01000000") +
                  ClientElement(u"", u"00F1536500000000") +
                  ClientElement(u"a.txt", u"00F1536500000000", u"02000000") +
                  ClientElement(u"A.txt", u"00F1536500000000", u"03000000"));
  WriteServerFile(ServerElement(u"000102030405060708090A0B0C0D0E0F", u"00F1536500000000", u"one") +
                  ServerElement(u"000102030405060708090A0B0C0D0E0F", u"00F1536500000000", u"two"));
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);
  ASSERT_EQ(g_client_sessions.size(), 2u);
  EXPECT_EQ(records::AsOpp(g_client_sessions.front())->handler, 1u);
  EXPECT_EQ(records::AsOpp(g_client_sessions.back())->handler, 3u);
  ASSERT_EQ(g_server_sessions.size(), 1u);
  EXPECT_EQ(std::u16string(records::AsOpp(g_server_sessions.front())->m_szInboxpath), u"one");
}

TEST_F(PersistFilesTest, RestoreRewritesTheFileFromTheSetItReplaces) {
  // Saving is off: the saves file the records but write nothing.
  ClientSession* old_client = SavedClient(OBEXSES_PROFILE_OPP, FillOppClient);
  ServerSession* old_server = SavedServer(OBEXSES_PROFILE_OPP, FillOppServer);
  ClientSession* unsaved = tvr_create_client_session(OBEXSES_PROFILE_FTP);
  // The replaced records are released alone: their buffers are the caller's.
  uint8_t* client_buffer = old_client->ResumeParms_headerBuff;
  uint8_t* server_buffer = old_server->ResumeParms_headerBuff;
  WriteClientFile(ClientElement(u"new.txt", u"00F1536500000000"));
  WriteServerFile(ServerElement(u"FF000000000000000000000000000000", u"00F1536500000000"));

  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);
  std::free(client_buffer);
  std::free(server_buffer);

  EXPECT_EQ(g_save_file.load(), 0u);
  EXPECT_EQ(ReadFile(ClientFile()), FileBytes(u"client_session", OppClientElement()));
  EXPECT_EQ(ReadFile(ServerFile()), FileBytes(u"server_session", OppServerElement()));
  EXPECT_FALSE(IsLiveSession(old_client));
  EXPECT_EQ(tvr_save_client_session(old_client), 0);
  EXPECT_EQ(tvr_find_client_session(kAddress, u"photo.jpg", OBEXSES_PROFILE_OPP), nullptr);
  ClientSession* found = tvr_find_client_session(kAddress, u"new.txt", OBEXSES_PROFILE_OPP);
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(IsLiveSession(found));
  EXPECT_EQ(g_client_sessions, (RecordList<ClientSession>{unsaved, found}));
  EXPECT_EQ(KeysOf(g_saved_server_sessions), Keys{u"server_ff000000000000000000000000000000"});
  EXPECT_EQ(g_server_sessions.size(), 1u);
  EXPECT_EQ(tvr_resume_server_session(old_server), 0);
}

// Names with each escaped character, Cyrillic, a character beyond the Basic
// Multilingual Plane, the neighbours of the letters (keys never fold case),
// and full length, each with a resume buffer of several pieces, next to the
// sample sessions of both profiles.
TEST_F(PersistFilesTest, RestartFindsEverySessionByName) {
  const std::vector<std::u16string> names = {u"\u041Aартинка.jpg",
                                             u"Bob's photo.jpg",
                                             u"a=b.txt",
                                             u"<x>.txt",
                                             u"say \"hi\".txt",
                                             u"&lt;&amp;.txt",
                                             u"Tom & Jerry",
                                             u"\U0001F4F7.jpg",
                                             u"@x",
                                             u"Ax",
                                             u"Zx",
                                             u"[x",
                                             u"`x",
                                             u"ax",
                                             u"zx",
                                             u"{x",
                                             u"\u00C9x",
                                             u"\u00E9x",
                                             std::u16string(259, u'n'),
                                             std::u16string(259, u'\'')};
  g_save_file = 1;
  SavedClient(OBEXSES_PROFILE_OPP, FillOppClient);
  SavedClient(OBEXSES_PROFILE_FTP, FillFtpClient);
  SavedServer(OBEXSES_PROFILE_OPP, FillOppServer);
  SavedServer(OBEXSES_PROFILE_FTP, FillFtpServer);
  for (const auto& name : names) {
    ClientSession* record = tvr_create_client_session(OBEXSES_PROFILE_OPP);
    std::memcpy(record->bdaddr, kAddress, 6);
    SetText(record->file_name, name);
    record->ResumeParms_headerLen = 1000;
    record->ResumeParms_headerBuff = static_cast<uint8_t*>(std::malloc(1000));
    for (int i = 0; i < 1000; ++i) record->ResumeParms_headerBuff[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(tvr_save_client_session(record), 1);
  }

  ResetModuleState();
  MakePaths();
  EXPECT_EQ(tvr_restore_client_session(), 1);
  EXPECT_EQ(tvr_restore_server_session(), 1);

  // Both profiles of each side come back from one file.
  EXPECT_EQ(g_saved_client_sessions.size(), names.size() + 2);
  EXPECT_EQ(g_saved_server_sessions.size(), 2u);
  for (const auto& name : names) {
    ClientSession* record = tvr_find_client_session(kAddress, name.c_str(), OBEXSES_PROFILE_OPP);
    ASSERT_NE(record, nullptr) << text::ToUtf8(name);
    ASSERT_EQ(record->ResumeParms_headerLen, 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(record->ResumeParms_headerBuff[i], i & 0xFF);
  }
}

// Files in a folder that does not exist cannot be written; the replacement
// that keeps an old file whole is the backend's.
TEST_F(PersistFilesTest, StoreThatCannotWriteItsFileGivesZero) {
  SetText(g_client_session_path, env().app_data_u16() + u"\\missing\\ClientSession.xml");
  SetText(g_server_session_path, env().app_data_u16() + u"\\missing\\ServerSession.xml");
  g_save_file = 1;
  g_debug_level = 2;
  EXPECT_EQ(tvr_store_client_session(), 0);
  EXPECT_EQ(tvr_store_server_session(), 0);
  EXPECT_FALSE(fs::exists(env().app_data() / "missing"));
  EXPECT_EQ(env().trace_lines(), (Lines{Trace(u"tvr_store_client_session ,open failed " +
                                              std::u16string(g_client_session_path) + u"\n"),
                                        Trace(u"tvr_store_server_session ,open failed " +
                                              std::u16string(g_server_session_path) + u"\n")}));
}

}  // namespace
}  // namespace obexses::testing
