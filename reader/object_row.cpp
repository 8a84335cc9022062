#include "reader/object_row.h"

namespace tarnwick {

std::optional<CatalogObject> DecodeObjectRow(const CatalogRecord& row, bool sql2000,
                                             uint64_t& repair_counter) {
  const ByteReader& f = row.fixed();
  if (row.fixedLength() < kObjectRowMinFixed) return std::nullopt;
  CatalogObject o;
  o.object_id = f.I32(0);
  auto type_at = [&](size_t offset) {
    std::string code;
    code.push_back(static_cast<char>(f.U8(offset)));
    code.push_back(static_cast<char>(f.U8(offset + 1)));
    return code;
  };
  if (sql2000) {
    o.type_code = type_at(4);
    o.schema_id = f.I16(6);
    o.status = f.U32(10);
    if (row.fixedLength() > 23) o.parent_object_id = f.I32(24);
  } else {
    o.schema_id = f.I32(4);
    o.schema_class = f.U8(8);
    o.status = f.U32(9);
    o.type_code = type_at(13);
    o.parent_object_id = f.I32(15);
    o.parent_class = f.U8(19);
    o.int_property = f.I32(20);
  }
  // The name is settled before the row is judged, so a repaired name is
  // numbered in row order.
  if (std::optional<std::string> name = row.VarText(0)) {
    o.name = std::move(*name);
  } else {
    o.name = "Repairname" + std::to_string(repair_counter++);
  }
  if (o.name.empty()) o.name = "RepairColumn" + std::to_string(repair_counter++);
  if (o.object_id <= 0) return std::nullopt;
  return o;
}

}  // namespace tarnwick
