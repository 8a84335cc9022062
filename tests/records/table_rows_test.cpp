#include "records/table_rows.h"

#include <gtest/gtest.h>

#include "platform/text_codec.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::PageBuilder;
using testing::RowBuilder;

ColumnDescriptor Col(int32_t id, const char* name, typeCode code, const char* type_text,
                     int16_t leaf, int32_t null_bit, bool nullable = true) {
  ColumnDescriptor c;
  c.column_id = id;
  c.ordinal = id;
  c.name = name;
  c.typeCode = code;
  c.type_text = type_text;
  c.leaf_offset = leaf;
  c.leaf_null_bit = null_bit;
  c.nullable = nullable;
  c.stored = true;
  return c;
}

ByteBuffer Le32(uint32_t v) {
  ByteBuffer b;
  PutUnsigned(b, 0, v, 4);
  return b;
}

ByteBuffer Utf16(const std::string& utf8) {
  std::string s = Utf8ToUtf16Le(utf8);
  return ByteBuffer(s.begin(), s.end());
}

ByteBuffer Concat(std::initializer_list<ByteBuffer> parts) {
  ByteBuffer out;
  for (const ByteBuffer& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::unique_ptr<PrimaryRecordPage> PageOf(const std::vector<ByteBuffer>& records) {
  PageBuilder p;
  p.Type(1).PageId(20);
  for (const ByteBuffer& r : records) p.AddRecord(r);
  return std::make_unique<PrimaryRecordPage>(p.bytes(), nullptr);
}

// id int NOT NULL, name nvarchar(40), amount int, data varbinary(10), a
// computed column.
std::vector<ColumnDescriptor> Table() {
  std::vector<ColumnDescriptor> t = {
      Col(1, "id", typeCode::kInt, "int(4)", 4, 1, false),
      Col(2, "name", typeCode::kNVarChar, "nvarchar(80)", -1, 2),
      Col(3, "amount", typeCode::kInt, "int(4)", 8, 3),
      Col(4, "data", typeCode::kVarBinary, "varbinary(10)", -2, 4),
      Col(5, "total", typeCode::kInt, "int(4)", 0, 0),
  };
  t[4].ordinal = kComputedMarker;
  t[4].value = "([amount]*(2))";
  return t;
}

std::vector<std::string> Values(const Row& row) {
  std::vector<std::string> v;
  for (const ColumnDescriptor& c : row) v.push_back(c.computed() ? "<computed>" : c.value);
  return v;
}

TEST(TableRows, DisplayAndExportOfTheSameRecords) {
  struct Case {
    const char* what;
    ByteBuffer record;
    std::vector<std::string> display;
    std::vector<std::string> exported;  // empty: the row is dropped
  };
  const ByteBuffer fixed = Concat({Le32(7), Le32(5)});
  std::vector<Case> cases = {
      {"plain values",
       RowBuilder().Fixed(fixed).Columns(5).Var(Utf16("Grüße \xF0\x9F\x98\x80")).Var({1, 2}).Build(),
       {"7", "Grüße \xF0\x9F\x98\x80", "5", "0x0102", "<computed>"},
       {"7", "Grüße \xF0\x9F\x98\x80", "5", "0x0102", "<computed>"}},
      {"NULL amount",
       RowBuilder().Fixed(fixed).Columns(5).NullBits({2}).Var(Utf16("x")).Var({9}).Build(),
       {"7", "x", "NULL", "0x09", "<computed>"},
       {"7", "x", "NULL", "0x09", "<computed>"}},
      {"empty string and empty binary are not NULL",
       RowBuilder().Fixed(fixed).Columns(5).Var({}).Var({}).Build(),
       {"7", "", "5", "0x", "<computed>"},
       {"7", "", "5", "0x", "<computed>"}},
      {"trailing empty values left out of the variable-column array are not NULL",
       RowBuilder().Fixed(fixed).Columns(5).Var(Utf16("x")).Build(),
       {"7", "x", "5", "", "<computed>"},
       {"7", "x", "5", "0x", "<computed>"}},
      {"a record without variable columns, none of them NULL",
       RowBuilder().Fixed(fixed).Columns(5).Build(),
       {"7", "", "5", "", "<computed>"},
       {"7", "", "5", "0x", "<computed>"}},
      {"a row written before two columns were added",
       RowBuilder().Fixed(fixed).Columns(2).Var(Utf16("old")).Build(),
       {"7", "old", "", "", "<computed>"},
       {"7", "old", "", "", "<computed>"}},
      {"NULL in the non-nullable first column drops the export row",
       RowBuilder().Fixed(fixed).Columns(5).NullBits({0}).Var(Utf16("y")).Var({1}).Build(),
       {"NULL", "y", "5", "0x01", "<computed>"},
       {}},
  };
  for (const Case& c : cases) {
    auto page = PageOf({c.record});
    RowReadContext ctx;
    auto display = ReadDisplayRows(*page, Table(), ctx);
    ASSERT_EQ(display.size(), 1u) << c.what;
    EXPECT_EQ(Values(display[0]), c.display) << c.what;
    auto exported = ReadExportRows(*page, Table(), ctx);
    if (c.exported.empty()) {
      EXPECT_TRUE(exported.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(exported.size(), 1u) << c.what;
    EXPECT_EQ(Values(exported[0]), c.exported) << c.what;
    EXPECT_EQ(exported[0][0].value_null, false);
  }
}

TEST(TableRows, NullFlagIsKeptApartFromTheText) {
  auto page = PageOf({RowBuilder()
                          .Fixed(Concat({Le32(1), Le32(2)}))
                          .Columns(5)
                          .NullBits({2})
                          .Var(Utf16("NULL"))
                          .Var({1})
                          .Build()});
  auto rows = ReadDisplayRows(*page, Table(), {});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].value, "NULL");
  EXPECT_FALSE(rows[0][1].value_null) << "a stored string 'NULL'";
  EXPECT_TRUE(rows[0][2].value_null);
}

TEST(TableRows, SkipsRecordsThatAreNotRows) {
  const ByteBuffer fixed = Concat({Le32(1), Le32(2)});
  auto page = PageOf({RowBuilder().Fixed(fixed).Columns(5).Var({}).Var({}).Build(),
                      RowBuilder().Type(6).Fixed(fixed).Columns(5).Build(),   // ghost
                      RowBuilder().Type(3).Fixed(fixed).Columns(5).Build(),   // index
                      RowBuilder().Fixed(Concat({Le32(3), Le32(4)})).Columns(5).Var({}).Var({}).Build()});
  auto rows = ReadDisplayRows(*page, Table(), {});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].value, "1");
  EXPECT_EQ(rows[1][0].value, "3");
}

TEST(TableRows, NineBitColumnsShareTwoBytesThroughTheCursor) {
  std::vector<ColumnDescriptor> bits;
  for (int i = 1; i <= 9; ++i) bits.push_back(Col(i, "b", typeCode::kBit, "bit(1)", 0, 0));
  bits.push_back(Col(10, "n", typeCode::kInt, "int(4)", 0, 0));
  ByteBuffer fixed = {0x05, 0x01};
  ByteBuffer n = Le32(42);
  fixed.insert(fixed.end(), n.begin(), n.end());
  auto page = PageOf({RowBuilder().Fixed(fixed).Columns(10).NoNullBitmap().Build()});
  auto rows = ReadDisplayRows(*page, bits, {});
  ASSERT_EQ(rows.size(), 1u);
  std::vector<std::string> expected = {"True",  "False", "True",  "False", "False",
                                       "False", "False", "False", "True",  "42"};
  EXPECT_EQ(Values(rows[0]), expected);
}

TEST(TableRows, ANullBitColumnStillTakesItsBit) {
  std::vector<ColumnDescriptor> bits = {Col(1, "a", typeCode::kBit, "bit(1)", 4, 1),
                                        Col(2, "b", typeCode::kBit, "bit(1)", 4, 2)};
  auto page = PageOf({RowBuilder().Fixed({0x02}).Columns(2).NullBits({0}).Build()});
  for (auto rows : {ReadDisplayRows(*page, bits, {}), ReadExportRows(*page, bits, {})}) {
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Values(rows[0]), (std::vector<std::string>{"NULL", "True"}));
  }
}

TEST(TableRows, UnstoredColumnsShowNullOnlyInTheDisplay) {
  auto table = Table();
  table[2].stored = false;
  auto page = PageOf({RowBuilder().Fixed(Concat({Le32(1), Le32(2)})).Columns(5).Var({}).Var({}).Build()});
  EXPECT_EQ(ReadDisplayRows(*page, table, {})[0][2].value, "NULL");
  EXPECT_EQ(ReadExportRows(*page, table, {})[0][2].value, "2");
}

TEST(TableRows, SparseColumnsComeFromTheVector) {
  std::vector<ColumnDescriptor> t = {Col(1, "id", typeCode::kInt, "int(4)", 4, 1, false),
                                     Col(2, "s1", typeCode::kInt, "int(4)", 0, 0),
                                     Col(3, "s2", typeCode::kInt, "int(4)", 0, 0)};
  t[1].sparse = t[2].sparse = true;
  ByteBuffer vector = testing::SparseVectorBytes({{2, Le32(99)}});
  auto page = PageOf({RowBuilder().Fixed(Le32(1)).Columns(3).Var(vector, true).Build()});
  auto rows = ReadDisplayRows(*page, t, {});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].value, "99");
  EXPECT_TRUE(rows[0][2].value_null) << "absent from the vector";
}

TEST(TableRows, ModifyRowImageGivesTwoRowsForOneSlot) {
  PageBuilder p;
  p.Type(1).PageId(20);
  p.AddRecord(RowBuilder().Fixed(Concat({Le32(7), Le32(5)})).Columns(5).Var({}).Var({}).Build());
  // The change writes 6 over the amount (record offset 8).
  ModifyRowImage change{Le32(6), Le32(5), 8, 0};
  PrimaryRecordPage page(p.bytes(), nullptr, change);
  auto rows = ReadDisplayRows(page, Table(), {});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][2].value, "5");
  EXPECT_EQ(rows[1][2].value, "6");
}

}  // namespace
}  // namespace tarnwick
