#include "logreader/row_operations.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "logreader/statement.h"
#include "logreader/user_table_map.h"
#include "reader/collation_table.h"
#include "records/log_image.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/log_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::CatalogBuilder;
using testing::ColumnDef;
using testing::IndexColumnFields;
using testing::IndexFields;
using testing::LogBlockBuilder;
using testing::LogFileBuilder;
using testing::LogRecordBuilder;
using testing::ObjectFields;
using testing::OpenCatalog;
using testing::RowBuilder;
using testing::RowsetFields;
using testing::TableIds;

ByteBuffer Text(std::string_view s) { return ByteBuffer(s.begin(), s.end()); }

ByteBuffer Le(uint64_t value, size_t width) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, width);
  return b;
}

ByteBuffer Slice(const ByteBuffer& b, size_t from, size_t to) {
  return ByteBuffer(b.begin() + static_cast<ptrdiff_t>(from),
                    b.begin() + static_cast<ptrdiff_t>(to));
}

// A row-change record as the server lays it out: the fixed part, the field
// count at 62, the lengths at 64, field 0 right after them (on a multiple of
// 4 for the even field counts the server writes) and every later field on a
// multiple of 4 bytes from the record start.
ByteBuffer PaddedRecord(uint8_t operation, uint64_t rowset, uint32_t page, uint16_t slot,
                        const std::vector<ByteBuffer>& fields, uint16_t row_offset = 0) {
  ByteBuffer r = LogRecordBuilder(operation, 2).Rowset(rowset).Page(1, page, slot).Build();
  r.resize(64);
  PutUnsigned(r, 56, row_offset, 2);
  PutUnsigned(r, 62, fields.size(), 2);
  size_t at = 64 + 2 * fields.size();
  for (size_t k = 0; k < fields.size(); ++k) {
    PutUnsigned(r, 64 + 2 * k, fields[k].size(), 2);
    if (k > 0) at = (at + 3) / 4 * 4;
    r.resize(at + fields[k].size());
    std::copy(fields[k].begin(), fields[k].end(), r.begin() + static_cast<ptrdiff_t>(at));
    at += fields[k].size();
  }
  r.resize((r.size() + 3) / 4 * 4);
  return r;
}

// The fields of a modify-columns record: the (before, after) offset pairs,
// the before lengths, key and lock filler, then before/after per range.
struct Range {
  uint16_t before_offset;
  uint16_t after_offset;
  ByteBuffer before;
  ByteBuffer after;
};
std::vector<ByteBuffer> ModifyColumnsFields(const std::vector<Range>& ranges) {
  ByteBuffer pairs;
  ByteBuffer lengths;
  for (const Range& r : ranges) {
    PutUnsigned(pairs, pairs.size(), r.before_offset, 2);
    PutUnsigned(pairs, pairs.size(), r.after_offset, 2);
    PutUnsigned(lengths, lengths.size(), r.before.size(), 2);
  }
  std::vector<ByteBuffer> fields = {pairs, lengths, ByteBuffer(8, 0x16), ByteBuffer(26, 0x01)};
  for (const Range& r : ranges) {
    fields.push_back(r.before);
    fields.push_back(r.after);
  }
  return fields;
}

std::vector<ByteBuffer> First(const std::vector<ByteBuffer>& fields, size_t n) {
  return std::vector<ByteBuffer>(fields.begin(), fields.begin() + static_cast<ptrdiff_t>(n));
}

LogBlock BlockOf(const ByteBuffer& record) {
  LogBlockBuilder builder(1);
  builder.Add(record);
  std::optional<LogBlock> block = DecodeLogBlock(builder.Plain(), 0);
  EXPECT_TRUE(block.has_value());
  return block.value_or(LogBlock{});
}

// ------------------------------------------------------- user-table map

TEST(UserTableMap, RowsetPrecedence) {
  CatalogBuilder b;
  struct Case {
    int32_t id;
    const char* name;
    const char* type;
    std::vector<std::pair<uint64_t, int32_t>> rowsets;  // (rowset id, index id), list order
    std::vector<std::pair<int32_t, uint64_t>> indexes;  // (index id, rowset id)
    std::optional<uint64_t> mapped;                     // the id the table is mapped under
  } cases[] = {
      {3001, "Heap", "U ", {{0x100, 0}}, {}, 0x100},
      {3002, "Clustered", "U ", {{0x200, 1}}, {}, 0x200},
      {3003, "HeapAndNonclustered", "U ", {{0x301, 2}, {0x300, 0}}, {}, 0x300},
      {3004, "TwoClustered", "U ", {{0x400, 1}, {0x401, 1}}, {}, 0x401},
      {3005, "ClusteredBeforeHeap", "U ", {{0x501, 1}, {0x500, 0}}, {}, 0x500},
      {3006, "FromIndexes", "U ", {}, {{1, 0}, {2, 0x600}, {3, 0x601}}, 0x600},
      {3007, "OnlyNonclustered", "U ", {{0x700, 2}, {0x701, 3}}, {}, 0x701},
      {3008, "NoRowset", "U ", {}, {}, std::nullopt},
      {3009, "NoBlank", "U", {{0x900, 0}}, {}, std::nullopt},
      {3010, "SystemTable", "S ", {{0xA00, 0}}, {}, std::nullopt},
      {3011, "View", "V ", {{0xB00, 0}}, {}, std::nullopt},
      // Same rowset id as Heap, listed later: Heap keeps the entry.
      {3012, "SameIdAsHeap", "U ", {{0x100, 0}}, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    b.Add(ObjectFields{.id = c.id, .name = c.name, .type = c.type});
    for (auto [rowset, index] : c.rowsets)
      b.Add(RowsetFields{.rowset_id = rowset, .object_id = c.id, .index_id = index});
    for (auto [index, rowset] : c.indexes)
      b.Add(IndexFields{.object_id = c.id, .index_id = index, .name = "ix", .rowset_id = rowset});
  }
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const UserTableMap map = BuildUserTableMap(*open->metadata);
  size_t expected_entries = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.mapped) {
      for (const auto& [id, table] : map.tables) EXPECT_NE(table.objectId, c.id);
      continue;
    }
    ++expected_entries;
    const UserTable* table = map.Find(*c.mapped);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->objectId, c.id);
    EXPECT_EQ(table->name, c.name);
  }
  EXPECT_EQ(map.size(), expected_entries);
  EXPECT_EQ(map.Find(0), nullptr);
  EXPECT_EQ(UserTableRowsetId(*open->metadata, 3008), 0u) << "no rowset at all: id 0, not mapped";
}

// ------------------------------------------------- row-log field layout

TEST(RowImageRequest, ModifyRowFieldOneAlignment) {
  struct Case {
    const char* name;
    std::vector<ByteBuffer> fields;
    ByteBuffer prior;  // expected
  } cases[] = {
      {"field 0 of 6 bytes: field 1 8 bytes after its start",
       {ByteBuffer(6, 0xAA), Text("xyz")},
       Text("xyz")},
      {"field 0 of 8 bytes: 8 bytes after", {ByteBuffer(8, 0xAA), Text("xyz")}, Text("xyz")},
      {"field 0 of 5 bytes", {ByteBuffer(5, 0xAA), Text("q")}, Text("q")},
      {"field 0 of 1 byte: 4 bytes after", {ByteBuffer(1, 0xAA), Text("pq")}, Text("pq")},
      {"one field: no prior bytes", {ByteBuffer(3, 0xAA)}, {}},
      {"empty field 1", {ByteBuffer(2, 0xAA), {}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LogBlock block = BlockOf(PaddedRecord(kOpModifyRow, 0x77, 30, 3, c.fields, 21));
    const RowImageRequest r = ReadRowImageRequest(block, 0, 0x77);
    ASSERT_EQ(r.status, RowDecodeStatus::kDecoded);
    ASSERT_TRUE(r.modifyRow);
    EXPECT_EQ(r.modifyRow->replacement, c.fields[0]);
    EXPECT_EQ(r.modifyRow->prior, c.prior);
    EXPECT_EQ(r.modifyRow->offset, 21);
    EXPECT_EQ(r.modifyRow->slot, 3);
    EXPECT_EQ(r.page, (PageRef{1, 30, 0}));
  }
}

TEST(RowImageRequest, ModifyColumnsFieldCounts) {
  const std::vector<Range> two = {{13, 13, {0x16, 0}, {0x17, 0}}, {21, 21, {}, Text(" ")}};
  std::vector<ByteBuffer> two_fields = ModifyColumnsFields(two);
  struct Case {
    const char* name;
    std::vector<ByteBuffer> fields;
    RowDecodeStatus status;
    size_t ranges;
  } cases[] = {
      {"8-byte field 0: 2 ranges in 8 fields", two_fields, RowDecodeStatus::kDecoded, 2},
      {"2 ranges in 7 fields", First(two_fields, 7), RowDecodeStatus::kTooFewFields, 2},
      {"2 ranges in 6 fields", First(two_fields, 6), RowDecodeStatus::kTooFewFields, 2},
      {"1 range in 6 fields", ModifyColumnsFields({two[0]}), RowDecodeStatus::kDecoded, 1},
      {"3 ranges in 10 fields",
       ModifyColumnsFields({two[0], two[1], {30, 31, Text("ab"), Text("abc")}}),
       RowDecodeStatus::kDecoded, 3},
      {"a 2-byte field 0 holds no offset pair",
       {Le(13, 2), Le(1, 2), {}, {}, {1}, {2}},
       RowDecodeStatus::kFieldsMissing,
       1},
      {"no fields", {}, RowDecodeStatus::kFieldsMissing, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LogBlock block = BlockOf(PaddedRecord(kOpModifyColumns, 0x77, 30, 2, c.fields));
    const RowImageRequest r = ReadRowImageRequest(block, 0, 0x77);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(
        ReadModifyColumnsFields(block.reader(), block.offsets[0], block.EndBound(0)).rangeCount,
        c.ranges);
    if (c.status != RowDecodeStatus::kDecoded) {
      EXPECT_FALSE(r.modifyColumns);
      continue;
    }
    ASSERT_TRUE(r.modifyColumns);
    const ModifyColumnsImage& image = *r.modifyColumns;
    EXPECT_EQ(image.slot, 2);
    ASSERT_EQ(image.changes.size(), c.ranges);
    for (size_t j = 0; j < c.ranges; ++j) {
      // The values are read from padded fields: before of range j is field
      // 4 + 2j, after is field 5 + 2j.
      EXPECT_EQ(image.changes[j].before, c.fields[4 + 2 * j]);
      EXPECT_EQ(image.changes[j].after_length, c.fields[5 + 2 * j].size());
      EXPECT_EQ(image.changes[j].after_offset, ByteReader(c.fields[0]).U16(4 * j + 2));
      EXPECT_EQ(image.ranges[j].start, ByteReader(c.fields[0]).U16(4 * j));
    }
  }
}

TEST(RowImageRequest, DamageAndMismatch) {
  ByteBuffer insert = LogRecordBuilder::Insert(0x77, 1, RowBuilder().Fixed(Le(1, 4)).Build())
                          .Page(1, 30, 0)
                          .Build();
  ByteBuffer past_block = insert;
  PutUnsigned(past_block, 64, 0xF000, 2);  // field 0 far longer than the block
  ByteBuffer columns_past =
      PaddedRecord(kOpModifyColumns, 0x77, 30, 0, ModifyColumnsFields({{13, 13, {1}, {2}}}));
  PutUnsigned(columns_past, 64 + 2 * 5, 0x7000, 2);  // field 5 runs past the record
  struct Case {
    const char* name;
    ByteBuffer record;
    uint64_t rowset;
    int32_t index;
    RowDecodeStatus status;
  } cases[] = {
      {"the insert as logged", insert, 0x77, 0, RowDecodeStatus::kDecoded},
      {"another rowset id now", insert, 0x78, 0, RowDecodeStatus::kOtherRowset},
      {"record index past the offset array", insert, 0x77, 1, RowDecodeStatus::kNoRecord},
      {"negative record index", insert, 0x77, -1, RowDecodeStatus::kNoRecord},
      {"row field past the block", past_block, 0x77, 0, RowDecodeStatus::kFieldsMissing},
      {"value field past the record", columns_past, 0x77, 0, RowDecodeStatus::kFieldsMissing},
      {"operation code 5", LogRecordBuilder(5, 1).Rowset(0x77).Build(), 0x77, 0,
       RowDecodeStatus::kNotRowChange},
      {"delete without fields", LogRecordBuilder(3, 19).Rowset(0x77).Build(), 0x77, 0,
       RowDecodeStatus::kFieldsMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadRowImageRequest(BlockOf(c.record), c.index, c.rowset).status, c.status);
  }
}

// ------------------------------------------------------- column changes

TEST(ColumnChangesImage, RowBeforeTheChange) {
  // Rows of (Id int, Name varchar, Note varchar): the offset array is at
  // 13 with two variable columns; with one (a column added since), the
  // data start 2 bytes earlier.
  const ByteBuffer after =
      RowBuilder().Fixed(Le(5, 4)).Columns(3).Var(Text("Alpha")).Var(Text("x")).Build();
  const ByteBuffer before_added =
      RowBuilder().Fixed(Le(5, 4)).Columns(2).Var(Text("Alpha")).Build();
  const ByteBuffer blank =
      RowBuilder().Fixed(Le(4, 4)).Columns(3).Var(Text("Name 4")).Var({}).Build();
  const ByteBuffer no_blank =
      RowBuilder().Fixed(Le(4, 4)).Columns(3).Var(Text("Name4")).Var({}).Build();
  struct Case {
    const char* name;
    ByteBuffer page_row;
    std::vector<ColumnChange> changes;
    ByteBuffer image;
  } cases[] = {
      // The shape of a real rename: the offset array keeps its length, the
      // name loses the blank at 21.
      {"a range grows at its end",
       blank,
       {{13, 4, Slice(no_blank, 13, 17)}, {21, 1, {}}},
       no_blank},
      // The shape of a real column addition: range 0 (column count to the
      // offset array) is 7 bytes before and 9 after, so range 1 starts at 20
      // before and at 22 after the change.
      {"an earlier range changes length",
       after,
       {{8, 9, Slice(before_added, 8, 15)}, {22, 1, {}}},
       before_added},
      {"changes out of order leave the row", after, {{15, 2, {9}}, {8, 2, {9}}}, after},
      {"change past the row's end leaves it", after, {{40, 1, {9}}}, after},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // P runs to the end of a page: T bytes, the row at their start.
    ByteBuffer p = c.page_row;
    p.resize(32, 0xEE);
    ByteBuffer image = ColumnChangesImage(p, c.changes);
    ASSERT_EQ(image.size(), p.size());
    if (c.image == c.page_row) {
      EXPECT_EQ(image, p);
      continue;
    }
    EXPECT_EQ(Slice(image, 0, c.image.size()), c.image);
  }
}

// ------------------------------------------ operations on a data file

// Dept (Id int NOT NULL primary key, Name varchar(120), Note varchar(20)).
ByteBuffer DeptRow(int32_t id, std::optional<std::string> name, std::optional<std::string> note) {
  RowBuilder row;
  row.Fixed(Le(static_cast<uint32_t>(id), 4)).Columns(3);
  if (!name && !note)
    row.NullBits({1, 2});
  else if (!name)
    row.NullBits({1});
  else if (!note)
    row.NullBits({2});
  row.Var(name ? Text(*name) : ByteBuffer()).Var(note ? Text(*note) : ByteBuffer());
  return row.Build();
}

class OperationRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CatalogBuilder b;
    dept_ = b.Table("Dept", {{.name = "Id", .nullable = false},
                             {.name = "Name", .system_type = 167, .length = 120},
                             {.name = "Note", .system_type = 167, .length = 20}});
    b.Add(ObjectFields{.id = 9001, .name = "PK_Dept", .type = "PK", .parent = dept_.object_id});
    b.Add(IndexFields{.object_id = dept_.object_id,
                      .index_id = 1,
                      .name = "PK_Dept",
                      .status = 0x29,
                      .index_type = 1});
    b.Add(IndexColumnFields{.object_id = dept_.object_id, .index_id = 1, .column_id = 1});
    // The rows the data page holds now.
    page_ =
        b.Page(dept_.page_key, 1,
               {DeptRow(1, "Mech", std::nullopt), DeptRow(2, "CS1", "n"),
                RowBuilder().Fixed(Le(5, 4)).Columns(3).Var(Text("Alpha")).Var(Text("x")).Build(),
                DeptRow(4, "Name 4", "")});
    open_ = OpenCatalog(b.Build());
    ASSERT_TRUE(open_->metadata);
  }

  // Scans a log of these records (one block) and decodes every operation.
  std::vector<DecodedOperation> DecodeAll(const std::vector<ByteBuffer>& records,
                                          RowForm form = RowForm::kView) {
    LogFileBuilder builder;
    LogBlockBuilder& block = builder.Vlf(5).Block();
    for (const ByteBuffer& r : records) block.Add(r);
    const std::string path = builder.WriteTo(open_->dir.File("dept_log.ldf"));
    log_.Reset();
    EXPECT_TRUE(log_.Scan(path, BuildUserTableMap(*open_->metadata)));
    std::vector<DecodedOperation> decoded;
    for (const LogOperation& op : log_.operations().operations())
      decoded.push_back(DecodeOperationRows(op, log_, *open_->metadata, form));
    return decoded;
  }

  ByteBuffer Insert(const ByteBuffer& row, uint32_t page) {
    return LogRecordBuilder::Insert(dept_.rowset_id, 1, row).Page(1, page, 0).Build();
  }

  TableIds dept_;
  uint32_t page_ = 0;
  std::unique_ptr<testing::OpenedCatalog> open_;
  TransactionLog log_;
};

std::vector<std::vector<std::string>> Values(const std::vector<Row>& rows) {
  std::vector<std::vector<std::string>> out;
  for (const Row& row : rows) {
    std::vector<std::string>& cells = out.emplace_back();
    for (const ColumnDescriptor& c : row) cells.push_back(c.value);
  }
  return out;
}

TEST_F(OperationRowsTest, EachOperationKind) {
  const ByteBuffer added_before =
      RowBuilder().Fixed(Le(5, 4)).Columns(2).Var(Text("Alpha")).Build();
  const ByteBuffer added_after =
      RowBuilder().Fixed(Le(5, 4)).Columns(3).Var(Text("Alpha")).Var(Text("x")).Build();
  const ByteBuffer no_blank = DeptRow(4, "Name4", "");
  const ByteBuffer blank = DeptRow(4, "Name 4", "");
  const ByteBuffer long_row = DeptRow(8, std::string(102, 'w'), "e");
  ASSERT_EQ(long_row.size(), 120u);
  struct Case {
    const char* name;
    ByteBuffer record;
    RowDecodeStatus status;
    std::vector<std::vector<std::string>> rows;  // page order
    std::string statement;
  } cases[] = {
      {"insert",
       Insert(DeptRow(7, "CS", std::nullopt), page_),
       RowDecodeStatus::kDecoded,
       {{"7", "CS", "NULL"}},
       "insert into [Dept] values( 7,'CS',NULL)"},
      {"insert of a 120-byte row",
       Insert(long_row, page_),
       RowDecodeStatus::kDecoded,
       {{"8", std::string(102, 'w'), "e"}},
       "insert into [Dept] values( 8,'" + std::string(102, 'w') + "','e')"},
      {"delete",
       LogRecordBuilder::Delete(dept_.rowset_id, 1, DeptRow(3, std::nullopt, "gone"))
           .Page(1, page_, 1)
           .Build(),
       RowDecodeStatus::kDecoded,
       {{"3", "NULL", "gone"}},
       "Delete from [Dept] where Id= 3"},
      // Slot 1 holds Name "CS1" from record offset 17; the log keeps the
      // byte at 19 as it was before ("0") and after ("1").
      {"modify row",
       PaddedRecord(kOpModifyRow, dept_.rowset_id, page_, 1, {Text("0"), Text("1")}, 19),
       RowDecodeStatus::kDecoded,
       {{"2", "CS1", "n"}, {"2", "CS0", "n"}},
       "Update [Dept] SET Name = CS0 Where Id= 2"},
      {"modify columns: the name lost a blank",
       PaddedRecord(kOpModifyColumns, dept_.rowset_id, page_, 3,
                    ModifyColumnsFields({{13, 13, Slice(no_blank, 13, 17), Slice(blank, 13, 17)},
                                         {21, 21, {}, Text(" ")}})),
       RowDecodeStatus::kDecoded,
       {{"4", "Name 4", ""}, {"4", "Name4", ""}},
       "Update [Dept] SET Name = Name4 Where Id= 4"},
      // Before the change the row had two columns: Note is past its column
      // count and reads as empty text.
      {"modify columns: the row gained a column",
       PaddedRecord(
           kOpModifyColumns, dept_.rowset_id, page_, 2,
           ModifyColumnsFields({{8, 8, Slice(added_before, 8, 15), Slice(added_after, 8, 17)},
                                {20, 22, {}, Text("x")}})),
       RowDecodeStatus::kDecoded,
       {{"5", "Alpha", "x"}, {"5", "Alpha", ""}},
       "Update [Dept] SET Note =  Where Id= 5"},
      {"modify row on a slot the page does not have",
       PaddedRecord(kOpModifyRow, dept_.rowset_id, page_, 9, {Text("0"), Text("1")}, 19),
       RowDecodeStatus::kDecoded,
       {},
       ""},
      {"insert naming page 0", Insert(DeptRow(9, "x", "y"), 0), RowDecodeStatus::kNoPage, {}, ""},
      {"insert naming a page past the file",
       Insert(DeptRow(9, "x", "y"), 90000),
       RowDecodeStatus::kNoPage,
       {},
       ""},
      {"operation code 5",
       LogRecordBuilder(5, 1).Rowset(dept_.rowset_id).Build(),
       RowDecodeStatus::kNotRowChange,
       {},
       ""},
  };
  std::vector<ByteBuffer> records;
  for (const Case& c : cases) records.push_back(c.record);
  const std::vector<DecodedOperation> decoded = DecodeAll(records);
  ASSERT_EQ(decoded.size(), std::size(cases));
  for (size_t i = 0; i < decoded.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const LogOperation& op = log_.operations()[i];
    EXPECT_EQ(decoded[i].table.object.object_id, dept_.object_id);
    EXPECT_EQ(decoded[i].rows.status, c.status);
    EXPECT_EQ(Values(decoded[i].rows.rows), c.rows);
    const ShownOperation shown = RenderOperation(op.operation, log_.operations().TableName(op),
                                                 decoded[i].table.columns, decoded[i].rows.rows);
    EXPECT_EQ(shown.statement, c.statement);
    EXPECT_EQ(shown.values.columns, (std::vector<std::string>{"Id", "Name", "Note"}));
  }
}

TEST_F(OperationRowsTest, RecordChangedSinceTheScan) {
  const std::vector<DecodedOperation> decoded = DecodeAll({Insert(DeptRow(7, "CS", "n"), page_)});
  ASSERT_EQ(decoded.size(), 1u);
  ASSERT_EQ(decoded[0].rows.status, RowDecodeStatus::kDecoded);
  LogOperation moved = log_.operations()[0];
  moved.allocationUnitId += 1;
  EXPECT_EQ(DecodeOperationRows(moved, log_, *open_->metadata).rows.status,
            RowDecodeStatus::kOtherRowset);
  LogOperation elsewhere = log_.operations()[0];
  elsewhere.blockOffset += 1;  // the unused rest of the VLF
  EXPECT_EQ(DecodeOperationRows(elsewhere, log_, *open_->metadata).rows.status,
            RowDecodeStatus::kNoBlock);
  LogOperation no_vlf = log_.operations()[0];
  no_vlf.vlfSequence += 1000;  // not a VLF of the scan
  EXPECT_EQ(DecodeOperationRows(no_vlf, log_, *open_->metadata).rows.status,
            RowDecodeStatus::kNoBlock);
  LogOperation dropped = log_.operations()[0];
  dropped.objectId = 424242;
  EXPECT_EQ(DecodeOperationRows(dropped, log_, *open_->metadata).rows.status,
            RowDecodeStatus::kNoTable);
}

TEST_F(OperationRowsTest, RowForms) {
  // A row whose NOT NULL first column has its NULL bit set: the display
  // rows show NULL, the export rows drop a row whose first text is empty.
  const ByteBuffer row =
      RowBuilder().Fixed(Le(6, 4)).Columns(3).NullBits({0}).Var(Text("a")).Var(Text("b")).Build();
  struct Case {
    RowForm form;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {RowForm::kView, {{"NULL", "a", "b"}}},
      {RowForm::kExport, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.form));
    const std::vector<DecodedOperation> decoded = DecodeAll({Insert(row, page_)}, c.form);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(Values(decoded[0].rows.rows), c.rows);
  }
  const std::optional<LogBlock> block = log_.ReadOperationBlock(log_.operations()[0]);
  const OperationTable table = PrepareOperationTable(*open_->metadata, dept_.object_id);
  EXPECT_TRUE(table.rowsetColumns);
  EXPECT_TRUE(
      DecodeOperationExportRows(log_.operations()[0], block, table, *open_->db).rows.empty());
}

// ------------------------------------------------------------- corpus

// Real modify-columns records, checked against the rows they changed: from
// the row a data page holds now, undoing every later change to its slot
// must give back the bytes of the row as it was inserted.
TEST(RealModifyColumns, UndoingEveryChangeGivesTheInsertedRow) {
  TARNWICK_REQUIRE_CORPUS();
  size_t chains = 0;
  for (const testing::CorpusPair& pair : testing::CorpusPairs()) {
    SCOPED_TRACE(pair.name);
    RunState state;
    state.collations = LoadCollationTable();
    NullProgressSink sink;
    CDatabaseFile db(state, sink);
    ASSERT_TRUE(db.Open(pair.mdf));
    CMetadata metadata(db);
    TransactionLog log;
    ASSERT_TRUE(log.Scan(pair.ldf, BuildUserTableMap(metadata)));
    const OperationList& ops = log.operations();

    // Operations by the row address their records name, in log order.
    std::vector<RowImageRequest> requests;
    std::map<std::tuple<uint64_t, uint16_t, uint32_t, uint16_t>, std::vector<size_t>> by_slot;
    std::map<std::tuple<uint64_t, uint16_t, uint32_t>, std::vector<size_t>> by_page;
    for (size_t i = 0; i < ops.size(); ++i) {
      const std::optional<LogBlock> block = log.ReadOperationBlock(ops[i]);
      ASSERT_TRUE(block);
      requests.push_back(ReadRowImageRequest(*block, ops[i].recordIndex, ops[i].allocationUnitId));
      const LogRecordFields& f = requests.back().fields;
      by_slot[{ops[i].allocationUnitId, f.fileId, f.pageNumber, f.slot}].push_back(i);
      by_page[{ops[i].allocationUnitId, f.fileId, f.pageNumber}].push_back(i);
    }
    for (const auto& [address, list] : by_slot) {
      // A chain: an insert followed only by modify-columns changes, while
      // no row is inserted or removed at a slot up to this one (which would
      // move it).
      const size_t first = list.front();
      if (ops[first].operation != kOpInsertRow || list.size() < 2) continue;
      bool chain = true;
      for (size_t k = 1; k < list.size(); ++k) chain &= ops[list[k]].operation == kOpModifyColumns;
      const auto& [rowset, file_id, page_number, slot] = address;
      for (size_t other : by_page[{rowset, file_id, page_number}]) {
        const uint8_t code = ops[other].operation;
        if (other > first && requests[other].fields.slot <= slot &&
            (code == kOpInsertRow || code == kOpDeleteRow))
          chain = false;
      }
      if (!chain) continue;
      const std::optional<ByteBuffer> page = db.ReadPage(PageRef{file_id, page_number, 0});
      ASSERT_TRUE(page);
      const ByteReader p(*page);
      const uint16_t offset = p.U16(kPageSize - 2 - 2 * size_t{slot});
      ASSERT_GE(offset, kMinRecordOffset);
      ByteBuffer row = p.Copy(offset, kPageSize - offset);
      for (size_t k = list.size(); k-- > 1;) {
        const RowImageRequest& r = requests[list[k]];
        ASSERT_EQ(r.status, RowDecodeStatus::kDecoded);
        row = ModifyColumnsRecordImage(row, *r.modifyColumns);
      }
      const RowImageRequest& insert = requests[first];
      ASSERT_TRUE(insert.oneRecord);
      const size_t length = ByteReader(*insert.oneRecord).U16(kOneRecordLengthOffset);
      SCOPED_TRACE(::testing::Message() << "slot " << slot << " of page " << page_number);
      EXPECT_EQ(Slice(row, 0, length), Slice(*insert.oneRecord, 0, length));
      ++chains;
    }
  }
  std::printf("modify-columns chains back to their insert: %zu\n", chains);
  EXPECT_GE(chains, 1u) << "the corpus has inserts changed by modify-columns records";
}

}  // namespace
}  // namespace tarnwick
