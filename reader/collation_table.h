// The collation table: collation id -> {name, code page}.
//
// Stored as "collation.txt", one line per collation:
//   name TAB id TAB code-page
// with decimal numbers read the way strtol-style conversion reads them
// (leading blanks skipped, stops at the first non-digit, no digits = 0).
// A line with fewer than two tabs is skipped; a later line with the same id
// replaces the earlier one.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>

namespace tarnwick {

struct CollationEntry {
  std::string name;
  int32_t code_page = 0;
};

using CollationTable = std::map<int64_t, CollationEntry>;

inline constexpr const char* kCollationFileName = "collation.txt";

CollationTable ParseCollationTable(std::istream& in);

// Loads "collation.txt" from the current folder, or, when it is not there,
// from the folder of the running executable. A missing file gives an empty
// table; nothing is reported.
CollationTable LoadCollationTable();

// Loads the table from one named file (empty when it cannot be read).
CollationTable LoadCollationTableFrom(const std::string& path);

}  // namespace tarnwick
