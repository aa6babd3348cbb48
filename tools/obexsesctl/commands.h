// SPDX-License-Identifier: MIT
// obexsesctl: the support tool of the obexses session store. Each command
// reads the library's session files with the library's own reader, records
// and rules, offline, prints what it finds on standard output (text, or JSON
// with --output json) and its errors on standard error, and returns its exit
// status (output.h). Only salvage and prune write, each file whole and
// durably as the library replaces one; demo works in a sandbox of its own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace obexsesctl {

// What the command line asked for (main.cpp).
struct Options {
  std::string command;
  std::string data;        // --data: the application-data folder (demo: its sandbox)
  bool json = false;       // --output json
  std::string operand;     // show KEY|INDEX, verify [FILE], salvage FILE
  std::string out;         // salvage -o
  std::string side;        // verify, salvage --side: "client", "server" or empty
  int64_t older_than = 0;  // prune --older-than, in seconds
  bool dry_run = false;
  std::string library;  // demo --lib
  bool trace = false;   // demo --trace
  std::string report;   // the demo's second process: where its JSON goes
};

struct Context {
  const Options& options;
  obexses::platform::Env* env;
  int64_t now;  // seconds since 1970: OBEXSESCTL_NOW, else the clock

  // The next start-up drops sessions created at or before this moment:
  // now less ObexSesObsoleteTime, read as the library reads it.
  int64_t Threshold() const;
  // Seconds since created; held at the ends of the range for times a file
  // may hold but no clock reaches.
  int64_t AgeOf(int64_t created) const;
  // The folder --data names (which must be one), else the current user's;
  // false, with the error told, when there is none.
  bool AppData(std::u16string* folder) const;
};

int RunList(const Context& context);
int RunShow(const Context& context);
int RunVerify(const Context& context);
int RunSalvage(const Context& context);
int RunPrune(const Context& context);
int RunSettings(const Context& context);
int RunDemo(const Options& options);
int RunDemoRestart(const Options& options);  // the demo's second process

}  // namespace obexsesctl
