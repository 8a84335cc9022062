// Rows of the storage tables: rowsets (system object 5), allocation units
// (system object 7; 99 in SQL Server 2000 mode), rowset columns (system
// object 3), and the older hobt column (13) and rowset column map (4) tables
// that stand in when a rowset has no rowset column rows.
//
// Rowset row, fixed-length data (minimum 27 bytes):
//
//   offset width meaning
//   0      8     rowset id (the id that row changes in the log carry)
//   8      1     owner type
//   9      4     major id: the object id
//   13     4     minor id: the index id (0 heap, 1 clustered)
//   17     4     partition number
//   21     4     status
//   25     2     file group id
//   27     8     row count
//
// Allocation unit row, fixed-length data (minimum 39 bytes):
//
//   offset width meaning
//   0      8     allocation unit id
//   8      1     type: 1 in-row data, 2 large objects, 3 row overflow
//   9      8     owner id: the rowset id
//   17     4     status
//   21     2     file group id
//   23     6     first page (page 4, file id 2)
//   29     6     root page
//   35     6     first IAM page
//
// Rowset column row, fixed-length data (minimum 48 bytes):
//
//   offset width meaning
//   0      8     rowset id
//   8      4     rowset column id: the column id (bit 26 set on the
//                left-over rows of a dropped or altered column)
//   12     4     hobt column id: the column's position in the stored row
//   16     8     modification counter
//   24     4     type information
//   28     4     the column's collation id (0 for other types)
//   32     2     key ordinal
//   34     2     maximum in-row length
//   36     4     status
//   40     4     offset: low 16 bits the leaf offset (fixed columns: the
//                value's offset in the record; variable columns -(n + 1)),
//                high 16 bits the offset in non-leaf index rows
//   44     4     NULL bit: low 16 bits the 1-based bit in the leaf row's
//                NULL bitmap, high 16 bits the bit in non-leaf rows
//   48     2     bit position
//
// Hobt column row: rowset (hobt) id at 0 (8 bytes, read as the values at 0
// and 4), the value at 8 (column id), leaf offset at 27 (2 bytes), NULL bit
// at 33 (2 bytes). Rowset column map row: rowset id at 0 (8 bytes), the
// values at 8 and 12 (the position in the stored row).
#pragma once

#include <cstdint>
#include <optional>

#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kRowsetRowMinFixed = 27;
inline constexpr size_t kAllocationUnitRowMinFixed = 39;
inline constexpr size_t kRowsetColumnRowMinFixed = 48;
inline constexpr uint8_t kInRowDataUnit = 1;

struct RowsetRow {
  uint64_t rowset_id = 0;
  uint8_t owner_type = 0;
  int32_t major_id = 0;
  int32_t minor_id = 0;
  int32_t partition_number = 0;
  uint32_t status = 0;
  int16_t file_group_id = 0;
  uint64_t row_count = 0;
};

struct AllocationUnitRow {
  uint64_t allocation_unit_id = 0;
  uint8_t type = 0;
  uint64_t owner_id = 0;
  uint32_t status = 0;
  int16_t file_group_id = 0;
  PageRef first_page;
  PageRef root_page;
  PageRef first_iam_page;
};

struct RowsetColumnRow {
  uint64_t rowset_id = 0;
  int32_t rowset_column_id = 0;
  int32_t hobt_column_id = 0;
  uint64_t modification_counter = 0;
  uint32_t type_information = 0;
  int32_t collation_id = 0;
  int16_t key_ordinal = 0;
  int16_t max_inrow_length = 0;
  uint32_t status = 0;
  uint32_t offset = 0;
  uint32_t null_bit = 0;
  int16_t bit_position = 0;

  int16_t LeafOffset() const { return static_cast<int16_t>(offset & 0xFFFF); }
  int32_t LeafNullBit() const { return static_cast<int32_t>(null_bit & 0xFFFF); }
};

struct HobtColumnRow {
  uint64_t rowset_id = 0;  // the values at 0 and 4
  int32_t value8 = 0;      // the column id
  int16_t leaf_offset = 0;
  int16_t null_bit = 0;
  // Completed from the rowset column map: the value at 12 of the map row of
  // the same rowset whose value at 8 equals value8.
  std::optional<int32_t> mapped_position;
};

struct RowsetColumnMapRow {
  uint64_t rowset_id = 0;
  int32_t value8 = 0;
  int32_t value12 = 0;
};

std::optional<RowsetRow> DecodeRowsetRow(const CatalogRecord& row);
std::optional<AllocationUnitRow> DecodeAllocationUnitRow(const CatalogRecord& row);
std::optional<RowsetColumnRow> DecodeRowsetColumnRow(const CatalogRecord& row);
std::optional<HobtColumnRow> DecodeHobtColumnRow(const CatalogRecord& row);
std::optional<RowsetColumnMapRow> DecodeRowsetColumnMapRow(const CatalogRecord& row);

}  // namespace tarnwick
