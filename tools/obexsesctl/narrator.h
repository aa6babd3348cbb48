// The demo's account of what it does, step by step: printed as it goes
// (text), or gathered and handed out as JSON at the end. Nothing fails but
// memory.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/obexsesctl/json.h"

namespace obexsesctl {

class Narrator {
 public:
  explicit Narrator(bool json) : json_(json) {}

  // Begins a step: "== title" in text.
  void Step(const std::string& title);
  // One line of the step, printf-style: indented in text.
  void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Lines shown as they stand (a file's contents).
  void Show(const std::string& block);

  bool json() const { return json_; }
  // [{"step": title, "lines": [...]}, ...]
  Json Steps() const;

 private:
  bool json_;
  std::vector<std::pair<std::string, std::vector<std::string>>> steps_;
};

}  // namespace obexsesctl
