// What the support commands share: the context they run in (arguments, the
// platform, the present moment), the folder and files they work on, and how
// a session and a file are shown, as a row of a text table and as JSON.
// Output goes to standard output, errors to standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"
#include "tools/obexsesctl/cli.h"
#include "tools/obexsesctl/json.h"
#include "tools/obexsesctl/session_files.h"

namespace obexsesctl {

struct Context {
  const Invocation& invocation;
  obexses::platform::Env* env;
  int64_t now;  // seconds since 1970: OBEXSESCTL_NOW, else the clock

  bool json() const { return invocation.format == Format::kJson; }
  // Sessions created at or before this moment are obsolete at the next
  // start-up (now minus ObexSesObsoleteTime).
  int64_t Threshold() const;
  // Seconds since created; negative for a time in the future, and held at
  // the ends of the range for times a file may hold but no clock reaches.
  int64_t AgeOf(int64_t created) const;
};

// "obexsesctl: message" on standard error.
void PrintError(const std::string& message);
void PrintJson(const Json& value);

// The application-data folder: --data (which must exist), else the current
// user's. False, with the error printed, when there is none.
bool FindAppData(const Context& context, std::u16string* folder);
// Both session files of the folder, the client file first, their sessions
// numbered across both and judged by the next start-up.
std::vector<SessionFile> ReadBothFiles(const Context& context, const std::u16string& app_data);

std::string ProfileName(uint32_t profile);  // "OPP", "FTP", or the id in hex

// A session in one row: the header, and the cells of a session (the caller
// adds the last column, which says what becomes of it).
std::vector<std::string> SessionHeader(const char* last_column);
std::vector<std::string> SessionCells(const Context& context, const Session& session);
// "kept", or "dropped: <reason>".
std::string StartUpText(Fate fate);
// The same as a JSON object, with "fate" (FateText) last.
Json SessionJson(const Context& context, const Session& session);
// "side", "path" and "state" of a file.
Json FileJson(const SessionFile& file);

}  // namespace obexsesctl
