// SPDX-License-Identifier: MIT
/* Server session records, shared byte for byte with the OPP and FTP server
 * profile modules. A record is one zero-filled block: the common head
 * (ServerSession, 240 bytes) followed by the part of its profile. OPP records
 * are 1848 bytes (OppServerSession), FTP records 2912 bytes (FtpServerSession).
 * Every offset below is part of the interface. */
#ifndef OBEXSES_SERVER_SESSION_H_
#define OBEXSES_SERVER_SESSION_H_

#include "obexses/obexses.h"
typedef struct ServerSession {
  uint8_t ObexSession[108];           /*   0 opaque OBEX session block */
  uint32_t GoepServer_sessionTimeout; /* 108 */
  uint8_t GoepServer_sessionId[16];   /* 112 copied into session_id by each save */
  uint32_t GoepServer_sessionState;   /* 128 */
  uint8_t reserved132[12];            /* 132 */
  uint16_t ResumeParms_headerLen;     /* 144 */
  uint8_t pad146[6];                  /* 146 */
  uint8_t* ResumeParms_headerBuff;    /* 152 malloc block */
  uint16_t ResumeParms_protoLen;      /* 160 */
  uint8_t pad162[6];                  /* 162 */
  uint8_t* ResumeParms_protoBuff;     /* 168 malloc block */
  uint32_t GoepServer_timer;          /* 176 */
  uint8_t reserved180[12];            /* 180 */
  uint8_t session_id[16];             /* 192 identity of the saved session */
  uint32_t profile_id;                /* 208 0x1105 or 0x1106 */
  uint32_t resumed;                   /* 212 1 after resume, 0 after save */
  uint32_t FO_amount;                 /* 216 */
  uint32_t FO_fileLen;                /* 220 */
  uint32_t FO_timeStamp;              /* 224 low 32 bits of the transfer file's write time */
  uint8_t pad228[4];                  /* 228 */
  int64_t create_time_stamp;          /* 232 seconds since 1970-01-01 UTC */
} ServerSession;

typedef struct OppServerSession {
  ServerSession head;                              /*    0 */
  uint32_t m_bAcceptObject;                        /*  240 */
  uint32_t m_bObexEnabled;                         /*  244 */
  char16_t internalObjectName[OBEXSES_NAME_UNITS]; /*  248 object being received */
  uint8_t connState;                               /*  768 */
  uint8_t operation;                               /*  769 */
  uint8_t reserved770[14];                         /*  770 */
  uint32_t newPath;                                /*  784 */
  uint8_t pad788[2];                               /*  788 */
  char16_t m_szInboxpath[OBEXSES_NAME_UNITS];      /*  790 receiving folder */
  char16_t m_szDefaultvCard[OBEXSES_NAME_UNITS];   /* 1310 */
  uint8_t pad1830[2];                              /* 1830 */
  uint32_t m_bServerInit;                          /* 1832 */
  uint32_t m_bObStoreInit;                         /* 1836 */
  uint32_t m_bVCardGetOnly;                        /* 1840 */
  uint8_t pad1844[4];                              /* 1844 */
} OppServerSession;

typedef struct FtpServerSession {
  ServerSession head;                                   /*    0 */
  char16_t m_bstrCurrentTxName[OBEXSES_NAME_UNITS];     /*  240 */
  uint8_t reserved760[8];                               /*  760 */
  uint8_t m_ucCurrentTxType;                            /*  768 */
  uint8_t pad769;                                       /*  769 */
  uint8_t m_ucState;                                    /*  770 */
  uint8_t m_ucBrowseDepth;                              /*  771 */
  int32_t m_lCurrentShareProps;                         /*  772 */
  char16_t m_bstrCurrentDirectory[OBEXSES_NAME_UNITS];  /*  776 */
  char16_t m_bstrCurrentRoot[OBEXSES_NAME_UNITS];       /* 1296 */
  char16_t m_bstrBtFxTempDirectory[OBEXSES_NAME_UNITS]; /* 1816 */
  uint32_t m_bAcceptObject;                             /* 2336 */
  uint32_t m_bPathAppended;                             /* 2340 */
  uint8_t reserved2344[32];                             /* 2344 */
  char16_t m_bstrCurrentNameHeader[OBEXSES_NAME_UNITS]; /* 2376 */
  int32_t m_lTimeout;                                   /* 2896 */
  uint32_t m_dwCurrentAccessProps;                      /* 2900 */
  uint32_t m_dwCurrentSecurityAllowed;                  /* 2904 */
  uint32_t m_dwCurrentSecurityDenied;                   /* 2908 */
} FtpServerSession;

OBEXSES_PIN(ServerSession, GoepServer_sessionTimeout, 108);
OBEXSES_PIN(ServerSession, GoepServer_sessionId, 112);
OBEXSES_PIN(ServerSession, GoepServer_sessionState, 128);
OBEXSES_PIN(ServerSession, ResumeParms_headerLen, 144);
OBEXSES_PIN(ServerSession, ResumeParms_headerBuff, 152);
OBEXSES_PIN(ServerSession, ResumeParms_protoLen, 160);
OBEXSES_PIN(ServerSession, ResumeParms_protoBuff, 168);
OBEXSES_PIN(ServerSession, GoepServer_timer, 176);
OBEXSES_PIN(ServerSession, session_id, 192);
OBEXSES_PIN(ServerSession, profile_id, 208);
OBEXSES_PIN(ServerSession, resumed, 212);
OBEXSES_PIN(ServerSession, FO_amount, 216);
OBEXSES_PIN(ServerSession, FO_fileLen, 220);
OBEXSES_PIN(ServerSession, FO_timeStamp, 224);
OBEXSES_PIN(ServerSession, create_time_stamp, 232);
OBEXSES_STATIC_ASSERT(sizeof(ServerSession) == 240, "server head is 240 bytes");

OBEXSES_PIN(OppServerSession, m_bAcceptObject, 240);
OBEXSES_PIN(OppServerSession, m_bObexEnabled, 244);
OBEXSES_PIN(OppServerSession, internalObjectName, 248);
OBEXSES_PIN(OppServerSession, connState, 768);
OBEXSES_PIN(OppServerSession, operation, 769);
OBEXSES_PIN(OppServerSession, newPath, 784);
OBEXSES_PIN(OppServerSession, m_szInboxpath, 790);
OBEXSES_PIN(OppServerSession, m_szDefaultvCard, 1310);
OBEXSES_PIN(OppServerSession, m_bServerInit, 1832);
OBEXSES_PIN(OppServerSession, m_bObStoreInit, 1836);
OBEXSES_PIN(OppServerSession, m_bVCardGetOnly, 1840);
OBEXSES_STATIC_ASSERT(sizeof(OppServerSession) == 1848, "OPP server record is 1848 bytes");

OBEXSES_PIN(FtpServerSession, m_bstrCurrentTxName, 240);
OBEXSES_PIN(FtpServerSession, m_ucCurrentTxType, 768);
OBEXSES_PIN(FtpServerSession, m_ucState, 770);
OBEXSES_PIN(FtpServerSession, m_ucBrowseDepth, 771);
OBEXSES_PIN(FtpServerSession, m_lCurrentShareProps, 772);
OBEXSES_PIN(FtpServerSession, m_bstrCurrentDirectory, 776);
OBEXSES_PIN(FtpServerSession, m_bstrCurrentRoot, 1296);
OBEXSES_PIN(FtpServerSession, m_bstrBtFxTempDirectory, 1816);
OBEXSES_PIN(FtpServerSession, m_bAcceptObject, 2336);
OBEXSES_PIN(FtpServerSession, m_bPathAppended, 2340);
OBEXSES_PIN(FtpServerSession, m_bstrCurrentNameHeader, 2376);
OBEXSES_PIN(FtpServerSession, m_lTimeout, 2896);
OBEXSES_PIN(FtpServerSession, m_dwCurrentAccessProps, 2900);
OBEXSES_PIN(FtpServerSession, m_dwCurrentSecurityAllowed, 2904);
OBEXSES_PIN(FtpServerSession, m_dwCurrentSecurityDenied, 2908);
OBEXSES_STATIC_ASSERT(sizeof(FtpServerSession) == 2912, "FTP server record is 2912 bytes");

#endif /* OBEXSES_SERVER_SESSION_H_ */
