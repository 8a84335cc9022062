// A small JSON reader for tests (expected.json files, --json output).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // strings; numbers keep their literal text here too
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;  // in document order

  bool is_null() const { return kind == Kind::kNull; }
  // The member of an object (a null value when absent).
  const Json& operator[](const std::string& key) const;
  const Json& operator[](size_t index) const;
  size_t size() const { return kind == Kind::kArray ? items.size() : members.size(); }
  bool Has(const std::string& key) const;
  long long Int() const { return static_cast<long long>(number); }
};

// Parses a document; nothing when it is not well-formed JSON.
std::optional<Json> ParseJson(const std::string& text);
std::optional<Json> ReadJsonFile(const std::string& path);

}  // namespace tarnwick::testing
