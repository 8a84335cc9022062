#include "tests/support/json.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/text_codec.h"

namespace tarnwick::testing {
namespace {

const Json& NullJson() {
  static const Json null;
  return null;
}

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  bool Document(Json& out) {
    if (!Value(out)) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  bool Literal(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (s_.compare(i_, n, word) != 0) return false;
    i_ += n;
    return true;
  }
  bool Value(Json& out) {
    Space();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') return Object(out);
    if (c == '[') return Array(out);
    if (c == '"') {
      out.kind = Json::Kind::kString;
      return String(out.text);
    }
    if (Literal("true")) {
      out.kind = Json::Kind::kBool;
      out.boolean = true;
      return true;
    }
    if (Literal("false")) {
      out.kind = Json::Kind::kBool;
      return true;
    }
    if (Literal("null")) return true;
    return Number(out);
  }
  bool Number(Json& out) {
    size_t start = i_;
    while (i_ < s_.size() && std::string("+-0123456789.eE").find(s_[i_]) != std::string::npos) ++i_;
    if (i_ == start) return false;
    out.kind = Json::Kind::kNumber;
    out.text = s_.substr(start, i_ - start);
    out.number = std::strtod(out.text.c_str(), nullptr);
    return true;
  }
  bool Hex4(uint32_t& v) {
    if (i_ + 4 > s_.size()) return false;
    v = static_cast<uint32_t>(std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16));
    i_ += 4;
    return true;
  }
  bool String(std::string& out) {
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          uint32_t v;
          if (!Hex4(v)) return false;
          if (v >= 0xD800 && v <= 0xDBFF && s_.compare(i_, 2, "\\u") == 0) {
            i_ += 2;
            uint32_t low;
            if (!Hex4(low)) return false;
            v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, v);
          break;
        }
        default: out.push_back(e);
      }
    }
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }
  bool Array(Json& out) {
    out.kind = Json::Kind::kArray;
    ++i_;
    Space();
    if (i_ < s_.size() && s_[i_] == ']') {
      ++i_;
      return true;
    }
    while (true) {
      Json item;
      if (!Value(item)) return false;
      out.items.push_back(std::move(item));
      Space();
      if (i_ >= s_.size()) return false;
      if (s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (s_[i_] == ']') {
        ++i_;
        return true;
      }
      return false;
    }
  }
  bool Object(Json& out) {
    out.kind = Json::Kind::kObject;
    ++i_;
    Space();
    if (i_ < s_.size() && s_[i_] == '}') {
      ++i_;
      return true;
    }
    while (true) {
      Space();
      if (i_ >= s_.size() || s_[i_] != '"') return false;
      std::string key;
      if (!String(key)) return false;
      Space();
      if (i_ >= s_.size() || s_[i_] != ':') return false;
      ++i_;
      Json value;
      if (!Value(value)) return false;
      out.members.emplace_back(std::move(key), std::move(value));
      Space();
      if (i_ >= s_.size()) return false;
      if (s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (s_[i_] == '}') {
        ++i_;
        return true;
      }
      return false;
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  for (const auto& [k, v] : members)
    if (k == key) return v;
  return NullJson();
}

const Json& Json::operator[](size_t index) const {
  return index < items.size() ? items[index] : NullJson();
}

bool Json::Has(const std::string& key) const {
  for (const auto& [k, v] : members)
    if (k == key) return true;
  return false;
}

std::optional<Json> ParseJson(const std::string& text) {
  Json out;
  Parser p(text);
  if (!p.Document(out)) return std::nullopt;
  return out;
}

std::optional<Json> ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream ss;
  ss << in.rdbuf();
  return ParseJson(ss.str());
}

}  // namespace tarnwick::testing
