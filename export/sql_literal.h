// The SQL literal of one column value, as the INSERT scripts and the
// statement view write it.
//
// The value text is that of the row builder (the text "NULL" for a NULL
// value). Every literal ends with a comma; callers strip the last one.
#pragma once

#include <string>
#include <string_view>

#include "reader/column_descriptor.h"

namespace tarnwick {

struct SqlLiteralContext {
  // Set while the save worker runs: a binary value whose text names a blob
  // file (it holds a backslash) is then read back with OPENROWSET.
  bool saveRunning = false;
  // The date a NULL or empty primary-key date column gets, "YYYY-MM-DD";
  // empty takes the local date at the call.
  std::string today;
};

// The local date as "YYYY-MM-DD".
std::string TodayText();

// The literal of value_text for the column, followed by a comma. Looks at
// the column's typeCode, type_text (its length, or the digits of a float)
// and primary_key.
std::string SqlLiteral(const ColumnDescriptor& column, std::string_view value_text,
                       const SqlLiteralContext& context = {});
// The same literal appended to `out` (the save builds its rows this way,
// without a string per value).
void AppendSqlLiteral(std::string& out, const ColumnDescriptor& column,
                      std::string_view value_text, const SqlLiteralContext& context = {});

}  // namespace tarnwick
