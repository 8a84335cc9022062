// The rows of one recovered operation, decoded again from its log record and
// the data page that the record names.
//
// Row-log fields of the four row changes (log_record.h gives where they
// start):
//
//   operation       field   content
//   2 insert        0       the inserted row, a complete row record
//   3 delete        0       the deleted row, a complete row record
//   4 modify row    0       the bytes at the change offset before the change
//                   1       the bytes there after it (what the page holds)
//   6 modify        0       N pairs of u16: the range's offset in the row
//     columns               before the change, and in the row after it
//                   1       N u16: the length of each range before the change
//                   2, 3    the row's key and lock information (not read)
//                   4 + 2j  range j's bytes before the change
//                   5 + 2j  range j's bytes after the change
//
// In a modify-columns record every field starts on a multiple of 4 bytes
// from the record start (the fields are padded), so N ranges take 4 + 2N
// fields. N is 1 when field 0 is shorter than 4 bytes, else its length / 4.
//
// Images: an insert or delete gives one row, parsed from the logged row
// alone (the page supplies only its header). A modify row or modify columns
// gives two: image 0 is the row the page holds now, image 1 the row rebuilt
// with the logged bytes from before the change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logreader/log_block.h"
#include "logreader/log_operation.h"
#include "logreader/log_record.h"
#include "logreader/transaction_log.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "records/log_image.h"
#include "records/record_page.h"
#include "records/table_rows.h"

namespace tarnwick {

// Why an operation gives no rows, or kDecoded.
enum class RowDecodeStatus {
  kDecoded,        // the page was read (rows may still be missing: no slot)
  kNoBlock,        // the block cannot be read again
  kNoRecord,       // the record index lies outside the block's offset array
  kOtherRowset,    // the record no longer carries the operation's rowset id
  kNotRowChange,   // an operation code without row images
  kFieldsMissing,  // a row-log field needed lies outside the record
  kTooFewFields,   // modify columns: fewer than 4 + 2N fields
  kNoTable,        // the table is not in the catalog
  kNoPage,         // the named data page cannot be read
};
const char* RowDecodeStatusName(RowDecodeStatus status);

// What the page read of one record needs: the page and the record source.
struct RowImageRequest {
  RowDecodeStatus status = RowDecodeStatus::kNoRecord;
  LogRecordFields fields;
  // File id and page number from the record (offsets 28 and 24).
  PageRef page;
  // One of: an insert's or delete's one-record buffer, a modify-row or a
  // modify-columns description.
  std::optional<ByteBuffer> oneRecord;
  std::optional<ModifyRowImage> modifyRow;
  std::optional<ModifyColumnsImage> modifyColumns;

  // The source for the page read; valid while the request lives.
  RecordSource Source() const;
};

// Record `record_index` of a block read again: its fields checked against
// the operation's rowset id and its row-log fields turned into a request.
// Reads only inside the block and the record's end bound.
RowImageRequest ReadRowImageRequest(const LogBlock& block, int32_t record_index,
                                    uint64_t allocation_unit_id);

// The modify-columns description of a record's row-log fields (counts as
// above), or the reason there is none.
struct ModifyColumnsFields {
  RowDecodeStatus status = RowDecodeStatus::kFieldsMissing;
  size_t rangeCount = 0;
  ModifyColumnsImage image;  // ranges: (offset before, offset after)
};
ModifyColumnsFields ReadModifyColumnsFields(const ByteReader& block, uint16_t record_offset,
                                            uint16_t end_bound);

// The operation's table as the catalog prepares it.
struct OperationTable {
  CatalogObject object;  // object id -1 when the catalog has no such object
  std::vector<ColumnDescriptor> columns;
  // The schema model found rowset-column rows for the table's rowset: the
  // view then reads display rows, otherwise export rows.
  bool rowsetColumns = false;
};
// Prepares the first object of the catalog's object list with this id (the
// catalog's current table becomes that table).
OperationTable PrepareOperationTable(CMetadata& metadata, int32_t object_id);

// Which row builder turns the page's records into rows.
enum class RowForm {
  kView,    // display rows, or export rows for a table without rowset columns
  kExport,  // export rows (the scripts of the save)
};

struct OperationRows {
  RowDecodeStatus status = RowDecodeStatus::kNoBlock;
  LogRecordFields fields;
  // In page order: image 0 then image 1 for an update.
  std::vector<Row> rows;
};

// The page read and the rows of a request. Reads pages only; safe to call
// from several threads over one data file set.
OperationRows ReadOperationRows(const RowImageRequest& request, const OperationTable& table,
                                const CDatabaseFile& database, RowForm form);

// The rows of an operation whose block has been read again (nothing: the
// block could not be read).
OperationRows DecodeOperationRows(const LogOperation& operation,
                                  const std::optional<LogBlock>& block, const OperationTable& table,
                                  const CDatabaseFile& database, RowForm form = RowForm::kView);
// The export rows of the same, for the save.
OperationRows DecodeOperationExportRows(const LogOperation& operation,
                                        const std::optional<LogBlock>& block,
                                        const OperationTable& table, const CDatabaseFile& database);

// What a click on an operation decodes: its table and its rows.
struct DecodedOperation {
  OperationTable table;
  OperationRows rows;
};

// Re-reads the operation's block from the open log, prepares its table (the
// catalog's current table changes, so one decode at a time per catalog) and
// decodes its rows.
DecodedOperation DecodeOperationRows(const LogOperation& operation, const TransactionLog& log,
                                     CMetadata& metadata, RowForm form = RowForm::kView);

}  // namespace tarnwick
