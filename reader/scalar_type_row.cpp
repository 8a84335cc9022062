#include "reader/scalar_type_row.h"

namespace tarnwick {

std::optional<ScalarTypeRow> DecodeScalarTypeRow(const CatalogRecord& row) {
  if (row.fixedLength() < kScalarTypeRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  ScalarTypeRow t;
  t.type_id = f.I32(0);
  t.schema_id = f.I32(4);
  t.system_type_id = f.U8(8);
  t.length = f.I16(9);
  t.precision = f.U8(11);
  t.scale = f.U8(12);
  t.collation_id = f.I32(13);
  t.value30 = f.U32(30);
  t.value34 = f.U32(34);
  t.name = row.VarText(0).value_or("");
  return t;
}

}  // namespace tarnwick
