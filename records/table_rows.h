// Rows of one table from the records of one data page.
//
// Two builders walk the same parsed records: display rows (the operations
// view and the statements shown to the user) and export rows (the scripts).
// They differ in how a NULL is marked and in a few layout rules:
//
//                        display                  export
//   NULL value           text "NULL"              empty text, then "NULL" for a
//                                                 nullable column
//   column not stored    "NULL"                   read as usual
//   NULL bit without a   ordinal rule             position counter
//   leaf NULL bit
//   negative leaf offset index of a variable     3 - L for a fixed column
//                        column
//   rows kept            every usable record      not when the first stored
//                                                 column's text is empty
//
// A record is usable when it exists, is not an index record (type 3), is not
// rejected and is not a ghost. Columns beyond the record's column count (a
// column added after the row was written) get empty text, not "NULL".
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text_codec.h"
#include "reader/column_descriptor.h"
#include "records/lob_blob_file.h"
#include "records/page_source.h"
#include "records/record_page.h"

namespace tarnwick {

// A row: a copy of the table's column descriptors with each column's value
// text (and NULL flag) filled in.
using Row = std::vector<ColumnDescriptor>;

struct RowReadContext {
  // Serves the pages of large values; none are read without it.
  const PageSource* pages = nullptr;
  // The Windows code page of 8-bit character data.
  int32_t code_page = kDefaultCodePage;
  // Set by a script export that writes blob files.
  BlobSink* blobs = nullptr;
  // The catalog came from SQL Server 2000 system tables (export offsets).
  bool sql2000_mode = false;
};

std::vector<Row> ReadDisplayRows(const PrimaryRecordPage& page, const std::vector<ColumnDescriptor>& columns,
                                 const RowReadContext& context);

std::vector<Row> ReadExportRows(const PrimaryRecordPage& page, const std::vector<ColumnDescriptor>& columns,
                                const RowReadContext& context);

// The row of one record (the builders above run this for every usable
// record of a page). Nothing for a record that is not usable.
std::optional<Row> ReadDisplayRow(const CPrimaryRecord& record,
                                  const std::vector<ColumnDescriptor>& columns,
                                  const RowReadContext& context);
std::optional<Row> ReadExportRow(const CPrimaryRecord& record,
                                 const std::vector<ColumnDescriptor>& columns,
                                 const RowReadContext& context);
// ReadExportRow into `row`, reusing its storage (a caller that reads many
// rows of one table, the save); false, with `row` unspecified, when the
// record gives no row.
bool ReadExportRowInto(const CPrimaryRecord& record, const std::vector<ColumnDescriptor>& columns,
                       const RowReadContext& context, Row& row);

}  // namespace tarnwick
