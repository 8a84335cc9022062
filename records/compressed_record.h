// Compressed row records (the column-description or "CD" format) of row-
// and page-compressed tables, and their decoding into the layout of an
// ordinary row record. All integers little-endian unless said otherwise.
//
//   offset  width           content
//   0       1               status byte A: bit 0 set (compressed format),
//                           bits 1-3 record type, bit 4 bitmap present,
//                           bit 5 long data region present
//   1       1 or 2          C, the column count: byte 1 when its high bit is
//                           clear, else the u16 at bytes 1-2
//   S       (C + 1) / 2     CD array: one 4-bit code per column, the low
//                           nibble of each byte the earlier column
//   then    (C - 1) / 30    cluster array: one byte per full cluster of 30
//                           columns
//   then    see the codes   short data: the short values, column by column
//   then    (C + 7) / 8     bitmap (status bit 4)
//   then    ...             long data region (status bit 5)
//
// CD codes:
//
//   code   column value                                   short data bytes
//   0      NULL                                           0
//   1      empty; with an anchor value, the anchor value  0
//   2-9    a short value of 1-8 bytes                     1-8
//   10     the next long data item                        0
//   11     no bytes; a bit column with the value 1        0
//   12     the page dictionary entry named by the byte    1
//
// Long data region:
//
//   offset   width         content
//   0        1             header; bit 0: an offset array follows
//   1        2             N, the number of long data items
//   3        2N            end offset of each item, counted from the start
//                          of the item bytes; bit 15 marks a complex item
//                          (a pointer to data stored elsewhere)
//   3 + 2N   (C - 1) / 30  long data cluster array
//   then     ...           the item bytes, one after another
//
// Stored forms of the values (after the anchor prefix and dictionary steps
// of page compression):
//   bigint, int, smallint, datetime, money, smallmoney
//                       the integer (datetime: days * 2^32 + ticks) in the
//                       fewest big-endian two's-complement bytes with the top
//                       bit of the first byte flipped; 0 takes no bytes
//   tinyint             the byte; 0 may take none
//   bit                 code 11 for 1, no bytes (or a 0 byte) for 0
//   float, real         the big-endian bytes without their trailing zero bytes
//   char, binary        without trailing spaces / zero bytes
//   nchar, nvarchar     UTF-16LE without nchar's trailing spaces; a value of
//                       odd length is SCSU text (UTF-16 is never odd)
//   every other type    its ordinary bytes, trailing zero bytes of a fixed
//                       value dropped
// With an anchor value for the column, a value of any type but the integer
// types above (and every long item) starts with a byte p: the value is the
// first p bytes of the anchor value followed by the rest.
#pragma once

#include <cstdint>
#include <span>

#include "reader/byte_reader.h"
#include "reader/column_descriptor.h"
#include "records/record.h"

namespace tarnwick {

struct CompressionInfo;

inline constexpr int kCdNull = 0;
inline constexpr int kCdEmpty = 1;
inline constexpr int kCdShortFirst = 2;
inline constexpr int kCdShortLast = 9;
inline constexpr int kCdLong = 10;
inline constexpr int kCdBitOne = 11;
inline constexpr int kCdSymbol = 12;

// Column counts above this reject a compressed record.
inline constexpr int32_t kMaxCompressedColumns = 1024;
inline constexpr int32_t kColumnsPerCluster = 30;
// Short data must end below this record offset.
inline constexpr int32_t kShortDataEnd = 8060;

// The number of short data bytes a CD code takes (0 for the unused 13-15).
int ShortDataLength(int code);

// Parses `record` (the bytes that may be read, at most rec.lengthLimit) in
// the compressed format into rec: columnCount, cdCodes, fixedData and
// fixedLength (the short data, as stored), shortDataSpan, nullBitmap,
// longRegionStart, longDataOffsets, varColumns and varColumnCount (the long
// data items), compressedBytes and cursor. A column count of 0 or above 1024
// rejects the record; short data or long items that do not fit are left out.
void ParseCompressedFormat(const ByteReader& record, CPrimaryRecord& rec);

// True for the types stored as flipped big-endian integers: bigint,
// datetime, int, smallint, money and smallmoney.
bool IsCompressedInteger(typeCode code);

// Whether the table-row builders take the column's value from a variable
// column chunk (otherwise from the fixed part).
bool IsVariableColumn(const ColumnDescriptor& column);

// The bytes a fixed column's value takes in an ordinary record.
int32_t FixedColumnLength(const ColumnDescriptor& column);

// The value as it stands in an ordinary record, from its stored form (see
// above). A fixed value is cut or padded to FixedColumnLength (char with
// spaces, nchar with U+0020, everything else with zeros); a bit column gives
// one byte, 0 or 1.
ByteBuffer UncompressedValue(const ColumnDescriptor& column, Bytes stored, bool fixed);

// The anchor prefix step: the first stored[0] bytes of `anchor` (at most all
// of them) and then stored[1..]. Empty when stored is.
ByteBuffer PrefixDecode(Bytes anchor, Bytes stored);

// Rebuilds a parsed compressed record of type 0 or 3 so that it reads like
// an ordinary record of the table `columns`:
//   - fixedData/fixedLength: every fixed column's value at leaf offset - 4
//     (or, when its leaf offset is below 4, at the sum of the lengths of the
//     fixed columns before it), bit columns eight to a byte;
//   - varColumns: one chunk per variable column at its variable index
//     (-(leaf offset + 1), else the count of variable columns before it);
//     NULL and empty values are chunks without bytes and length 0, complex
//     long items keep their bytes and flag;
//   - nullBitmap: bit p set for the record column p whose code is 0;
//   - columnNullMarks: one per record column, NULL for code 0, with the
//     length of the decoded value.
// A table column's record column is its leaf NULL bit - 1, else its ordinal
// - 1, else its position among the stored columns. `page` gives the anchor
// values and the dictionary (null: none). Does nothing and returns false for
// a record that is not compressed, is rejected, is already decoded or is of
// another type.
bool DecodeCompressedRecord(const CompressionInfo* page, CPrimaryRecord& rec,
                            std::span<const ColumnDescriptor> columns);

// A record context naming the table being read, for the page that decodes
// its compressed records. The columns must outlive the pages built with it.
class TableRecordContext : public RecordContext {
 public:
  explicit TableRecordContext(std::span<const ColumnDescriptor> columns,
                              bool sql2000_catalog = false)
      : columns_(columns), sql2000_catalog_(sql2000_catalog) {}
  std::span<const ColumnDescriptor> TableColumns() const override { return columns_; }
  bool Sql2000Catalog() const override { return sql2000_catalog_; }

 private:
  std::span<const ColumnDescriptor> columns_;
  bool sql2000_catalog_;
};

}  // namespace tarnwick
