#include "records/record.h"

#include <gtest/gtest.h>

#include <string>

#include "reader/page_header.h"
#include "records/sparse_vector.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::PageBuilder;
using testing::RowBuilder;
using testing::SparseVectorBytes;

ByteBuffer Text(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }
std::string AsText(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

// A page header that lets records through.
CPage_Header DataPageHeader(uint8_t type = 1, int32_t page_id = 11) {
  PageBuilder p;
  p.Type(type).PageId(page_id).ObjectId(200);
  return CPage_Header(p.bytes());
}

CPrimaryRecord ParseOnPage(const ByteBuffer& row, const CPage_Header& header,
                           size_t limit = SIZE_MAX) {
  PageParseContext page;
  page.header = &header;
  return CPrimaryRecord::ParsePageRecord(row, static_cast<uint16_t>(std::min(limit, row.size())),
                                         page);
}

// 0: 30 00 08 00 | 4: 11 22 33 44 | 8: 03 00 | 10: bitmap | 11: 02 00 |
// 13: 14 00 16 00 | 17: "abc" | 20: "de"
ByteBuffer SampleRow() {
  return RowBuilder()
      .Fixed({0x11, 0x22, 0x33, 0x44})
      .Columns(3)
      .NullBits({1})
      .Var(Text("abc"))
      .Var(Text("de"))
      .Build();
}

TEST(OrdinaryRecord, ReadsEveryPart) {
  const ByteBuffer row = SampleRow();
  ASSERT_EQ(row.size(), 22u);
  const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 22);
  EXPECT_FALSE(rec.rejected);
  EXPECT_EQ(rec.recordType, 0);
  EXPECT_TRUE(rec.hasNullBitmap);
  EXPECT_TRUE(rec.hasVarColumns);
  EXPECT_FALSE(rec.isGhost);
  EXPECT_EQ(rec.fixedLength, 4);
  EXPECT_EQ(rec.fixedData, ByteBuffer({0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(rec.columnCount, 3);
  EXPECT_EQ(rec.nullBitmap, ByteBuffer({0x02}));
  EXPECT_EQ(rec.varColumnCount, 2);
  EXPECT_EQ(rec.varEndOffsets, std::vector<uint16_t>({20, 22}));
  EXPECT_EQ(rec.varDataStart, 17);
  ASSERT_EQ(rec.varColumns.size(), 2u);
  EXPECT_EQ(AsText(rec.varColumns[0].bytes), "abc");
  EXPECT_EQ(rec.varColumns[0].length, 3);
  EXPECT_EQ(rec.varColumns[0].columnId, -1);
  EXPECT_EQ(AsText(rec.varColumns[1].bytes), "de");
  EXPECT_EQ(rec.cursor, 22);
  EXPECT_EQ(rec.recordCopy, row);
  EXPECT_FALSE(rec.sparseVector);
}

TEST(OrdinaryRecord, KeepsNoPointerIntoItsInput) {
  ByteBuffer row = SampleRow();
  CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 22);
  std::fill(row.begin(), row.end(), 0xEE);
  row.clear();
  row.shrink_to_fit();
  EXPECT_EQ(rec.fixedData, ByteBuffer({0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(AsText(rec.varColumns[1].bytes), "de");
  EXPECT_EQ(rec.recordCopy[2], 8);
}

TEST(OrdinaryRecord, StatusBytes) {
  struct Case {
    int type;
    uint8_t extra;
    uint8_t status_b;
    bool ghost;
    bool version_tag;
    bool ghost_forwarded;
  } cases[] = {
      {0, 0x00, 0, false, false, false}, {1, 0x40, 0, false, true, false},
      {4, 0x00, 1, false, false, true},  {5, 0x00, 0, true, false, false},
      {6, 0x00, 2, true, false, false},  {7, 0x40, 1, true, true, true},
  };
  for (const Case& c : cases) {
    const ByteBuffer row =
        RowBuilder().Type(c.type).StatusBits(c.extra).StatusB(c.status_b).Fixed({1, 2}).Build();
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 64);
    SCOPED_TRACE(c.type);
    EXPECT_EQ(rec.recordType, c.type);
    EXPECT_EQ(rec.isGhost, c.ghost);
    EXPECT_EQ(rec.hasVersionTag, c.version_tag);
    EXPECT_EQ(rec.ghostForwarded, c.ghost_forwarded);
    EXPECT_FALSE(rec.hasVarColumns);
  }
}

TEST(OrdinaryRecord, NullBitmapPositions) {
  struct Case {
    uint16_t columns;
    std::initializer_list<int> null_bits;
  } cases[] = {{1, {0}}, {8, {7}}, {9, {8}}, {9, {0, 8}}, {17, {3, 16}}, {1023, {0, 511, 1022}}};
  for (const Case& c : cases) {
    const ByteBuffer row = RowBuilder().Fixed({7}).Columns(c.columns).NullBits(c.null_bits).Build();
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 8192);
    SCOPED_TRACE(c.columns);
    ASSERT_EQ(rec.nullBitmap.size(), (c.columns + 7u) / 8);
    EXPECT_EQ(rec.cursor, static_cast<int32_t>(7 + (c.columns + 7) / 8));
    for (int k = 0; k < c.columns; ++k) {
      const bool expected =
          std::find(c.null_bits.begin(), c.null_bits.end(), k) != c.null_bits.end();
      EXPECT_EQ(rec.NullBit(k), expected) << "bit " << k;
    }
    EXPECT_FALSE(rec.NullBit(-1));
    EXPECT_FALSE(rec.NullBit(static_cast<int>(rec.nullBitmap.size() * 8)));
  }
}

TEST(OrdinaryRecord, ColumnCountOutsideOneTo1023LeavesBitmapAndColumns) {
  for (uint16_t count : {0, 1024, 0x8000, 0xFFFF}) {
    ByteBuffer row = SampleRow();
    PutUnsigned(row, 8, count, 2);
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 22);
    SCOPED_TRACE(count);
    EXPECT_FALSE(rec.HasNullBitmapBytes());
    EXPECT_TRUE(rec.varColumns.empty());
    EXPECT_TRUE(rec.recordCopy.empty());
    EXPECT_EQ(rec.fixedData.size(), 4u) << "the fixed part is read before the count";
  }
}

TEST(OrdinaryRecord, NoFixedPartAndNoBitmapTakeVarCountFromColumnCount) {
  // 0: 20 00 04 00 | 4: 02 00 | 6: 0C 00 0D 00 | 10: "xy" "z"
  const ByteBuffer row =
      RowBuilder().NoNullBitmap().Columns(2).Var(Text("xy")).Var(Text("z")).Build();
  ASSERT_EQ(row.size(), 13u);
  const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 13);
  EXPECT_EQ(rec.fixedLength, 0);
  EXPECT_FALSE(rec.HasFixedData());
  EXPECT_EQ(rec.varColumnCount, 2);
  EXPECT_EQ(rec.varDataStart, 10);
  ASSERT_EQ(rec.varColumns.size(), 2u);
  EXPECT_EQ(AsText(rec.varColumns[0].bytes), "xy");
  EXPECT_EQ(AsText(rec.varColumns[1].bytes), "z");
  EXPECT_EQ(rec.cursor, 13);
}

TEST(OrdinaryRecord, FixedLengthLimits) {
  struct Case {
    uint16_t stored;  // u16 at byte 2
    bool fixed;
  } cases[] = {{4, false}, {5, true}, {8063, true}, {8064, false}, {3, false}, {0, false}};
  for (const Case& c : cases) {
    ByteBuffer row(8100, 0);
    row[0] = 0x10;
    PutUnsigned(row, 2, c.stored, 2);
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 8100);
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(rec.fixedLength, static_cast<int16_t>(c.stored - 4));
    EXPECT_EQ(rec.HasFixedData(), c.fixed);
    if (c.fixed) {
      EXPECT_EQ(rec.fixedData.size(), c.stored - 4u);
    }
  }
}

TEST(OrdinaryRecord, VariableColumnEndOffsets) {
  // Fixed part of 4, 4 columns, bitmap, 3 end offsets at 13..18, data
  // "abcdefgh" at 19..26; the record is 27 bytes long.
  struct Chunk {
    bool has_bytes;
    int32_t length;
    const char* text;
    bool complex;
  };
  struct Case {
    const char* name;
    std::vector<uint16_t> offsets;
    Chunk chunks[3];
    int32_t cursor;
  } cases[] = {
      {"empty value",
       {19, 22, 27},
       {{false, 0, "", false}, {true, 3, "abc", false}, {true, 5, "defgh", false}},
       27},
      {"end behind cursor",
       {22, 20, 27},
       {{true, 3, "abc", false}, {false, 0, "", false}, {true, 5, "defgh", false}},
       27},
      {"end past limit",
       {22, 40, 27},
       {{true, 3, "abc", false}, {false, 18, "", false}, {true, 5, "defgh", false}},
       27},
      {"end at 32767",
       {22, 0x7FFF, 27},
       {{true, 3, "abc", false}, {false, 32745, "", false}, {true, 5, "defgh", false}},
       27},
      {"complex bit",
       {22 | 0x8000, 0x8000 | 27, 27},
       {{true, 3, "abc", true}, {true, 5, "defgh", true}, {false, 0, "", false}},
       27},
      {"all past limit",
       {30, 31, 32},
       {{false, 11, "", false}, {false, 12, "", false}, {false, 13, "", false}},
       19},
  };
  for (const Case& c : cases) {
    const ByteBuffer row = RowBuilder()
                               .Fixed({1, 2, 3, 4})
                               .Columns(4)
                               .Var(Text("abcdefgh"))
                               .RawEndOffsets(c.offsets)
                               .Build();
    ASSERT_EQ(row.size(), 27u);
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 27);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rec.varDataStart, 19);
    ASSERT_EQ(rec.varColumns.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const ColumnChunk& chunk = rec.varColumns[i];
      EXPECT_EQ(chunk.HasBytes(), c.chunks[i].has_bytes) << i;
      EXPECT_EQ(chunk.length, c.chunks[i].length) << i;
      EXPECT_EQ(AsText(chunk.bytes), c.chunks[i].text) << i;
      EXPECT_EQ(chunk.complex, c.chunks[i].complex) << i;
      EXPECT_EQ(rec.varEndOffsets[i], c.offsets[i] & 0x7FFF) << i;
    }
    EXPECT_EQ(rec.cursor, c.cursor);
    EXPECT_EQ(rec.recordCopy, ByteBuffer(row.begin(), row.begin() + c.cursor));
  }
}

TEST(OrdinaryRecord, MoreVariableColumnsThanColumnsGivesNone) {
  const ByteBuffer row =
      RowBuilder().Fixed({1}).Columns(2).Var(Text("a")).Var(Text("b")).Var(Text("c")).Build();
  const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 64);
  EXPECT_EQ(rec.varColumnCount, 0);
  EXPECT_TRUE(rec.varColumns.empty());
  EXPECT_EQ(rec.cursor, 0);
  EXPECT_TRUE(rec.recordCopy.empty());
}

TEST(OrdinaryRecord, OnlyNonTextPointerComplexColumnsAreInspectedForSparseVectors) {
  // A vector of one column (id 9) whose value has `value` bytes: 8 + value.
  auto vector = [](size_t value) { return SparseVectorBytes({{9, ByteBuffer(value, 0x5A)}}); };
  ByteBuffer tag4 = vector(9);
  tag4[0] = 4;
  struct Case {
    const char* name;
    ByteBuffer bytes;
    bool complex;
    bool sparse;
  } cases[] = {
      {"16-byte complex, tag 5", vector(8), true, false},
      {"17-byte complex, tag 5", vector(9), true, true},
      {"15-byte complex, tag 5", vector(7), true, true},
      {"17 bytes not complex", vector(9), false, false},
      {"17-byte complex, tag 4", tag4, true, false},
  };
  for (const Case& c : cases) {
    const ByteBuffer row = RowBuilder().Fixed({1}).Columns(2).Var(c.bytes, c.complex).Build();
    const CPrimaryRecord rec = CPrimaryRecord::ParseOrdinaryRecord(row, 200);
    SCOPED_TRACE(c.name);
    ASSERT_EQ(rec.varColumns.size(), 1u);
    EXPECT_EQ(rec.varColumns[0].bytes, c.bytes);
    ASSERT_EQ(rec.sparseVector.has_value(), c.sparse);
    if (c.sparse) {
      ASSERT_EQ(rec.sparseVector->columns.size(), 1u);
      EXPECT_EQ(rec.sparseVector->columns[0].columnId, 9);
      EXPECT_EQ(rec.sparseVector->columns[0].bytes.size(), c.bytes.size() - 8);
    }
  }
}

TEST(SparseVector, Bounds) {
  auto with_n = [](uint16_t n, size_t size) {
    ByteBuffer v(size, 0);
    PutUnsigned(v, 0, 5, 2);
    PutUnsigned(v, 2, n, 2);
    return v;
  };
  ByteBuffer end_past = SparseVectorBytes({{3, Text("ab")}, {4, Text("cd")}});
  PutUnsigned(end_past, 10, end_past.size() + 1, 2);  // end offset of the second value
  ByteBuffer end_back = SparseVectorBytes({{3, Text("ab")}, {4, Text("cd")}});
  PutUnsigned(end_back, 10, 13, 2);  // before the first value's end (14)
  struct Case {
    const char* name;
    ByteBuffer bytes;
    bool used;
    std::vector<int> ids;
    std::vector<std::string> values;  // "" = no bytes
  } cases[] = {
      {"two columns",
       SparseVectorBytes({{7, Text("ab")}, {9, Text("cde")}}),
       true,
       {7, 9},
       {"ab", "cde"}},
      {"header only", with_n(0, 4), false, {}, {}},
      {"no column, one byte more", with_n(0, 5), true, {}, {}},
      {"ids reach the end", with_n(3, 10), false, {}, {}},
      {"4 + 4N = 8188", with_n(2046, 8200), true, std::vector<int>(2046, 0),
       std::vector<std::string>(2046, "")},
      {"4 + 4N = 8192", with_n(2047, 8200), false, {}, {}},
      {"end past the vector", end_past, true, {3, 4}, {"ab", ""}},
      {"end before start", end_back, true, {3, 4}, {"ab", ""}},
      {"value of 8060 bytes",
       SparseVectorBytes({{1, ByteBuffer(8060, 'v')}}),
       true,
       {1},
       {std::string(8060, 'v')}},
      {"value of 8061 bytes", SparseVectorBytes({{1, ByteBuffer(8061, 'v')}}), true, {1}, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<SparseVector> sv = ParseSparseVector(c.bytes);
    ASSERT_EQ(sv.has_value(), c.used);
    if (!sv) continue;
    EXPECT_EQ(sv->count, static_cast<int16_t>(c.ids.size()));
    ASSERT_EQ(sv->columns.size(), c.ids.size());
    for (size_t i = 0; i < c.ids.size(); ++i) {
      EXPECT_EQ(sv->columns[i].columnId, c.ids[i]);
      EXPECT_EQ(AsText(sv->columns[i].bytes), c.values[i]);
    }
  }
}

TEST(PageRecord, AcceptsTypesZeroToTwoOnly) {
  const CPage_Header header = DataPageHeader();
  for (int type = 0; type < 8; ++type) {
    const ByteBuffer row = RowBuilder().Type(type).Fixed({1, 2, 3}).Columns(1).Build();
    const CPrimaryRecord rec = ParseOnPage(row, header);
    SCOPED_TRACE(type);
    EXPECT_EQ(rec.rejected, type > 2);
    EXPECT_EQ(rec.isGhost, type >= 5);
    // Types 0 and 1 are rows; a stub that cannot be followed has no fixed part.
    EXPECT_EQ(rec.HasFixedData(), type < 2);
    if (type == 2) {
      EXPECT_EQ(rec.fixedLength, kUnreadableForwardTarget);
    }
  }
}

TEST(PageRecord, NothingIsDecodedFromAnInvalidPage) {
  struct Case {
    uint8_t page_type;
    int32_t page_id;
    bool rejected;
  } cases[] = {{1, 11, false},  {17, 11, false}, {18, 11, true},
               {255, 11, true}, {1, -1, true},   {1, 0, false}};
  const ByteBuffer row = SampleRow();
  for (const Case& c : cases) {
    const CPage_Header header = DataPageHeader(c.page_type, c.page_id);
    const CPrimaryRecord rec = ParseOnPage(row, header);
    SCOPED_TRACE(::testing::Message() << int{c.page_type} << "/" << c.page_id);
    EXPECT_EQ(rec.rejected, c.rejected);
    EXPECT_EQ(rec.HasFixedData(), !c.rejected);
    EXPECT_EQ(rec.varColumns.size(), c.rejected ? 0u : 2u);
  }
  PageParseContext no_header;
  EXPECT_TRUE(CPrimaryRecord::ParsePageRecord(row, 22, no_header).rejected);
}

TEST(CompressedRecord, StatusBitZeroSelectsTheCompressedFormat) {
  const CPage_Header header = DataPageHeader();
  // 01 | 2 columns | codes 3 and 2 | short data 11 22, 33.
  const ByteBuffer row = {0x01, 0x02, 0x23, 0x11, 0x22, 0x33};
  struct Case {
    const char* name;
    CPrimaryRecord rec;
    bool compressed;
  } cases[] = {
      {"page record", ParseOnPage(row, header), true},
      {"anchor", CPrimaryRecord::ParseAnchorRecord(row, 6), true},
      {"ordinary", CPrimaryRecord::ParseOrdinaryRecord(row, 6), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.rec.compressedFormat, c.compressed);
    EXPECT_FALSE(c.rec.compressedDecoded);
    if (c.compressed) {
      EXPECT_FALSE(c.rec.rejected);
      EXPECT_EQ(c.rec.columnCount, 2);
      EXPECT_EQ(c.rec.cdCodes, std::vector<int>({3, 2}));
      EXPECT_EQ(c.rec.fixedData, ByteBuffer({0x11, 0x22, 0x33}));
      EXPECT_EQ(c.rec.compressedBytes, row);
      EXPECT_TRUE(c.rec.recordCopy.empty());
    } else {
      EXPECT_TRUE(c.rec.compressedBytes.empty());
      EXPECT_TRUE(c.rec.cdCodes.empty());
    }
  }
  const ByteBuffer ghost = {0x0D, 0x01, 0x02, 0x11};
  const CPrimaryRecord rejected = ParseOnPage(ghost, header);
  EXPECT_TRUE(rejected.rejected) << "the type is checked before the format";
  EXPECT_TRUE(rejected.compressedBytes.empty());
}

// True when nothing of the record is missing: every part its status bits
// announce was read and every variable column has its bytes.
bool LooksComplete(const CPrimaryRecord& rec) {
  if (rec.rejected || !rec.HasFixedData() || rec.recordCopy.empty()) return false;
  if (rec.hasNullBitmap && !rec.HasNullBitmapBytes()) return false;
  if (static_cast<int>(rec.varColumns.size()) != rec.varColumnCount) return false;
  for (const ColumnChunk& c : rec.varColumns)
    if (!c.HasBytes()) return false;
  return true;
}

TEST(Truncation, EveryLengthOfASampleRecord) {
  const ByteBuffer vector = SparseVectorBytes({{12, Text("sparse!")}});
  const ByteBuffer row = RowBuilder()
                             .Fixed({9, 8, 7, 6, 5, 4})
                             .Columns(12)
                             .NullBits({2, 9})
                             .Var(Text("first"))
                             .Var(vector, true)
                             .Var(Text("z"))
                             .Build();
  const CPage_Header header = DataPageHeader();
  const CPrimaryRecord full =
      CPrimaryRecord::ParseOrdinaryRecord(row, static_cast<uint16_t>(row.size()));
  ASSERT_TRUE(LooksComplete(full));
  ASSERT_TRUE(full.sparseVector);

  for (size_t length = 0; length <= row.size() + 3; ++length) {
    const ByteBuffer cut(row.begin(), row.begin() + std::min(length, row.size()));
    for (bool page_form : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "length " << length << (page_form ? " page" : ""));
      const CPrimaryRecord rec =
          page_form ? ParseOnPage(cut, header, length)
                    : CPrimaryRecord::ParseOrdinaryRecord(cut, static_cast<uint16_t>(length));
      if (length >= row.size()) {
        ASSERT_TRUE(LooksComplete(rec));
        EXPECT_EQ(rec.recordCopy, full.recordCopy);
        EXPECT_EQ(rec.varColumns.size(), full.varColumns.size());
        EXPECT_TRUE(rec.sparseVector);
        continue;
      }
      EXPECT_FALSE(LooksComplete(rec));
      EXPECT_LE(rec.recordCopy.size(), length);
      EXPECT_TRUE(std::equal(rec.recordCopy.begin(), rec.recordCopy.end(), row.begin()));
      if (rec.HasFixedData()) {
        EXPECT_EQ(rec.fixedData, full.fixedData);
      }
      if (rec.HasNullBitmapBytes()) {
        EXPECT_EQ(rec.nullBitmap, full.nullBitmap);
      }
      for (size_t i = 0; i < rec.varColumns.size(); ++i)
        if (rec.varColumns[i].HasBytes()) {
          EXPECT_EQ(rec.varColumns[i].bytes, full.varColumns[i].bytes);
        }
      // The ordinary form stops without the whole fixed part.
      if (!page_form && length < 4 + 6) {
        EXPECT_EQ(rec.columnCount, 0);
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
