// The user-table map: from the rowset id that row-change log records carry
// (the 8 bytes at record offset 48) to the user table that owns the rowset.
// Built once per scan from the catalog, before the log is walked.
#pragma once

#include <cstdint>

#include "logreader/log_operation.h"
#include "reader/metadata.h"

namespace tarnwick {

// The rowset whose id the log carries for the table's rows:
//   1. of the rowset list entries of the object with index id 0 (heap) or
//      1 (clustered index), the one with the lowest index id, the later
//      entry on a tie;
//   2. else the rowset id of the first index row of the object that has
//      one;
//   3. else the last rowset list entry of the object, whatever its index
//      id; 0 when the object has none.
// The same choice as CMetadata::TableRowset, without touching the catalog's
// current table.
uint64_t UserTableRowsetId(const CMetadata& metadata, int32_t object_id);

// One entry per object of type "U " (exactly: U and a blank) with a
// non-empty name, in object-list order; when two tables yield the same
// rowset id the first keeps it. A table whose rowset id comes out as 0 is
// not mapped: records with 0 at offset 48 belong to no table.
UserTableMap BuildUserTableMap(const CMetadata& metadata);

}  // namespace tarnwick
