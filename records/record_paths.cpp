// SPDX-License-Identifier: MIT
#include "records/record_paths.h"

#include <string_view>

#include "records/record_memory.h"
#include "text/wide.h"

namespace obexses::records {
namespace {

std::u16string_view Field(const char16_t* array) {
  return text::FixedView(array, OBEXSES_NAME_UNITS);
}

// folder, a backslash, name; each piece only as far as it fits.
void JoinPath(char16_t* buffer, const char16_t* folder, const char16_t* name) {
  text::AppendBounded(buffer, OBEXSES_NAME_UNITS, Field(folder));
  text::AppendBounded(buffer, OBEXSES_NAME_UNITS, u"\\");
  text::AppendBounded(buffer, OBEXSES_NAME_UNITS, Field(name));
}

}  // namespace

void ClientFilePath(const ClientSession* record, char16_t* buffer) {
  if (record->profile_id != OBEXSES_PROFILE_FTP || record->file_name[0] == u'\\') return;
  text::CopyBounded(buffer, OBEXSES_NAME_UNITS, Field(record->file_name));
}

void ClientTransferFilePath(const ClientSession* record, char16_t* buffer) {
  if (record->profile_id == OBEXSES_PROFILE_FTP) {
    const FtpClientSession* ftp = AsFtp(record);
    if (record->file_name[0] != u'\\') {
      text::CopyBounded(buffer, OBEXSES_NAME_UNITS, Field(record->file_name));
    } else {
      JoinPath(buffer, ftp->m_bstrClientDirectory, ftp->m_bstrCurrentTxName);
    }
  } else if (record->profile_id == OBEXSES_PROFILE_OPP) {
    text::CopyBounded(buffer, OBEXSES_NAME_UNITS, Field(AsOpp(record)->internalObjectName));
  }
}

void ServerFilePath(const ServerSession* record, char16_t* buffer) {
  if (record->profile_id == OBEXSES_PROFILE_FTP && AsFtp(record)->m_ucCurrentTxType == 1) return;
  ServerTransferFilePath(record, buffer);
}

void ServerTransferFilePath(const ServerSession* record, char16_t* buffer) {
  if (record->profile_id == OBEXSES_PROFILE_FTP) {
    JoinPath(buffer, AsFtp(record)->m_bstrCurrentDirectory, AsFtp(record)->m_bstrCurrentTxName);
  } else if (record->profile_id == OBEXSES_PROFILE_OPP) {
    JoinPath(buffer, AsOpp(record)->m_szInboxpath, AsOpp(record)->internalObjectName);
  }
}

}  // namespace obexses::records
