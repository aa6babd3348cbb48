#include "tools/obexsesctl/narrator.h"

#include <cstdarg>
#include <cstdio>

namespace obexsesctl {

void Narrator::Step(const std::string& title) {
  if (!json_) {
    std::printf("\n== %s\n", title.c_str());
    return;
  }
  steps_.emplace_back(title, std::vector<std::string>());
}

void Narrator::Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  std::string line(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(line.data(), line.size() + 1, format, again);
  va_end(again);
  va_end(args);
  if (!json_) {
    std::printf("   %s\n", line.c_str());
  } else {
    if (steps_.empty()) steps_.emplace_back("", std::vector<std::string>());
    steps_.back().second.push_back(std::move(line));
  }
}

void Narrator::Show(const std::string& block) {
  if (!json_) {
    std::printf("%s%s", block.c_str(), block.empty() || block.back() == '\n' ? "" : "\n");
    return;
  }
  if (steps_.empty()) steps_.emplace_back("", std::vector<std::string>());
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find('\n', start);
    if (end == std::string::npos) end = block.size();
    steps_.back().second.push_back(block.substr(start, end - start));
    start = end + 1;
  }
}

Json Narrator::Steps() const {
  Json steps = Json::Array();
  for (const auto& [title, lines] : steps_) {
    Json said = Json::Array();
    for (const std::string& line : lines) said.Add(line);
    Json step = Json::Object();
    step.Set("step", title).Set("lines", std::move(said));
    steps.Add(std::move(step));
  }
  return steps;
}

}  // namespace obexsesctl
