// Session records as session elements of the session files.
#pragma once

#include "persist/value_codec.h"
#include "records/client_session.h"
#include "records/server_session.h"
#include "xml/xml_reader.h"

namespace obexses::persist {

// Appends the record's session element. 0 (nothing written) when the record
// is not live; 1 otherwise, also for an unknown profile, which writes nothing.
int WriteClientSession(SessionText* stream, const ClientSession* record);
// A new record built from a parsed session element, or null when its
// profile_type is not "ftp" or "opp" or disagrees with its profile_id. The
// caller owns the record, its resume buffers and request nodes.
ClientSession* ReadClientSession(xml::CXMLElement* element);

// Appends the record's session element; nothing for an unknown profile. Returns 1.
int WriteServerSession(SessionText* stream, const ServerSession* record);
ServerSession* ReadServerSession(xml::CXMLElement* element);

}  // namespace obexses::persist
