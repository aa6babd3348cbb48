// SPDX-License-Identifier: MIT
/* Client session records, shared byte for byte with the OPP and FTP client
 * profile modules. A record is one zero-filled block: the common head
 * (ClientSession, 752 bytes) followed by the part of its profile. OPP records
 * are 3392 bytes (OppClientSession), FTP records 3432 bytes (FtpClientSession).
 * Every offset below is part of the interface. */
#ifndef OBEXSES_CLIENT_SESSION_H_
#define OBEXSES_CLIENT_SESSION_H_

#include "obexses/obexses.h"

typedef struct ClientSession {
  uint8_t ObexSession[108];               /*   0 opaque OBEX session block */
  uint32_t GoepClient_sessionTimeout;     /* 108 */
  uint8_t GoepClient_sessionId[16];       /* 112 */
  uint32_t GoepClient_sessionState;       /* 128 */
  uint8_t reserved132[12];                /* 132 profile-owned */
  uint16_t ResumeParms_headerLen;         /* 144 */
  uint8_t pad146[6];                      /* 146 */
  uint8_t* ResumeParms_headerBuff;        /* 152 malloc block */
  uint16_t ResumeParms_protoLen;          /* 160 */
  uint8_t pad162[6];                      /* 162 */
  uint8_t* ResumeParms_protoBuff;         /* 168 malloc block */
  uint32_t GoepClient_timer;              /* 176 */
  uint8_t reserved180[12];                /* 180 profile-owned */
  uint8_t bdaddr[6];                      /* 192 peer device address */
  char16_t file_name[OBEXSES_NAME_UNITS]; /* 198 session name */
  uint8_t pad718[2];                      /* 718 */
  uint32_t profile_id;                    /* 720 0x1105 or 0x1106 */
  uint32_t resumed;                       /* 724 1 after resume, 0 after save */
  uint32_t FO_amount;                     /* 728 */
  uint32_t FO_fileLen;                    /* 732 */
  uint32_t FO_timeStamp;                  /* 736 low 32 bits of the transfer file's write time */
  uint8_t pad740[4];                      /* 740 */
  int64_t create_time_stamp;              /* 744 seconds since 1970-01-01 UTC */
} ClientSession;

typedef struct OppClientSession {
  ClientSession head;                              /*    0 */
  uint32_t m_bAcceptObject;                        /*  752 */
  uint32_t m_bObexEnabled;                         /*  756 */
  uint32_t handler;                                /*  760 */
  char16_t objectName[OBEXSES_NAME_UNITS];         /*  764 */
  char16_t internalObjectName[OBEXSES_NAME_UNITS]; /* 1284 the transfer file */
  char16_t pathName[OBEXSES_NAME_UNITS];           /* 1804 */
  uint8_t reserved2324[12];                        /* 2324 profile-owned */
  uint8_t state;                                   /* 2336 */
  uint8_t pad2337[3];                              /* 2337 */
  uint32_t bTempFile;                              /* 2340 */
  char16_t m_szInboxpath[OBEXSES_NAME_UNITS];      /* 2344 */
  char16_t m_szDefaultvCard[OBEXSES_NAME_UNITS];   /* 2864 */
  uint32_t m_bObStoreInit;                         /* 3384 */
  uint32_t m_bVCardGetOnly;                        /* 3388 */
} OppClientSession;

/* One node of the FTP request list: a circular doubly linked list whose head
 * (an empty list points at itself) lies in the record. */
typedef struct ReqLink {
  struct ReqLink* pNext; /* next node, or the head when last */
  struct ReqLink* pPrev; /* previous node, or the head when first */
} ReqLink;

typedef struct ReqEntry {
  ReqLink link;                        /*   0 */
  char16_t szText[OBEXSES_NAME_UNITS]; /*  16 */
  uint8_t reqType;                     /* 536 */
  uint8_t pad537[7];                   /* 537 */
} ReqEntry;

typedef struct FtpClientSession {
  ClientSession head;                                 /*    0 */
  uint8_t m_ucCurrentTxType;                          /*  752 */
  uint8_t m_ucCurrentTxGroupType;                     /*  753 */
  uint8_t m_ucState;                                  /*  754 */
  uint8_t m_ucSetPathFlag;                            /*  755 */
  uint32_t m_hDevice;                                 /*  756 */
  uint32_t m_connId;                                  /*  760 */
  uint32_t m_dwDelay;                                 /*  764 */
  uint32_t m_dwReserved;                              /*  768 */
  uint8_t reserved772[12];                            /*  772 profile-owned */
  uint32_t m_numNestedFolders;                        /*  784 */
  char16_t m_bstrCurrentTxName[OBEXSES_NAME_UNITS];   /*  788 */
  char16_t m_bstrClientDirectory[OBEXSES_NAME_UNITS]; /* 1308 */
  char16_t m_bstrServerDirectory[OBEXSES_NAME_UNITS]; /* 1828 */
  char16_t m_bstrTempLocalDir[OBEXSES_NAME_UNITS];    /* 2348 */
  char16_t m_bstrBtFxWinTmpDir[OBEXSES_NAME_UNITS];   /* 2868 */
  uint8_t m_uuidWho[16];                              /* 3388 */
  uint8_t pad3404[4];                                 /* 3404 */
  ReqLink m_reqList;                                  /* 3408 list head */
  uint8_t reserved3424[8];                            /* 3424 profile-owned */
} FtpClientSession;

OBEXSES_PIN(ClientSession, GoepClient_sessionTimeout, 108);
OBEXSES_PIN(ClientSession, GoepClient_sessionId, 112);
OBEXSES_PIN(ClientSession, GoepClient_sessionState, 128);
OBEXSES_PIN(ClientSession, ResumeParms_headerLen, 144);
OBEXSES_PIN(ClientSession, ResumeParms_headerBuff, 152);
OBEXSES_PIN(ClientSession, ResumeParms_protoLen, 160);
OBEXSES_PIN(ClientSession, ResumeParms_protoBuff, 168);
OBEXSES_PIN(ClientSession, GoepClient_timer, 176);
OBEXSES_PIN(ClientSession, bdaddr, 192);
OBEXSES_PIN(ClientSession, file_name, 198);
OBEXSES_PIN(ClientSession, profile_id, 720);
OBEXSES_PIN(ClientSession, resumed, 724);
OBEXSES_PIN(ClientSession, FO_amount, 728);
OBEXSES_PIN(ClientSession, FO_fileLen, 732);
OBEXSES_PIN(ClientSession, FO_timeStamp, 736);
OBEXSES_PIN(ClientSession, create_time_stamp, 744);
OBEXSES_STATIC_ASSERT(sizeof(ClientSession) == 752, "client head is 752 bytes");

OBEXSES_PIN(OppClientSession, m_bAcceptObject, 752);
OBEXSES_PIN(OppClientSession, m_bObexEnabled, 756);
OBEXSES_PIN(OppClientSession, handler, 760);
OBEXSES_PIN(OppClientSession, objectName, 764);
OBEXSES_PIN(OppClientSession, internalObjectName, 1284);
OBEXSES_PIN(OppClientSession, pathName, 1804);
OBEXSES_PIN(OppClientSession, state, 2336);
OBEXSES_PIN(OppClientSession, bTempFile, 2340);
OBEXSES_PIN(OppClientSession, m_szInboxpath, 2344);
OBEXSES_PIN(OppClientSession, m_szDefaultvCard, 2864);
OBEXSES_PIN(OppClientSession, m_bObStoreInit, 3384);
OBEXSES_PIN(OppClientSession, m_bVCardGetOnly, 3388);
OBEXSES_STATIC_ASSERT(sizeof(OppClientSession) == 3392, "OPP client record is 3392 bytes");

OBEXSES_PIN(ReqEntry, szText, 16);
OBEXSES_PIN(ReqEntry, reqType, 536);
OBEXSES_STATIC_ASSERT(sizeof(ReqLink) == 16, "list head is two pointers");
OBEXSES_STATIC_ASSERT(sizeof(ReqEntry) == 544, "request node is 544 bytes");

OBEXSES_PIN(FtpClientSession, m_ucCurrentTxType, 752);
OBEXSES_PIN(FtpClientSession, m_ucCurrentTxGroupType, 753);
OBEXSES_PIN(FtpClientSession, m_ucState, 754);
OBEXSES_PIN(FtpClientSession, m_ucSetPathFlag, 755);
OBEXSES_PIN(FtpClientSession, m_hDevice, 756);
OBEXSES_PIN(FtpClientSession, m_connId, 760);
OBEXSES_PIN(FtpClientSession, m_dwDelay, 764);
OBEXSES_PIN(FtpClientSession, m_dwReserved, 768);
OBEXSES_PIN(FtpClientSession, m_numNestedFolders, 784);
OBEXSES_PIN(FtpClientSession, m_bstrCurrentTxName, 788);
OBEXSES_PIN(FtpClientSession, m_bstrClientDirectory, 1308);
OBEXSES_PIN(FtpClientSession, m_bstrServerDirectory, 1828);
OBEXSES_PIN(FtpClientSession, m_bstrTempLocalDir, 2348);
OBEXSES_PIN(FtpClientSession, m_bstrBtFxWinTmpDir, 2868);
OBEXSES_PIN(FtpClientSession, m_uuidWho, 3388);
OBEXSES_PIN(FtpClientSession, m_reqList, 3408);
OBEXSES_PIN(FtpClientSession, reserved3424, 3424);
OBEXSES_STATIC_ASSERT(sizeof(FtpClientSession) == 3432, "FTP client record is 3432 bytes");

#endif /* OBEXSES_CLIENT_SESSION_H_ */
