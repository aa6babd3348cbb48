// SPDX-License-Identifier: MIT
#include "persist/record_fields.h"

#include <string_view>

#include "obexses/client_session.h"
#include "obexses/server_session.h"

namespace obexses::persist {
namespace {

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

constexpr Field kClientAttributes[] = {
    OBEXSES_HEX(ClientSession, bdaddr, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ClientSession, profile_id, OBEXSES_ATTRIBUTE),
    OBEXSES_TEXT(ClientSession, file_name, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ClientSession, create_time_stamp, OBEXSES_ATTRIBUTE),
};

constexpr Field kClientOppPart[] = {
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

constexpr Field kClientFtpPart[] = {
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

constexpr Field kClientTail[] = {
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

constexpr Field kServerAttributes[] = {
    OBEXSES_HEX(ServerSession, session_id, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ServerSession, profile_id, OBEXSES_ATTRIBUTE),
    OBEXSES_HEX(ServerSession, create_time_stamp, OBEXSES_ATTRIBUTE),
};

constexpr Field kServerOppPart[] = {
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

constexpr Field kServerFtpPart[] = {
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
constexpr Field kServerTail[] = {
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

constexpr Layout kClientLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", sizeof(OppClientSession), kClientAttributes, kClientOppPart,
     kClientTail},
    {OBEXSES_PROFILE_FTP, u"ftp", sizeof(FtpClientSession), kClientAttributes, kClientFtpPart,
     kClientTail},
};

constexpr Layout kServerLayouts[] = {
    {OBEXSES_PROFILE_OPP, u"opp", sizeof(OppServerSession), kServerAttributes, kServerOppPart,
     kServerTail},
    {OBEXSES_PROFILE_FTP, u"ftp", sizeof(FtpServerSession), kServerAttributes, kServerFtpPart,
     kServerTail},
};

}  // namespace

std::span<const Layout> ClientLayouts() {
  return kClientLayouts;
}

std::span<const Layout> ServerLayouts() {
  return kServerLayouts;
}

const Layout* LayoutFor(std::span<const Layout> layouts, uint32_t profile) {
  for (const Layout& layout : layouts) {
    if (layout.profile == profile) return &layout;
  }
  return nullptr;
}

const Layout* LayoutNamed(std::span<const Layout> layouts, std::u16string_view profile_type) {
  for (const Layout& layout : layouts) {
    if (profile_type == layout.profile_type) return &layout;
  }
  return nullptr;
}

}  // namespace obexses::persist
