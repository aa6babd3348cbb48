// The JSON that --output json prints: a small value tree (null, boolean,
// integer, string, array, object) and its printing. Object keys keep the
// order in which they were set, so every command's shape prints the same way
// each time. Nothing here reads JSON. Strings are UTF-8; memory exhaustion
// throws std::bad_alloc, nothing else fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace obexsesctl {

class Json {
 public:
  Json() = default;  // null
  Json(bool value) : value_(value) {}
  Json(int value) : value_(int64_t{value}) {}
  Json(int64_t value) : value_(value) {}
  Json(uint32_t value) : value_(int64_t{value}) {}
  Json(size_t value) : value_(static_cast<int64_t>(value)) {}
  Json(std::string value) : value_(std::move(value)) {}
  Json(const char* value) : value_(std::string(value)) {}

  static Json Array() { return Json(Items{}); }
  static Json Object() { return Json(Members{}); }
  // JSON printed elsewhere, taken as it stands (its final line break
  // dropped); null when empty.
  static Json Raw(std::string printed);

  // Appends to an array; returns the array.
  Json& Add(Json item);
  // Sets a member of an object (a new key goes last); returns the object.
  Json& Set(const std::string& key, Json value);

  // Two-space indentation, one member or item a line, a final line break.
  std::string Print() const;

 private:
  using Items = std::vector<Json>;
  using Members = std::vector<std::pair<std::string, Json>>;
  struct Printed {
    std::string text;
  };
  explicit Json(Items items) : value_(std::move(items)) {}
  explicit Json(Members members) : value_(std::move(members)) {}
  explicit Json(Printed printed) : value_(std::move(printed)) {}
  void PrintTo(std::string& out, int depth) const;

  std::variant<std::monostate, bool, int64_t, std::string, Items, Members, Printed> value_;
};

}  // namespace obexsesctl
