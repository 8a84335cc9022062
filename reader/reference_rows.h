// Rows of the single-object reference table (system object 74) and of the
// object value table (system object 60).
//
// Single-object reference, fixed-length data (21 bytes):
//
//   offset width meaning
//   0      1     class
//   1      4     referencing (dependent) object id
//   5      4     referencing minor id
//   9      4     referenced object id
//   13     4     referenced minor id
//   17     4     status
//
// Classes used here, for a foreign key F of table T referencing table R:
//   27  (F, 0, R, key index id of R)
//   28  (F, column ordinal k, T, column id of T's k-th column)
//   29  (F, column ordinal k, R, column id of R's k-th column)
//   97  (object, 0, object, minor id): copied onto the dependent entry
//
// Object value row, fixed-length data (13 bytes), then two variable-length
// columns:
//
//   offset width meaning
//   0      1     value class: 1 module and constraint text (defaults,
//                checks, procedures, views, ...), 2 computed column
//                definition, 60 statistics, others kept but not used
//   1      4     object id (for class 2: the table)
//   5      4     minor id (class 2: the column id; class 1: 0, or the
//                procedure's group number)
//   9      4     value number
//   var 0        value: a sql_variant
//   var 1        image value: the text, UTF-16LE or 8-bit bytes; a long
//                one is stored off the row (complex column)
#pragma once

#include <cstdint>
#include <optional>

#include "reader/byte_reader.h"
#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kObjectValueRowMinFixed = 13;
inline constexpr uint8_t kReferenceForeignKeyTable = 27;
inline constexpr uint8_t kReferenceForeignKeyColumn = 28;
inline constexpr uint8_t kReferenceForeignKeyReferencedColumn = 29;
inline constexpr uint8_t kReferenceBoundObject = 97;
inline constexpr uint8_t kValueClassText = 1;
inline constexpr uint8_t kValueClassComputedColumn = 2;

struct SingleObjectRef {
  uint8_t ref_class = 0;
  int32_t value1 = 0;   // referencing object id
  int32_t value5 = 0;   // referencing minor id
  int32_t value9 = 0;   // referenced object id
  int32_t value13 = 0;  // referenced minor id
  int32_t value17 = 0;  // status
};

struct ObjectValueRow {
  uint8_t value_class = 0;
  int32_t object_id = 0;
  int32_t minor_id = 0;
  int32_t value_number = 0;
  // The image value's bytes when stored in the row; empty otherwise.
  ByteBuffer image;
  bool image_off_row = false;
};

std::optional<SingleObjectRef> DecodeSingleObjectRef(const CatalogRecord& row);
std::optional<ObjectValueRow> DecodeObjectValueRow(const CatalogRecord& row);

}  // namespace tarnwick
