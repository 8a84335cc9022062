#include "reader/storage_rows.h"

namespace tarnwick {

std::optional<RowsetRow> DecodeRowsetRow(const CatalogRecord& row) {
  if (row.fixedLength() < kRowsetRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  RowsetRow r;
  r.rowset_id = f.U64(0);
  r.owner_type = f.U8(8);
  r.major_id = f.I32(9);
  r.minor_id = f.I32(13);
  r.partition_number = f.I32(17);
  r.status = f.U32(21);
  r.file_group_id = f.I16(25);
  r.row_count = f.U64(27);
  return r;
}

std::optional<AllocationUnitRow> DecodeAllocationUnitRow(const CatalogRecord& row) {
  if (row.fixedLength() < kAllocationUnitRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  AllocationUnitRow a;
  a.allocation_unit_id = f.U64(0);
  a.type = f.U8(8);
  a.owner_id = f.U64(9);
  a.status = f.U32(17);
  a.file_group_id = f.I16(21);
  a.first_page = row.PageAt(23);
  a.root_page = row.PageAt(29);
  a.first_iam_page = row.PageAt(35);
  return a;
}

std::optional<RowsetColumnRow> DecodeRowsetColumnRow(const CatalogRecord& row) {
  if (row.fixedLength() < kRowsetColumnRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  RowsetColumnRow c;
  c.rowset_id = f.U64(0);
  c.rowset_column_id = f.I32(8);
  c.hobt_column_id = f.I32(12);
  c.modification_counter = f.U64(16);
  c.type_information = f.U32(24);
  c.collation_id = f.I32(28);
  c.key_ordinal = f.I16(32);
  c.max_inrow_length = f.I16(34);
  c.status = f.U32(36);
  c.offset = f.U32(40);
  c.null_bit = f.U32(44);
  c.bit_position = f.I16(48);
  return c;
}

std::optional<HobtColumnRow> DecodeHobtColumnRow(const CatalogRecord& row) {
  if (!row.fixed().Has(0, 12)) return std::nullopt;
  const ByteReader& f = row.fixed();
  HobtColumnRow h;
  h.rowset_id = f.U64(0);
  h.value8 = f.I32(8);
  h.leaf_offset = f.I16(27);
  h.null_bit = f.I16(33);
  return h;
}

std::optional<RowsetColumnMapRow> DecodeRowsetColumnMapRow(const CatalogRecord& row) {
  if (!row.fixed().Has(0, 12)) return std::nullopt;
  const ByteReader& f = row.fixed();
  RowsetColumnMapRow m;
  m.rowset_id = f.U64(0);
  m.value8 = f.I32(8);
  m.value12 = f.I32(12);
  return m;
}

}  // namespace tarnwick
