#include "reader/index_rows.h"

namespace tarnwick {

std::optional<IndexRow> DecodeIndexRow(const CatalogRecord& row) {
  if (row.fixedLength() < kIndexRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  IndexRow x;
  x.object_id = f.I32(0);
  x.index_id = f.I32(4);
  x.status = f.U32(8);
  x.int_property = f.I32(12);
  x.fill_factor = f.U8(16);
  x.index_type = f.U8(17);
  x.small_property = f.U8(18);
  x.data_space = f.I32(19);
  x.lob_data_space = f.I32(23);
  x.rowset_id = f.U64(27);
  x.name = row.VarText(0).value_or("");
  return x;
}

std::optional<IndexColumnRow> DecodeIndexColumnRow(const CatalogRecord& row) {
  if (row.fixedLength() < kIndexColumnRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  IndexColumnRow x;
  x.object_id = f.I32(0);
  x.index_id = f.I32(4);
  x.position = f.I32(8);
  x.status = f.U32(12);
  x.int_property = f.I32(16);
  x.key_ordinal = f.U8(20);
  x.partition_ordinal = f.U8(21);
  return x;
}

std::optional<IndexRow2000> DecodeIndexRow2000(const CatalogRecord& row) {
  if (row.fixedLength() < kIndexRow2000MinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  IndexRow2000 x;
  x.object_id = f.I32(0);
  x.status = f.U32(4);
  x.first_page = row.PageAt(8);
  x.index_id = f.I16(14);
  x.root_page = row.PageAt(16);
  x.name = row.VarText(1).value_or("");
  return x;
}

}  // namespace tarnwick
