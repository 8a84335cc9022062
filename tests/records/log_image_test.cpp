#include "records/log_image.h"

#include <gtest/gtest.h>

#include <numeric>

#include "records/record_page.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::PageBuilder;
using testing::RowBuilder;

ByteBuffer Text(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }
std::string AsText(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

TEST(ModifyRowImage, Bytes) {
  // P = "ABCDEFGH" (T = 8).
  struct Case {
    const char* name;
    const char* replacement;
    const char* prior;
    uint16_t offset;
    const char* image;
  } cases[] = {
      {"same length, in place", "xy", "CD", 2, "ABxyEFGH"},
      {"grows: tail moves up", "xyz", "C", 2, "ABxyzDEF"},
      {"grows at the start", "0123", "AB", 0, "0123CDEF"},
      {"no prior bytes: in place", "xyz", "", 2, "ABxyzFGH"},
      {"shrinks: tail moves back", "x", "CDE", 2, "ABxFGH"},
      {"shrinks at the end", "x", "GH", 6, "ABCDEFx"},
      {"shrink running past T: in place", "x", "GHIJ", 6, "ABCDEFxH"},
      {"ends at T: unchanged", "xy", "", 6, "ABCDEFGH"},
      {"offset at T: unchanged", "x", "", 8, "ABCDEFGH"},
      {"as long as T: unchanged", "12345678", "", 0, "ABCDEFGH"},
      {"grows past T", "wxyz", "G", 6, "ABCDEFwx"},
      {"grows from beyond T", "wxyz", "G", 40, "ABCDEFGH"},
  };
  const ByteBuffer record = Text("ABCDEFGH");
  for (const Case& c : cases) {
    ModifyRowImage change;
    change.replacement = Text(c.replacement);
    change.prior = Text(c.prior);
    change.offset = c.offset;
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AsText(ModifyRowRecordImage(record, change)), c.image);
  }
}

// P[i] = i, T = 16; the value stream D[i] = 0xD0 + i.
ByteBuffer Counting(size_t n, uint8_t base) {
  ByteBuffer b(n);
  std::iota(b.begin(), b.end(), base);
  return b;
}

TEST(ModifyColumnsImage, Bytes) {
  constexpr uint8_t D0 = 0xD0, D1 = 0xD1, D8 = 0xD8, D9 = 0xD9, DA = 0xDA;
  struct Case {
    const char* name;
    std::vector<ColumnRange> ranges;
    std::vector<uint16_t> lengths;
    ByteBuffer image;
  } cases[] = {
      // d = 2, g = 0: D[0,3) at 4, then T - (4 + 2 + 3) = 7 bytes of P from
      // e + n = 9 at 7.
      {"one range", {{4, 6}}, {3}, {0, 1, 2, 3, D0, D1, 0xD2, 9, 10, 11, 12, 13, 14, 15, 14, 15}},
      // d = 0, g = 0: D[0,2) at 4, then T - 6 = 10 bytes of P from 6 at 6.
      {"one empty range", {{4, 4}}, {2}, {0, 1, 2, 3, D0, D1, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      // Range 0: d = 2, g = 12 - 2 = 10: D[0] at 2, then g - d = 8 bytes of P
      // from s + e = 6 at 3. D advances by 2 x (1 + 3) = 8. Range 1: d = 2:
      // D[8,11) at 10, then 16 - 15 = 1 byte of P from n + e - d = 13 at 13.
      {"two ranges",
       {{2, 4}, {10, 12}},
       {1, 3},
       {0, 1, D0, 6, 7, 8, 9, 10, 11, 12, D8, D9, DA, 13, 14, 15}},
      // A third range changes nothing.
      {"three ranges",
       {{2, 4}, {10, 12}, {14, 15}},
       {1, 3, 1},
       {0, 1, D0, 6, 7, 8, 9, 10, 11, 12, D8, D9, DA, 13, 14, 15}},
      // n = 16 is not below T: range 0 is skipped and D does not advance
      // (2 x 17 is not below T). Range 1, d = 2: D[0] at 10, then
      // 16 - 13 = 3 bytes of P from 1 + 12 - 2 = 11 at 11.
      {"first range too long",
       {{2, 4}, {10, 12}},
       {16, 1},
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, D0, 11, 12, 13, 14, 15}},
      {"range far beyond T", {{0xFFF0, 1}}, {2}, Counting(16, 0)},
      // s + n = 16 is not below T.
      {"range ending at T", {{12, 13}}, {4}, Counting(16, 0)},
      {"no new length", {{2, 4}}, {}, Counting(16, 0)},
      {"no ranges", {}, {}, Counting(16, 0)},
  };
  const ByteBuffer record = Counting(16, 0);
  for (const Case& c : cases) {
    ModifyColumnsImage change;
    change.ranges = c.ranges;
    change.new_lengths = c.lengths;
    change.values = Counting(12, 0xD0);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ModifyColumnsRecordImage(record, change), c.image);
  }
}

TEST(ModifyColumnsImage, ShortValueStreamAndHugeEndsStayInBounds) {
  // Range 0 (d = 0, g = 0 since e(1) - s is not below T) gets the one value
  // byte there is; D then advances by 2 x (5 + 3) = 16, which is not below T,
  // so range 1 gets the same byte. d of range 1 is 65532, so nothing moves.
  ModifyColumnsImage change;
  change.ranges = {{2, 2}, {3, 0xFFFF}};
  change.new_lengths = {5, 5};
  change.values = {0xEE};
  ByteBuffer expected = Counting(16, 0);
  expected[2] = expected[3] = 0xEE;
  EXPECT_EQ(ModifyColumnsRecordImage(Counting(16, 0), change), expected);
}

// A page with two rows; slot 1 is the one that changes.
PageBuilder TwoRows() {
  PageBuilder p;
  p.Type(1).ObjectId(200).PageId(11);
  p.AddRecord(RowBuilder().Fixed({1, 1, 1, 1}).Columns(2).Var(Text("aa")).Build());
  p.AddRecord(RowBuilder().Fixed({1, 2, 3, 4}).Columns(2).Var(Text("word")).Build());
  return p;
}

TEST(ModifyRowPage, TwoImagesOfTheSlot) {
  // The row's fixed part starts at record offset 4; its variable column
  // data at 15.
  struct Case {
    const char* name;
    ByteBuffer replacement;
    ByteBuffer prior;
    uint16_t offset;
    ByteBuffer fixed;
    const char* var_text;
  } cases[] = {
      {"in place", {9, 9}, {2, 3}, 5, {1, 9, 9, 4}, "word"},
      {"growth", Text("WORDS"), Text("word"), 15, {1, 2, 3, 4}, "WORD"},
  };
  const PageBuilder p = TwoRows();
  for (const Case& c : cases) {
    ModifyRowImage change;
    change.replacement = c.replacement;
    change.prior = c.prior;
    change.offset = c.offset;
    change.slot = 1;
    const PrimaryRecordPage page(p.bytes(), nullptr, change);
    SCOPED_TRACE(c.name);
    ASSERT_EQ(page.recordCount(), 2);
    ASSERT_NE(page.record(0), nullptr);
    ASSERT_NE(page.record(1), nullptr);
    EXPECT_EQ(page.record(0)->fixedData, ByteBuffer({1, 2, 3, 4}));
    EXPECT_EQ(AsText(page.record(0)->varColumns.at(0).bytes), "word");
    EXPECT_EQ(page.record(1)->fixedData, c.fixed);
    EXPECT_EQ(AsText(page.record(1)->varColumns.at(0).bytes), c.var_text);
    EXPECT_EQ(page.bytes().subspan(0, kPageSize).size(), kPageSize);
    EXPECT_TRUE(std::equal(page.bytes().begin(), page.bytes().end(), p.bytes().begin()))
        << "the page image is left as read";
  }
}

TEST(LogImagePage, SlotsWithoutImages) {
  PageBuilder p = TwoRows();
  p.SetSlot(0, 40);
  ModifyRowImage row_change;
  ModifyColumnsImage columns_change;
  struct Case {
    int slot;
    int entries;
    bool records;
  } cases[] = {{0, 2, false}, {1, 2, true}, {2, 0, false}, {-1, 0, false}};
  for (const Case& c : cases) {
    row_change.slot = columns_change.slot = c.slot;
    for (const RecordSource& source : {RecordSource(row_change), RecordSource(columns_change)}) {
      const PrimaryRecordPage page(p.bytes(), nullptr, source);
      SCOPED_TRACE(::testing::Message() << "slot " << c.slot << " form " << source.index());
      ASSERT_EQ(page.recordCount(), c.entries);
      for (int i = 0; i < c.entries; ++i) EXPECT_EQ(page.record(i) != nullptr, c.records);
    }
  }
}

TEST(ModifyColumnsPage, PatchedImageOfTheSlot) {
  // Slot 1: 30 00 08 00 | 01 02 03 04 | 02 00 | 00 | 01 00 | 13 00 | "word".
  // Range (5, 7) with n = 2 (d = 2, g = 0): D[0,2) at 5, then the rest of
  // the row from e + n = 9 at 7.
  ModifyColumnsImage change;
  change.ranges = {{5, 7}};
  change.new_lengths = {2};
  change.values = {0x77, 0x88};
  change.slot = 1;
  const PrimaryRecordPage page(TwoRows().bytes(), nullptr, change);
  ASSERT_EQ(page.recordCount(), 2);
  EXPECT_EQ(page.record(0)->fixedData, ByteBuffer({1, 2, 3, 4}));
  EXPECT_EQ(AsText(page.record(0)->varColumns.at(0).bytes), "word");
  const CPrimaryRecord* image = page.record(1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->fixedData, ByteBuffer({1, 0x77, 0x88, 0x00}));
  const ByteBuffer head = {0x30, 0, 8, 0, 1, 0x77, 0x88, 0, 0, 1, 0, 0x13, 0, 'w'};
  ASSERT_GE(image->recordCopy.size(), head.size());
  EXPECT_TRUE(std::equal(head.begin(), head.end(), image->recordCopy.begin()));
}

}  // namespace
}  // namespace tarnwick
