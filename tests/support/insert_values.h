// Reading back the INSERT statements of a saved table script, for the
// tests of the save.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick::testing {

// The INSERT-values reader: the literals of every row of every INSERT
// statement of a script, in order. A literal is read up to the "," or ")"
// that ends it outside quotes and parentheses.
class InsertValuesReader {
 public:
  explicit InsertValuesReader(std::string text) : text_(std::move(text)) {}

  // False when a statement does not parse.
  bool Read(std::vector<std::vector<std::string>>& rows) {
    const std::string head = "\r\n insert into [";
    for (size_t at = text_.find(head); at != std::string::npos; at = text_.find(head, at_)) {
      at_ = at + head.size();
      if (!SkipBracketed() || !Take(" ")) return false;
      if (Peek('(') && (!SkipColumnList() || !Take(" "))) return false;
      if (!Take("values( ")) return false;
      for (;;) {
        std::vector<std::string>& row = rows.emplace_back();
        for (;;) {
          std::optional<std::string> literal = Literal();
          if (!literal) return false;
          row.push_back(*literal);
          if (Take(",")) continue;
          if (Take(")")) break;
          return false;
        }
        if (Take(",\r\n(")) continue;
        if (Take("\r\n")) break;
        return false;
      }
    }
    return true;
  }

 private:
  bool Peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool Take(std::string_view s) {
    if (text_.compare(at_, s.size(), s) != 0) return false;
    at_ += s.size();
    return true;
  }
  // "name]" with "]]" inside, after the "[".
  bool SkipBracketed() {
    while (at_ < text_.size()) {
      if (text_[at_] == ']') {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == ']') {
          at_ += 2;
          continue;
        }
        ++at_;
        return true;
      }
      ++at_;
    }
    return false;
  }
  bool SkipColumnList() {
    ++at_;
    for (;;) {
      if (!Take("[") || !SkipBracketed()) return false;
      if (Take(",")) continue;
      return Take(")");
    }
  }
  std::optional<std::string> Literal() {
    const size_t start = at_;
    int depth = 0;
    bool quoted = false;
    for (; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (quoted) {
        if (c == '\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == '\'')
            ++at_;
          else
            quoted = false;
        }
        continue;
      }
      if (c == '\'')
        quoted = true;
      else if (c == '(')
        ++depth;
      else if (c == ')' && depth > 0)
        --depth;
      else if ((c == ',' || c == ')') && depth == 0)
        return text_.substr(start, at_ - start);
    }
    return std::nullopt;
  }

  std::string text_;
  size_t at_ = 0;
};

// A blob reference literal: the file it loads, below the database folder.
inline std::optional<std::string> BlobFileOf(const std::string& literal) {
  const std::string open = "(Select * from OPENROWSET(BULK N'$(DIR)";
  const std::string close = "',SINGLE_BLOB) as Image)";
  if (literal.rfind(open, 0) != 0 || !literal.ends_with(close)) return std::nullopt;
  return literal.substr(open.size(), literal.size() - open.size() - close.size());
}

}  // namespace tarnwick::testing
