// Arbitrary bytes as a data page and a table: the display and export row
// builders must read every record without leaving the page or crashing.
//
// The first 64 bytes describe up to 16 columns (type code, leaf offset,
// NULL bit, flags: 4 bytes each); the rest, padded to a page, is the page.
// Large values are served from a page source that holds the page itself.
#include <cstddef>
#include <cstdint>

#include "records/page_source.h"
#include "records/record_page.h"
#include "records/table_rows.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kTableBytes = 64;
  if (size < kTableBytes) return 0;
  const ByteReader table(data, kTableBytes);
  std::vector<ColumnDescriptor> columns;
  for (size_t i = 0; i < 16; ++i) {
    const uint8_t code = table.U8(4 * i);
    if (code == 0xFF) break;
    ColumnDescriptor c;
    c.column_id = static_cast<int32_t>(i + 1);
    c.ordinal = (table.U8(4 * i + 3) & 0x80) ? kComputedMarker : c.column_id;
    c.typeCode = static_cast<typeCode>(code % kTypeCodeCount);
    c.type_text = "x(" + std::to_string(static_cast<int>(table.U8(4 * i + 3) & 0x3F) - 1) + ")";
    c.leaf_offset = static_cast<int8_t>(table.U8(4 * i + 1));
    c.leaf_null_bit = table.U8(4 * i + 2) % 20;
    c.nullable = table.U8(4 * i + 3) & 0x40;
    c.sparse = (table.U8(4 * i + 2) & 0xE0) == 0xE0;
    c.stored = true;
    c.precision = 18;
    c.scale = table.U8(4 * i + 2) % 8;
    columns.push_back(c);
  }
  ByteBuffer page(data + kTableBytes, data + std::min<size_t>(size, kTableBytes + kPageSize));
  page.resize(kPageSize, 0);
  MemoryPageSource pages;
  for (uint32_t n = 1; n < 4; ++n) pages.Add(1, n, page);
  RowReadContext context;
  context.pages = &pages;
  const PrimaryRecordPage records(page, nullptr);
  for (const Row& row : ReadDisplayRows(records, columns, context)) (void)row.size();
  context.sql2000_mode = (size & 1) != 0;
  for (const Row& row : ReadExportRows(records, columns, context)) (void)row.size();
  return 0;
}
