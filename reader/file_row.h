// Rows of the file list (system object 8): one row per file of the
// database, the log file included.
//
// Fixed-length data (minimum 520 bytes):
//
//   offset width meaning
//   0      4     status
//   4      2     file id (signed; 1 the primary file)
//   6      256   logical name, 128 UTF-16 units, blank padded
//   262    520   physical name, 260 UTF-16 units, blank padded: the path
//                on the machine that wrote the file (often "C:\...")
//
// Both names are read up to the first zero unit within their field and
// stripped of trailing white space.
#pragma once

#include <optional>

#include "reader/catalog_record.h"
#include "reader/database_file.h"

namespace tarnwick {

inline constexpr size_t kFileRowMinFixed = 520;

std::optional<SecondaryFile> DecodeFileRow(const CatalogRecord& row);

}  // namespace tarnwick
