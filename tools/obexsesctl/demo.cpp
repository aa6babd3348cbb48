// SPDX-License-Identifier: MIT
// demo: the typical road of the profile modules, in two processes so that
// the saved sessions are seen to survive a restart. Each process loads the
// library as the Bluetooth host does (by path, Initialize, the service table
// and nothing else) in a sandbox of the demo's own (host::Sandbox), and
// refuses to run where the platform cannot give it one.
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "obexses/client_session.h"
#include "obexses/obexses.h"
#include "obexses/server_session.h"
#include "persist/session_file.h"
#include "platform/env.h"
#include "text/wide.h"
#include "tools/obexsesctl/commands.h"
#include "tools/obexsesctl/output.h"

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

// The demo's account of what it does, step by step: printed as it goes, or
// gathered for JSON as [{"step": title, "lines": [...]}, ...].
bool g_json = false;
Json g_steps = Json::array();

void Step(const std::string& title) {
  if (!g_json) return fmt::print("\n== {}\n", title);
  g_steps.push_back({{"step", title}, {"lines", Json::array()}});
}

void Line(const std::string& line, const char* indent) {
  if (!g_json) return fmt::print("{}{}\n", indent, line);
  if (g_steps.empty()) Step("");
  g_steps.back()["lines"].push_back(line);
}

template <typename... Args>
void Say(fmt::format_string<Args...> format, Args&&... args) {
  Line(fmt::format(format, std::forward<Args>(args)...), "   ");
}

// Lines shown as they stand (a file's contents).
void Show(const std::string& block) {
  std::istringstream lines(block);
  for (std::string line; std::getline(lines, line);) Line(line, "");
}

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
  std::u16string units;
  size_t bytes = 0;
  obexses::platform::ReadFileUnits(obexses::platform::Env::Default(), path.u16string(),
                                   obexses::persist::kMaxFileBytes, &units, &bytes);
  return Utf8(std::u16string_view(units).substr(units.starts_with(u'\uFEFF') ? 1 : 0));
}

void ShowSessionFile(const fs::path& path) {
  if (!fs::exists(path)) {
    Say("{}: not there", PathUtf8(path.filename()));
    return;
  }
  Say("{} ({} bytes, UTF-16LE):", PathUtf8(path.filename()), fs::file_size(path));
  Show(SessionFileText(path));
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
    Say("{:<60} {} bytes", name, size);
  }
  ShowSessionFile(layout.sessions() / "ClientSession.xml");
  ShowSessionFile(layout.sessions() / "ServerSession.xml");
  const fs::path list = layout.velmora() / "tmp_lst";
  if (fs::exists(list)) {
    Say("tmp_lst:");
    Show(ReadBytes(list));
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
  Say("create_client_session({:#06x}) returned a {}", profile, record ? "new record" : "null");
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
  Say("save_client_session returned {}", ddi.save_client_session(record));
  ClientSession* found = ddi.find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  Say("find_client_session(phone, \"photo.jpg\", OPP) found {}",
      found == record ? "the same record" : "nothing");
  Say("client_transfer_file_changed: {}", Verdict(ddi.client_transfer_file_changed(record)));
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
  Say("save_client_session returned {}", ddi.save_client_session(record));
  Say("client_file_changed: {}, client_file_size: {} bytes",
      Verdict(ddi.client_file_changed(record)), ddi.client_file_size(record));
  WriteText(layout.files / "report.pdf", "%PDF-1.7 rewritten while the link was down, longer");
  fs::last_write_time(layout.files / "report.pdf",
                      fs::last_write_time(layout.files / "report.pdf") + std::chrono::seconds(2));
  Say("after report.pdf is rewritten, client_transfer_file_changed: {}",
      Verdict(ddi.client_transfer_file_changed(record)));
  Say("save_client_session again (takes the new file time) returned {}",
      ddi.save_client_session(record));
  Say("client_transfer_file_changed: {}", Verdict(ddi.client_transfer_file_changed(record)));
  return record;
}

ServerSession* SaveServer(const SessionDdi& ddi, uint32_t profile, const uint8_t* id,
                          const fs::path& folder, const char16_t* name) {
  ServerSession* record = ddi.create_server_session(profile);
  Say("create_server_session({:#06x}) returned a {}", profile, record ? "new record" : "null");
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
  Say("save_server_session returned {}", ddi.save_server_session(record));
  Say("find_server_session(id) found {}",
      ddi.find_server_session(id) == record ? "the same record" : "nothing");
  Say("server_transfer_file_changed: {}", Verdict(ddi.server_transfer_file_changed(record)));
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
  Say("the phone has {} OPP and {} FTP client sessions; {} OPP server session(s)", opp, ftp,
      server);
}

void ShowResumeAndDestroy(const SessionDdi& ddi) {
  Step("A session that is resumed and finished at once");
  ClientSession* record = ddi.create_client_session(OBEXSES_PROFILE_OPP);
  Say("resume_client_session returned {}", ddi.resume_client_session(record));
  Say("destroy_client_session returned {}", ddi.destroy_client_session(record));
  Say("destroy_client_session on the same address again returned {} (no longer live)",
      ddi.destroy_client_session(record));
  Say("create_client_session(0x1107) returned {}",
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

// The library this obexsesctl goes with: beside it in the build tree; once
// installed, the soname's file in the installation's library folder (on
// Windows, beside it there too).
std::string LibraryPath(const Options& options) {
  if (!options.library.empty()) return options.library;
  const fs::path folder = NativePath(obexses::host::ExecutablePath()).parent_path();
  const fs::path beside = folder / obexses::host::SharedLibraryName("obexses");
#ifdef OBEXSESCTL_LIBRARY_FROM_BIN
  std::error_code ec;
  if (!fs::exists(beside, ec))
    return PathUtf8((folder / OBEXSESCTL_LIBRARY_FROM_BIN).lexically_normal());
#endif
  return PathUtf8(beside);
}

// The demo's hold on the library, as a Bluetooth host holds it.
class Host {
 public:
  // Loads the library, calls Initialize and CallProfileCommand("QueryDdi",
  // 1); false when the library, its exports or a full table cannot be had.
  bool Load(const std::string& path) {
    std::string error;
    library_ = obexses::host::Library::Open(path, &error);
    if (!library_) {
      PrintError(fmt::format("cannot load {}: {}", path, error));
      return false;
    }
    auto initialize = reinterpret_cast<InitializeFn>(library_->Symbol("Initialize"));
    auto command = reinterpret_cast<CallProfileCommandFn>(library_->Symbol("CallProfileCommand"));
    if (initialize == nullptr || command == nullptr) {
      PrintError(path + " does not export Initialize and CallProfileCommand");
      return false;
    }
    Say("loaded {}", path);
    static int core_stand_in = 0;  // the core interface is only tested for null
    Say("Initialize(core) returned {}", initialize(reinterpret_cast<ICore*>(&core_stand_in)));
    command(u"QueryDdi", 1, &table_);
    const auto* slots = reinterpret_cast<const void* const*>(&table_);
    const auto filled = std::count_if(slots, slots + OBEXSES_DDI_SLOTS,
                                      [](const void* slot) { return slot != nullptr; });
    Say("CallProfileCommand(\"QueryDdi\", 1) filled {} of {} service slots", filled,
        OBEXSES_DDI_SLOTS);
    return filled == OBEXSES_DDI_SLOTS;
  }
  const SessionDdi& ddi() const { return table_; }

 private:
  std::unique_ptr<obexses::host::Library> library_;
  SessionDdi table_{};
};

// Second process: the saved sessions found again, the start-up clean-up
// seen, two sessions finished. 0 when every saved session came back.
int FindAgain(const SessionDdi& ddi, const Layout& layout) {
  Step("Find the sessions saved before the restart");
  ClientSession* photo = ddi.find_client_session(kPhone, u"photo.jpg", OBEXSES_PROFILE_OPP);
  Say("OPP client photo.jpg: {}", photo ? "found" : "not found");
  const std::u16string report = (layout.files / "report.pdf").u16string();
  ClientSession* pdf = ddi.find_client_session(kPhone, report.c_str(), OBEXSES_PROFILE_FTP);
  Say("FTP client report.pdf: {}", pdf ? "found" : "not found");
  ServerSession* song = ddi.find_server_session(kOppServerId);
  Say("OPP server session of song.mp3: {}", song ? "found" : "not found");
  ServerSession* notes = ddi.find_server_session(kFtpServerId);
  Say("FTP server session of notes.txt: {} (its transfer file is unchanged)",
      notes ? "found" : "not found");
  if (photo != nullptr) {
    Say("photo.jpg: {} of {} bytes were sent before the link was lost; transfer file {}",
        photo->FO_amount, photo->FO_fileLen, Verdict(ddi.client_transfer_file_changed(photo)));
    Say("resume_client_session returned {}", ddi.resume_client_session(photo));
  }

  Step("Temporary files after the start-up clean-up");
  Say("inbox/song.mp3 {}", fs::exists(layout.inbox / "song.mp3") ? "kept" : "deleted");
  Say("files/partial.tmp {}", fs::exists(layout.files / "partial.tmp") ? "kept" : "deleted");

  Step("Finish the FTP transfers: destroy their sessions");
  Say("destroy_client_session(report.pdf) returned {}", ddi.destroy_client_session(pdf));
  Say("destroy_server_session(notes.txt) returned {}", ddi.destroy_server_session(notes));
  ShowDisk(layout);
  return (photo && pdf && song && notes) ? 0 : 1;
}

// The whole account of the first process, with the restarted one's inside.
void PrintDemoJson(const Layout& layout, const std::string& library, int status) {
  Json restart = Json::parse(ReadBytes(layout.root / "restart.json"), nullptr, false);
  if (restart.is_discarded()) restart = nullptr;  // the second process wrote no account
  PrintJson({{"folder", PathUtf8(layout.root)},
             {"app_data", PathUtf8(layout.app_data)},
             {"library", library},
             {"steps", g_steps},
             {"restart_status", status},
             {"restart", std::move(restart)}});
}

// Runs the second process on the same folder and waits for it.
int Restart(const Options& options, const Layout& layout, const std::string& library) {
  Step("Restart: the host goes down and a new process loads the module again");
  std::fflush(stdout);
  std::vector<std::string> argv = {obexses::host::ExecutablePath(), "demo-restart", "--data",
                                   PathUtf8(layout.root),           "--lib",        library};
  if (options.trace) argv.push_back("--trace");
  if (options.json) {
    argv.insert(argv.end(),
                {"--output", "json", "--report", PathUtf8(layout.root / "restart.json")});
  }
  return obexses::host::RunProgram(argv);
}

}  // namespace

int RunDemo(const Options& options) {
  std::string folder = options.data;
  if (folder.empty() && !obexses::host::MakeTemporaryFolder(&folder)) {
    PrintError("cannot make a temporary folder");
    return kExitProblems;
  }
  g_json = options.json;
  const Layout layout(fs::absolute(NativePath(folder)));
  if (!PrepareLayout(layout)) return kExitProblems;
  const auto sandbox = EnterSandbox(layout, options.trace);
  if (sandbox == nullptr) return kExitProblems;
  const std::string library = LibraryPath(options);
  Step("obexses demo in " + PathUtf8(layout.root));
  Say("application-data folder: {}", PathUtf8(layout.app_data));

  Step("Start the module (first process)");
  Host host;
  if (!host.Load(library)) return kExitProblems;
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
  const int status = Restart(options, layout, library);
  if (options.json) {
    PrintDemoJson(layout, library, status);
  } else {
    fmt::print("\nthe restarted module's process ended with status {}\n", status);
  }
  return status;
}

int RunDemoRestart(const Options& options) {
  if (options.data.empty()) {
    PrintError("demo-restart is the demo's own second process; run demo");
    return kExitUsage;
  }
  g_json = options.json;
  const Layout layout(fs::absolute(NativePath(options.data)));
  const auto sandbox = EnterSandbox(layout, options.trace);
  if (sandbox == nullptr) return kExitProblems;
  Step("Start the module again (second process)");
  Host host;
  const int status = host.Load(LibraryPath(options)) ? FindAgain(host.ddi(), layout) : 1;
  if (options.json) WriteText(NativePath(options.report), g_steps.dump());
  return status;
}

}  // namespace obexsesctl
