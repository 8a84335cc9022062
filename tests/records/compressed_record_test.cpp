#include "records/compressed_record.h"

#include <gtest/gtest.h>

#include "records/table_rows.h"

#include <bit>
#include <set>
#include <string>

#include "reader/page_header.h"
#include "records/compression_info.h"
#include "records/record_page.h"
#include "records/scsu.h"
#include "records/value_text.h"
#include "tests/support/compressed_builder.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::Cell;
using testing::ColumnSpec;
using testing::CompressedRowBuilder;
using testing::PageBuilder;
using testing::TableRow;

ByteBuffer Le(int64_t value, size_t width) {
  ByteBuffer out;
  PutUnsigned(out, 0, static_cast<uint64_t>(value), width);
  return out;
}
ByteBuffer Cat(std::initializer_list<ByteBuffer> parts) {
  ByteBuffer out;
  for (const ByteBuffer& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
ByteBuffer Ascii(std::string_view s, size_t width = 0) {
  ByteBuffer out(s.begin(), s.end());
  if (out.size() < width) out.resize(width, ' ');
  return out;
}
ByteBuffer Utf16(std::u16string_view s, size_t width = 0) {
  ByteBuffer out;
  for (char16_t u : s) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  while (out.size() < width) out.insert(out.end(), {0x20, 0x00});
  return out;
}
ByteBuffer Double(double d) { return Le(static_cast<int64_t>(std::bit_cast<uint64_t>(d)), 8); }
ByteBuffer Single(float f) { return Le(std::bit_cast<uint32_t>(f), 4); }

CPage_Header DataPageHeader() {
  PageBuilder p;
  p.Type(1).PageId(11).ObjectId(200);
  return CPage_Header(p.bytes());
}

CPrimaryRecord ParseOnPage(const ByteBuffer& row, size_t limit = SIZE_MAX) {
  static const CPage_Header header = DataPageHeader();
  PageParseContext page;
  page.header = &header;
  return CPrimaryRecord::ParsePageRecord(row, static_cast<uint16_t>(std::min(limit, row.size())),
                                         page);
}

ColumnDescriptor Column(typeCode code, int32_t length, int16_t leaf_offset, int32_t position) {
  ColumnDescriptor c;
  c.typeCode = code;
  c.type_text = std::string(TypeCodeInfo(code).type) + "(" + std::to_string(length) + ")";
  c.leaf_offset = leaf_offset;
  c.leaf_null_bit = position + 1;
  c.ordinal = position + 1;
  c.stored = true;
  return c;
}

// ---------------------------------------------------------------------------
// The record format.

TEST(CompressedFormat, CountByteCdArrayAndShortData) {
  // 01 | 05 | codes 2,3 0,1 0 | short data AA, BB CC.
  const ByteBuffer row = {0x01, 0x05, 0x32, 0x10, 0x00, 0xAA, 0xBB, 0xCC};
  const CPrimaryRecord rec = ParseOnPage(row);
  EXPECT_FALSE(rec.rejected);
  EXPECT_TRUE(rec.compressedFormat);
  EXPECT_EQ(rec.columnCount, 5);
  EXPECT_EQ(rec.cdCodes, std::vector<int>({2, 3, 0, 1, 0}));
  EXPECT_EQ(rec.fixedData, ByteBuffer({0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(rec.fixedLength, 3);
  EXPECT_EQ(rec.shortDataSpan, 3);
  EXPECT_EQ(rec.cursor, 8);
  EXPECT_EQ(rec.compressedBytes, row);
  EXPECT_FALSE(rec.ghostForwarded) << "byte 1 is the column count";
  EXPECT_TRUE(rec.recordCopy.empty());
}

TEST(CompressedFormat, ClusterBytesFollowTheCdArray) {
  struct Case {
    int columns;
    int clusters;
  } cases[] = {{29, 0}, {30, 0}, {31, 1}, {60, 1}, {61, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    CompressedRowBuilder b;
    ByteBuffer short_data;
    for (int i = 0; i < c.columns; ++i) {
      b.Short({static_cast<uint8_t>(i)});
      short_data.push_back(static_cast<uint8_t>(i));
    }
    const ByteBuffer row = b.Build();
    const CPrimaryRecord rec = ParseOnPage(row);
    ASSERT_FALSE(rec.rejected);
    EXPECT_EQ(rec.columnCount, c.columns);
    EXPECT_EQ(rec.fixedData, short_data);
    EXPECT_EQ(rec.shortDataSpan, c.columns + c.clusters);
    EXPECT_EQ(rec.cursor, 2 + (c.columns + 1) / 2 + c.clusters + c.columns);
  }
}

TEST(CompressedFormat, ColumnCounts) {
  struct Case {
    ByteBuffer head;
    int columns;  // 0: rejected
  } cases[] = {
      {{0x01, 0x00}, 0},
      {{0x01, 0x7F}, 127},
      // Bit 7 of byte 1 set: the count is the u16 at bytes 1-2.
      {{0x01, 0xC8, 0x00}, 200},
      {{0x01, 0xFF, 0x03}, 1023},
      {{0x01, 0x81, 0x04}, 0},
      {{0x01, 0xFF, 0xFF}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    ByteBuffer row = c.head;
    row.resize(row.size() + 600, 0x00);
    const CPrimaryRecord rec = ParseOnPage(row);
    EXPECT_EQ(rec.rejected, c.columns == 0);
    if (c.columns == 0) continue;
    EXPECT_EQ(rec.columnCount, c.columns);
    EXPECT_EQ(rec.cdCodes.size(), static_cast<size_t>(c.columns));
  }
}

TEST(CompressedFormat, LongDataItems) {
  const ByteBuffer text_pointer(16, 0x44);
  const ByteBuffer row = CompressedRowBuilder()
                             .Short({0x81})
                             .Long(Ascii("a long value"))
                             .Null()
                             .Long(text_pointer, true)
                             .Build();
  const CPrimaryRecord rec = ParseOnPage(row);
  ASSERT_FALSE(rec.rejected);
  EXPECT_TRUE(rec.hasVarColumns);
  // 01 04 | 2 codes bytes | short 81 | long region.
  EXPECT_EQ(rec.longRegionStart, 5);
  ASSERT_EQ(rec.longDataOffsets.size(), 2u);
  EXPECT_EQ(rec.longDataOffsets[0].end, 12);
  EXPECT_FALSE(rec.longDataOffsets[0].complex);
  EXPECT_EQ(rec.longDataOffsets[1].end, 28);
  EXPECT_TRUE(rec.longDataOffsets[1].complex);
  EXPECT_EQ(rec.varColumnCount, 2);
  ASSERT_EQ(rec.varColumns.size(), 2u);
  EXPECT_EQ(rec.varColumns[0].bytes, Ascii("a long value"));
  EXPECT_FALSE(rec.varColumns[0].complex);
  EXPECT_EQ(rec.varColumns[1].bytes, text_pointer);
  EXPECT_TRUE(rec.varColumns[1].complex);
  EXPECT_EQ(rec.cursor, static_cast<int32_t>(row.size()));
}

TEST(CompressedFormat, DamagedLongDataRegions) {
  // 01 02 | codes 10,10 | region: header, count, ends, items "abc" "de".
  const ByteBuffer good = {0x21, 0x02, 0xAA, 0x01, 0x02, 0x00, 0x03, 0x00,
                           0x05, 0x00, 'a',  'b',  'c',  'd',  'e'};
  ASSERT_EQ(ParseOnPage(good).varColumns.size(), 2u);
  struct Case {
    const char* name;
    size_t at;
    uint16_t value;
    size_t width;
    std::vector<int> lengths;  // -n: a placeholder claiming n bytes
  } cases[] = {
      {"no offset array", 3, 0x00, 1, {}},
      {"more items than columns", 4, 3, 2, {}},
      {"no items", 4, 0, 2, {}},
      {"an end of 0 adds nothing and the next item starts at 0", 6, 0, 2, {5}},
      {"an item past the record is left out", 8, 9, 2, {3}},
      {"an item longer than a page keeps its place", 8, 0x5000, 2, {3, -(0x5000 - 3)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteBuffer row = good;
    PutUnsigned(row, c.at, c.value, c.width);
    const CPrimaryRecord rec = ParseOnPage(row);
    ASSERT_FALSE(rec.rejected);
    std::vector<int> lengths;
    for (const ColumnChunk& chunk : rec.varColumns)
      lengths.push_back(chunk.HasBytes() ? static_cast<int>(chunk.bytes.size()) : -chunk.length);
    EXPECT_EQ(lengths, c.lengths);
  }
}

TEST(CompressedFormat, EveryTruncationStaysInsideTheRecord) {
  const ByteBuffer row = CompressedRowBuilder()
                             .StatusBits(0x10)
                             .Short({1, 2, 3})
                             .Long(Ascii("0123456789"))
                             .Symbol(4)
                             .Long(ByteBuffer(16, 7), true)
                             .Build();
  for (size_t limit = 1; limit <= row.size(); ++limit) {
    SCOPED_TRACE(limit);
    const CPrimaryRecord rec = ParseOnPage(row, limit);
    EXPECT_LE(rec.compressedBytes.size(), limit);
    EXPECT_LE(rec.cursor, static_cast<int32_t>(limit));
    EXPECT_LE(rec.cdCodes.size(), 4u);
    for (const ColumnChunk& chunk : rec.varColumns) EXPECT_LE(chunk.bytes.size(), limit);
    if (limit < 2) continue;
    // The short data is taken only when it is all there, and then so is
    // everything up to it.
    EXPECT_EQ(rec.HasFixedData(), limit >= 4 + 4u);
    const auto with_bytes = std::count_if(rec.varColumns.begin(), rec.varColumns.end(),
                                          [](const ColumnChunk& c) { return c.HasBytes(); });
    EXPECT_EQ(with_bytes, limit == row.size() ? 2 : limit >= row.size() - 16 ? 1 : 0);
  }
}

// ---------------------------------------------------------------------------
// Stored forms of values.

TEST(CompressedValues, StoredFormsGiveTheOrdinaryBytes) {
  struct Case {
    typeCode code;
    int32_t length;
    ByteBuffer stored;
    ByteBuffer ordinary;
  } cases[] = {
      {typeCode::kInt, 4, {}, Le(0, 4)},
      {typeCode::kInt, 4, {0x81}, Le(1, 4)},
      {typeCode::kInt, 4, {0x7F}, Le(-1, 4)},
      {typeCode::kInt, 4, {0x80, 0x80}, Le(128, 4)},
      {typeCode::kInt, 4, {0x7F, 0x7F}, Le(-129, 4)},
      {typeCode::kInt, 4, {0x00, 0x00, 0x00, 0x00}, Le(INT32_MIN, 4)},
      {typeCode::kSmallInt, 2, {0x7F}, Le(-1, 2)},
      {typeCode::kBigInt, 8, {0x00, 0, 0, 0, 0, 0, 0, 0}, Le(INT64_MIN, 8)},
      {typeCode::kBigInt, 8, ByteBuffer(9, 0x81), Le(0, 8)},
      {typeCode::kMoney, 8, {0x58, 0xF0}, Le(-10000, 8)},
      {typeCode::kSmallMoney, 4, {0x80, 0x27, 0x10}, Le(10000, 4)},
      // datetime: days * 2^32 + ticks; 1900-01-02 00:00:00.003 is 1 day, 1 tick.
      {typeCode::kDateTime, 8, {0x81, 0, 0, 0, 1}, Cat({Le(1, 4), Le(1, 4)})},
      {typeCode::kDateTime, 8, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF}, Cat({Le(-1, 4), Le(-1, 4)})},
      {typeCode::kTinyInt, 1, {}, {0}},
      {typeCode::kTinyInt, 1, {0xFE}, {0xFE}},
      {typeCode::kBit, 1, {}, {0}},
      {typeCode::kBit, 1, {0x01}, {1}},
      {typeCode::kFloat, 8, {0x3F, 0xF0}, Double(1.0)},
      {typeCode::kFloat,
       8,
       {0xC0, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18},
       Double(-3.141592653589793)},
      {typeCode::kReal, 4, {0xBF, 0x80}, Single(-1.0f)},
      {typeCode::kChar, 5, Ascii("ab"), Ascii("ab   ")},
      {typeCode::kChar, 2, Ascii("abc"), Ascii("ab")},
      {typeCode::kBinary, 4, {0x01}, {0x01, 0, 0, 0}},
      {typeCode::kNChar, 8, {0x41, 0x42, 0x10}, Utf16(u"AB  ")},
      {typeCode::kNChar, 6, {0x12, 0x9C, 0xBE}, Utf16(u"Мо ")},
      {typeCode::kNChar, 4, Utf16(u"A"), Utf16(u"A ")},
      {typeCode::kNVarChar, 20, {0x41, 0x00}, {0x41, 0x00}},
      {typeCode::kNVarChar, 20, {0x41, 0x42, 0x43}, Utf16(u"ABC")},
      {typeCode::kNVarChar, -1, {0x41, 0x42, 0x43}, {0x41, 0x42, 0x43}},
      {typeCode::kDate, 3, {0x01}, {0x01, 0, 0}},
      {typeCode::kTime, 3, {0x10, 0x0E}, {0x10, 0x0E, 0}},
      {typeCode::kUniqueIdentifier, 16, ByteBuffer(20, 9), ByteBuffer(16, 9)},
      {typeCode::kVarChar, 10, Ascii("ab "), Ascii("ab ")},
      {typeCode::kVarBinary, 10, {0, 0}, {0, 0}},
  };
  for (const Case& c : cases) {
    const ColumnDescriptor column = Column(c.code, c.length, 4, 0);
    SCOPED_TRACE(column.type_text + " " + ::testing::PrintToString(c.stored));
    const bool fixed = c.code != typeCode::kVarChar && c.code != typeCode::kVarBinary &&
                       c.code != typeCode::kNVarChar;
    EXPECT_EQ(UncompressedValue(column, c.stored, fixed), c.ordinary);
  }
}

TEST(CompressedValues, ValueTextReadsTheRebuiltBytes) {
  // The SCSU samples of Unicode Technical Standard #6 as nvarchar values.
  struct Case {
    ByteBuffer stored;
    std::string text;
  } cases[] = {
      {{0xD6, 0x6C, 0x20, 0x66, 0x6C, 0x69, 0x65, 0xDF, 0x74}, "Öl fließt"},
      {{0x12, 0x9C, 0xBE, 0xC1, 0xBA, 0xB2, 0xB0}, "Москва"},
  };
  const ColumnDescriptor column = Column(typeCode::kNVarChar, 100, -1, 0);
  for (const Case& c : cases) {
    ColumnTypeInfo info;
    info.code = typeCode::kNVarChar;
    info.variable = true;
    EXPECT_EQ(ValueText(info, UncompressedValue(column, c.stored, false)), c.text);
  }
}

TEST(CompressedValues, PrefixDecode) {
  const ByteBuffer anchor = Ascii("record");
  struct Case {
    ByteBuffer stored;
    ByteBuffer value;
  } cases[] = {
      {{}, {}},
      {{0}, {}},
      {{0, 'x'}, Ascii("x")},
      {{3, 'k'}, Ascii("reck")},
      {{6}, Ascii("record")},
      {{200, '!'}, Ascii("record!")},
  };
  for (const Case& c : cases) EXPECT_EQ(PrefixDecode(anchor, c.stored), c.value);
}

TEST(CompressedValues, ScsuEncoderRoundTrips) {
  const std::u16string texts[] = {u"",
                                  u"A",
                                  u"AB",
                                  u"Öl fließt",
                                  u"Москва",
                                  u"リンゴ可愛いや",
                                  u"한국어",
                                  u"\U0001F600x",
                                  u"tab\there\x01",
                                  u"\uE000\uF100"};
  for (const std::u16string& text : texts) {
    const ByteBuffer scsu = testing::ScsuEncode(text);
    EXPECT_EQ(scsu.size() % 2, 1u);
    bool well_formed = true;
    EXPECT_EQ(ScsuToUtf16(scsu, &well_formed), text);
    EXPECT_TRUE(well_formed);
  }
}

// ---------------------------------------------------------------------------
// Decoding rules, on hand-made page compression information.

class DecodeRules : public ::testing::Test {
 protected:
  // c0 varchar, c1 int (leaf 4), c2 varchar, c3 bit (leaf 8), c4 bit,
  // c5 char(4) (leaf 9).
  std::vector<ColumnDescriptor> columns_ = {
      Column(typeCode::kVarChar, 20, -1, 0), Column(typeCode::kInt, 4, 4, 1),
      Column(typeCode::kVarChar, 20, -2, 2), Column(typeCode::kBit, 1, 8, 3),
      Column(typeCode::kBit, 1, 8, 4),       Column(typeCode::kChar, 4, 9, 5)};

  CompressionInfo Info() const {
    CompressionInfo info;
    info.anchorValues = {
        {Ascii("record"), 6}, {{0x81, 0x00}, 2}, {{}, kAnchorNull}, {{}, 0}, {{}, 0},
        {Ascii("abcd"), 4}};
    info.dictionary = {{Ascii("xy"), 2}, {ByteBuffer(8, 'z'), 8}, {{}, 3}, {{4, 'q'}, 2}};
    return info;
  }

  CPrimaryRecord Decode(const ByteBuffer& row, const CompressionInfo* info) const {
    CPrimaryRecord rec = ParseOnPage(row);
    EXPECT_TRUE(DecodeCompressedRecord(info, rec, columns_));
    return rec;
  }
};

TEST_F(DecodeRules, AnchorPrefixesAndDictionary) {
  const CompressionInfo info = Info();
  struct Case {
    const char* name;
    CompressedRowBuilder row;
    ByteBuffer c0;
    int32_t c1;
    ByteBuffer c5;
  } cases[] = {
      {"code 1 takes the whole anchor value",
       CompressedRowBuilder().Empty().Empty().Null().Null().Null().Empty(), Ascii("record"), 256,
       Ascii("abcd")},
      {"short values start with a prefix length, integers do not",
       CompressedRowBuilder().Short({3, 'k'}).Short({0x7F}).Null().Null().Null().Short({2}),
       Ascii("reck"), -1, Ascii("ab  ")},
      {"long items start with a prefix length",
       CompressedRowBuilder()
           .Long({6, 'i', 'n', 'g', 's', ' ', 'a', 'n', 'd', '!'})
           .Null()
           .Null()
           .Null()
           .Null()
           .Long({1, 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}),
       Ascii("recordings and!"), 0, Ascii("abcd")},
      {"symbols name dictionary entries, then take the prefix (not for integers)",
       CompressedRowBuilder().Symbol(3).Symbol(0).Null().Null().Null().Null(), Ascii("recoq"),
       static_cast<int16_t>(0x7879 ^ 0x8000), ByteBuffer(4, 0)},
      {"8-byte and damaged entries are never values",
       CompressedRowBuilder().Symbol(1).Symbol(2).Null().Null().Null().Symbol(9),
       {},
       0,
       ByteBuffer(4, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CPrimaryRecord rec = Decode(c.row.Build(), &info);
    ASSERT_EQ(rec.varColumns.size(), 2u);
    EXPECT_EQ(rec.varColumns[0].bytes, c.c0);
    EXPECT_EQ(rec.varColumns[0].length, static_cast<int32_t>(c.c0.size()));
    ASSERT_EQ(rec.fixedData.size(), 9u);
    EXPECT_EQ(ByteReader(rec.fixedData).I32(0), c.c1);
    EXPECT_EQ(ByteBuffer(rec.fixedData.begin() + 5, rec.fixedData.end()), c.c5);
  }
}

TEST_F(DecodeRules, NullEmptyAndBits) {
  const ByteBuffer row =
      CompressedRowBuilder().Empty().Null().Null().BitOne().Empty().Null().Build();
  const CPrimaryRecord rec = Decode(row, nullptr);
  EXPECT_TRUE(rec.compressedDecoded);
  // c0 empty: no bytes and length 0, not NULL; c2 NULL; the bits share byte 4.
  ASSERT_EQ(rec.varColumns.size(), 2u);
  EXPECT_FALSE(rec.varColumns[0].HasBytes());
  EXPECT_EQ(rec.varColumns[0].length, 0);
  EXPECT_EQ(rec.fixedData, ByteBuffer({0, 0, 0, 0, 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(rec.nullBitmap, ByteBuffer({0b100110}));
  EXPECT_TRUE(rec.hasNullBitmap);
  ASSERT_EQ(rec.columnNullMarks.size(), 6u);
  const bool nulls[] = {false, true, true, false, false, true};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rec.columnNullMarks[i].isNull, nulls[i]) << i;
  EXPECT_EQ(rec.columnNullMarks[3].length, 1);
  CPrimaryRecord again = rec;
  EXPECT_FALSE(DecodeCompressedRecord(nullptr, again, columns_)) << "decoded once";
}

TEST(CompressedDecode, ColumnsWithoutLeafOffsetsFollowOneAnother) {
  // Record columns 0 to 4 hold an int, a smallint, a char(3) and two bits;
  // the table lists them in another order and gives no offsets, so they
  // follow one another in table order, the bits sharing the first one's byte.
  std::vector<ColumnDescriptor> columns = {
      Column(typeCode::kSmallInt, 2, 0, 1), Column(typeCode::kBit, 1, 0, 4),
      Column(typeCode::kInt, 4, 0, 0), Column(typeCode::kBit, 1, 0, 3),
      Column(typeCode::kChar, 3, 0, 2)};
  for (ColumnDescriptor& c : columns) c.leaf_null_bit = 0;
  CPrimaryRecord rec = ParseOnPage(CompressedRowBuilder()
                                       .Short({0x85})
                                       .Short({0x7E})
                                       .Short({'h', 'i'})
                                       .Empty()
                                       .BitOne()
                                       .Build());
  ASSERT_TRUE(DecodeCompressedRecord(nullptr, rec, columns));
  EXPECT_EQ(rec.fixedData, Cat({Le(-2, 2), {0x01}, Le(5, 4), Ascii("hi ")}));
}

TEST(CompressedDecode, OnlyRowAndIndexRecordsAreDecoded) {
  const std::vector<ColumnDescriptor> columns = {Column(typeCode::kInt, 4, 4, 0)};
  struct Case {
    int type;
    bool decoded;
  } cases[] = {{0, true}, {1, false}, {2, false}, {3, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    CPrimaryRecord rec = CPrimaryRecord::ParseAnchorRecord(
        CompressedRowBuilder().Type(c.type).Short({0x81}).Build(), 100);
    EXPECT_EQ(DecodeCompressedRecord(nullptr, rec, columns), c.decoded);
    EXPECT_EQ(rec.compressedDecoded, c.decoded);
  }
  CPrimaryRecord ordinary = ParseOnPage(testing::RowBuilder().Fixed({1, 0, 0, 0}).Build());
  EXPECT_FALSE(DecodeCompressedRecord(nullptr, ordinary, columns));
}

// ---------------------------------------------------------------------------
// Compression information of a page.

TEST(CompressionInfoBlock, AnchorValuesAndDictionary) {
  testing::PageCompression page;
  page.anchor = {Ascii("abc"), std::nullopt, Ascii("a value of twelve")};
  page.dictionary = {Ascii("k"), Ascii("0123456")};
  const ByteBuffer block = testing::CompressionInfoBlock(page);
  PageBuilder p;
  p.SetBytes(96, block);
  const CompressionInfo info = ReadCompressionInfo(ByteReader(p.bytes()));
  EXPECT_EQ(info.ciFlags, 0x06);
  EXPECT_EQ(info.ciSize, block.size());
  ASSERT_TRUE(info.anchorRecord);
  EXPECT_FALSE(info.anchorRecord->rejected);
  ASSERT_EQ(info.anchorValues.size(), 3u);
  EXPECT_EQ(info.anchorValues[0].bytes, Ascii("abc"));
  EXPECT_EQ(info.anchorValues[1].length, kAnchorNull);
  EXPECT_EQ(info.anchorValues[2].bytes, Ascii("a value of twelve"));
  ASSERT_EQ(info.dictionary.size(), 2u);
  EXPECT_EQ(info.dictionary[1].bytes, Ascii("0123456"));
  ASSERT_NE(info.Symbol(1), nullptr);
  EXPECT_EQ(info.Symbol(2), nullptr);
  EXPECT_EQ(info.AnchorBytes(1), nullptr);

  page.dictionary.clear();
  PageBuilder anchor_only;
  anchor_only.SetBytes(96, testing::CompressionInfoBlock(page));
  const CompressionInfo only = ReadCompressionInfo(ByteReader(anchor_only.bytes()));
  ASSERT_EQ(only.anchorValues.size(), 3u) << "the anchor record starts at 101";
  EXPECT_EQ(only.anchorValues[2].bytes, Ascii("a value of twelve"));
  EXPECT_TRUE(only.dictionary.empty());
  const CompressionInfo sql2000 = ReadCompressionInfo(ByteReader(anchor_only.bytes()), true);
  EXPECT_FALSE(sql2000.anchorRecord);
  EXPECT_TRUE(sql2000.anchorValues.empty());
}

TEST(CompressionInfoBlock, DamagedBlocks) {
  testing::PageCompression page;
  page.anchor = {Ascii("abc")};
  page.dictionary = {Ascii("k"), Ascii("12345678"), Ascii("xyz")};
  const ByteBuffer block = testing::CompressionInfoBlock(page);
  // The dictionary sits at block offset 7 + anchor size (01 01 04 'a' 'b'
  // 'c'); its entries end at 9, 17 and 20, and the block is 33 bytes.
  const size_t d = 96 + 7 + 6;
  using Entry = std::pair<int, bool>;  // claimed length, bytes taken
  struct Case {
    const char* name;
    size_t at;
    uint16_t value;
    size_t anchors;
    std::vector<Entry> entries;
  } cases[] = {
      {"intact", 0, 0, 1, {{1, true}, {8, true}, {3, true}}},
      {"size 0: no block", 96 + 5, 0, 0, {}},
      {"rejected anchor: no dictionary", 96 + 8, 0, 0, {}},
      {"dictionary offset 0", 96 + 3, 0, 1, {}},
      {"dictionary offset beyond the block", 96 + 3, 200, 1, {}},
      {"block size 4096", 96 + 5, 4096, 1, {}},
      {"an end above 4096 ends the list", d + 4, 4097, 1, {{1, true}}},
      {"an entry as long as the block gets no bytes",
       d + 4,
       49,
       1,
       {{1, true}, {40, false}, {-29, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageBuilder p;
    p.SetBytes(96, block);
    if (c.at) p.Set16(c.at, c.value);
    const CompressionInfo info = ReadCompressionInfo(ByteReader(p.bytes()));
    EXPECT_EQ(info.anchorValues.size(), c.anchors);
    std::vector<Entry> entries;
    for (const CompressedValue& e : info.dictionary) {
      if (e.HasBytes()) {
        EXPECT_EQ(e.bytes.size(), static_cast<size_t>(e.length));
      }
      entries.emplace_back(e.length, e.HasBytes());
    }
    EXPECT_EQ(entries, c.entries);
  }
}

// ---------------------------------------------------------------------------
// Whole tables: each stated once, written as ordinary records and as row-
// and page-compressed records; every compressed record must decode to the
// fields the table-row builders read from the ordinary one.

std::vector<ColumnSpec> EveryTypeColumns() {
  return {
      {typeCode::kInt},
      {typeCode::kBigInt},
      {typeCode::kSmallInt},
      {typeCode::kTinyInt},
      {typeCode::kBit},
      {typeCode::kBit},
      {typeCode::kMoney},
      {typeCode::kSmallMoney},
      {typeCode::kFloat},
      {typeCode::kReal},
      {typeCode::kDecimal, 9, 18, 2},
      {typeCode::kNumeric, 5, 9, 0},
      {typeCode::kDateTime},
      {typeCode::kSmallDateTime},
      {typeCode::kDate},
      {typeCode::kTime, 5, 0, 7},
      {typeCode::kDateTime2, 8, 0, 7},
      {typeCode::kDateTimeOffset, 10, 0, 7},
      {typeCode::kUniqueIdentifier},
      {typeCode::kChar, 10},
      {typeCode::kNChar, 20},
      {typeCode::kBinary, 6},
      {typeCode::kTimestamp},
      {typeCode::kVarChar, 50},
      {typeCode::kNVarChar, 100},
      {typeCode::kVarBinary, 50},
      {typeCode::kSqlVariant, 8016},
      {typeCode::kVarChar, -1},
      {typeCode::kNVarChar, -1},
      {typeCode::kText, 16},
      {typeCode::kXml, -1},
      {typeCode::kHierarchyId, 892},
      {typeCode::kBit},
  };
}

TableRow Row(int32_t key, int64_t big, int16_t small, uint8_t tiny, bool b1, bool b2, int64_t money,
             int32_t small_money, double f, float r, int64_t dec, int32_t num, int32_t days,
             int32_t ticks, std::string_view chars, std::u16string_view nchars,
             std::string_view text, std::u16string_view ntext, ByteBuffer binary) {
  const ByteBuffer guid = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                           0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, static_cast<uint8_t>(key)};
  const bool negative = dec < 0;
  return {
      Le(key, 4),
      Le(big, 8),
      Le(small, 2),
      ByteBuffer{tiny},
      ByteBuffer{b1},
      ByteBuffer{b2},
      Le(money, 8),
      Le(small_money, 4),
      Double(f),
      Single(r),
      Cat({{static_cast<uint8_t>(!negative)}, Le(negative ? -dec : dec, 8)}),
      Cat({{static_cast<uint8_t>(num >= 0)}, Le(num >= 0 ? num : -num, 4)}),
      Cat({Le(ticks, 4), Le(days, 4)}),
      Cat({Le(ticks % 1440, 2), Le(days & 0xFFFF, 2)}),
      Le(days + 693595, 3),
      Le(int64_t{ticks} * 33333, 5),
      Cat({Le(int64_t{ticks} * 33333, 5), Le(days + 693595, 3)}),
      Cat({Le(int64_t{ticks} * 33333, 5), Le(days + 693595, 3), Le(key % 2 ? -300 : 60, 2)}),
      guid,
      Ascii(chars, 10),
      Utf16(nchars, 20),
      binary,
      Le(int64_t{0x0000000000000700} | key, 8),
      Ascii(text),
      Utf16(ntext),
      binary,
      Cat({{56, 1}, Le(int64_t{key} * 7, 4)}),
      Cell::Complex(Cat({{0x02, 0, 0, 0, 0, 0, 0, 0}, Le(key, 8), Le(0x1234, 8)})),
      Utf16(ntext),
      Cell::Complex(Cat({Le(key, 8), Le(99, 8)})),
      Cat({{0xDF, 0xFF, 0x01, 0xB0, 0x04}, Ascii(text)}),
      ByteBuffer{0x58, static_cast<uint8_t>(key)},
      ByteBuffer{!b1},
  };
}

std::vector<TableRow> EveryTypeRows() {
  std::vector<TableRow> rows = {
      Row(1000, 5000000000, 300, 7, true, false, 123456, 50000, 1.0, 1.5f, 12345, 42, 45000, 900000,
          "abc", u"Öl fließt", "record", u"Москва", {0xDE, 0xAD}),
      Row(-7, -1, -300, 0, false, true, -10000, -1, -2.5, -0.0f, -99, -1, -1, 1, "", u"", "", u"",
          {}),
      Row(0, 0, 0, 255, true, true, 0, 0, 0.0, 0.0f, 0, 0, 0, 0, "          ", u"  ", "recover",
          u"リンゴ可愛いや", {0, 0, 0, 0, 0, 0}),
      Row(INT32_MIN, INT64_MIN, INT16_MIN, 1, false, false, INT64_MAX, INT32_MAX, 3.141592653589793,
          1e-30f, 999999999999999999, 999999999, 2958463, 25919999, "long chars", u"한국어 텍스트",
          "a value longer than eight bytes", u"\U0001F600 and text", {1, 2, 3, 4, 5, 6}),
      // The short values of the first row again, for the dictionary.
      Row(1000, 5000000000, 300, 7, true, false, 123456, 50000, 1.0, 1.5f, 12345, 42, 45000, 900000,
          "abc", u"Öl fließt", "record", u"Москва", {0xDE, 0xAD}),
  };
  TableRow nulls(rows[0].size());
  nulls[0] = Le(5, 4);
  rows.push_back(nulls);
  return rows;
}

TableRow EveryTypeAnchor() {
  return Row(1000, 5000000001, 301, 7, false, false, 123456, 40000, 1.0, 2.5f, 12345, 41, 45000,
             900001, "abx", u"Öl", "recovery", u"Мос", {0xDE, 0xAF});
}

// 31 columns, every third a bit column (eleven bits: two bytes of them).
std::vector<ColumnSpec> ThirtyOneColumns() {
  std::vector<ColumnSpec> specs;
  for (int i = 0; i < 31; ++i) specs.push_back({i % 3 == 0 ? typeCode::kBit : typeCode::kInt});
  return specs;
}

std::vector<TableRow> ThirtyOneColumnRows() {
  std::vector<TableRow> rows;
  for (int r = 0; r < 3; ++r) {
    TableRow row;
    for (int i = 0; i < 31; ++i) {
      if ((i + r) % 5 == 4) {
        row.emplace_back();
      } else if (i % 3 == 0) {
        row.emplace_back(ByteBuffer{static_cast<uint8_t>((i / 3 + r) % 2)});
      } else {
        row.emplace_back(Le((i - 15) * (r % 2 + 1) * 1000, 4));
      }
    }
    rows.push_back(row);
  }
  return rows;
}

void ExpectSameRecord(const CPrimaryRecord* decoded, const CPrimaryRecord* ordinary) {
  ASSERT_NE(decoded, nullptr);
  ASSERT_NE(ordinary, nullptr);
  EXPECT_FALSE(decoded->rejected);
  EXPECT_TRUE(decoded->compressedFormat);
  EXPECT_TRUE(decoded->compressedDecoded);
  EXPECT_FALSE(ordinary->compressedFormat);
  EXPECT_EQ(decoded->columnCount, ordinary->columnCount);
  EXPECT_EQ(decoded->fixedData, ordinary->fixedData);
  EXPECT_EQ(decoded->fixedLength, ordinary->fixedLength);
  EXPECT_EQ(decoded->nullBitmap, ordinary->nullBitmap);
  ASSERT_EQ(decoded->varColumns.size(), ordinary->varColumns.size());
  for (size_t i = 0; i < decoded->varColumns.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(decoded->varColumns[i].bytes, ordinary->varColumns[i].bytes);
    EXPECT_EQ(decoded->varColumns[i].length, ordinary->varColumns[i].length);
    EXPECT_EQ(decoded->varColumns[i].complex, ordinary->varColumns[i].complex);
  }
}

enum class Storage { kRow, kPage, kAnchorOnly };

TEST(CompressedTables, DecodeToTheOrdinaryRecords) {
  struct Table {
    const char* name;
    std::vector<ColumnSpec> specs;
    std::vector<TableRow> rows;
    TableRow anchor;
  };
  const Table tables[] = {
      {"every type", EveryTypeColumns(), EveryTypeRows(), EveryTypeAnchor()},
      {"31 columns", ThirtyOneColumns(), ThirtyOneColumnRows(), ThirtyOneColumnRows()[1]},
  };
  for (const Table& t : tables) {
    const std::vector<ColumnDescriptor> columns = testing::LayOutColumns(t.specs);
    const TableRecordContext context(columns);
    std::vector<ByteBuffer> ordinary;
    for (const TableRow& row : t.rows) ordinary.push_back(testing::OrdinaryRecord(columns, row));
    const PrimaryRecordPage plain(testing::RecordsPage(ordinary), nullptr, AllSlots{}, &context);

    for (Storage storage : {Storage::kRow, Storage::kPage, Storage::kAnchorOnly}) {
      SCOPED_TRACE(::testing::Message() << t.name << ", storage " << static_cast<int>(storage));
      testing::PageCompression page = testing::MakePageCompression(columns, t.anchor, t.rows);
      if (storage == Storage::kAnchorOnly) page.dictionary.clear();
      const testing::PageCompression* used = storage == Storage::kRow ? nullptr : &page;
      std::vector<ByteBuffer> compressed;
      for (const TableRow& row : t.rows)
        compressed.push_back(testing::CompressedRecord(columns, row, used));
      std::optional<ByteBuffer> block;
      if (used) block = testing::CompressionInfoBlock(page);
      const PrimaryRecordPage packed(testing::RecordsPage(compressed, block), nullptr, AllSlots{},
                                     &context);
      ASSERT_EQ(packed.recordCount(), plain.recordCount());
      EXPECT_EQ(packed.compressionInfo().anchorValues.empty(), !used);
      EXPECT_EQ(packed.compressionInfo().dictionary.size(), used ? page.dictionary.size() : 0u);
      std::set<int> codes;
      for (int i = 0; i < packed.recordCount(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameRecord(packed.record(i), plain.record(i));
        if (packed.record(i))
          codes.insert(packed.record(i)->cdCodes.begin(), packed.record(i)->cdCodes.end());
      }
      // The rows a user sees and the rows a script gets are those of the
      // uncompressed table.
      for (bool for_export : {false, true}) {
        SCOPED_TRACE(for_export ? "export rows" : "display rows");
        auto read = for_export ? ReadExportRows : ReadDisplayRows;
        const auto want = read(plain, columns, {});
        const auto got = read(packed, columns, {});
        ASSERT_EQ(got.size(), want.size());
        ASSERT_FALSE(want.empty());
        for (size_t r = 0; r < want.size(); ++r)
          for (size_t c = 0; c < want[r].size(); ++c) {
            EXPECT_EQ(got[r][c].value, want[r][c].value) << "row " << r << " column " << c;
            EXPECT_EQ(got[r][c].value_null, want[r][c].value_null) << "row " << r << " column " << c;
          }
      }
      // The forms did what they are here for.
      EXPECT_TRUE(codes.count(kCdNull) && codes.count(kCdEmpty));
      EXPECT_NE(codes.lower_bound(kCdShortFirst), codes.upper_bound(kCdShortLast));
      EXPECT_EQ(codes.count(kCdSymbol), storage == Storage::kPage ? 1u : 0u);
      if (t.specs.size() > 31) {
        EXPECT_TRUE(codes.count(kCdLong) && codes.count(kCdBitOne));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The page decodes its compressed records when it knows the table.

TEST(CompressedPages, DecodedWithTheTableOfTheContext) {
  const std::vector<ColumnDescriptor> columns =
      testing::LayOutColumns({{typeCode::kInt}, {typeCode::kVarChar, 20}});
  const ByteBuffer row = CompressedRowBuilder().Short({0x7F}).Short(Ascii("hi")).Build();
  const ByteBuffer page_bytes = testing::RecordsPage({row});
  const TableRecordContext table(columns);
  const TableRecordContext sql2000(columns, true);
  const RecordContext no_table;
  struct Case {
    const char* name;
    const RecordContext* context;
    bool decoded;
  } cases[] = {{"table", &table, true},
               {"no context", nullptr, false},
               {"context without a table", &no_table, false},
               {"SQL Server 2000 catalog", &sql2000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PrimaryRecordPage page(page_bytes, nullptr, AllSlots{}, c.context);
    ASSERT_NE(page.record(0), nullptr);
    EXPECT_TRUE(page.record(0)->compressedFormat);
    EXPECT_EQ(page.record(0)->compressedDecoded, c.decoded);
    if (c.decoded) {
      EXPECT_EQ(page.record(0)->fixedData, Le(-1, 4));
      ASSERT_EQ(page.record(0)->varColumns.size(), 1u);
      EXPECT_EQ(page.record(0)->varColumns[0].bytes, Ascii("hi"));
    }
  }
  // Both images of a modify-row description are decoded.
  // 01 02 32 | 7F | 'h' 'i': the int's short byte becomes 85 (5).
  ModifyRowImage change;
  change.slot = 0;
  change.offset = 3;
  change.replacement = {0x85};
  change.prior = {0x7F};
  const PrimaryRecordPage images(page_bytes, nullptr, change, &table);
  ASSERT_EQ(images.recordCount(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(images.record(i), nullptr);
    EXPECT_TRUE(images.record(i)->compressedDecoded);
  }
  EXPECT_EQ(images.record(0)->fixedData, Le(-1, 4));
  EXPECT_EQ(images.record(1)->fixedData, Le(5, 4));
}

}  // namespace
}  // namespace tarnwick
