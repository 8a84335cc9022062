#include "logreader/statement.h"

#include <algorithm>

#include "logreader/log_record.h"

namespace tarnwick {
namespace {

void RemoveTrailingCommas(std::string& text) {
  while (!text.empty() && text.back() == ',') text.pop_back();
}

std::string InsertStatement(std::string_view table_name, std::span<const RowImage> rows,
                            const SqlLiteralContext& literal_context) {
  std::string text = "insert into [";
  text.append(table_name).append("] values( ");
  for (const RowImage& row : rows) {
    for (const ColumnDescriptor& entry : row) {
      if (entry.computed()) continue;
      text += SqlLiteral(entry, entry.value, literal_context);
    }
  }
  RemoveTrailingCommas(text);
  text += ")";
  return text;
}

// The condition compares the bare value text: "id= 5", "id= NULL".
std::string Condition(const ColumnDescriptor& key) { return key.name + "= " + key.value; }

std::string DeleteStatement(std::string_view table_name, const RowImage& row) {
  std::optional<size_t> key = KeyColumnIndex(row, true);
  if (!key) return {};
  std::string text = "Delete from [";
  text.append(table_name).append("] where ").append(Condition(row[*key]));
  return text;
}

// Assigns the values of image 1 that differ from image 0 to the row found by
// image 0's key. A modify-columns update names its row only by a primary-key
// or unique column.
std::string UpdateStatement(std::string_view table_name, const RowImage& image0,
                            const RowImage& image1, bool first_entry_allowed) {
  std::string assignments;
  const size_t count = std::min(image0.size(), image1.size());
  for (size_t i = 0; i < count; ++i) {
    if (image0[i].value == image1[i].value) continue;
    assignments.append(image0[i].name).append(" = ").append(image1[i].value).append(",");
  }
  RemoveTrailingCommas(assignments);
  if (assignments.empty()) return {};
  std::optional<size_t> key = KeyColumnIndex(image0, first_entry_allowed);
  if (!key) return {};
  std::string text = "Update [";
  text.append(table_name).append("] SET ").append(assignments).append(" Where ");
  text += Condition(image0[*key]);
  return text;
}

}  // namespace

std::optional<size_t> KeyColumnIndex(const RowImage& row, bool first_entry_allowed) {
  std::optional<size_t> primary;
  std::optional<size_t> unique;
  for (size_t i = 0; i < row.size(); ++i) {
    if (row[i].primary_key) primary = i;
    if (row[i].unique_member) unique = i;
  }
  if (primary && !row[*primary].value.empty()) return primary;
  if (unique && !row[*unique].value.empty()) return unique;
  if (first_entry_allowed && !row.empty()) return 0;
  return std::nullopt;
}

std::string BuildOperationStatement(uint8_t operation, std::string_view table_name,
                                    std::span<const RowImage> rows,
                                    const SqlLiteralContext& literal_context) {
  switch (operation) {
    case kOpInsertRow:
      return rows.empty() ? std::string() : InsertStatement(table_name, rows, literal_context);
    case kOpDeleteRow:
      return rows.empty() ? std::string() : DeleteStatement(table_name, rows[0]);
    case kOpModifyRow:
    case kOpModifyColumns:
      if (rows.size() < 2) return {};
      return UpdateStatement(table_name, rows[0], rows[1], operation == kOpModifyRow);
    default:
      return {};
  }
}

ValuesList BuildValuesList(std::span<const ColumnDescriptor> columns,
                           std::span<const RowImage> rows) {
  ValuesList list;
  for (const ColumnDescriptor& column : columns) {
    if (!column.computed()) list.columns.push_back(column.name);
  }
  // Each row is put on top of those before it.
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    std::vector<std::string>& cells = list.rows.emplace_back();
    for (const ColumnDescriptor& entry : *row) {
      if (!entry.computed()) cells.push_back(entry.value);
    }
  }
  return list;
}

ShownOperation RenderOperation(uint8_t operation, std::string_view table_name,
                               std::span<const ColumnDescriptor> columns,
                               std::span<const RowImage> rows,
                               const SqlLiteralContext& literal_context) {
  return {BuildOperationStatement(operation, table_name, rows, literal_context),
          BuildValuesList(columns, rows)};
}

}  // namespace tarnwick
