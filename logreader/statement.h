// The T-SQL statement of one recovered operation, and the values list that
// shows its decoded rows.
//
// A row is a copy of the table's column descriptors in column order, each
// `value` holding the row's value text ("NULL" for a NULL value). An insert
// or a delete has one row; an update from a modify-row (code 4) or
// modify-columns (code 6) record has two: image 0, the row as the data file
// holds it, and image 1, the row rebuilt from the log bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/sql_literal.h"
#include "reader/column_descriptor.h"

namespace tarnwick {

using RowImage = std::vector<ColumnDescriptor>;

// The entry whose name and value text identify a row in a delete or update
// condition: the last primary-key member when its value text is not empty,
// else the last unique-index member when its value text is not empty, else,
// when allowed, the first entry. Nothing for an empty row or when no rule
// gives one.
std::optional<size_t> KeyColumnIndex(const RowImage& row, bool first_entry_allowed);

// The statement of an operation with code `operation` (2 insert, 3 delete,
// 4 modify row, 6 modify columns) on the table, or empty text when the
// operation makes none: no rows, an update that changes no value, a
// modify-columns update without a key, another code. Insert values are
// written with SqlLiteral under `literal_context`.
std::string BuildOperationStatement(uint8_t operation, std::string_view table_name,
                                    std::span<const RowImage> rows,
                                    const SqlLiteralContext& literal_context = {});

// The values list of a clicked operation: one column per table column that is
// not computed, in column order; one line per row, the last row on top (an
// update shows image 1 above image 0).
struct ValuesList {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

// `columns` is the table's column list; the header stays when there are no
// rows (an operation that could not be decoded).
ValuesList BuildValuesList(std::span<const ColumnDescriptor> columns,
                           std::span<const RowImage> rows);

// What a click on an operation shows: the statement and the values list.
struct ShownOperation {
  std::string statement;
  ValuesList values;
};

ShownOperation RenderOperation(uint8_t operation, std::string_view table_name,
                               std::span<const ColumnDescriptor> columns,
                               std::span<const RowImage> rows,
                               const SqlLiteralContext& literal_context = {});

}  // namespace tarnwick
