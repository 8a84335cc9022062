#include "logreader/user_table_map.h"

namespace tarnwick {

uint64_t UserTableRowsetId(const CMetadata& metadata, int32_t object_id) {
  const RowsetRow* best = nullptr;
  for (const RowsetRow& r : metadata.rowsets()) {
    if (r.major_id != object_id || (r.minor_id != 0 && r.minor_id != 1)) continue;
    if (!best || r.minor_id <= best->minor_id) best = &r;
  }
  if (best) return best->rowset_id;
  for (const IndexRow& index : metadata.indexes())
    if (index.object_id == object_id && index.rowset_id != 0) return index.rowset_id;
  const RowsetRow* last = nullptr;
  for (const RowsetRow& r : metadata.rowsets())
    if (r.major_id == object_id) last = &r;
  return last ? last->rowset_id : 0;
}

UserTableMap BuildUserTableMap(const CMetadata& metadata) {
  UserTableMap map;
  for (const CatalogObject& object : metadata.objects()) {
    if (object.name.empty() || object.type_code != kUserTableType) continue;
    // Add refuses the id 0 of a table without any rowset.
    map.Add(UserTableRowsetId(metadata, object.object_id), object.object_id, object.name);
  }
  return map;
}

}  // namespace tarnwick
