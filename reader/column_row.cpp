#include "reader/column_row.h"

#include <cstdio>

namespace tarnwick {
namespace {

std::string ColumnName(const CatalogRecord& row, uint64_t& repair_counter) {
  std::optional<std::string> name = row.VarText(0);
  if (name && !name->empty()) return *name;
  return "RepairColumn" + std::to_string(repair_counter++);
}

}  // namespace

IdentityValues DecodeIdentity(Bytes bytes) {
  const ByteReader r(bytes);
  const size_t length = bytes.size();
  uint64_t seed = 1;
  uint64_t increment = 1;
  if (length >= 24) {
    if (r.U32(4) == 0 && r.U32(0) != 0) {
      seed = r.U64(8);
      increment = r.U64(16);
    } else {
      seed = r.U32(4);
      increment = r.U32(8);
    }
  } else if (length >= 12) {
    seed = r.U32(4);
    increment = r.U32(8);
  } else if (length >= 6) {
    seed = r.U16(2);
    increment = r.U16(4);
  }
  if (increment == 0) increment = 1;
  return IdentityValues{static_cast<int64_t>(seed), static_cast<int64_t>(increment)};
}

std::string IdentityText(const IdentityValues& values) {
  char text[64];
  std::snprintf(text, sizeof text, "identity(%lld,%lld)", static_cast<long long>(values.seed),
                static_cast<long long>(values.increment));
  return text;
}

std::optional<ColumnRow> DecodeColumnRow(const CatalogRecord& row, uint64_t& repair_counter) {
  if (row.fixedLength() < kColumnRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  ColumnRow c;
  c.object_id = f.I32(0);
  c.number = f.I16(4);
  c.column_id = f.I32(6);
  c.system_type_id = f.U8(10);
  c.user_type_id = f.I32(11);
  c.length = f.I16(15);
  c.precision = f.U8(17);
  c.scale = f.U8(18);
  c.collation_id = f.I32(19);
  c.status = f.U32(23);
  c.max_inrow_length = f.I16(27);
  c.xml_collection_id = f.I32(29);
  c.default_object_id = f.I32(33);
  c.check_object_id = f.I32(37);
  c.name = ColumnName(row, repair_counter);
  // The identity values follow the name; a cut or empty column still marks
  // the column as identity(1,1).
  if (c.status == kIdentityColumnStatus && row.VarCount() >= 2) {
    const ColumnChunk* chunk = row.Var(1);
    c.identity = DecodeIdentity(chunk ? Bytes(chunk->bytes) : Bytes());
    c.identity_text = IdentityText(*c.identity);
  }
  return c;
}

std::optional<ColumnRow2000> DecodeColumnRow2000(const CatalogRecord& row,
                                                 uint64_t& repair_counter) {
  if (row.fixedLength() < kColumnRow2000MinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  ColumnRow2000 c;
  c.object_id = f.I32(0);
  c.system_type_id = f.U8(4);
  c.type_status = f.U8(5);
  c.user_type_id = f.I16(6);
  c.length = f.I16(8);
  c.precision = f.U8(10);
  c.scale = f.U8(11);
  c.column_id = f.I16(12);
  c.offset = f.I16(14);
  c.column_status = f.U16(18);
  c.number = f.I16(28);
  c.name = ColumnName(row, repair_counter);
  return c;
}

}  // namespace tarnwick
