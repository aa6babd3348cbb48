// Path rules of the session records and the checks of slots 16 to 21: is the
// file missing or rewritten since the last save, and how large is it.
#include "module/state.h"
#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/registry.h"
#include "registry/registry_internal.h"
#include "text/wide.h"

namespace obexses {
namespace {

using records::AsFtp;
using records::AsOpp;
using records::kProfileFtp;
using records::kProfileOpp;

std::u16string_view Field(const char16_t* array) {
  return text::FixedView(array, OBEXSES_NAME_UNITS);
}

// folder, a backslash, name; each piece only as far as it fits.
void JoinPath(char16_t* buffer, const char16_t* folder, const char16_t* name) {
  text::AppendBounded(buffer, kPathUnits, Field(folder));
  text::AppendBounded(buffer, kPathUnits, u"\\");
  text::AppendBounded(buffer, kPathUnits, Field(name));
}

uint32_t ChangedAgainst(const char16_t* path, uint32_t stamp) {
  if (path[0] == 0) return 0;
  platform::Env* env = platform::GetEnv();
  if (!env->PathExists(path)) return 1;
  platform::FileAttributes attributes;
  env->ReadAttributes(path, &attributes);
  return static_cast<uint32_t>(attributes.last_write_time) != stamp ? 1 : 0;
}

uint32_t SizeOf(const char16_t* path) {
  if (path[0] == 0) return 0;
  platform::Env* env = platform::GetEnv();
  if (!env->PathExists(path)) return 0;
  platform::FileAttributes attributes;
  env->ReadAttributes(path, &attributes);
  return static_cast<uint32_t>(attributes.size);
}

using ClientRule = void (*)(const ClientSession*, char16_t*);
using ServerRule = void (*)(const ServerSession*, char16_t*);

// The record is read under the session lock, so that a concurrent destroy
// cannot free it between the live test and the read.
bool ClientPathAndStamp(ClientSession* record, ClientRule rule, char16_t* path, uint32_t* stamp) {
  if (record == nullptr) return false;
  SessionGuard lock(g_session_lock);
  if (!IsLiveSession(record)) return false;
  rule(record, path);
  *stamp = record->FO_timeStamp;
  return true;
}

uint32_t ClientChanged(ClientSession* record, ClientRule rule) {
  char16_t path[kPathUnits] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, rule, path, &stamp)) return 0;
  return ChangedAgainst(path, stamp);
}

uint32_t ServerChanged(ServerSession* record, ServerRule rule) {
  if (record == nullptr) return 0;
  char16_t path[kPathUnits] = {};
  rule(record, path);
  return ChangedAgainst(path, record->FO_timeStamp);
}

}  // namespace

void ClientFilePath(const ClientSession* record, char16_t* buffer) {
  if (!IsLiveSession(record) || record->profile_id != kProfileFtp) return;
  if (record->file_name[0] == u'\\') return;
  text::CopyBounded(buffer, kPathUnits, Field(record->file_name));
}

void ClientTransferFilePath(const ClientSession* record, char16_t* buffer) {
  if (!IsLiveSession(record)) return;
  if (record->profile_id == kProfileFtp) {
    const FtpClientSession* ftp = AsFtp(record);
    if (record->file_name[0] != u'\\') {
      text::CopyBounded(buffer, kPathUnits, Field(record->file_name));
    } else {
      JoinPath(buffer, ftp->m_bstrClientDirectory, ftp->m_bstrCurrentTxName);
    }
  } else if (record->profile_id == kProfileOpp) {
    text::CopyBounded(buffer, kPathUnits, Field(AsOpp(record)->internalObjectName));
  }
}

void ServerFilePath(const ServerSession* record, char16_t* buffer) {
  if (record->profile_id == kProfileFtp) {
    if (AsFtp(record)->m_ucCurrentTxType == 1) return;
    JoinPath(buffer, AsFtp(record)->m_bstrCurrentDirectory, AsFtp(record)->m_bstrCurrentTxName);
  } else if (record->profile_id == kProfileOpp) {
    JoinPath(buffer, AsOpp(record)->m_szInboxpath, AsOpp(record)->internalObjectName);
  }
}

void ServerTransferFilePath(const ServerSession* record, char16_t* buffer) {
  if (record->profile_id == kProfileFtp) {
    JoinPath(buffer, AsFtp(record)->m_bstrCurrentDirectory, AsFtp(record)->m_bstrCurrentTxName);
  } else if (record->profile_id == kProfileOpp) {
    JoinPath(buffer, AsOpp(record)->m_szInboxpath, AsOpp(record)->internalObjectName);
  }
}

uint32_t FileStampOf(const char16_t* path) {
  platform::FileAttributes attributes;
  if (path[0] == 0 || !platform::GetEnv()->ReadAttributes(path, &attributes)) return 0;
  return static_cast<uint32_t>(attributes.last_write_time);
}

uint32_t tvr_client_file_changed(ClientSession* record) {
  return ClientChanged(record, ClientFilePath);
}

uint32_t tvr_server_file_changed(ServerSession* record) {
  return ServerChanged(record, ServerFilePath);
}

uint32_t tvr_client_transfer_file_changed(ClientSession* record) {
  return ClientChanged(record, ClientTransferFilePath);
}

uint32_t tvr_server_transfer_file_changed(ServerSession* record) {
  return ServerChanged(record, ServerTransferFilePath);
}

uint32_t tvr_client_file_size(ClientSession* record) {
  char16_t path[kPathUnits] = {};
  uint32_t stamp = 0;
  if (!ClientPathAndStamp(record, ClientFilePath, path, &stamp)) return 0;
  return SizeOf(path);
}

uint32_t tvr_server_file_size(ServerSession* record) {
  if (record == nullptr) return 0;
  char16_t path[kPathUnits] = {};
  ServerFilePath(record, path);
  return SizeOf(path);
}

}  // namespace obexses
