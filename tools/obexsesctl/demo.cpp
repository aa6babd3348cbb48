#include "tools/obexsesctl/demo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "text/wide.h"
#include "tools/obexsesctl/host.h"
#include "tools/obexsesctl/narrator.h"
#include "tools/obexsesctl/report.h"
#include "tools/obexsesctl/text_output.h"

namespace obexsesctl {
namespace fs = std::filesystem;
namespace {

constexpr uint8_t kPhone[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr uint8_t kOppServerId[16] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                      0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f};
constexpr uint8_t kFtpServerId[16] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                                      0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x2f};

// Where the demo keeps everything, below its data folder.
struct Layout {
  explicit Layout(const fs::path& folder)
      : root(folder),
        app_data(folder / "appdata"),
        files(folder / "files"),
        inbox(folder / "inbox"),
        shared(folder / "shared") {}
  fs::path root, app_data, files, inbox, shared;
  fs::path velmora() const { return app_data / "Velmora"; }
  fs::path sessions() const { return velmora() / "Session"; }
};

// Every step of the demo tells what it does through the one narrator of
// its process.
Narrator* g_narrator = nullptr;

void Step(const char* what) {
  g_narrator->Step(what);
}

#define Say(...) g_narrator->Say(__VA_ARGS__)

const char* Verdict(uint32_t changed) {
  return changed != 0 ? "missing or changed" : "unchanged";
}

// Copies a path into a 260-unit field of a record.
void SetField(char16_t* field, const fs::path& path) {
  obexses::text::CopyBounded(field, OBEXSES_NAME_UNITS, path.u16string());
}
void SetField(char16_t* field, const char16_t* text) {
  obexses::text::CopyBounded(field, OBEXSES_NAME_UNITS, text);
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A session file as text: the byte-order mark and UTF-16LE, shown as UTF-8.
std::string SessionFileText(const fs::path& path) {
  const std::string bytes = ReadBytes(path);
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return obexses::text::ToUtf8(units);
}

void ShowSessionFile(const fs::path& path) {
  if (!fs::exists(path)) {
    Say("%s: not there", PathUtf8(path.filename()).c_str());
    return;
  }
  Say("%s (%llu bytes, UTF-16LE):", PathUtf8(path.filename()).c_str(),
      static_cast<unsigned long long>(fs::file_size(path)));
  g_narrator->Show(SessionFileText(path));
}

void ShowDisk(const Layout& layout) {
  Step("What is on disk");
  std::error_code ec;
  std::vector<std::pair<std::string, uintmax_t>> files;  // by name, as a person looks for them
  for (const auto& entry : fs::recursive_directory_iterator(layout.root, ec)) {
    if (!entry.is_regular_file()) continue;
    files.emplace_back(PathUtf8(fs::relative(entry.path(), layout.root)), entry.file_size());
  }
  std::sort(files.begin(), files.end());
  for (const auto& [name, size] : files) {
    Say("%-60s %llu bytes", name.c_str(), static_cast<unsigned long long>(size));
  }
  ShowSessionFile(layout.sessions() / "ClientSession.xml");
  ShowSessionFile(layout.sessions() / "ServerSession.xml");
  const fs::path list = layout.velmora() / "tmp_lst";
  if (fs::exists(list)) {
    Say("tmp_lst:");
    g_narrator->Show(ReadBytes(list));
  } else {
    Say("tmp_lst: not there");
  }
}

// Points the library's folder and settings, and the host's log, at the
// layout: a sandbox of the demo's own, or nothing at all. Saving is on; the
// debug trace only with --trace.
std::unique_ptr<obexses::host::Sandbox> EnterSandbox(const Layout& layout, bool trace) {
  std::string error;
  auto sandbox = obexses::host::Sandbox::Enter(
      PathUtf8(layout.app_data), PathUtf8(layout.root / "registry.reg"),
      {{"ObexSesSaveFile", 1}, {"ObexSesDebugLevel", trace ? 3u : 0u}}, &error);
  if (sandbox == nullptr) {
    PrintError("the demo cannot make a sandbox of its own here: " + error +
               "; it does not run on the user's own folder and settings");
    return nullptr;
  }
  obexses::host::SetProcessVariable("OBEXSES_HOST_LOG", PathUtf8(layout.root / "host.log"));
  return sandbox;
}

// A client record of the profile for a session with the phone, or null.
ClientSession* NewPhoneSession(const SessionDdi& ddi, uint32_t profile) {
  ClientSession* record = ddi.create_client_session(profile);
  Say("create_client_session(0x%04x) returned a %s", profile, record ? "new record" : "null");
  if (record != nullptr) std::memcpy(record->bdaddr, kPhone, 6);
  return record;
}

ClientSession* SaveOppClient(const SessionDdi& ddi, const Layout& layout) {
  Step("OPP client: push photo.jpg to the phone 00:11:22:33:44:55");
  ClientSession* record = NewPhoneSession(ddi, OBEXSES_PROFILE_OPP);
  if (record == nullptr) return nullptr;
  auto* opp = reinterpret_cast<OppClientSession*>(record);
  SetField(record->file_name, u"photo.jpg");
  SetField(opp->objectName, u"photo.jpg");
  SetField(opp->internalObjectName, layout.files / "photo.jpg");
  record->FO_fileLen = 5;
  record->FO_amount = 2;  // the link was lost after two bytes
  Say("save_client_session returned %d", ddi.save_client_session(record));
  ClientSession* found = ddi.find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  Say("find_client_session(phone, \"photo.jpg\", OPP) found %s",
      found == record ? "the same record" : "nothing");
  Say("client_transfer_file_changed: %s", Verdict(ddi.client_transfer_file_changed(record)));
  return record;
}

ClientSession* SaveFtpClient(const SessionDdi& ddi, const Layout& layout) {
  Step("FTP client: send report.pdf to the phone's folder");
  ClientSession* record = NewPhoneSession(ddi, OBEXSES_PROFILE_FTP);
  if (record == nullptr) return nullptr;
  auto* ftp = reinterpret_cast<FtpClientSession*>(record);
  SetField(record->file_name, layout.files / "report.pdf");
  SetField(ftp->m_bstrCurrentTxName, u"report.pdf");
  SetField(ftp->m_bstrServerDirectory, u"Documents");
  // An empty request list, as the profile module keeps it: the head points at itself.
  ftp->m_reqList.pNext = &ftp->m_reqList;
  ftp->m_reqList.pPrev = &ftp->m_reqList;
  Say("save_client_session returned %d", ddi.save_client_session(record));
  Say("client_file_changed: %s, client_file_size: %u bytes",
      Verdict(ddi.client_file_changed(record)), ddi.client_file_size(record));
  WriteText(layout.files / "report.pdf", "%PDF-1.7 rewritten while the link was down, longer");
  fs::last_write_time(layout.files / "report.pdf",
                      fs::last_write_time(layout.files / "report.pdf") + std::chrono::seconds(2));
  Say("after report.pdf is rewritten, client_transfer_file_changed: %s",
      Verdict(ddi.client_transfer_file_changed(record)));
  Say("save_client_session again (takes the new file time) returned %d",
      ddi.save_client_session(record));
  Say("client_transfer_file_changed: %s", Verdict(ddi.client_transfer_file_changed(record)));
  return record;
}

ServerSession* SaveServer(const SessionDdi& ddi, uint32_t profile, const uint8_t* id,
                          const fs::path& folder, const char16_t* name) {
  ServerSession* record = ddi.create_server_session(profile);
  Say("create_server_session(0x%04x) returned a %s", profile, record ? "new record" : "null");
  if (record == nullptr) return nullptr;
  std::memcpy(record->GoepServer_sessionId, id, 16);
  if (profile == OBEXSES_PROFILE_OPP) {
    auto* opp = reinterpret_cast<OppServerSession*>(record);
    SetField(opp->m_szInboxpath, folder);
    SetField(opp->internalObjectName, name);
  } else {
    auto* ftp = reinterpret_cast<FtpServerSession*>(record);
    SetField(ftp->m_bstrCurrentDirectory, folder);
    SetField(ftp->m_bstrCurrentTxName, name);
  }
  Say("save_server_session returned %d", ddi.save_server_session(record));
  Say("find_server_session(id) found %s",
      ddi.find_server_session(id) == record ? "the same record" : "nothing");
  Say("server_transfer_file_changed: %s", Verdict(ddi.server_transfer_file_changed(record)));
  return record;
}

void CountCallback(void*, void* context) {
  ++*static_cast<int*>(context);
}

void ShowEnumerations(const SessionDdi& ddi) {
  Step("Enumerate saved sessions");
  int opp = 0, ftp = 0, server = 0;
  ddi.enum_client_session(kPhone, OBEXSES_PROFILE_OPP, CountCallback, &opp);
  ddi.enum_client_session(kPhone, OBEXSES_PROFILE_FTP, CountCallback, &ftp);
  ddi.enum_server_session(OBEXSES_PROFILE_OPP, CountCallback, &server);
  Say("the phone has %d OPP and %d FTP client sessions; %d OPP server session(s)", opp, ftp,
      server);
}

void ShowResumeAndDestroy(const SessionDdi& ddi) {
  Step("A session that is resumed and finished at once");
  ClientSession* record = ddi.create_client_session(OBEXSES_PROFILE_OPP);
  Say("resume_client_session returned %d", ddi.resume_client_session(record));
  Say("destroy_client_session returned %d", ddi.destroy_client_session(record));
  Say("destroy_client_session on the same address again returned %d (no longer live)",
      ddi.destroy_client_session(record));
  Say("create_client_session(0x1107) returned %s",
      ddi.create_client_session(0x1107) ? "a record" : "null (not OPP or FTP)");
}

void ListTemporaryFiles(const Layout& layout) {
  Step("The host lists two temporary files of interrupted transfers");
  WriteText(layout.files / "partial.tmp", "half a file");
  std::ofstream list(layout.velmora() / "tmp_lst", std::ios::trunc);
  // The list is text in the platform's own narrow encoding.
  list << (layout.inbox / "song.mp3").string() << "\n"
       << (layout.files / "partial.tmp").string() << "\n";
  Say("tmp_lst names inbox/song.mp3 (an OPP server session receives it) and files/partial.tmp");
}

bool PrepareLayout(const Layout& layout) {
  std::error_code ec;
  for (const fs::path& dir : {layout.app_data, layout.files, layout.inbox, layout.shared}) {
    fs::create_directories(dir, ec);
    if (ec) {
      PrintError("cannot make " + PathUtf8(dir) + ": " + ec.message());
      return false;
    }
  }
  WriteText(layout.files / "photo.jpg", "JFIF!");
  WriteText(layout.files / "report.pdf", "%PDF-1.7");
  WriteText(layout.inbox / "song.mp3", "ID3");
  WriteText(layout.shared / "notes.txt", "notes");
  return true;
}

std::string LibraryOrDefault(const DemoOptions& options) {
  return options.library.empty() ? DefaultLibraryPath() : options.library;
}

// Second process: the saved sessions found again, the start-up clean-up
// seen, two sessions finished. 0 when every saved session came back.
int FindAgain(const SessionDdi& ddi, const Layout& layout) {
  Step("Find the sessions saved before the restart");
  ClientSession* photo = ddi.find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  Say("OPP client photo.jpg: %s", photo ? "found" : "not found");
  const std::u16string report = (layout.files / "report.pdf").u16string();
  ClientSession* pdf = ddi.find_client_session(kPhone, report.c_str(), OBEXSES_PROFILE_FTP);
  Say("FTP client report.pdf: %s", pdf ? "found" : "not found");
  ServerSession* song = ddi.find_server_session(kOppServerId);
  Say("OPP server session of song.mp3: %s", song ? "found" : "not found");
  ServerSession* notes = ddi.find_server_session(kFtpServerId);
  Say("FTP server session of notes.txt: %s (its transfer file is unchanged)",
      notes ? "found" : "not found");
  if (photo != nullptr) {
    Say("photo.jpg: %u of %u bytes were sent before the link was lost; transfer file %s",
        photo->FO_amount, photo->FO_fileLen, Verdict(ddi.client_transfer_file_changed(photo)));
    Say("resume_client_session returned %d", ddi.resume_client_session(photo));
  }

  Step("Temporary files after the start-up clean-up");
  Say("inbox/song.mp3 %s", fs::exists(layout.inbox / "song.mp3") ? "kept" : "deleted");
  Say("files/partial.tmp %s", fs::exists(layout.files / "partial.tmp") ? "kept" : "deleted");

  Step("Finish the FTP transfers: destroy their sessions");
  Say("destroy_client_session(report.pdf) returned %d", ddi.destroy_client_session(pdf));
  Say("destroy_server_session(notes.txt) returned %d", ddi.destroy_server_session(notes));
  ShowDisk(layout);
  return (photo && pdf && song && notes) ? 0 : 1;
}

// The whole account of the first process, with the restarted one's inside.
void PrintDemoJson(const Layout& layout, const std::string& library, int status) {
  Json json = Json::Object();
  json.Set("folder", PathUtf8(layout.root))
      .Set("app_data", PathUtf8(layout.app_data))
      .Set("library", library)
      .Set("steps", g_narrator->Steps())
      .Set("restart_status", status)
      .Set("restart", Json::Raw(ReadBytes(layout.root / "restart.json")));
  PrintJson(json);
}

}  // namespace

int RunDemo(DemoOptions options) {
  if (options.data_dir.empty() && !obexses::host::MakeTemporaryFolder(&options.data_dir)) {
    PrintError("cannot make a temporary folder");
    return 1;
  }
  Narrator narrator(options.json);
  g_narrator = &narrator;
  Layout layout(fs::absolute(PathFromUtf8(options.data_dir)));
  if (!PrepareLayout(layout)) return 1;
  const auto sandbox = EnterSandbox(layout, options.trace);
  if (sandbox == nullptr) return 1;
  const std::string library = LibraryOrDefault(options);
  Step(("obexses demo in " + PathUtf8(layout.root)).c_str());
  Say("application-data folder: %s", PathUtf8(layout.app_data).c_str());

  Step("Start the module (first process)");
  Host host;
  if (!host.Load(library, narrator)) return 1;
  const SessionDdi& ddi = host.ddi();
  SaveOppClient(ddi, layout);
  SaveFtpClient(ddi, layout);
  Step("OPP server: the phone pushes song.mp3 to us");
  SaveServer(ddi, OBEXSES_PROFILE_OPP, kOppServerId, layout.inbox, u"song.mp3");
  Step("FTP server: the phone fetches shared/notes.txt");
  SaveServer(ddi, OBEXSES_PROFILE_FTP, kFtpServerId, layout.shared, u"notes.txt");
  ShowEnumerations(ddi);
  ShowResumeAndDestroy(ddi);
  Step("The session files as written");
  ShowSessionFile(layout.sessions() / "ClientSession.xml");
  ShowSessionFile(layout.sessions() / "ServerSession.xml");
  ListTemporaryFiles(layout);

  Step("Restart: the host goes down and a new process loads the module again");
  std::fflush(stdout);
  std::vector<std::string> argv = {obexses::host::ExecutablePath(), "demo-restart", "--data",
                                   PathUtf8(layout.root),           "--lib",        library};
  if (options.trace) argv.push_back("--trace");
  if (options.json) {
    argv.insert(argv.end(),
                {"--output", "json", "--report", PathUtf8(layout.root / "restart.json")});
  }
  const int status = obexses::host::RunProgram(argv);
  if (options.json) {
    PrintDemoJson(layout, library, status);
  } else {
    std::printf("\nthe restarted module's process ended with status %d\n", status);
  }
  return status;
}

int RunDemoRestart(const DemoOptions& options) {
  Narrator narrator(options.json);
  g_narrator = &narrator;
  Layout layout(fs::absolute(PathFromUtf8(options.data_dir)));
  const auto sandbox = EnterSandbox(layout, options.trace);
  if (sandbox == nullptr) return 1;
  Step("Start the module again (second process)");
  Host host;
  const int status =
      host.Load(LibraryOrDefault(options), narrator) ? FindAgain(host.ddi(), layout) : 1;
  if (options.json) WriteText(PathFromUtf8(options.report), narrator.Steps().Print());
  return status;
}

}  // namespace obexsesctl
