// Session records as session elements of the session files.
#pragma once

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "persist/value_codec.h"
#include "xml/xml_reader.h"

namespace obexses::persist {

// Appends the record's session element; nothing for an unknown profile.
// Returns 1. Throws std::bad_alloc when memory runs out (the text is then
// incomplete).
int WriteClientSession(SessionText* stream, const ClientSession* record);
// A new record built from a parsed session element, or null when its
// profile_type is missing or not "ftp" or "opp", or disagrees with its
// profile_id. A value that is missing leaves its field zero. The caller owns
// the record, its resume buffers and request nodes. Throws std::bad_alloc when
// memory runs out, leaving nothing allocated.
ClientSession* ReadClientSession(const xml::CXMLElement* element);

int WriteServerSession(SessionText* stream, const ServerSession* record);
// As ReadClientSession, for a server session element.
ServerSession* ReadServerSession(const xml::CXMLElement* element);

}  // namespace obexses::persist
