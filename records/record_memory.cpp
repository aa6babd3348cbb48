// SPDX-License-Identifier: MIT
#include "records/record_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace obexses::records {
namespace {

size_t ClientRecordSize(uint32_t profile) {
  if (profile == OBEXSES_PROFILE_OPP) return sizeof(OppClientSession);
  if (profile == OBEXSES_PROFILE_FTP) return sizeof(FtpClientSession);
  return 0;
}

size_t ServerRecordSize(uint32_t profile) {
  if (profile == OBEXSES_PROFILE_OPP) return sizeof(OppServerSession);
  if (profile == OBEXSES_PROFILE_FTP) return sizeof(FtpServerSession);
  return 0;
}

void* NewZeroed(size_t size) {
  if (size == 0) return nullptr;
  void* block = ::operator new(size, std::nothrow);
  if (block != nullptr) std::memset(block, 0, size);
  return block;
}

template <typename Record>
void FreeResumeBuffers(Record* record) {
  std::free(record->ResumeParms_headerBuff);
  std::free(record->ResumeParms_protoBuff);
  record->ResumeParms_headerBuff = nullptr;
  record->ResumeParms_protoBuff = nullptr;
}

void FreeRequestNodes(FtpClientSession* record) {
  ReqLink* head = &record->m_reqList;
  ReqLink* link = head->pNext;
  while (link != nullptr && link != head) {
    ReqLink* next = link->pNext;
    std::free(link);
    link = next;
  }
  head->pNext = nullptr;
  head->pPrev = nullptr;
}

}  // namespace

ClientSession* NewClientRecord(uint32_t profile) {
  auto* record = static_cast<ClientSession*>(NewZeroed(ClientRecordSize(profile)));
  if (record != nullptr) record->profile_id = profile;
  return record;
}

ServerSession* NewServerRecord(uint32_t profile) {
  auto* record = static_cast<ServerSession*>(NewZeroed(ServerRecordSize(profile)));
  if (record != nullptr) record->profile_id = profile;
  return record;
}

void DeleteClientRecord(ClientSession* record) noexcept {
  ::operator delete(record);
}
void DeleteServerRecord(ServerSession* record) noexcept {
  ::operator delete(record);
}

void DeleteClientRecordDeep(ClientSession* record) noexcept {
  if (record == nullptr) return;
  FreeResumeBuffers(record);
  if (record->profile_id == OBEXSES_PROFILE_FTP) FreeRequestNodes(AsFtp(record));
  DeleteClientRecord(record);
}

void DeleteServerRecordDeep(ServerSession* record) noexcept {
  if (record == nullptr) return;
  FreeResumeBuffers(record);
  DeleteServerRecord(record);
}

void ResetRequestList(FtpClientSession* record) {
  record->m_reqList.pNext = &record->m_reqList;
  record->m_reqList.pPrev = &record->m_reqList;
}

void AppendRequest(FtpClientSession* record, ReqEntry* node) {
  ReqLink* head = &record->m_reqList;
  ReqLink* tail = head->pPrev;
  node->link.pNext = head;
  node->link.pPrev = tail;
  tail->pNext = &node->link;
  head->pPrev = &node->link;
}

}  // namespace obexses::records
