// SPDX-License-Identifier: MIT
// Allocation and release of session records, and the typed views of the
// profile parts. Records are zero-filled blocks of the profile's size; the
// resume buffers and request nodes that hang off them are malloc blocks.
#pragma once

#include <cstdint>
#include <memory>

#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses::records {

// A zero-filled record of the profile's size with profile_id set, or null for
// an unknown profile or when memory runs out.
ClientSession* NewClientRecord(uint32_t profile);
ServerSession* NewServerRecord(uint32_t profile);

// Releases the record block alone: buffers and nodes belong to whoever holds them.
void DeleteClientRecord(ClientSession* record) noexcept;
void DeleteServerRecord(ServerSession* record) noexcept;

// Releases the record with its resume buffers (and, for FTP, its request nodes).
void DeleteClientRecordDeep(ClientSession* record) noexcept;
void DeleteServerRecordDeep(ServerSession* record) noexcept;

// Owners of a record not yet handed over: the plain ones release the block
// alone, the deep ones its buffers and request nodes too.
struct ClientRecordDeleter {
  void operator()(ClientSession* record) const noexcept { DeleteClientRecord(record); }
};
struct ServerRecordDeleter {
  void operator()(ServerSession* record) const noexcept { DeleteServerRecord(record); }
};
struct ClientRecordDeepDeleter {
  void operator()(ClientSession* record) const noexcept { DeleteClientRecordDeep(record); }
};
struct ServerRecordDeepDeleter {
  void operator()(ServerSession* record) const noexcept { DeleteServerRecordDeep(record); }
};
using ClientRecordPtr = std::unique_ptr<ClientSession, ClientRecordDeleter>;
using ServerRecordPtr = std::unique_ptr<ServerSession, ServerRecordDeleter>;

inline OppClientSession* AsOpp(ClientSession* r) {
  return reinterpret_cast<OppClientSession*>(r);
}
inline FtpClientSession* AsFtp(ClientSession* r) {
  return reinterpret_cast<FtpClientSession*>(r);
}
inline const OppClientSession* AsOpp(const ClientSession* r) {
  return reinterpret_cast<const OppClientSession*>(r);
}
inline const FtpClientSession* AsFtp(const ClientSession* r) {
  return reinterpret_cast<const FtpClientSession*>(r);
}
inline OppServerSession* AsOpp(ServerSession* r) {
  return reinterpret_cast<OppServerSession*>(r);
}
inline FtpServerSession* AsFtp(ServerSession* r) {
  return reinterpret_cast<FtpServerSession*>(r);
}
inline const OppServerSession* AsOpp(const ServerSession* r) {
  return reinterpret_cast<const OppServerSession*>(r);
}
inline const FtpServerSession* AsFtp(const ServerSession* r) {
  return reinterpret_cast<const FtpServerSession*>(r);
}

// Makes an FTP request list empty: both pointers at the head.
void ResetRequestList(FtpClientSession* record);
// Appends a node at the tail of the request list.
void AppendRequest(FtpClientSession* record, ReqEntry* node);

}  // namespace obexses::records
