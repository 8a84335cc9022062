// Rows of the column table (system object 41, continued by 2187): one row
// per column of a table, view or table type, and per parameter of a module.
//
// Fixed-length data (minimum 37 bytes):
//
//   offset width meaning
//   0      4     object id (bits 24 and 25 may be set on rows of a table)
//   4      2     number (0 for table columns; procedures: group number)
//   6      4     column id
//   10     1     system type id
//   11     4     user type id
//   15     2     length in bytes, -1 for max
//   17     1     precision
//   18     1     scale
//   19     4     collation id
//   23     4     status: 0x1 not nullable, 0x4 identity, 0x8 rowguid,
//                0x1000000 sparse
//   27     2     maximum in-row length
//   29     4     XML schema collection id
//   33     4     default object id
//   37     4     check object id
//   name         first variable-length column
//   identity     second variable-length column of an identity column
//                (status 5): seed and increment, see IdentityText
//
// SQL Server 2000 layout (system object 3, best effort; such databases are
// refused after the catalog is read):
//
//   offset width meaning
//   0      4     object id
//   4      1     system type id
//   5      1     type status (0x1 not nullable)
//   6      2     user type id
//   8      2     length in bytes
//   10     1     precision
//   11     1     scale
//   12     2     column id
//   14     2     offset in the row (negative: variable column -(n + 1))
//   18     2     column status
//   28     2     number
//   name         first variable-length column
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader/byte_reader.h"
#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kColumnRowMinFixed = 37;
inline constexpr size_t kColumnRow2000MinFixed = 14;
// Bits 24 and 25 of a column row's object id are not part of the table's id.
inline constexpr uint32_t kColumnObjectIdMask = 0xFCFFFFFF;
inline constexpr uint32_t kIdentityColumnStatus = 5;

struct IdentityValues {
  int64_t seed = 1;
  int64_t increment = 1;
};

struct ColumnRow {
  int32_t object_id = 0;
  int16_t number = 0;
  int32_t column_id = 0;
  uint8_t system_type_id = 0;
  int32_t user_type_id = 0;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collation_id = 0;
  uint32_t status = 0;
  int16_t max_inrow_length = 0;
  int32_t xml_collection_id = 0;
  int32_t default_object_id = 0;
  int32_t check_object_id = 0;
  std::string name;
  std::optional<IdentityValues> identity;
  // "identity(seed,increment)", or empty.
  std::string identity_text;
};

// Seed and increment from the identity bytes (the second variable-length
// column), read as unsigned little-endian values widened to 64 bits:
//   L >= 24: bytes 4..7 zero and bytes 0..3 not: 8-byte seed at 8 and
//            increment at 16; otherwise 4-byte seed at 4, increment at 8
//   12 <= L < 24: 4-byte seed at 4, increment at 8
//   6 <= L < 12: 2-byte seed at 2, increment at 4
//   L < 6: seed 1, increment 1
// An increment of 0 becomes 1.
IdentityValues DecodeIdentity(Bytes bytes);
// "identity(%lld,%lld)".
std::string IdentityText(const IdentityValues& values);

// Decodes one column row; nothing when the fixed part is shorter than 37
// bytes. A missing or empty name becomes "RepairColumn<n>" with n taken
// from repair_counter, which then advances.
std::optional<ColumnRow> DecodeColumnRow(const CatalogRecord& row, uint64_t& repair_counter);

struct ColumnRow2000 {
  int32_t object_id = 0;
  uint8_t system_type_id = 0;
  uint8_t type_status = 0;
  int16_t user_type_id = 0;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int16_t column_id = 0;
  int16_t offset = 0;
  uint16_t column_status = 0;
  int16_t number = 0;
  std::string name;
};

std::optional<ColumnRow2000> DecodeColumnRow2000(const CatalogRecord& row,
                                                 uint64_t& repair_counter);

}  // namespace tarnwick
