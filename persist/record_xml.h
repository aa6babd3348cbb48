// SPDX-License-Identifier: MIT
// Session records as session elements of the session files.
#pragma once

#include <optional>
#include <string_view>

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "persist/value_codec.h"

namespace obexses::persist {

// Appends the record's session element; nothing for an unknown profile.
// Returns 1. Throws std::bad_alloc when memory runs out (the text is then
// incomplete).
int WriteClientSession(SessionText* stream, const ClientSession* record);
int WriteServerSession(SessionText* stream, const ServerSession* record);
// A hint that the record is written next: the memory a write of it reads is
// asked for ahead. Changes nothing.
void PrefetchClientSession(const ClientSession* record);
void PrefetchServerSession(const ServerSession* record);

// A value as the file holds it (a view into its text), or none.
using Value = std::optional<std::u16string_view>;

// Takes the requests of a request list, in file order.
class RequestReader {
 public:
  virtual void Request(Value type, Value text) = 0;

 protected:
  ~RequestReader() = default;
};

// What a session element holds, as its record is read: names compared
// exactly, the first match wins.
class SessionValues {
 public:
  // The first attribute of that name among the element's leading ones (those
  // before its first child element).
  virtual Value Attribute(std::u16string_view name) const = 0;
  // The text of the first child element of that name: none when there is no
  // such child or when its content held a "<".
  virtual Value ChildText(std::u16string_view name) const = 0;
  // The first child element of that name as a request list: its count
  // attribute (kRequestCount, a leading one), and each of its kRequest
  // children in order, with their kRequestType attribute and text.
  virtual Value RequestCount(std::u16string_view list) const = 0;
  virtual void EachRequest(std::u16string_view list, RequestReader& reader) const = 0;

 protected:
  ~SessionValues() = default;
};

// A new record built from a session element's values, or null when its
// profile_type is missing or not "ftp" or "opp", or disagrees with its
// profile_id. A value that is missing leaves its field zero. The caller owns
// the record, its resume buffers and request nodes. Throws std::bad_alloc when
// memory runs out, leaving nothing allocated.
ClientSession* ReadClientSession(const SessionValues& values);
ServerSession* ReadServerSession(const SessionValues& values);

}  // namespace obexses::persist
