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

// The length in bytes of the first `count` characters.
size_t CharactersPrefix(std::string_view text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuation(text[i])) continue;
    if (seen == count) return i;
    ++seen;
  }
  return text.size();
}

// Without the blanks at both ends.
std::string_view Trimmed(std::string_view value) {
  const size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = value.find_last_not_of(' ');
  return value.substr(first, last - first + 1);
}

// Every "'" doubled.
std::string Escaped(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 8);
  for (size_t at = 0; at < value.size();) {
    const size_t quote = value.find('\'', at);
    if (quote == std::string_view::npos) {
      out.append(value.substr(at));
      break;
    }
    out.append(value.substr(at, quote + 1 - at)).push_back('\'');
    at = quote + 1;
  }
  return out;
}

// Binary columns: a blob-file reference while saving, a placeholder for an
// empty value, else the hexadecimal text as it stands.
void AppendBinaryLiteral(std::string& out, std::string_view v, std::string_view convert_type,
                         const SqlLiteralContext& context) {
  if (context.saveRunning && v.find('\\') != std::string_view::npos) {
    out.append("(Select * from OPENROWSET(BULK N'$(DIR)").append(v).append(
        "',SINGLE_BLOB) as Image),");
  } else if (v.empty()) {
    out.append("CONVERT(").append(convert_type).append(",' '),");
  } else {
    out.append(v).push_back(',');
  }
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

void AppendSqlLiteral(std::string& out, const ColumnDescriptor& column,
                      std::string_view value_text, const SqlLiteralContext& context) {
  int k = static_cast<int>(column.typeCode);
  if (k == static_cast<int>(typeCode::kTimestamp)) k = static_cast<int>(typeCode::kVarBinary);
  // The number in the type text is the column's length in bytes, -1 for max.
  const int32_t n = DeclaredLength(column.type_text);

  // The value trimmed, its quotes doubled (trimming first gives the same
  // text: a quote is not a blank). Only the cuts below change it, and they
  // only shorten it, so it stays a view of the value or of `escaped`.
  std::string_view v = Trimmed(value_text);
  std::string escaped;
  if (v.find('\'') != std::string_view::npos) {
    escaped = Escaped(v);
    v = escaped;
  }

  // Values longer than the column: binary text keeps "0x" and two digits per
  // byte; character text keeps n characters and drops a quote left dangling
  // by the cut.
  if (n >= 0) {
    if (k == 16) {
      const size_t limit = 2 * static_cast<size_t>(n) + 2;
      if (v.size() > limit && CharacterCount(v) > limit) v = v.substr(0, CharactersPrefix(v, limit));
    } else if (k == 11 || k == 17 || k == 20) {
      const size_t limit = static_cast<size_t>(n);
      if (v != kNull && v.size() > limit && CharacterCount(v) > limit) {
        v = v.substr(0, CharactersPrefix(v, limit));
        while (!v.empty() && v.back() == '\'') v.remove_suffix(1);
      }
    }
  }

  // Float digits: without a point at most 8 characters; with one, at most the
  // type's number of digits after it.
  if (k == 22 && !v.empty()) {
    const size_t point = v.find('.');
    if (point == std::string_view::npos) {
      if (v.size() > 8) v = v.substr(0, 8);
    } else {
      const size_t digits = n > 0 ? static_cast<size_t>(n) : 0;
      if (v.size() - point - 1 > digits) v = v.substr(0, point + 1 + digits);
    }
  }

  std::string today;
  const bool is_null = v == kNull;
  if (is_null || v.empty()) {
    if (column.primary_key) {
      // A key column cannot take NULL: give it a value of its type.
      if (IsNumericForKey(k)) {
        v = "0";
      } else if (k == 15) {
        v = kZeroGuid;
      } else if (IsDate(k)) {
        today = context.today.empty() ? TodayText() : context.today;
        today.append(" 00:00:00");
        v = today;
      } else {
        v = {};
      }
    } else if (IsCharacter(k)) {
      out.append(is_null ? "NULL," : "'',");
      return;
    } else if (IsNumericForNull(k)) {
      if (is_null) {
        out.append("NULL,");
        return;
      }
      v = "0";
    } else if (k == 1) {
      out.append(is_null ? "NULL," : "CONVERT(binary,' '),");
      return;
    } else if (k == 16) {
      out.append(is_null ? "NULL," : "CONVERT(varbinary,' '),");
      return;
    } else {
      out.append(is_null ? "NULL," : "'',");
      return;
    }
  }

  if (k == 25) k = 16;
  if (IsBare(k)) {
    out.append(v).push_back(',');
  } else if (IsQuoted(k)) {
    out.push_back('\'');
    out.append(v).append("',");
  } else if (k == 1) {
    AppendBinaryLiteral(out, v, "binary", context);
  } else if (k == 16) {
    AppendBinaryLiteral(out, v, "varbinary", context);
  } else if (k == 20) {
    if (v.empty())
      out.append("CONVERT(varchar,''),");
    else
      out.append("CONVERT(varchar,'").append(v).append("'),");
  } else {
    out.append("NULL,");
  }
}

std::string SqlLiteral(const ColumnDescriptor& column, std::string_view value_text,
                       const SqlLiteralContext& context) {
  std::string out;
  AppendSqlLiteral(out, column, value_text, context);
  return out;
}

}  // namespace tarnwick
