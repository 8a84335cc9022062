// Rows of the index table (system object 54) and of the index column table
// (system object 55).
//
// Index row, fixed-length data (minimum 27 bytes):
//
//   offset width meaning
//   0      4     object id
//   4      4     index id (0 heap, 1 clustered, 2 and up nonclustered)
//   8      4     status: 0x1 a real index (statistics lack it), 0x8 unique,
//                0x20 primary key, 0x40 unique constraint
//   12     4     integer property
//   16     1     fill factor
//   17     1     index type (0 heap, 1 clustered, 2 nonclustered, ...)
//   18     1     small property
//   19     4     data space
//   23     4     large-object data space
//   27     8     rowset id
//   name         first variable-length column (empty when missing)
//
// Index column row, fixed-length data (minimum 21 bytes):
//
//   offset width meaning
//   0      4     object id
//   4      4     index id
//   8      4     column position in the index, from 1
//   12     4     status: 0x4 descending
//   16     4     integer property: the column id in the table
//   20     1     key ordinal (0 for an included column)
//   21     1     partition ordinal
//
// SQL Server 2000 index table (system object 2, best effort):
//
//   offset width meaning
//   0      4     object id
//   4      4     status
//   8      6     first page
//   14     2     index id
//   16     6     root page
//   name         second variable-length column (the first holds the keys)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kIndexRowMinFixed = 27;
inline constexpr size_t kIndexColumnRowMinFixed = 21;
inline constexpr size_t kIndexRow2000MinFixed = 22;

inline constexpr uint32_t kIndexStatusReal = 0x1;
inline constexpr uint32_t kIndexStatusUnique = 0x8;
inline constexpr uint32_t kIndexStatusPrimaryKey = 0x20;
inline constexpr uint32_t kIndexStatusUniqueKey = 0x40;
inline constexpr uint32_t kIndexColumnDescending = 0x4;

struct IndexRow {
  int32_t object_id = 0;
  int32_t index_id = 0;
  uint32_t status = 0;
  int32_t int_property = 0;
  uint8_t fill_factor = 0;
  uint8_t index_type = 0;
  uint8_t small_property = 0;
  int32_t data_space = 0;
  int32_t lob_data_space = 0;
  uint64_t rowset_id = 0;
  std::string name;
};

struct IndexColumnRow {
  int32_t object_id = 0;
  int32_t index_id = 0;
  int32_t position = 0;
  uint32_t status = 0;
  int32_t int_property = 0;  // the column id
  uint8_t key_ordinal = 0;
  uint8_t partition_ordinal = 0;
};

struct IndexRow2000 {
  int32_t object_id = 0;
  uint32_t status = 0;
  PageRef first_page;
  int16_t index_id = 0;
  PageRef root_page;
  std::string name;
};

std::optional<IndexRow> DecodeIndexRow(const CatalogRecord& row);
std::optional<IndexColumnRow> DecodeIndexColumnRow(const CatalogRecord& row);
std::optional<IndexRow2000> DecodeIndexRow2000(const CatalogRecord& row);

}  // namespace tarnwick
