// A small streaming JSON writer for the command line's --json output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  const std::string& text() const { return out_; }

  // A JSON string literal; invalid UTF-8 bytes become U+FFFD.
  static std::string Quote(std::string_view value);

 private:
  void BeforeValue();
  std::string out_;
  // One entry per open container: true once it holds an element.
  std::vector<bool> has_element_;
  bool after_key_ = false;
};

}  // namespace tarnwick::cli
