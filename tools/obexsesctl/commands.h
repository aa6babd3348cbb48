// obexsesctl: the support tool of the obexses session store. Each command
// reads the library's session files with the library's own reader and record
// code, offline, prints what it finds on standard output (text, or JSON with
// --output json) and its errors on standard error, and returns its exit
// status (cli.h). Only salvage and prune write, each file atomically under
// the lock the library's own stores take; demo works in a sandbox of its own.
#pragma once

#include "tools/obexsesctl/report.h"

namespace obexsesctl {

int RunList(const Context& context);
int RunShow(const Context& context);
int RunVerify(const Context& context);
int RunSalvage(const Context& context);
int RunPrune(const Context& context);
int RunSettings(const Context& context);

}  // namespace obexsesctl
