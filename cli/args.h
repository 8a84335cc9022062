// Command-line arguments: a command word followed by "--name value" options
// and "--flag" switches.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarnwick::cli {

class Args {
 public:
  // flags: the option names that take no value. Returns nothing (with the
  // reason in *error) for an unknown shape, such as a value option at the end.
  static std::optional<Args> Parse(const std::vector<std::string>& words,
                                   const std::set<std::string>& flags, std::string* error);

  bool Has(const std::string& name) const {
    return values_.count(name) > 0 || flags_.count(name) > 0;
  }
  std::optional<std::string> Value(const std::string& name) const;

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
};

}  // namespace tarnwick::cli
