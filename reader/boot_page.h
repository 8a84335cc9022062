// The boot page: page 9 of the primary data file.
//
// Its first record starts at page offset 96; after the 4-byte record header
// the boot record's fields begin at page offset 100. Offsets below are page
// offsets; integers little-endian.
//
//   offset width field
//   100    2     version number (signed): the on-disk format version
//   102    2     creation version (signed)
//   488    4     default collation id (signed). SQL collations keep the sort
//                order id in the top byte (e.g. 0x3400D008); SQL Server 2008
//                files leave the upper half zero.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "reader/collation_table.h"
#include "reader/run_state.h"

namespace tarnwick {

inline constexpr uint32_t kBootPageNumber = 9;
inline constexpr size_t kBootVersionOffset = 100;
inline constexpr size_t kBootCollationOffset = 488;

inline constexpr const char* kUnknownVersion = "Unknown SQL Version";

// " SQL Server 2012" and so on (each with its leading blank), or
// "Unknown SQL Version".
std::string VersionName(int version_number);

// True for the names of versions older than SQL Server 2005.
bool IsVersionBefore2005(const std::string& version_name);

struct CollationMatch {
  int64_t id = -1;
  CollationEntry entry;
};

// The table entry of a boot page collation id: the full 32-bit value first,
// then its low 16 bits.
std::optional<CollationMatch> LookupCollation(const CollationTable& table, int32_t raw_id);

class CBootPage {
 public:
  // Reads the values from the page bytes (a short buffer reads as zeros).
  explicit CBootPage(std::span<const uint8_t> page);

  int16_t versionNumber() const { return version_number_; }
  int16_t creationVersion() const { return creation_version_; }
  int32_t collationId() const { return collation_id_; }

  // Writes the version name always, and the four collation values only when
  // the collation is in the run state's table.
  void ApplyTo(RunState& state) const;

 private:
  int16_t version_number_ = 0;
  int16_t creation_version_ = 0;
  int32_t collation_id_ = 0;
};

}  // namespace tarnwick
