#include "tools/obexsesctl/json.h"

#include <cstdio>

namespace obexsesctl {
namespace {

void Indent(std::string& out, int depth) {
  out.append(2 * static_cast<size_t>(depth), ' ');
}

// Quotes and backslashes escaped, control characters as \u00XX; the rest
// (UTF-8 included) as it stands.
void PrintString(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

Json Json::Raw(std::string printed) {
  while (!printed.empty() && (printed.back() == '\n' || printed.back() == '\r')) printed.pop_back();
  if (printed.empty()) return Json();
  return Json(Printed{std::move(printed)});
}

Json& Json::Add(Json item) {
  std::get<Items>(value_).push_back(std::move(item));
  return *this;
}

Json& Json::Set(const std::string& key, Json value) {
  auto& members = std::get<Members>(value_);
  for (auto& member : members) {
    if (member.first == key) {
      member.second = std::move(value);
      return *this;
    }
  }
  members.emplace_back(key, std::move(value));
  return *this;
}

std::string Json::Print() const {
  std::string out;
  PrintTo(out, 0);
  out += '\n';
  return out;
}

void Json::PrintTo(std::string& out, int depth) const {
  if (const auto* flag = std::get_if<bool>(&value_)) {
    out += *flag ? "true" : "false";
  } else if (const auto* number = std::get_if<int64_t>(&value_)) {
    out += std::to_string(*number);
  } else if (const auto* text = std::get_if<std::string>(&value_)) {
    PrintString(out, *text);
  } else if (const auto* printed = std::get_if<Printed>(&value_)) {
    for (const char c : printed->text) {
      out += c;
      if (c == '\n') Indent(out, depth);  // its lines at this depth
    }
  } else if (const auto* items = std::get_if<Items>(&value_)) {
    if (items->empty()) {
      out += "[]";
      return;
    }
    out += "[\n";
    for (size_t i = 0; i < items->size(); ++i) {
      Indent(out, depth + 1);
      (*items)[i].PrintTo(out, depth + 1);
      out += i + 1 < items->size() ? ",\n" : "\n";
    }
    Indent(out, depth);
    out += ']';
  } else if (const auto* members = std::get_if<Members>(&value_)) {
    if (members->empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    for (size_t i = 0; i < members->size(); ++i) {
      Indent(out, depth + 1);
      PrintString(out, (*members)[i].first);
      out += ": ";
      (*members)[i].second.PrintTo(out, depth + 1);
      out += i + 1 < members->size() ? ",\n" : "\n";
    }
    Indent(out, depth);
    out += '}';
  } else {
    out += "null";
  }
}

}  // namespace obexsesctl
