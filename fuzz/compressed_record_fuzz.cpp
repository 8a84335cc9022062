// Arbitrary bytes as a page-compressed data page, its compressed records
// decoded against an arbitrary table: parsing, the compression information,
// the decoding and the Unicode text in it must stay inside their buffers and
// never crash.
//
// Byte 0 picks the form, byte 1 the number of table columns, bytes 2.. the
// column types and layout; the rest (padded with zeros to a page) is the
// page.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/compressed_record.h"
#include "records/compression_info.h"
#include "records/record_page.h"
#include "records/scsu.h"

using namespace tarnwick;

namespace {

constexpr size_t kTableBytes = 64;

// A table from the table bytes: column i has the type of byte i and, when
// byte i + 32 says so, a leaf offset, NULL bit or ordinal out of place.
std::vector<ColumnDescriptor> Table(const ByteReader& t) {
  std::vector<ColumnDescriptor> columns;
  const int count = 1 + t.U8(0) % 40;
  int16_t fixed = 4;
  int16_t vars = 0;
  for (int i = 0; i < count; ++i) {
    ColumnDescriptor c;
    const uint8_t type = t.U8(1 + i % 30);
    const uint8_t twist = t.U8(32 + i % 30);
    c.typeCode = static_cast<typeCode>(type % kTypeCodeCount);
    const int32_t length = (type >> 6) == 3 ? -1 : 1 + type % 24;
    c.type_text = std::string(TypeCodeInfo(c.typeCode).type) + "(" + std::to_string(length) + ")";
    c.ordinal = twist & 1 ? -99 : i + 1;
    c.leaf_null_bit = twist & 2 ? twist : i + 1;
    c.sparse = (twist & 0x1C) == 0x1C;
    if (twist & 0x20) {
      c.leaf_offset = static_cast<int16_t>(t.U16(i % 60));
    } else if (TypeCodeInfo(c.typeCode).variable == Variability::kNo) {
      c.leaf_offset = fixed;
      fixed = static_cast<int16_t>(fixed + FixedColumnLength(c));
    } else {
      c.leaf_offset = static_cast<int16_t>(-(++vars));
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 + kTableBytes) return 0;
  const uint8_t form = data[0];
  const ByteReader table_bytes(data + 1, kTableBytes);
  const std::vector<ColumnDescriptor> columns = Table(table_bytes);
  ByteBuffer page(data + 1 + kTableBytes, data + std::min(size, 1 + kTableBytes + kPageSize));
  page.resize(kPageSize, 0);
  const TableRecordContext context(columns);

  switch (form % 4) {
    case 0: {
      // The whole page, its compression information flagged.
      page[2] |= 0x80;
      PrimaryRecordPage p(page, nullptr, AllSlots{}, &context);
      for (const auto& rec : p.records())
        if (rec) (void)rec->columnNullMarks.size();
      break;
    }
    case 1: {
      // The record of slot 0 in the compressed format, with the page's
      // information.
      const ByteReader r(page);
      const CompressionInfo info = ReadCompressionInfo(r, form & 0x10);
      const uint16_t offset = r.U16(kPageSize - 2) % kPageSize;
      CPrimaryRecord rec = CPrimaryRecord::ParseAnchorRecord(
          r.From(offset).bytes(), static_cast<uint16_t>(kPageSize - offset));
      DecodeCompressedRecord(&info, rec, columns);
      break;
    }
    case 2: {
      // Single values of every column type.
      const ByteReader r(page);
      for (size_t i = 0; i < columns.size(); ++i) {
        const Bytes stored = r.Span(i * 13, r.U8(i) % 24);
        (void)UncompressedValue(columns[i], stored, (form & 0x20) != 0);
        (void)PrefixDecode(r.Span(4000, r.U8(i + 50) % 40), stored);
      }
      break;
    }
    default: {
      // The Unicode compression decoder on the raw bytes.
      const Bytes text(data + 1, size - 1);
      (void)ScsuToUtf8(text);
      (void)ScsuToUtf16(text);
      break;
    }
  }
  return 0;
}
