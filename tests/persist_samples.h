// Realistic sessions of each side and profile, and the session elements they
// must be written as, spelt out by hand from the record tables. A server
// session's session_id is the GoepServer_sessionId that its save copies.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "records/record_memory.h"
#include "tests/support/test_env.h"

namespace obexses::testing {

inline uint8_t* Block(std::initializer_list<uint8_t> bytes) {
  auto* block = static_cast<uint8_t*>(std::malloc(bytes.size()));
  std::memcpy(block, bytes.begin(), bytes.size());
  return block;
}

inline std::u16string Zeros(size_t digits) {
  return std::u16string(digits, u'0');
}

// OPP client: device 00 11 22 33 44 55, photo.jpg, created at 1700000000.
inline void FillOppClient(ClientSession* head) {
  OppClientSession* r = records::AsOpp(head);
  const uint8_t address[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  std::memcpy(head->bdaddr, address, 6);
  SetText(head->file_name, u"photo.jpg");
  head->create_time_stamp = 1700000000;
  r->m_bAcceptObject = 1;
  r->m_bObexEnabled = 1;
  r->handler = 0x12345678;
  SetText(r->objectName, u"photo.jpg");
  SetText(r->internalObjectName, u"C:\\Temp\\photo.jpg");
  SetText(r->pathName, u"C:\\Pictures");
  r->state = 2;
  r->bTempFile = 1;
  head->GoepClient_sessionTimeout = 30;
  for (int i = 0; i < 16; ++i) head->GoepClient_sessionId[i] = static_cast<uint8_t>(i);
  head->GoepClient_sessionState = 3;
  head->GoepClient_timer = 0x100;
  head->ResumeParms_headerLen = 3;
  head->ResumeParms_headerBuff = Block({1, 2, 3});
  head->FO_amount = 4096;
  head->FO_fileLen = 10000;
  head->ObexSession[0] = 0xAB;
}

inline std::u16string OppClientElement() {
  return u"<session profile_type=\"opp\" bdaddr=\"001122334455\" profile_id=\"05110000\" "
         u"file_name=\"photo.jpg\" create_time_stamp=\"00F1536500000000\">"
         u"<m_bAcceptObject>01000000</m_bAcceptObject><m_bObexEnabled>01000000</m_bObexEnabled>"
         u"<handler>78563412</handler><objectName>photo.jpg</objectName>"
         u"<internalObjectName>C:\\Temp\\photo.jpg</internalObjectName>"
         u"<pathName>C:\\Pictures</pathName><state>02</state><bTempFile>01000000</bTempFile>"
         u"<m_szInboxpath></m_szInboxpath><m_szDefaultvCard></m_szDefaultvCard>"
         u"<m_bObStoreInit>00000000</m_bObStoreInit><m_bVCardGetOnly>00000000</m_bVCardGetOnly>"
         u"<GoepClient_sessionTimeout>1E000000</GoepClient_sessionTimeout>"
         u"<GoepClient_sessionId>000102030405060708090A0B0C0D0E0F</GoepClient_sessionId>"
         u"<GoepClient_sessionState>03000000</GoepClient_sessionState>"
         u"<GoepClient_timer>00010000</GoepClient_timer>"
         u"<ResumeParms_headerLen>0300</ResumeParms_headerLen>"
         u"<ResumeParms_headerBuff>010203</ResumeParms_headerBuff>"
         u"<ResumeParms_protoLen>0000</ResumeParms_protoLen>"
         u"<ResumeParms_protoBuff>00</ResumeParms_protoBuff><FO_amount>00100000</FO_amount>"
         u"<FO_fileLen>10270000</FO_fileLen><FO_timeStamp>00000000</FO_timeStamp><ObexSession>AB" +
         Zeros(214) + u"</ObexSession></session>";
}

inline ReqEntry* Request(uint8_t type, const std::u16string& text) {
  auto* node = static_cast<ReqEntry*>(std::calloc(1, sizeof(ReqEntry)));
  node->reqType = type;
  SetText(node->szText, text);
  return node;
}

// FTP client: device 01 02 03 04 05 A0, report.txt, two requests.
inline void FillFtpClient(ClientSession* head) {
  FtpClientSession* r = records::AsFtp(head);
  const uint8_t address[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xA0};
  std::memcpy(head->bdaddr, address, 6);
  SetText(head->file_name, u"report.txt");
  head->create_time_stamp = 1700000500;
  r->m_ucCurrentTxType = 1;
  r->m_ucCurrentTxGroupType = 2;
  r->m_ucState = 3;
  r->m_hDevice = 0x00ABCDEF;
  r->m_connId = 7;
  r->m_dwDelay = 1000;
  r->m_dwReserved = 0xFFFFFFFF;
  r->m_numNestedFolders = 2;
  SetText(r->m_bstrCurrentTxName, u"report.txt");
  SetText(r->m_bstrClientDirectory, u"C:\\Docs");
  SetText(r->m_bstrServerDirectory, u"\\shared");
  SetText(r->m_bstrBtFxWinTmpDir, u"C:\\Tmp");
  for (int i = 0; i < 16; ++i) r->m_uuidWho[i] = static_cast<uint8_t>(0xF0 + i);
  records::ResetRequestList(r);
  records::AppendRequest(r, Request(1, u"a.txt"));
  records::AppendRequest(r, Request(4, u"sub"));
  head->ResumeParms_protoLen = 2;
  head->ResumeParms_protoBuff = Block({0xAA, 0xBB});
}

inline std::u16string FtpClientElement() {
  return u"<session profile_type=\"ftp\" bdaddr=\"0102030405A0\" profile_id=\"06110000\" "
         u"file_name=\"report.txt\" create_time_stamp=\"F4F2536500000000\">"
         u"<m_ucCurrentTxType>01</m_ucCurrentTxType>"
         u"<m_ucCurrentTxGroupType>02</m_ucCurrentTxGroupType><m_ucState>03</m_ucState>"
         u"<m_ucSetPathFlag>00</m_ucSetPathFlag><m_hDevice>EFCDAB00</m_hDevice>"
         u"<m_connId>07000000</m_connId><m_dwDelay>E8030000</m_dwDelay>"
         u"<m_dwReserved>FFFFFFFF</m_dwReserved><m_numNestedFolders>02000000</m_numNestedFolders>"
         u"<m_bstrCurrentTxName>report.txt</m_bstrCurrentTxName>"
         u"<m_bstrClientDirectory>C:\\Docs</m_bstrClientDirectory>"
         u"<m_bstrServerDirectory>\\shared</m_bstrServerDirectory><m_bstrTempLocalDir>"
         u"</m_bstrTempLocalDir><m_bstrBtFxWinTmpDir>C:\\Tmp</m_bstrBtFxWinTmpDir>"
         u"<m_uuidWho>F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF</m_uuidWho><m_reqList num=\"02000000\">"
         u"<req reqType=\"01\">a.txt</req><req reqType=\"04\">sub</req></m_reqList>"
         u"<GoepClient_sessionTimeout>00000000</GoepClient_sessionTimeout>"
         u"<GoepClient_sessionId>00000000000000000000000000000000</GoepClient_sessionId>"
         u"<GoepClient_sessionState>00000000</GoepClient_sessionState>"
         u"<GoepClient_timer>00000000</GoepClient_timer>"
         u"<ResumeParms_headerLen>0000</ResumeParms_headerLen>"
         u"<ResumeParms_headerBuff>00</ResumeParms_headerBuff>"
         u"<ResumeParms_protoLen>0200</ResumeParms_protoLen>"
         u"<ResumeParms_protoBuff>AABB</ResumeParms_protoBuff><FO_amount>00000000</FO_amount>"
         u"<FO_fileLen>00000000</FO_fileLen><FO_timeStamp>00000000</FO_timeStamp><ObexSession>" +
         Zeros(216) + u"</ObexSession></session>";
}

// OPP server: session id 00 01 .. 0F, receiving photo.jpg into C:\Inbox.
inline void FillOppServer(ServerSession* head) {
  OppServerSession* r = records::AsOpp(head);
  for (int i = 0; i < 16; ++i) head->GoepServer_sessionId[i] = static_cast<uint8_t>(i);
  head->create_time_stamp = 1700000000;
  r->m_bAcceptObject = 1;
  SetText(r->internalObjectName, u"photo.jpg");
  r->connState = 1;
  r->operation = 2;
  SetText(r->m_szInboxpath, u"C:\\Inbox");
  SetText(r->m_szDefaultvCard, u"me.vcf");
  r->m_bServerInit = 1;
  r->m_bObStoreInit = 1;
  head->GoepServer_sessionTimeout = 60;
  head->GoepServer_timer = 5;
  head->ResumeParms_headerLen = 3;
  head->ResumeParms_headerBuff = Block({1, 2, 3});
  head->FO_amount = 1;
  head->FO_fileLen = 2;
}

inline std::u16string OppServerElement() {
  return u"<session profile_type=\"opp\" session_id=\"000102030405060708090A0B0C0D0E0F\" "
         u"profile_id=\"05110000\" create_time_stamp=\"00F1536500000000\">"
         u"<m_bAcceptObject>01000000</m_bAcceptObject><m_bObexEnabled>00000000</m_bObexEnabled>"
         u"<internalObjectName>photo.jpg</internalObjectName><connState>01</connState>"
         u"<operation>02</operation><newPath>00000000</newPath>"
         u"<m_szInboxpath>C:\\Inbox</m_szInboxpath><m_szDefaultvCard>me.vcf</m_szDefaultvCard>"
         u"<m_bServerInit>01000000</m_bServerInit><m_bObStoreInit>01000000</m_bObStoreInit>"
         u"<m_bVCardGetOnly>00000000</m_bVCardGetOnly>"
         u"<GoepServer_sessionTimeout>3C000000</GoepServer_sessionTimeout>"
         u"<GoepServer_sessionId>000102030405060708090A0B0C0D0E0F</GoepServer_sessionId>"
         u"<GoepServer_sessionState>00000000</GoepServer_sessionState>"
         u"<GoepServer_timer>05000000</GoepServer_timer>"
         u"<ResumeParms_headerLen>0300</ResumeParms_headerLen>"
         u"<ResumeParms_headerBuff>010203</ResumeParms_headerBuff>"
         u"<ResumeParms_protoLen>0000</ResumeParms_protoLen>"
         u"<ResumeParms_protoBuff>00</ResumeParms_protoBuff><FO_amount>01000000</FO_amount>"
         u"<FO_fileLen>02000000</FO_fileLen><FO_timeStamp>00000000</FO_timeStamp><ObexSession>" +
         Zeros(216) + u"</ObexSession></session>";
}

// FTP server: session id 10 11 .. 1F, sending data.bin from C:\Share\sub.
inline void FillFtpServer(ServerSession* head) {
  FtpServerSession* r = records::AsFtp(head);
  for (int i = 0; i < 16; ++i) head->GoepServer_sessionId[i] = static_cast<uint8_t>(0x10 + i);
  head->create_time_stamp = 1700000000;
  SetText(r->m_bstrCurrentTxName, u"data.bin");
  r->m_ucCurrentTxType = 2;
  r->m_ucState = 1;
  r->m_ucBrowseDepth = 3;
  r->m_lCurrentShareProps = -1;
  SetText(r->m_bstrCurrentDirectory, u"C:\\Share\\sub");
  SetText(r->m_bstrCurrentRoot, u"C:\\Share");
  SetText(r->m_bstrBtFxTempDirectory, u"C:\\Tmp");
  r->m_bAcceptObject = 1;
  SetText(r->m_bstrCurrentNameHeader, u"data.bin");
  r->m_lTimeout = 30000;
  r->m_dwCurrentAccessProps = 7;
  r->m_dwCurrentSecurityAllowed = 0x10;
  head->GoepServer_sessionState = 2;
  head->ResumeParms_protoLen = 1;
  head->ResumeParms_protoBuff = Block({0x7F});
  head->FO_fileLen = 1024;
  head->ObexSession[0] = 0x11;
}

inline std::u16string FtpServerElement() {
  return u"<session profile_type=\"ftp\" session_id=\"101112131415161718191A1B1C1D1E1F\" "
         u"profile_id=\"06110000\" create_time_stamp=\"00F1536500000000\">"
         u"<m_bstrCurrentTxName>data.bin</m_bstrCurrentTxName>"
         u"<m_ucCurrentTxType>02</m_ucCurrentTxType><m_ucState>01</m_ucState>"
         u"<m_ucBrowseDepth>03</m_ucBrowseDepth>"
         u"<m_lCurrentShareProps>FFFFFFFF</m_lCurrentShareProps>"
         u"<m_bstrCurrentDirectory>C:\\Share\\sub</m_bstrCurrentDirectory>"
         u"<m_bstrCurrentRoot>C:\\Share</m_bstrCurrentRoot>"
         u"<m_bstrBtFxTempDirectory>C:\\Tmp</m_bstrBtFxTempDirectory>"
         u"<m_bAcceptObject>01000000</m_bAcceptObject><m_bPathAppended>00000000</m_bPathAppended>"
         u"<m_bstrCurrentNameHeader>data.bin</m_bstrCurrentNameHeader>"
         u"<m_lTimeout>30750000</m_lTimeout>"
         u"<m_dwCurrentAccessProps>07000000</m_dwCurrentAccessProps>"
         u"<m_dwCurrentSecurityAllowed>10000000</m_dwCurrentSecurityAllowed>"
         u"<m_dwCurrentSecurityDenied>00000000</m_dwCurrentSecurityDenied>"
         u"<GoepServer_sessionTimeout>00000000</GoepServer_sessionTimeout>"
         u"<GoepServer_sessionId>101112131415161718191A1B1C1D1E1F</GoepServer_sessionId>"
         u"<GoepServer_sessionState>02000000</GoepServer_sessionState>"
         u"<GoepServer_timer>00000000</GoepServer_timer>"
         u"<ResumeParms_headerLen>0000</ResumeParms_headerLen>"
         u"<ResumeParms_headerBuff>00</ResumeParms_headerBuff>"
         u"<ResumeParms_protoLen>0100</ResumeParms_protoLen>"
         u"<ResumeParms_protoBuff>7F</ResumeParms_protoBuff><FO_amount>00000000</FO_amount>"
         u"<FO_fileLen>00040000</FO_fileLen><FO_timeStamp>00000000</FO_timeStamp><ObexSession>11" +
         Zeros(214) + u"</ObexSession></session>";
}

// A whole session file: byte-order mark, prolog line, and the root element
// around the session elements.
inline std::string FileBytes(const std::u16string& root, const std::u16string& sessions) {
  return "\xFF\xFE" +
         Utf16Le(u"<?xml version=\"1.0\"?>\n<" + root + u">" + sessions + u"</" + root + u">");
}

}  // namespace obexses::testing
