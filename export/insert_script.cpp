#include "export/insert_script.h"

#include "export/database_script.h"
#include "export/table_script.h"

namespace tarnwick {
namespace {

// The save writes these row-change codes.
constexpr uint8_t kInsert = 2;
constexpr uint8_t kDelete = 3;
constexpr uint8_t kModifyRow = 4;
constexpr uint8_t kModifyColumns = 6;

void AppendRowValues(std::string& text, const Row& row, const SqlLiteralContext& context) {
  for (const ColumnDescriptor& entry : row) {
    if (entry.computed()) continue;
    AppendSqlLiteral(text, entry, entry.value, context);
  }
  while (!text.empty() && text.back() == ',') text.pop_back();
  text.push_back(')');
}

}  // namespace

std::span<const Row> RowsToWrite(uint8_t operation, std::span<const Row> rows) {
  switch (operation) {
    case kInsert:
    case kDelete:
      return rows;
    case kModifyRow:
    case kModifyColumns:
      if (rows.size() >= 2) return rows.subspan(1, 1);
      return rows.first(rows.empty() ? 0 : 1);
    default:
      return {};
  }
}

std::string InsertHead(std::string_view table_name, std::span<const ColumnDescriptor> row,
                       bool has_identity) {
  std::string head = "\r\n insert into ";
  head.append(BracketName(table_name)).append(" ");
  if (has_identity) {
    head.push_back('(');
    bool first = true;
    for (const ColumnDescriptor& entry : row) {
      if (entry.computed()) continue;
      if (!first) head.push_back(',');
      first = false;
      head.append(BracketName(entry.name));
    }
    head.push_back(')');
    head.push_back(' ');
  }
  head.append("values( ");
  return head;
}

uint64_t AppendInsertRows(std::string& text, std::string_view head, std::span<const Row> rows,
                          const InsertTextOptions& options) {
  uint64_t written = 0;
  for (const Row& row : rows) {
    if (options.stop && options.stop->load(std::memory_order_relaxed)) break;
    if (written == 0) {
      text.append(head);
    } else if (options.has_identity) {
      // Every row a statement of its own, with the column list.
      text.append("\r\n").append(head);
    } else {
      // One multi-row VALUES list.
      text.append(",\r\n(");
    }
    AppendRowValues(text, row, options.literal);
    ++written;
  }
  if (written > 0) text.append("\r\n");
  return written;
}

InsertText BuildInsertRows(std::string_view table_name, std::span<const Row> rows,
                           const InsertTextOptions& options) {
  InsertText result;
  if (rows.empty()) return result;
  const std::string head = InsertHead(table_name, rows.front(), options.has_identity);
  result.rows = AppendInsertRows(result.text, head, rows, options);
  return result;
}

InsertText BuildOperationInsert(uint8_t operation, std::string_view table_name,
                                std::span<const Row> decoded_rows,
                                const InsertTextOptions& options) {
  return BuildInsertRows(table_name, RowsToWrite(operation, decoded_rows), options);
}

bool NeedsRollOver(uint64_t script_size) { return script_size > kRollOverSize; }

RollOverScript BuildRollOver(std::string_view folder_name, uint64_t old_size, uint64_t counter) {
  RollOverScript script;
  script.file_name.append(folder_name)
      .append(std::to_string(static_cast<uint32_t>(old_size)))
      .append(std::to_string(counter))
      .append(".sql");
  script.text.append("PRINT  ' Inserting in  Table :")
      .append(SqlStringText(folder_name))
      .append("' \r\nUse [")
      .append(kDatabaseVariable)
      .append("]\r\n Go \r\n");
  script.list_line = TableListLine(folder_name, script.file_name);
  return script;
}

std::string TableListLine(std::string_view folder_name, std::string_view file_name) {
  std::string line = "\r\n:r \"Tables\\";
  line.append(folder_name).append("\\").append(file_name).append("\"");
  return line;
}

std::string BlobFolderName(std::string_view folder_name) {
  std::string name = "Blob_";
  return name.append(folder_name);
}

}  // namespace tarnwick
