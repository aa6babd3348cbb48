// SPDX-License-Identifier: MIT
// The files a session record names, by the path rules the file checks and the
// saves use: FilePath (the session's own file) and TransferFilePath (the file
// in transfer). Each writes into a zeroed buffer of OBEXSES_NAME_UNITS units,
// joining its pieces as far as they fit; a rule that gives no path leaves the
// buffer empty. The rules read the record alone: whether a client record may
// be read at all (is it live?) is the registry's question.
#pragma once

#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses::records {

void ClientFilePath(const ClientSession* record, char16_t* buffer);
void ClientTransferFilePath(const ClientSession* record, char16_t* buffer);
void ServerFilePath(const ServerSession* record, char16_t* buffer);
void ServerTransferFilePath(const ServerSession* record, char16_t* buffer);

}  // namespace obexses::records
