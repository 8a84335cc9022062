// Script files built from builder-made databases, compared byte for byte
// with the files under tests/export/golden/. Those files were written out by
// hand from the text rules (FF FE, then UTF-16LE), not produced by this code.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "export/database_script.h"
#include "export/insert_script.h"
#include "export/script_file.h"
#include "export/table_script.h"
#include "logreader/log_record.h"
#include "platform/text_codec.h"
#include "records/record_page.h"
#include "records/table_rows.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::CatalogBuilder;
using testing::ColumnDef;
using testing::IndexColumnFields;
using testing::IndexFields;
using testing::ObjectFields;
using testing::ObjectValueFields;
using testing::OpenCatalog;
using testing::PageBuilder;
using testing::ReadFileBytes;
using testing::RowBuilder;
using testing::ScalarTypeFields;
using testing::TempDir;
using testing::Utf16;

std::string GoldenPath(const std::string& name) {
  return std::string(TARNWICK_SOURCE_DIR) + "/tests/export/golden/" + name;
}

// The written file equals the golden file; a difference is shown as text.
void ExpectGolden(const std::string& written, const std::string& golden) {
  const ByteBuffer actual = ReadFileBytes(written);
  const ByteBuffer expected = ReadFileBytes(GoldenPath(golden));
  ASSERT_FALSE(expected.empty()) << golden;
  if (actual == expected) return;
  auto text = [](const ByteBuffer& bytes) {
    return bytes.size() < 2 ? std::string() : Utf16LeToUtf8(Bytes(bytes).subspan(2));
  };
  ADD_FAILURE() << golden << " differs\n--- written:\n"
                << text(actual) << "\n--- golden:\n"
                << text(expected);
}

ByteBuffer Le(uint64_t value, size_t width) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, width);
  return b;
}

ByteBuffer Concat(std::initializer_list<ByteBuffer> parts) {
  ByteBuffer out;
  for (const ByteBuffer& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

ByteBuffer Ansi(const std::string& text) { return ByteBuffer(text.begin(), text.end()); }

// The export rows of the records, on one data page, read with `columns`.
std::vector<Row> ExportRows(const std::vector<ByteBuffer>& records,
                            const std::vector<ColumnDescriptor>& columns) {
  PageBuilder page;
  page.Type(1).PageId(30);
  for (const ByteBuffer& r : records) page.AddRecord(r);
  PrimaryRecordPage records_page(page.bytes(), nullptr);
  return ReadExportRows(records_page, columns, RowReadContext{});
}

// A table script as the save writes it: header, CREATE TABLE, the
// constraint and index statements, the rows, the end.
struct TableScript {
  std::string text;
  CreateTableText create;
};

TableScript StartTableScript(const std::string& table, std::vector<ColumnDescriptor>& columns) {
  TableScript script;
  script.create = BuildCreateTable(table, columns, false);
  script.text = TableScriptHeader(table);
  script.text.append(script.create.text).append(kCreateTableSeparator);
  return script;
}

TEST(GoldenScripts, DatabaseScript) {
  TempDir dir;
  ASSERT_TRUE(WriteScriptFile(dir.File("db.sql"), DatabaseScriptText()));
  ExpectGolden(dir.File("db.sql"), "database.sql");
}

// Identity and key column, a column renamed by sanitising, decimal,
// computed and max columns; primary key, default, unique key, check and a
// foreign key (which the table script leaves out); an index with a
// descending key and an included column, and a unique index whose name
// needs brackets.
TEST(GoldenScripts, CreateTableWithIdentityConstraintsAndIndexes) {
  CatalogBuilder b;
  const int32_t id =
      b.Table("Orders",
              {
                  {.name = "OrderId", .nullable = false, .identity = {{1, 1}}},
                  {.name = "Customer Name", .system_type = 231, .length = 80, .nullable = false},
                  {.name = "Amount", .system_type = 106, .length = 9, .precision = 10, .scale = 2},
                  {.name = "Created", .system_type = 61, .length = 8},
                  {.name = "Code", .system_type = 167, .length = 10, .nullable = false},
                  {.name = "Total", .computed = "([Amount]*(2))"},
                  {.name = "Note", .system_type = 167, .length = -1},
                  {.name = "Qty"},
              })
          .object_id;
  b.Add(ObjectFields{.id = 6001, .name = "PK_Orders", .type = "PK", .parent = id});
  b.Add(ObjectFields{
      .id = 6002, .name = "DF_Orders_Created", .type = "D ", .parent = id, .int_property = 4});
  b.Add(ObjectFields{.id = 6003, .name = "UQ_Orders_Code", .type = "UQ", .parent = id});
  b.Add(ObjectFields{.id = 6004,
                     .name = "CK_Orders_Qty",
                     .type = "C ",
                     .parent = id,
                     .status = 0x120000,
                     .int_property = 8});
  b.Add(ObjectFields{.id = 6005, .name = "FK_Orders_Customers", .type = "F ", .parent = id});
  b.Add(ObjectValueFields{.object_id = 6002, .image = Utf16("(getdate())")});
  b.Add(ObjectValueFields{.object_id = 6004, .image = Utf16("([Qty]>(0))")});
  b.Add(IndexFields{
      .object_id = id, .index_id = 1, .name = "PK_Orders", .status = 0x29, .index_type = 1});
  b.Add(IndexColumnFields{.object_id = id, .index_id = 1, .column_id = 1});
  b.Add(IndexFields{.object_id = id, .index_id = 2, .name = "UQ_Orders_Code", .status = 0x49});
  b.Add(IndexColumnFields{.object_id = id, .index_id = 2, .column_id = 5});
  b.Add(IndexFields{.object_id = id, .index_id = 3, .name = "IX_Orders_Created"});
  b.Add(IndexColumnFields{.object_id = id, .index_id = 3, .column_id = 4, .status = 0x4});
  b.Add(IndexColumnFields{
      .object_id = id, .index_id = 3, .position = 2, .column_id = 3, .key_ordinal = 0});
  b.Add(IndexFields{.object_id = id, .index_id = 4, .name = "IX Code Qty", .status = 0x9});
  // Listed out of key order.
  b.Add(IndexColumnFields{.object_id = id, .index_id = 4, .column_id = 8, .key_ordinal = 2});
  b.Add(IndexColumnFields{
      .object_id = id, .index_id = 4, .position = 2, .column_id = 5, .key_ordinal = 1});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  CMetadata& m = *open->metadata;

  std::vector<ColumnDescriptor> columns = m.PrepareTable("U ", "Orders");
  ASSERT_EQ(columns.size(), 8u);
  TableScript script = StartTableScript("Orders", columns);
  EXPECT_TRUE(script.create.hasIdentity);
  const TableDefinition definition = DefinitionOf(m.currentTable(), "Orders", columns);
  for (const std::string& s : BuildConstraintStatements(definition))
    script.text.append(s).append(kStatementSeparator);
  for (const std::string& s : BuildIndexStatements(definition))
    script.text.append(s).append(kStatementSeparator);
  script.text.append(TableScriptEnd("Orders", script.create.hasIdentity));

  TempDir dir;
  ASSERT_TRUE(WriteScriptFile(dir.File("Orders.sql"), script.text));
  ExpectGolden(dir.File("Orders.sql"), "orders_table.sql");
}

// id int NOT NULL, name nvarchar(20), qty smallint, note varchar(10), data
// varbinary(4), total computed.
struct ItemsTable {
  std::unique_ptr<testing::OpenedCatalog> open;
  std::vector<ColumnDescriptor> columns;
};

ItemsTable OpenItems() {
  CatalogBuilder b;
  b.Table("Items", {
                       {.name = "id", .nullable = false},
                       {.name = "name", .system_type = 231, .length = 40},
                       {.name = "qty", .system_type = 52, .length = 2},
                       {.name = "note", .system_type = 167, .length = 10},
                       {.name = "data", .system_type = 165, .length = 4},
                       {.name = "total", .computed = "([qty]*(2))"},
                   });
  ItemsTable items;
  items.open = OpenCatalog(b.Build());
  if (items.open->metadata) items.columns = items.open->metadata->PrepareTable("U ", "Items");
  return items;
}

// Fixed: id at 4, qty at 8; variable: name, note, data; NULL bits by
// position (0-based here).
ByteBuffer ItemRecord(uint32_t id, const std::string& name, int16_t qty, const std::string& note,
                      ByteBuffer data, std::initializer_list<int> nulls = {}) {
  return RowBuilder()
      .Fixed(Concat({Le(id, 4), Le(static_cast<uint16_t>(qty), 2)}))
      .Columns(5)
      .NullBits(nulls)
      .Var(Utf16(name))
      .Var(Ansi(note))
      .Var(std::move(data))
      .Build();
}

std::vector<ByteBuffer> ItemRecords() {
  return {
      ItemRecord(1, "Grüße", 5, "O'Brien", {0x01, 0x02}),
      ItemRecord(2, "x", 0, "", {}, {2, 4}),
      ItemRecord(3, "", -7, "abcdefghij", {0xFF}),
  };
}

TEST(GoldenScripts, TableScriptWithThreeRowsWithoutIdentity) {
  ItemsTable items = OpenItems();
  ASSERT_EQ(items.columns.size(), 6u);
  TableScript script = StartTableScript("Items", items.columns);
  EXPECT_FALSE(script.create.hasIdentity);
  const std::vector<Row> rows = ExportRows(ItemRecords(), items.columns);
  ASSERT_EQ(rows.size(), 3u);
  const InsertText insert = BuildInsertRows("Items", rows, InsertTextOptions{});
  EXPECT_EQ(insert.rows, 3u);
  script.text.append(insert.text).append(TableScriptEnd("Items", false));

  TempDir dir;
  ASSERT_TRUE(WriteScriptFile(dir.File("Items.sql"), script.text));
  ExpectGolden(dir.File("Items.sql"), "items_three_rows.sql");
}

// An identity column; "full name" is [fullname] in the table but keeps its
// stored name in the column list; the second "tag" is renamed "tag_" for
// both; "a]b" doubles its bracket in the list.
TEST(GoldenScripts, TableScriptWithThreeRowsWithIdentity) {
  CatalogBuilder b;
  b.Table("People", {
                        {.name = "id", .nullable = false, .identity = {{1, 1}}},
                        {.name = "full name", .system_type = 231, .length = 60},
                        {.name = "tag", .system_type = 167, .length = 5},
                        {.name = "tag", .system_type = 167, .length = 5},
                        {.name = "a]b"},
                    });
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> columns = open->metadata->PrepareTable("U ", "People");
  ASSERT_EQ(columns.size(), 5u);
  TableScript script = StartTableScript("People", columns);
  EXPECT_TRUE(script.create.hasIdentity);

  // Fixed: id at 4, a]b at 8; variable: full name, tag, tag.
  auto record = [](uint32_t id, const std::string& name, const std::string& tag1,
                   const std::string& tag2, int32_t ab, std::initializer_list<int> nulls) {
    return RowBuilder()
        .Fixed(Concat({Le(id, 4), Le(static_cast<uint32_t>(ab), 4)}))
        .Columns(5)
        .NullBits(nulls)
        .Var(Utf16(name))
        .Var(Ansi(tag1))
        .Var(Ansi(tag2))
        .Build();
  };
  const std::vector<Row> rows =
      ExportRows({record(1, "Ann", "red", "blue", 10, {}), record(2, "", "", "x", 0, {1, 4}),
                  record(3, "O'Neil", "toolong", "abc", -1, {})},
                 columns);
  ASSERT_EQ(rows.size(), 3u);
  const InsertText insert =
      BuildInsertRows("People", rows, InsertTextOptions{.has_identity = true});
  EXPECT_EQ(insert.rows, 3u);
  script.text.append(insert.text).append(TableScriptEnd("People", true));

  TempDir dir;
  ASSERT_TRUE(WriteScriptFile(dir.File("People.sql"), script.text));
  ExpectGolden(dir.File("People.sql"), "people_three_rows.sql");
}

// The save's roll-over, step by step: the table script has passed the
// limit (its size is taken as 1000000123 here), so the next rows go to a new
// file that the table's list file includes.
TEST(GoldenScripts, RollOver) {
  ItemsTable items = OpenItems();
  ASSERT_EQ(items.columns.size(), 6u);
  TableScript script = StartTableScript("Items", items.columns);
  const std::vector<Row> rows = ExportRows({ItemRecords()[0]}, items.columns);
  ASSERT_EQ(rows.size(), 1u);

  const uint64_t script_size = 1000000123;
  ASSERT_TRUE(NeedsRollOver(script_size));
  uint64_t roll_over_counter = 0;
  const RollOverScript next = BuildRollOver("Items", script_size, ++roll_over_counter);
  EXPECT_EQ(next.file_name, "Items10000001231.sql");

  TempDir dir;
  std::optional<ScriptFile> list = ScriptFile::Create(dir.File("maintablescript.sql"));
  ASSERT_TRUE(list);
  list->Append(TableListLine("Items", "Items.sql"));
  std::optional<ScriptFile> current = ScriptFile::Create(dir.File(next.file_name));
  ASSERT_TRUE(current);
  current->Append(next.text);
  list->Append(next.list_line);
  const InsertText insert = BuildOperationInsert(kOpInsertRow, "Items", rows, InsertTextOptions{});
  current->Append(insert.text);
  current->Append(TableScriptEnd("Items", false));
  ASSERT_TRUE(current->Commit());
  ASSERT_TRUE(list->Commit());
  ExpectGolden(dir.File(next.file_name), "items_rolled_over.sql");
  ExpectGolden(dir.File("maintablescript.sql"), "items_maintablescript.sql");
}

TEST(GoldenScripts, UserDefinedTypes) {
  CatalogBuilder b;
  b.Add(ScalarTypeFields{
      .type_id = 257, .name = "PhoneNumber", .system_type = 167, .schema = 1, .length = 20});
  b.Add(ScalarTypeFields{
      .type_id = 258, .name = "Title", .system_type = 231, .schema = 1, .length = 100});
  b.Add(ScalarTypeFields{
      .type_id = 259, .name = "Flag", .system_type = 104, .schema = 1, .length = 1});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const std::vector<std::string> types = open->metadata->UserTypeTexts();
  ASSERT_EQ(types.size(), 3u);

  TempDir dir;
  ASSERT_TRUE(WriteScriptFile(dir.File("userdefinedatatype.sql"), BuildUserTypeScript(types)));
  ExpectGolden(dir.File("userdefinedatatype.sql"), "userdefinedatatype.sql");
}

}  // namespace
}  // namespace tarnwick
