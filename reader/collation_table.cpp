#include "reader/collation_table.h"

#include <cctype>
#include <fstream>

#include "platform/file_system.h"

namespace tarnwick {
namespace {

// Decimal as a C string-to-integer conversion reads it: leading blanks, an
// optional sign, then digits up to the first non-digit. Saturates instead of
// overflowing.
int64_t ReadDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (INT64_MAX - 9) / 10) break;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

CollationTable ParseCollationTable(std::istream& in) {
  CollationTable table;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos) continue;
    size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    // The id is a 32-bit value in the source format, widened with its sign.
    int64_t id = static_cast<int32_t>(ReadDecimal(line.substr(tab1 + 1, tab2 - tab1 - 1)));
    int32_t code_page = static_cast<int32_t>(ReadDecimal(line.substr(tab2 + 1)));
    table[id] = CollationEntry{line.substr(0, tab1), code_page};
  }
  return table;
}

CollationTable LoadCollationTableFrom(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return ParseCollationTable(in);
}

CollationTable LoadCollationTable() {
  {
    std::ifstream in(kCollationFileName, std::ios::binary);
    if (in) return ParseCollationTable(in);
  }
  std::string folder = ExecutableFolder();
  if (folder.empty()) return {};
  return LoadCollationTableFrom(JoinPath(folder, kCollationFileName));
}

}  // namespace tarnwick
