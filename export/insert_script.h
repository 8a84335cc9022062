// The INSERT text of the rows of recovered operations, and the roll-over of
// a table script that has grown too large.
//
// An inserted row is written as it was inserted, a deleted row as it was
// before the delete, an updated row as the update record describes it. The
// rows are those of the export row builder, read with the table's
// descriptors after BuildCreateTable renamed duplicate columns; every value
// becomes a literal through SqlLiteral. The caller appends the text to the
// table's current script file, which it rolls over first when NeedsRollOver
// says so.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "export/sql_literal.h"
#include "reader/column_descriptor.h"
#include "records/table_rows.h"

namespace tarnwick {

// Of the rows one operation decoded into, those the save writes: every row
// of an insert (2) or delete (3); for a modify-row (4) or modify-columns (6)
// update the second row (image 1, rebuilt from the log bytes) when there
// are two, else the first; nothing for any other code.
std::span<const Row> RowsToWrite(uint8_t operation, std::span<const Row> rows);

// The statement head: "\r\n insert into [<table>] " followed, for a table
// with an identity column, by the bracketed stored names of the row's
// columns that are not computed, "(" ... "," ... ")", then "values( ".
std::string InsertHead(std::string_view table_name, std::span<const ColumnDescriptor> row,
                       bool has_identity);

struct InsertTextOptions {
  // BuildCreateTable found an identity column: one statement per row, with
  // the column list. Otherwise all rows share one VALUES list.
  bool has_identity = false;
  SqlLiteralContext literal{};
  // The save's stop flag: the rows not yet begun are left out, and the text
  // still ends as a complete statement. None: never stopped.
  const std::atomic<bool>* stop = nullptr;
};

struct InsertText {
  // Empty when no row was written.
  std::string text;
  uint64_t rows = 0;
};

// The INSERT text of the rows; the head names the first row's columns.
InsertText BuildInsertRows(std::string_view table_name, std::span<const Row> rows,
                           const InsertTextOptions& options);

// The same text appended to `text`, with the head given (InsertHead of the
// first row; a save builds it once per table, since every row of a table
// has the table's columns). Returns the number of rows written.
uint64_t AppendInsertRows(std::string& text, std::string_view head, std::span<const Row> rows,
                          const InsertTextOptions& options);

// The INSERT text of one operation: BuildInsertRows over RowsToWrite.
InsertText BuildOperationInsert(uint8_t operation, std::string_view table_name,
                                std::span<const Row> decoded_rows,
                                const InsertTextOptions& options);

// A table script larger than this many bytes gets its further rows in a new
// file.
inline constexpr uint64_t kRollOverSize = 1000000000;
bool NeedsRollOver(uint64_t script_size);

// The new script file of a roll-over.
struct RollOverScript {
  // "<folder name><old size, low 32 bits><roll-over counter>.sql", in the
  // table's folder.
  std::string file_name;
  // Its text after the byte order mark: the PRINT line and the use line.
  std::string text;
  // What the table's maintablescript.sql gains: TableListLine of the file.
  std::string list_line;
};

// `counter` is the save's roll-over counter after its increment.
RollOverScript BuildRollOver(std::string_view folder_name, uint64_t old_size, uint64_t counter);

// A line of maintablescript.sql: "\r\n:r \"Tables\\<folder>\\<file>\"". The
// path is the one sqlcmd resolves on Windows, so it keeps the backslashes.
std::string TableListLine(std::string_view folder_name, std::string_view file_name);

// The blob folder name of a table: "Blob_" + folder name.
std::string BlobFolderName(std::string_view folder_name);

}  // namespace tarnwick
