// Rows of the object table (system object 34; system object 1 in SQL Server
// 2000 mode): one row per table, view, procedure, constraint, default, ...
//
// Fixed-length data (minimum 20 bytes):
//
//   offset width meaning
//   0      4     object id (rows with an id of 0 or below are not kept)
//   4      4     schema id
//   8      1     schema class
//   9      4     status
//   13     2     type code, two 8-bit characters ("U ", "PK", "F ", ...)
//   15     4     parent object id (the table of a constraint or trigger)
//   19     1     parent class
//   20     4     integer property (tables: the highest column id; single-
//                column constraints: the column id)
//   name         first variable-length column
//
// SQL Server 2000 layout: object id at 0, type code at 4 (2 characters),
// schema (user) id at 6 (2 bytes), status at 10, parent object id at 24
// (only when the fixed part is longer than 23 bytes).
//
// Object status bits of foreign keys: 0x1000 and 0x2000 hold the update
// action, 0x4000 and 0x8000 the delete action (0 no action, 1 cascade,
// 2 set null, 3 set default).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kObjectRowMinFixed = 20;

struct CatalogObject {
  int32_t object_id = -1;
  int32_t schema_id = 0;
  uint8_t schema_class = 0;
  uint32_t status = 0;
  std::string type_code;  // two characters
  int32_t parent_object_id = 0;
  uint8_t parent_class = 0;
  int32_t int_property = 0;
  std::string name;

  bool found() const { return object_id != -1; }
};

// Decodes one object row. repair_counter numbers the rows whose name is
// missing or empty ("Repairname<n>", "RepairColumn<n>"); it advances for
// every name it supplies. Nothing when the row is not kept (fixed part
// shorter than 20 bytes, object id 0 or below).
std::optional<CatalogObject> DecodeObjectRow(const CatalogRecord& row, bool sql2000,
                                             uint64_t& repair_counter);

}  // namespace tarnwick
