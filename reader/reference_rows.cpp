#include "reader/reference_rows.h"

namespace tarnwick {

std::optional<SingleObjectRef> DecodeSingleObjectRef(const CatalogRecord& row) {
  if (row.fixedLength() == 0) return std::nullopt;
  const ByteReader& f = row.fixed();
  SingleObjectRef r;
  r.ref_class = f.U8(0);
  r.value1 = f.I32(1);
  r.value5 = f.I32(5);
  r.value9 = f.I32(9);
  r.value13 = f.I32(13);
  r.value17 = f.I32(17);
  return r;
}

std::optional<ObjectValueRow> DecodeObjectValueRow(const CatalogRecord& row) {
  if (row.fixedLength() < kObjectValueRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  ObjectValueRow v;
  v.value_class = f.U8(0);
  v.object_id = f.I32(1);
  v.minor_id = f.I32(5);
  v.value_number = f.I32(9);
  if (const ColumnChunk* image = row.Var(1)) {
    // A complex column holds a large-object root or pointer, not the text.
    if (image->complex)
      v.image_off_row = true;
    else
      v.image = image->bytes;
  }
  return v;
}

}  // namespace tarnwick
