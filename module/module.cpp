// SPDX-License-Identifier: MIT
#include "module/module.h"

#include <string_view>

#include "platform/platform.h"
#include "registry/session_store.h"
#include "templist/temp_list.h"

namespace obexses {
namespace {

constexpr char16_t kLogTag[] = u"OBEX";
constexpr char kMessageTag[] = "OBEX";

// The host's log is the host's: a line it cannot take is lost, never a
// failure of the entry point that writes it.
void LogLine(platform::HostLog* log, const char16_t* format, const char* name) noexcept {
  try {
    log->Format(4, kLogTag, format, name);
  } catch (...) {
  }
}

void LogMessage(platform::HostLog* log, uint32_t level, const char* text) noexcept {
  try {
    log->Text(level, kMessageTag, text);
  } catch (...) {
  }
}

// Entry and exit lines of the three logged entry points, for their whole scope.
class LoggedCall {
 public:
  LoggedCall(platform::HostLog* log, const char* name) noexcept : log_(log), name_(name) {
    LogLine(log_, u"+++++ %S", name_);
  }
  ~LoggedCall() {
    if (!silent_exit_) LogLine(log_, u"----- %S", name_);
  }
  void SkipExitLine() { silent_exit_ = true; }

 private:
  platform::HostLog* log_;
  const char* name_;
  bool silent_exit_ = false;
};

// The once-only start-up. The restores run before the settings are read, so
// they see saving and tracing off; no step's result is examined, and a step
// that fails (for want of memory, say) does not keep the next from running.
void StartUp(SessionStore& store) noexcept {
  store.MakePaths();
  store.RestoreClientSession();
  store.RestoreServerSession();
  store.ReadSettings();
  store.MarkInitialized();
  CleanTempFileList(store);
}

}  // namespace

SessionStore& ModuleStore() {
  static SessionStore store(platform::Platform::Default(), SessionStore::AtEnd::kKeepRecords);
  return store;
}

uint32_t InitializeModule(SessionStore& store, ICore* core) noexcept {
  LoggedCall call(store.host_log(), "Initialize");
  if (core == nullptr) {
    LogMessage(store.host_log(), 1,
               "giving a NULL ICore! which means Extension Core has a huge bug");
    return 3;
  }
  if (!store.initialized()) StartUp(store);
  return 1;
}

void RunProfileCommand(SessionStore& store, const char16_t* name, uint32_t argument,
                       void* output) noexcept {
  LoggedCall call(store.host_log(), "CallProfileCommand");
  if (name == nullptr || name[0] == 0) {
    LogMessage(store.host_log(), 1, "call profile command but no function name!");
    call.SkipExitLine();
    return;
  }
  if (std::u16string_view(name) != u"QueryDdi") return;
  LogMessage(store.host_log(), 4, "query ddi");
  if (argument == 1 && output != nullptr) {
    FillDdi(store, static_cast<SessionDdi*>(output));
  } else {
    LogMessage(store.host_log(), 1, "wrong params!");
  }
}

void FillDdi(SessionStore& store, SessionDdi* table) noexcept {
  LoggedCall call(store.host_log(), "FillDdi");
  if (table == nullptr) return;
  table->create_client_session = tvr_create_client_session;
  table->destroy_client_session = tvr_destroy_client_session;
  table->save_client_session = tvr_save_client_session;
  table->find_client_session = tvr_find_client_session;
  table->resume_client_session = tvr_resume_client_session;
  table->create_server_session = tvr_create_server_session;
  table->destroy_server_session = tvr_destroy_server_session;
  table->save_server_session = tvr_save_server_session;
  table->find_server_session = tvr_find_server_session;
  table->resume_server_session = tvr_resume_server_session;
  table->store_client_session = tvr_store_client_session;
  table->restore_client_session = tvr_restore_client_session;
  table->store_server_session = tvr_store_server_session;
  table->restore_server_session = tvr_restore_server_session;
  table->enum_client_session = tvr_enum_client_session;
  table->enum_server_session = tvr_enum_server_session;
  table->client_file_changed = tvr_client_file_changed;
  table->server_file_changed = tvr_server_file_changed;
  table->client_transfer_file_changed = tvr_client_transfer_file_changed;
  table->server_transfer_file_changed = tvr_server_transfer_file_changed;
  table->client_file_size = tvr_client_file_size;
  table->server_file_size = tvr_server_file_size;
}

}  // namespace obexses
