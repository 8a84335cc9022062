#include "export/sql_literal.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>

#include "records/value_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kNull = "NULL";
constexpr std::string_view kZeroGuid = "00000000-0000-0000-0000-000000000000";

// Code groups of the literal rules, by type code number.
bool IsNumericForKey(int k) {  // numeric types whose NULL key becomes 0
  return k == 13 || k == 9 || k == 0 || k == 22 || k == 21 || k == 28 || k == 29 || k == 14;
}
bool IsNumericForNull(int k) {  // the same plus numeric and decimal
  return IsNumericForKey(k) || k == 23 || k == 24;
}
bool IsCharacter(int k) { return k == 17 || k == 11 || k == 10 || k == 3 || k == 26 || k == 19; }
bool IsDate(int k) { return k == 4 || k == 5 || k == 7 || k == 27; }
bool IsBare(int k) {  // written as the value text itself
  return IsNumericForNull(k);
}
bool IsQuoted(int k) {
  constexpr int kCodes[] = {2, 3, 4, 5, 6, 7, 8, 10, 11, 15, 17, 19, 26, 27, 34};
  return std::find(std::begin(kCodes), std::end(kCodes), k) != std::end(kCodes);
}

// Value texts are UTF-8; lengths and cuts count characters (code points).
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += IsContinuation(c) ? 0 : 1;
  return count;
}

// Keeps the first `count` characters.
void KeepCharacters(std::string& text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuation(text[i])) continue;
    if (seen == count) {
      text.resize(i);
      return;
    }
    ++seen;
  }
}

std::string EscapeAndTrim(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  for (char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

// prefix + value + suffix, appended in place (GCC 12 warns wrongly about
// chains of operator+ that start with a literal).
std::string Wrap(std::string_view prefix, std::string_view value, std::string_view suffix) {
  std::string out;
  out.reserve(prefix.size() + value.size() + suffix.size());
  out.append(prefix).append(value).append(suffix);
  return out;
}

// Binary columns: a blob-file reference while saving, a placeholder for an
// empty value, else the hexadecimal text as it stands.
std::string BinaryLiteral(const std::string& v, std::string_view convert_type,
                          const SqlLiteralContext& context) {
  if (context.saveRunning && v.find('\\') != std::string::npos) {
    return Wrap("(Select * from OPENROWSET(BULK N'$(DIR)", v, "',SINGLE_BLOB) as Image),");
  }
  if (v.empty()) return Wrap("CONVERT(", convert_type, ",' '),");
  return Wrap("", v, ",");
}

}  // namespace

std::string TodayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::snprintf(text, sizeof text, "%d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string SqlLiteral(const ColumnDescriptor& column, std::string_view value_text,
                       const SqlLiteralContext& context) {
  int k = static_cast<int>(column.typeCode);
  if (k == static_cast<int>(typeCode::kTimestamp)) k = static_cast<int>(typeCode::kVarBinary);
  // The number in the type text is the column's length in bytes, -1 for max.
  const int32_t n = DeclaredLength(column.type_text);

  std::string v = EscapeAndTrim(value_text);

  // Values longer than the column: binary text keeps "0x" and two digits per
  // byte; character text keeps n characters and drops a quote left dangling
  // by the cut.
  if (n >= 0) {
    if (k == 16) {
      const size_t limit = 2 * static_cast<size_t>(n) + 2;
      if (CharacterCount(v) > limit) KeepCharacters(v, limit);
    } else if (k == 11 || k == 17 || k == 20) {
      if (v != kNull && CharacterCount(v) > static_cast<size_t>(n)) {
        KeepCharacters(v, static_cast<size_t>(n));
        while (!v.empty() && v.back() == '\'') v.pop_back();
      }
    }
  }

  // Float digits: without a point at most 8 characters; with one, at most the
  // type's number of digits after it.
  if (k == 22 && !v.empty()) {
    const size_t point = v.find('.');
    if (point == std::string::npos) {
      if (v.size() > 8) v.resize(8);
    } else {
      const size_t digits = n > 0 ? static_cast<size_t>(n) : 0;
      if (v.size() - point - 1 > digits) v.resize(point + 1 + digits);
    }
  }

  const bool is_null = v == kNull;
  if (is_null || v.empty()) {
    if (column.primary_key) {
      // A key column cannot take NULL: give it a value of its type.
      if (IsNumericForKey(k)) {
        v.assign(1, '0');
      } else if (k == 15) {
        v = kZeroGuid;
      } else if (IsDate(k)) {
        v = Wrap("", context.today.empty() ? TodayText() : context.today, " 00:00:00");
      } else {
        v.clear();
      }
    } else if (IsCharacter(k)) {
      return is_null ? "NULL," : "'',";
    } else if (IsNumericForNull(k)) {
      if (is_null) return "NULL,";
      v.assign(1, '0');
    } else if (k == 1) {
      return is_null ? "NULL," : "CONVERT(binary,' '),";
    } else if (k == 16) {
      return is_null ? "NULL," : "CONVERT(varbinary,' '),";
    } else {
      return is_null ? "NULL," : "'',";
    }
  }

  if (k == 25) k = 16;
  if (IsBare(k)) return Wrap("", v, ",");
  if (IsQuoted(k)) return Wrap("'", v, "',");
  if (k == 1) return BinaryLiteral(v, "binary", context);
  if (k == 16) return BinaryLiteral(v, "varbinary", context);
  if (k == 20) return v.empty() ? "CONVERT(varchar,'')," : Wrap("CONVERT(varchar,'", v, "'),");
  return "NULL,";
}

}  // namespace tarnwick
