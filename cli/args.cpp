#include "cli/args.h"

namespace tarnwick::cli {

std::optional<Args> Args::Parse(const std::vector<std::string>& words,
                                const std::set<std::string>& flags, std::string* error) {
  Args args;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("--", 0) != 0 || word.size() == 2) {
      if (error) *error = "unexpected argument '" + word + "'";
      return std::nullopt;
    }
    std::string name = word.substr(2);
    if (flags.count(name)) {
      args.flags_.insert(name);
      continue;
    }
    if (i + 1 >= words.size()) {
      if (error) *error = "option '" + word + "' needs a value";
      return std::nullopt;
    }
    args.values_[name] = words[++i];
  }
  return args;
}

std::optional<std::string> Args::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace tarnwick::cli
