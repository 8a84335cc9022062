// Builders for compressed records and page-compressed pages, in the layouts
// of records/compressed_record.h and records/compression_info.h: records
// code by code, the stored (compressed) form of ordinary values, a small
// SCSU encoder, and whole tables stated once and written both as ordinary
// records and as row- or page-compressed records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/column_descriptor.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick::testing {

// A compressed record, one column at a time.
class CompressedRowBuilder {
 public:
  // Record type (bits 1-3 of status byte A); 0 by default.
  CompressedRowBuilder& Type(int type);
  // Extra status A bits OR-ed in (0x10: a bitmap follows the short data).
  CompressedRowBuilder& StatusBits(uint8_t bits);
  CompressedRowBuilder& Null();
  CompressedRowBuilder& Empty();
  // Code 1 + size: 1 to 8 bytes of short data.
  CompressedRowBuilder& Short(ByteBuffer bytes);
  CompressedRowBuilder& Long(ByteBuffer bytes, bool complex = false);
  CompressedRowBuilder& BitOne();
  CompressedRowBuilder& Symbol(uint8_t index);
  // Any code with the short data bytes given (none checked).
  CompressedRowBuilder& Code(int code, ByteBuffer short_bytes = {});
  // Empty, Short or Long by the size of the stored bytes.
  CompressedRowBuilder& Stored(ByteBuffer bytes);

  size_t columns() const { return codes_.size(); }
  // Counts of 128 and more are written as the u16 at bytes 1-2 (which needs
  // bit 7 of the count set).
  ByteBuffer Build() const;

 private:
  int type_ = 0;
  uint8_t extra_status_ = 0;
  std::vector<int> codes_;
  std::vector<ByteBuffer> short_;
  std::vector<ByteBuffer> long_;
  std::vector<bool> complex_;
};

// The fewest big-endian two's-complement bytes of the value with the top bit
// of the first byte flipped; none for 0.
ByteBuffer CompressedInt(int64_t value);

// SCSU text of UTF-16 code units: ASCII and the units of the initial dynamic
// windows in single-byte mode, everything else in Unicode mode. The result
// always has odd length (a trailing window change that emits nothing pads it).
ByteBuffer ScsuEncode(std::u16string_view text);

// A column of a test table; LayOutColumns fills in the rest.
struct ColumnSpec {
  typeCode code;
  // Bytes in the parentheses of the type text (-1 for max, 0 for none).
  int32_t length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// Column descriptors laid out as an ordinary record stores them: fixed
// columns one after another from record offset 4 (eight bit columns share a
// byte), variable columns numbered in order, NULL bit and ordinal by
// position, column id position + 1, every column stored and nullable.
std::vector<ColumnDescriptor> LayOutColumns(const std::vector<ColumnSpec>& specs);

// One value of a test table: its ordinary bytes (a bit column: {0} or {1}),
// or NULL. A complex value is a pointer to data stored elsewhere and is
// never compressed.
struct Cell {
  Cell() = default;
  Cell(ByteBuffer value) : bytes(std::move(value)) {}
  static Cell Complex(ByteBuffer value) {
    Cell c(std::move(value));
    c.complex = true;
    return c;
  }
  std::optional<ByteBuffer> bytes;
  bool complex = false;
};
using TableRow = std::vector<Cell>;

// The ordinary record of a row.
ByteBuffer OrdinaryRecord(const std::vector<ColumnDescriptor>& columns, const TableRow& row);

// The stored form of an ordinary value (records/compressed_record.h). Unicode
// text is SCSU when that is shorter than its UTF-16 bytes.
ByteBuffer CompressValue(const ColumnDescriptor& column, const ByteBuffer& ordinary);

// The anchor values (stored forms, one per column; none for NULL, empty and
// bit values) and dictionary entries of a page.
struct PageCompression {
  std::vector<std::optional<ByteBuffer>> anchor;
  std::vector<ByteBuffer> dictionary;
};

// Anchor values from `anchor_row`; the dictionary holds every coded short
// value of 1 to 7 bytes that occurs at least twice in `rows`.
PageCompression MakePageCompression(const std::vector<ColumnDescriptor>& columns,
                                    const TableRow& anchor_row, const std::vector<TableRow>& rows);

// The compressed record of a row: row compression without `page`, page
// compression (anchor prefixes, dictionary symbols) with it.
ByteBuffer CompressedRecord(const std::vector<ColumnDescriptor>& columns, const TableRow& row,
                            const PageCompression* page = nullptr);

// The compression information block for page offset 96. With dictionary
// entries: flags 0x06, the dictionary offset at bytes 3-4, the size at bytes
// 5-6, the anchor record from byte 7 and the dictionary after it. Without:
// flags 0x02 and the anchor record from byte 5, whose first two bytes the
// reader then takes as the block size.
ByteBuffer CompressionInfoBlock(const PageCompression& page);

// A data page (type 1, page id 11) whose slots hold `records`; with a block
// it has typeFlagBits 0x80 and the block at offset 96, before the records.
ByteBuffer RecordsPage(const std::vector<ByteBuffer>& records,
                       const std::optional<ByteBuffer>& block = std::nullopt);

}  // namespace tarnwick::testing
