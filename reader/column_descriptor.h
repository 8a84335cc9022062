// The per-table column record that the row builders, the log reader and the
// export read: one per column of the prepared table, ordered by column id.
#pragma once

#include <cstdint>
#include <string>

#include "records/type_code.h"

namespace tarnwick {

// The ordinal of a column that has no stored place in the row (computed).
inline constexpr int32_t kComputedMarker = -99;

struct ColumnDescriptor {
  // The catalog column id.
  int32_t column_id = 0;
  std::string name;
  TypeCode typeCode = TypeCode::kChar;
  // The scalar type's name followed by the column's length in bytes in
  // parentheses, -1 for max: "nvarchar(320)", "int(4)", "varchar(-1)".
  std::string type_text;
  bool nullable = false;
  bool sparse = false;
  bool rowguid = false;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collation_id = 0;
  // "identity(seed,increment)", or empty.
  std::string identity;
  // First the column id; then the column's position in the stored row (its
  // hobt column id); kComputedMarker for a column without a stored place.
  int32_t ordinal = 0;
  // A rowset column (or hobt column) was found for the column, or the table
  // has neither.
  bool stored = false;
  // Fixed columns: the value's offset in the record. Variable columns:
  // -(n + 1), n being the variable column index.
  int16_t leaf_offset = 0;
  // 1-based bit in the record's NULL bitmap; 0 when there is none.
  int32_t leaf_null_bit = 0;
  // Computed columns: the definition. Row copies: the row's value text.
  std::string value;
  // Row copies: the value is SQL NULL (its text is then "NULL" in both
  // builders). Kept apart from the text so that a stored string "NULL" or an
  // empty string is never taken for a NULL.
  bool value_null = false;
  bool primary_key = false;
  bool unique_member = false;
  bool unique_key = false;
  uint8_t unique_ordinal = 0;
  // The row offset of SQL Server 2000 catalogs (negative: variable column
  // -(n + 1)).
  int16_t offset_2000 = 0;

  // What the text above is made from, kept for the callers that render
  // types their own way.
  uint8_t system_type_id = 0;
  int32_t user_type_id = 0;
  int16_t length = 0;  // bytes, -1 for max
  // The type as SQL Server prints it: "nvarchar(160)", "decimal(18,2)",
  // "varbinary(max)", "int", or the name of an alias type.
  std::string sql_type;
  int64_t identity_seed = 0;
  int64_t identity_increment = 0;
  int32_t default_object_id = 0;
  int32_t check_object_id = 0;

  bool computed() const { return ordinal == kComputedMarker; }
  bool has_identity() const { return !identity.empty(); }
};

}  // namespace tarnwick
