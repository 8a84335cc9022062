// Rows of the scalar type table (system object 50): the built-in types
// (schema 4, type id = system type id, plus sysname, hierarchyid, geometry
// and geography) and the user-defined alias types (schema 1 and others).
//
// Fixed-length data (minimum 34 bytes):
//
//   offset width meaning
//   0      4     type id
//   4      4     schema id
//   8      1     system type id (the base type)
//   9      2     length in bytes, -1 for max
//   11     1     precision
//   12     1     scale
//   13     4     collation id
//   30     4     (kept, not interpreted)
//   34     4     (kept, not interpreted)
//   name         first variable-length column (empty when missing)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader/catalog_record.h"

namespace tarnwick {

inline constexpr size_t kScalarTypeRowMinFixed = 34;

struct ScalarTypeRow {
  int32_t type_id = 0;
  int32_t schema_id = 0;
  uint8_t system_type_id = 0;
  int16_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  int32_t collation_id = 0;
  uint32_t value30 = 0;
  uint32_t value34 = 0;
  std::string name;
};

std::optional<ScalarTypeRow> DecodeScalarTypeRow(const CatalogRecord& row);

}  // namespace tarnwick
