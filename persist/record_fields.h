// SPDX-License-Identifier: MIT
// The fields of the four record layouts as the session files hold them: for
// each layout (client and server, OPP and FTP) its attributes, the elements
// of its profile part and of its common tail, in the order the files give
// them, each with its XML name, its place in the record and its value kind.
// The writer and the reader walk these tables; so may any code that shows a
// record field by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses::persist {

// The names the files give the layout's choice and the request list's parts.
inline constexpr char16_t kProfileType[] = u"profile_type";
inline constexpr char16_t kRequestCount[] = u"num";
inline constexpr char16_t kRequest[] = u"req";
inline constexpr char16_t kRequestType[] = u"reqType";

// hex value, text value, buffer value (length and block), and the FTP client's
// request list
enum class Kind { kHex, kText, kBuffer, kRequests };

struct Field {
  const char16_t* name;
  size_t offset;
  Kind kind;
  size_t width;                          // bytes of a hex value, units of a text value
  const char16_t* block_name = nullptr;  // buffer value: the element of the block
  size_t block_offset = 0;               // buffer value: the block's pointer
  // What stands before and after the value in the file, made once: "<name>"
  // and "</name>" for an element, " name=\"" and "\"" for an attribute; and
  // the tags of a buffer value's block element.
  std::u16string_view before, after;
  std::u16string_view block_before = {}, block_after = {};
};

struct Layout {
  uint32_t profile;
  const char16_t* profile_type;
  size_t record_bytes;  // the size of the record of this profile
  std::span<const Field> attributes;
  std::span<const Field> part;
  std::span<const Field> tail;
};

// The tables are constants the compiler sees, so that the writer of each
// layout is made from them when the module is built.
namespace fields {

// The XML name of every field is its member name; an element's value stands
// between its tags, an attribute's between its name and a closing quote.
#define OBEXSES_ELEMENT(field) u"<" #field ">", u"</" #field ">"
#define OBEXSES_ATTRIBUTE(field) u" " #field "=\"", u"\""
#define OBEXSES_HEX(type, field, tags)                                                          \
  Field {                                                                                       \
    u"" #field, offsetof(type, field), Kind::kHex, sizeof(type::field), nullptr, 0, tags(field) \
  }
#define OBEXSES_TEXT(type, field, tags)                                                         \
  Field {                                                                                       \
    u"" #field, offsetof(type, field), Kind::kText, OBEXSES_NAME_UNITS, nullptr, 0, tags(field) \
  }
#define OBEXSES_BUFFER(type, length, block)                                                   \
  Field {                                                                                     \
    u"" #length, offsetof(type, length), Kind::kBuffer, 2, u"" #block, offsetof(type, block), \
        OBEXSES_ELEMENT(length), OBEXSES_ELEMENT(block)                                       \
  }

inline constexpr Field kClientAttributes[] = {
    OBEXSES_HEX(ClientSession, bdaddr, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ClientSession, profile_id, OBEXSES_ATTRIBUTE),
    OBEXSES_TEXT(ClientSession, file_name, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ClientSession, create_time_stamp, OBEXSES_ATTRIBUTE),
};

inline constexpr Field kClientOppPart[] = {
    OBEXSES_HEX(OppClientSession, m_bAcceptObject, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, m_bObexEnabled, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, handler, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppClientSession, objectName, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppClientSession, internalObjectName, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppClientSession, pathName, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, state, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, bTempFile, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppClientSession, m_szInboxpath, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppClientSession, m_szDefaultvCard, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, m_bObStoreInit, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppClientSession, m_bVCardGetOnly, OBEXSES_ELEMENT),
};

inline constexpr Field kClientFtpPart[] = {
    OBEXSES_HEX(FtpClientSession, m_ucCurrentTxType, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_ucCurrentTxGroupType, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_ucState, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_ucSetPathFlag, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_hDevice, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_connId, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_dwDelay, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_dwReserved, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_numNestedFolders, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpClientSession, m_bstrCurrentTxName, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpClientSession, m_bstrClientDirectory, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpClientSession, m_bstrServerDirectory, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpClientSession, m_bstrTempLocalDir, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpClientSession, m_bstrBtFxWinTmpDir, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpClientSession, m_uuidWho, OBEXSES_ELEMENT),
    Field{u"m_reqList", offsetof(FtpClientSession, m_reqList), Kind::kRequests, 0, nullptr, 0,
          u"<m_reqList num=\"", u"</m_reqList>"},
};

inline constexpr Field kClientTail[] = {
    OBEXSES_HEX(ClientSession, GoepClient_sessionTimeout, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, GoepClient_sessionId, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, GoepClient_sessionState, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, GoepClient_timer, OBEXSES_ELEMENT),
    OBEXSES_BUFFER(ClientSession, ResumeParms_headerLen, ResumeParms_headerBuff),
    OBEXSES_BUFFER(ClientSession, ResumeParms_protoLen, ResumeParms_protoBuff),
    OBEXSES_HEX(ClientSession, FO_amount, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, FO_fileLen, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, FO_timeStamp, OBEXSES_ELEMENT),
    OBEXSES_HEX(ClientSession, ObexSession, OBEXSES_ELEMENT),
};

inline constexpr Field kServerAttributes[] = {
    OBEXSES_HEX(ServerSession, session_id, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ServerSession, profile_id, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ServerSession, create_time_stamp, OBEXSES_ATTRIBUTE),
};

inline constexpr Field kServerOppPart[] = {
    OBEXSES_HEX(OppServerSession, m_bAcceptObject, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, m_bObexEnabled, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppServerSession, internalObjectName, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, connState, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, operation, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, newPath, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppServerSession, m_szInboxpath, OBEXSES_ELEMENT),
    OBEXSES_TEXT(OppServerSession, m_szDefaultvCard, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, m_bServerInit, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, m_bObStoreInit, OBEXSES_ELEMENT),
    OBEXSES_HEX(OppServerSession, m_bVCardGetOnly, OBEXSES_ELEMENT),
};

inline constexpr Field kServerFtpPart[] = {
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentTxName, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_ucCurrentTxType, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_ucState, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_ucBrowseDepth, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_lCurrentShareProps, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentDirectory, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentRoot, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpServerSession, m_bstrBtFxTempDirectory, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_bAcceptObject, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_bPathAppended, OBEXSES_ELEMENT),
    OBEXSES_TEXT(FtpServerSession, m_bstrCurrentNameHeader, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_lTimeout, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentAccessProps, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentSecurityAllowed, OBEXSES_ELEMENT),
    OBEXSES_HEX(FtpServerSession, m_dwCurrentSecurityDenied, OBEXSES_ELEMENT),
};

// The server writes its timer before the resume parameters and the OBEX
// session block last, whatever their place in the record.
inline constexpr Field kServerTail[] = {
    OBEXSES_HEX(ServerSession, GoepServer_sessionTimeout, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, GoepServer_sessionId, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, GoepServer_sessionState, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, GoepServer_timer, OBEXSES_ELEMENT),
    OBEXSES_BUFFER(ServerSession, ResumeParms_headerLen, ResumeParms_headerBuff),
    OBEXSES_BUFFER(ServerSession, ResumeParms_protoLen, ResumeParms_protoBuff),
    OBEXSES_HEX(ServerSession, FO_amount, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, FO_fileLen, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, FO_timeStamp, OBEXSES_ELEMENT),
    OBEXSES_HEX(ServerSession, ObexSession, OBEXSES_ELEMENT),
};

#undef OBEXSES_ELEMENT
#undef OBEXSES_ATTRIBUTE
#undef OBEXSES_HEX
#undef OBEXSES_TEXT
#undef OBEXSES_BUFFER

}  // namespace fields

// The two layouts of each side.
inline constexpr Layout kClientLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", sizeof(OppClientSession), fields::kClientAttributes,
     fields::kClientOppPart, fields::kClientTail},
    {OBEXSES_PROFILE_FTP, u"ftp", sizeof(FtpClientSession), fields::kClientAttributes,
     fields::kClientFtpPart, fields::kClientTail},
};

inline constexpr Layout kServerLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", sizeof(OppServerSession), fields::kServerAttributes,
     fields::kServerOppPart, fields::kServerTail},
    {OBEXSES_PROFILE_FTP, u"ftp", sizeof(FtpServerSession), fields::kServerAttributes,
     fields::kServerFtpPart, fields::kServerTail},
};

inline std::span<const Layout> ClientLayouts() {
  return kClientLayouts;
}
inline std::span<const Layout> ServerLayouts() {
  return kServerLayouts;
}

// The layout of a profile id, or of a profile_type text ("opp", "ftp"); null
// when none has it.
const Layout* LayoutFor(std::span<const Layout> layouts, uint32_t profile);
const Layout* LayoutNamed(std::span<const Layout> layouts, std::u16string_view profile_type);

}  // namespace obexses::persist
