// The schema model over catalogs built row by row.
#include <gtest/gtest.h>

#include <algorithm>

#include "reader/metadata.h"
#include "tests/support/catalog_builder.h"

namespace tarnwick {
namespace {

using namespace testing;

constexpr uint64_t kBase = uint64_t{1} << 56;

std::vector<int32_t> ColumnIds(const std::vector<ColumnDescriptor>& columns) {
  std::vector<int32_t> ids;
  for (const ColumnDescriptor& c : columns) ids.push_back(c.column_id);
  return ids;
}

TEST(FindObject, PrefersTheTypeButTakesAnyNonTableObject) {
  struct Object {
    int32_t id;
    const char* type;
  };
  struct Case {
    const char* what;
    std::vector<Object> objects;  // all named "x", in list order
    const char* wanted_type;
    int32_t found;
  } cases[] = {
      {"table first, asked for a table", {{1, "U "}, {2, "V "}}, "U ", 1},
      {"table first, asked for a procedure", {{1, "U "}, {2, "V "}}, "P ", 2},
      {"view first, asked for a table", {{2, "V "}, {1, "U "}}, "U ", 2},
      {"a system table is not a table", {{3, "S "}, {1, "U "}}, "U ", 1},
      {"only a system table, asked for it", {{3, "S "}}, "S ", 3},
      {"only a table, asked for a view", {{1, "U "}}, "V ", -1},
      {"nothing of that name", {}, "U ", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    b.Add(ObjectFields{.id = 50, .name = "other"});
    for (const Object& o : c.objects) b.Add(ObjectFields{.id = o.id, .name = "x", .type = o.type});
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    EXPECT_EQ(open->metadata->FindObject("x", c.wanted_type).object_id, c.found);
  }
}

TEST(TableColumnRows, MatchesIgnoringBits24And25AndKeepsTheFirstOfEachId) {
  const int32_t table = 0x00123456;
  CatalogBuilder b;
  b.Add(ObjectFields{.id = table, .name = "t"});
  struct Row {
    int32_t object_id;
    int32_t column_id;
    int16_t number;
    const char* name;
  } rows[] = {
      {table, 1, 0, "plain"},
      {table | 0x01000000, 2, 0, "bit 24"},
      {table | 0x02000000, 3, 0, "bit 25"},
      {table | 0x04000000, 4, 0, "bit 26: another object"},
      {table, 5, 1, "number 1: not a table column"},
      {table, 1, 0, "second row of column 1"},
      {table + 1, 6, 0, "another table"},
  };
  for (const Row& r : rows)
    b.Add(ColumnFields{
        .object_id = r.object_id, .column_id = r.column_id, .name = r.name, .number = r.number});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<std::string> names;
  for (const ColumnRow& r : open->metadata->TableColumnRows(table)) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"plain", "bit 24", "bit 25"}));
  // The table's own id may carry the bits as well.
  EXPECT_EQ(open->metadata->TableColumnRows(table | 0x03000000).size(), 3u);
}

TEST(PrepareTable, OrdersDescriptorsByColumnId) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  for (int32_t id : {3, 1, 2})
    b.Add(ColumnFields{.object_id = 100, .column_id = id, .name = "c" + std::to_string(id)});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> columns = open->metadata->PrepareTable("U ", "t");
  EXPECT_EQ(ColumnIds(columns), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(columns[0].name, "c1");
  EXPECT_EQ(columns[2].name, "c3");
  // Neither rowset columns nor hobt columns: every column counts as stored.
  for (const ColumnDescriptor& c : columns) {
    EXPECT_TRUE(c.stored);
    EXPECT_EQ(c.ordinal, c.column_id);
  }
}

TEST(PrepareTable, DescribesEachColumnFromItsRowsAndRowsetColumn) {
  CatalogBuilder b;
  TableIds t = b.Table("t", {{.name = "id", .nullable = false, .identity = std::make_pair(100, 5)},
                             {.name = "name", .system_type = 231, .length = 320},
                             {.name = "price",
                              .system_type = 106,
                              .length = 9,
                              .nullable = false,
                              .precision = 18,
                              .scale = 2},
                             {.name = "doubled", .computed = "([id]*(2))"},
                             {.name = "blob", .system_type = 165, .length = -1},
                             {.name = "at", .system_type = 42, .length = 8, .scale = 7},
                             {.name = "code", .system_type = 175, .length = 10}});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> c = open->metadata->PrepareTable("U ", "t");
  ASSERT_EQ(c.size(), 7u);
  struct Expect {
    const char* name;
    TypeCode code;
    const char* type_text;
    const char* sql_type;
    bool nullable;
    int32_t ordinal;
    int16_t leaf_offset;
    int32_t null_bit;
  } expected[] = {
      {"id", TypeCode::kInt, "int(4)", "int", false, 1, 4, 1},
      {"name", TypeCode::kNVarChar, "nvarchar(320)", "nvarchar(160)", true, 2, -1, 2},
      {"price", TypeCode::kDecimal, "decimal(9)", "decimal(18,2)", false, 3, 8, 3},
      {"doubled", TypeCode::kInt, "int(4)", "int", true, kComputedMarker, 0, 0},
      {"blob", TypeCode::kVarBinary, "varbinary(-1)", "varbinary(max)", true, 4, -2, 4},
      {"at", TypeCode::kDateTime2, "datetime2(8)", "datetime2(7)", true, 5, 17, 5},
      {"code", TypeCode::kChar, "char(10)", "char(10)", true, 6, 25, 6},
  };
  for (size_t i = 0; i < c.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(c[i].name, expected[i].name);
    EXPECT_EQ(c[i].column_id, static_cast<int32_t>(i + 1));
    EXPECT_EQ(c[i].typeCode, expected[i].code);
    EXPECT_EQ(c[i].type_text, expected[i].type_text);
    EXPECT_EQ(c[i].sql_type, expected[i].sql_type);
    EXPECT_EQ(c[i].nullable, expected[i].nullable);
    EXPECT_EQ(c[i].ordinal, expected[i].ordinal);
    EXPECT_EQ(c[i].leaf_offset, expected[i].leaf_offset);
    EXPECT_EQ(c[i].leaf_null_bit, expected[i].null_bit);
    EXPECT_EQ(c[i].stored, expected[i].ordinal != kComputedMarker);
  }
  EXPECT_EQ(c[0].identity, "identity(100,5)");
  EXPECT_EQ(c[0].identity_seed, 100);
  EXPECT_EQ(c[2].precision, 18);
  EXPECT_EQ(c[2].scale, 2);
  EXPECT_EQ(c[3].value, "([id]*(2))");
  const CurrentTable& current = open->metadata->currentTable();
  EXPECT_TRUE(current.schema_loaded);
  EXPECT_EQ(current.first_stored_index, 0);
  EXPECT_EQ(current.rowset.rowset_id, t.rowset_id);
  EXPECT_EQ(current.allocation_unit.allocation_unit_id, t.allocation_unit_id);
  EXPECT_FALSE(current.rebuilt_from_indexes);
}

TEST(PrepareTable, ColumnTypeCodesAndTypeNames) {
  struct Case {
    const char* what;
    uint8_t system_type;
    int32_t user_type;
    int16_t length;
    TypeCode code;
    const char* type_text;
    const char* sql_type;
  } cases[] = {
      {"geometry", 240, 129, -1, TypeCode::kGeometry, "(-1)", "geometry"},
      {"hierarchyid", 240, 128, 892, TypeCode::kHierarchyId, "(892)", "hierarchyid"},
      {"geography", 240, 130, -1, TypeCode::kClr, "(-1)", "geography"},
      {"image", 34, 34, 16, TypeCode::kImage, "image(16)", "image"},
      {"text", 35, 35, 16, TypeCode::kText, "text(16)", "text"},
      {"sysname", 231, 256, 256, TypeCode::kNVarChar, "nvarchar(256)", "sysname"},
      {"alias in schema 1", 231, 300, 40, TypeCode::kNVarChar, "Phone(40)", "Phone"},
      {"nchar", 239, 239, 20, TypeCode::kNChar, "nchar(20)", "nchar(10)"},
      {"nvarchar(max)", 231, 231, -1, TypeCode::kNVarChar, "nvarchar(-1)", "nvarchar(max)"},
      {"unknown system type", 77, 77, 4, TypeCode::kChar, "(4)", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    b.Add(ScalarTypeFields{.type_id = 300, .name = "Phone", .system_type = 231, .length = 40});
    b.Add(ObjectFields{.id = 100, .name = "t"});
    b.Add(ColumnFields{.object_id = 100,
                       .column_id = 1,
                       .name = "c",
                       .system_type = c.system_type,
                       .length = c.length,
                       .user_type = c.user_type});
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    std::vector<ColumnDescriptor> columns = open->metadata->PrepareTable("U ", "t");
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].typeCode, c.code);
    EXPECT_EQ(columns[0].type_text, c.type_text);
    EXPECT_EQ(columns[0].sql_type, c.sql_type);
  }
}

TEST(ColumnType, AliasOfSchemaOneElseTheBuiltInType) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(ScalarTypeFields{.type_id = 300, .name = "Phone", .system_type = 231, .length = 40});
  b.Add(ScalarTypeFields{.type_id = 301, .name = "Other", .system_type = 231, .schema = 5});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const CMetadata& m = *open->metadata;
  EXPECT_EQ(m.ColumnType(231, 300).name, "Phone");
  EXPECT_EQ(m.ColumnType(167, 300).name, "varchar");   // base type differs
  EXPECT_EQ(m.ColumnType(231, 301).name, "nvarchar");  // not in schema 1
  EXPECT_EQ(m.ColumnType(56, 56).name, "int");
  EXPECT_EQ(m.ColumnType(77, 77).name, "");
}

TEST(UserTypeTexts, CreateTypeFromTheBaseTypeWithItsSize) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(ScalarTypeFields{.type_id = 300, .name = "Phone", .system_type = 231, .length = 100});
  b.Add(ScalarTypeFields{.type_id = 301, .name = "Notes", .system_type = 231, .length = -1});
  b.Add(ScalarTypeFields{.type_id = 302, .name = "Code", .system_type = 167, .length = 20});
  b.Add(ScalarTypeFields{.type_id = 303, .name = "Flag", .system_type = 239, .length = 2});
  b.Add(ScalarTypeFields{.type_id = 304, .name = "Counter", .system_type = 56, .length = 4});
  b.Add(ScalarTypeFields{.type_id = 305, .name = "Blob", .system_type = 165, .length = -1});
  b.Add(ScalarTypeFields{.type_id = 306, .name = "Odd", .system_type = 77, .length = 4});
  b.Add(ScalarTypeFields{.type_id = 307, .name = "Elsewhere", .system_type = 56, .schema = 5});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  EXPECT_EQ(open->metadata->UserTypeTexts(),
            (std::vector<std::string>{
                "Create type Phone from NVarchar(50)", "Create type Notes from NVarchar(max)",
                "Create type Code from Varchar(20)", "Create type Flag from NChar(1)",
                "Create type Counter from Int", "Create type Blob from VarBinary(max)"}));
}

TEST(TableRowset, PicksHeapOrClusteredElseFallsBack) {
  constexpr int32_t kTable = 100;
  struct Rowset {
    uint64_t id;
    int32_t minor;
  };
  struct Case {
    const char* what;
    std::vector<Rowset> rowsets;
    std::vector<std::pair<int32_t, uint64_t>> indexes;  // index id, rowset id
    uint64_t rowset_id;
    int32_t minor;
    bool rebuilt;
  } cases[] = {
      {"clustered then heap: the heap", {{11, 1}, {10, 0}}, {}, 10, 0, false},
      {"two clustered: the later", {{11, 1}, {12, 1}}, {}, 12, 1, false},
      {"nonclustered only, an index with a rowset", {{13, 2}}, {{2, 0}, {5, 55}}, 55, 5, true},
      {"nonclustered only, no index rowset: the last", {{13, 2}, {14, 3}}, {{2, 0}}, 14, 3, false},
      {"nothing at all", {}, {}, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    b.Add(ObjectFields{.id = kTable, .name = "t"});
    b.Add(RowsetFields{.rowset_id = 99, .object_id = kTable + 1});  // another table's
    for (const Rowset& r : c.rowsets)
      b.Add(RowsetFields{.rowset_id = r.id, .object_id = kTable, .index_id = r.minor});
    for (const auto& [index_id, rowset_id] : c.indexes)
      b.Add(IndexFields{
          .object_id = kTable, .index_id = index_id, .name = "i", .rowset_id = rowset_id});
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    CMetadata& m = *open->metadata;
    m.PrepareTable("U ", "t");
    const CurrentTable& current = m.currentTable();
    EXPECT_EQ(current.rowset.rowset_id, c.rowset_id);
    EXPECT_EQ(current.rowset.minor_id, c.minor);
    EXPECT_EQ(current.rebuilt_from_indexes, c.rebuilt);
    // TableRowsets: the object's rowsets, or one per index with a rowset.
    std::vector<RowsetRow> all = m.TableRowsets(kTable);
    const size_t index_rowsets = std::count_if(c.indexes.begin(), c.indexes.end(),
                                               [](const auto& i) { return i.second != 0; });
    EXPECT_EQ(all.size(), c.rowsets.empty() ? index_rowsets : c.rowsets.size());
  }
}

TEST(TableAllocationUnit, TakesTheLastInRowUnitElseMakesOneFromThePageMaps) {
  const uint64_t rowset = kBase | (uint64_t{700} << 16);
  struct Unit {
    uint64_t id;
    uint64_t owner;
    uint8_t type;
  };
  struct Case {
    const char* what;
    std::vector<Unit> units;
    bool pages_under_rowset_key;
    uint64_t unit_id;
    bool rebuilt;
  } cases[] = {
      {"last in-row unit of the rowset",
       {{kBase + 1, rowset, 1}, {kBase + 2, rowset, 2}, {kBase + 3, rowset, 1}, {kBase + 4, 5, 1}},
       false,
       kBase + 3,
       false},
      {"none: made up, pages found", {{kBase + 2, rowset, 2}}, true, rowset, true},
      {"none: made up, no pages", {}, false, rowset, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    b.Add(ObjectFields{.id = 100, .name = "t"});
    for (const Unit& u : c.units)
      b.Add(AllocationUnitFields{.id = u.id, .owner = u.owner, .type = u.type});
    uint32_t data_page = 0;
    uint32_t iam_page = 0;
    if (c.pages_under_rowset_key) {
      iam_page = b.Page(700, 10);
      data_page = b.Page(700, 1);
    }
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    CMetadata& m = *open->metadata;
    m.PrepareTable("U ", "t");  // resets the current table
    const AllocationUnitRow unit = m.TableAllocationUnit(rowset);
    EXPECT_EQ(unit.allocation_unit_id, c.unit_id);
    EXPECT_EQ(m.currentTable().allocation_unit.allocation_unit_id, c.unit_id);
    EXPECT_EQ(m.currentTable().rebuilt_from_indexes, c.rebuilt);
    if (c.pages_under_rowset_key) {
      EXPECT_EQ(unit.first_page.page, data_page);
      EXPECT_EQ(unit.first_iam_page.page, iam_page);
    }
  }
}

TEST(DataPageList, FollowsTheKeyRulesOfTheAllocationUnits) {
  const int32_t kTable = 0x300;
  const uint64_t rowset = kBase | (uint64_t{0x300} << 16);
  struct Case {
    const char* what;
    uint64_t unit_id;  // 0: no allocation unit row
    uint64_t owner;
    std::vector<int32_t> page_keys;  // data pages written, in order
    std::vector<int32_t> listed;     // keys of the pages listed, in order
  } cases[] = {
      {"unit id differs from owner: (id - 2^56) / 65536",
       kBase | (uint64_t{0x1234} << 16),
       rowset,
       {0x1234, 0x999, 0x1234},
       {0x1234, 0x1234}},
      {"unit id equals owner: id / 65536", rowset, rowset, {0x300, 0x301}, {0x300}},
      {"no pages under the key: the object id's",
       kBase | (uint64_t{0x1234} << 16),
       rowset,
       {kTable},
       {kTable}},
      {"no unit at all: the object id's pages", 0, 0, {kTable, 0x77}, {kTable}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    b.Add(ObjectFields{.id = kTable, .name = "t"});
    b.Add(RowsetFields{.rowset_id = rowset, .object_id = kTable});
    if (c.unit_id != 0) b.Add(AllocationUnitFields{.id = c.unit_id, .owner = c.owner});
    std::vector<std::pair<int32_t, uint32_t>> written;
    for (int32_t key : c.page_keys) written.push_back({key, b.Page(key, 1)});
    b.Page(c.page_keys.front(), 10);  // IAM pages are never data pages
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    open->metadata->PrepareTable("U ", "t");
    std::vector<int32_t> listed;
    for (const PageRef& ref : open->metadata->currentTable().data_pages) {
      EXPECT_EQ(ref.type, 1u);
      for (const auto& [key, page] : written)
        if (page == ref.page) listed.push_back(key);
    }
    EXPECT_EQ(listed, c.listed);
  }
}

TEST(DataPageList, RebuiltTablesListEachPageOnce) {
  // No rowset row: the rowset comes from the index, and its allocation unit
  // from the page maps; two units of the table share the key.
  const int32_t kTable = 0x400;
  const uint64_t rowset = kBase | (uint64_t{0x400} << 16);
  CatalogBuilder b;
  b.Add(ObjectFields{.id = kTable, .name = "t"});
  b.Add(IndexFields{.object_id = kTable, .index_id = 1, .name = "cx", .rowset_id = rowset});
  b.Add(AllocationUnitFields{.id = rowset, .owner = 12345, .type = 1});
  b.Add(AllocationUnitFields{.id = rowset, .owner = 12345, .type = 3});
  const uint32_t page = b.Page(0x400, 1);
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  open->metadata->PrepareTable("U ", "t");
  const CurrentTable& current = open->metadata->currentTable();
  EXPECT_TRUE(current.rebuilt_from_indexes);
  EXPECT_EQ(current.allocation_units.size(), 2u);
  ASSERT_EQ(current.data_pages.size(), 1u);
  EXPECT_EQ(current.data_pages[0].page, page);
}

TEST(PrepareTable, IndexFlagsAndThePrimaryKeyList) {
  CatalogBuilder b;
  TableIds t = b.Table("t", {{.name = "a"}, {.name = "b"}, {.name = "c"}, {.name = "d"}});
  // Primary key (b, a); unique constraint on c; a statistics entry on d.
  b.Add(IndexFields{.object_id = t.object_id,
                    .index_id = 1,
                    .name = "PK_t",
                    .status = 0x2B,
                    .index_type = 1,
                    .rowset_id = t.rowset_id});
  b.Add(IndexColumnFields{
      .object_id = t.object_id, .index_id = 1, .position = 1, .column_id = 2, .key_ordinal = 1});
  b.Add(IndexColumnFields{
      .object_id = t.object_id, .index_id = 1, .position = 2, .column_id = 1, .key_ordinal = 2});
  b.Add(IndexFields{.object_id = t.object_id, .index_id = 2, .name = "UQ_t", .status = 0x49});
  b.Add(
      IndexColumnFields{.object_id = t.object_id, .index_id = 2, .column_id = 3, .key_ordinal = 1});
  b.Add(IndexFields{.object_id = t.object_id, .index_id = 3, .name = "_WA_Sys", .status = 0x2002});
  b.Add(
      IndexColumnFields{.object_id = t.object_id, .index_id = 3, .column_id = 4, .key_ordinal = 0});
  b.Add(ObjectFields{.id = 6000, .name = "PK_t", .type = "PK", .parent = t.object_id});
  b.Add(ObjectFields{.id = 6001, .name = "UQ_t", .type = "UQ", .parent = t.object_id});
  b.Add(ObjectFields{.id = 6002, .name = "TR_t", .type = "TR", .parent = t.object_id});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> c = open->metadata->PrepareTable("U ", "t");
  ASSERT_EQ(c.size(), 4u);
  EXPECT_TRUE(c[0].primary_key && c[1].primary_key);
  EXPECT_FALSE(c[2].primary_key || c[3].primary_key);
  EXPECT_TRUE(c[0].unique_member && c[2].unique_member);
  EXPECT_FALSE(c[3].unique_member);
  EXPECT_TRUE(c[2].unique_key);
  EXPECT_EQ(c[2].unique_ordinal, 1);
  EXPECT_FALSE(c[0].unique_key);
  const CurrentTable& current = open->metadata->currentTable();
  ASSERT_EQ(current.primary_key_columns.size(), 2u);
  EXPECT_EQ(current.primary_key_columns[0].column_name, "b");
  EXPECT_EQ(current.primary_key_columns[0].key_ordinal, 1);
  EXPECT_EQ(current.primary_key_columns[1].column_name, "a");
  EXPECT_EQ(current.primary_key_columns[1].table_name, "t");
  ASSERT_EQ(current.indexes.size(), 2u);  // statistics are not indexes
  EXPECT_EQ(current.index_columns.size(), 3u);
  EXPECT_EQ(current.index_columns[2].index_status, 0x49u);
  ASSERT_EQ(current.constraints.size(), 3u);
  EXPECT_TRUE(current.constraints[0].primary_key);
  EXPECT_TRUE(current.constraints[1].unique);
  EXPECT_EQ(current.constraints[2].type_code, "TR");
  EXPECT_EQ(current.constraints[2].object_id, 6002);
}

TEST(PrepareTable, NonTablesGivePlaceholdersAndMissingNamesNothing) {
  CatalogBuilder b;
  TableIds t = b.Table("t", {{.name = "a"}});
  b.Add(ObjectFields{.id = 4444, .name = "v", .type = "V "});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  CMetadata& m = *open->metadata;
  ASSERT_EQ(m.PrepareTable("U ", "t").size(), 1u);
  std::vector<ColumnDescriptor> view = m.PrepareTable("U ", "v");
  ASSERT_EQ(view.size(), 3u);
  EXPECT_EQ(view[0].name, "4444");
  EXPECT_EQ(view[1].name, "V ");
  EXPECT_EQ(view[2].name, "v");
  EXPECT_FALSE(m.currentTable().schema_loaded);
  EXPECT_TRUE(m.PrepareTable("U ", "missing").empty());
  EXPECT_FALSE(m.currentTable().object.found());
  EXPECT_TRUE(m.currentTable().columns.empty());
  EXPECT_NE(t.object_id, 0);
}

TEST(PrepareTable, HobtColumnsStandInForMissingRowsetColumns) {
  const uint64_t rowset = kBase | (uint64_t{900} << 16);
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 900, .name = "t"});
  b.Add(RowsetFields{.rowset_id = rowset, .object_id = 900});
  for (int32_t id : {1, 2, 3})
    b.Add(ColumnFields{.object_id = 900, .column_id = id, .name = "c" + std::to_string(id)});
  b.Add(HobtColumnFields{.rowset_id = rowset, .column_id = 2, .leaf_offset = 4, .null_bit = 1});
  b.Add(HobtColumnFields{.rowset_id = rowset, .column_id = 3, .leaf_offset = -1, .null_bit = 2});
  b.Add(HobtColumnFields{.rowset_id = rowset, .column_id = 7, .leaf_offset = 8, .null_bit = 3});
  b.Add(HobtColumnFields{.rowset_id = rowset + 65536, .column_id = 1, .leaf_offset = 99});
  b.Add(RowsetColumnMapFields{.rowset_id = rowset, .value8 = 2, .value12 = 11});
  b.Add(RowsetColumnMapFields{.rowset_id = rowset + 65536, .value8 = 3, .value12 = 99});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> c = open->metadata->PrepareTable("U ", "t");
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(ColumnIds(c), (std::vector<int32_t>{1, 2, 3, 7}));
  EXPECT_FALSE(c[0].stored);  // no hobt column: not stored, not computed either
  EXPECT_EQ(c[0].ordinal, 1);
  EXPECT_TRUE(c[1].stored);
  EXPECT_EQ(c[1].leaf_offset, 4);
  EXPECT_EQ(c[1].leaf_null_bit, 1);
  EXPECT_EQ(c[1].ordinal, 11);  // from the rowset column map
  EXPECT_TRUE(c[2].stored);
  EXPECT_EQ(c[2].leaf_offset, -1);
  EXPECT_EQ(c[2].ordinal, 3);                // no map row for it
  EXPECT_EQ(c[3].ordinal, kComputedMarker);  // matched no column
  EXPECT_EQ(open->metadata->currentTable().first_stored_index, 0);
}

TEST(PrepareTable, RowsetColumnsOfOtherColumnsLeaveAColumnComputed) {
  CatalogBuilder b;
  TableIds t = b.Table("t", {{.name = "a"}});
  b.Add(ColumnFields{.object_id = t.object_id, .column_id = 0x10, .name = "x"});
  // Left-over rowset column of a dropped column (bit 26 set).
  b.Add(RowsetColumnFields{.rowset_id = t.rowset_id, .column_id = 0x04000010, .hobt_column_id = 2});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> c = open->metadata->PrepareTable("U ", "t");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_FALSE(c[0].computed());
  EXPECT_TRUE(c[1].computed());
  EXPECT_FALSE(c[1].stored);
}

TEST(PrepareTable, Sql2000TablesTakeTheOlderColumnsAndTheObjectsPages) {
  CatalogBuilder b;
  b.Add(Object2000Fields{.id = 300, .name = "old"});
  b.Add(Column2000Fields{.object_id = 300,
                         .column_id = 2,
                         .name = "b",
                         .system_type = 167,
                         .length = 30,
                         .offset = -1});
  b.Add(Column2000Fields{
      .object_id = 300, .column_id = 1, .name = "a", .nullable = false, .offset = 4});
  b.Add(Object2000Fields{.id = 301, .name = "PK_old", .type = "K ", .parent = 300});
  const uint32_t page = b.Page(300, 1);
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  CMetadata& m = *open->metadata;
  ASSERT_TRUE(m.sql2000());
  std::vector<ColumnDescriptor> c = m.PrepareTable("U ", "old");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].name, "a");
  EXPECT_FALSE(c[0].nullable);
  EXPECT_EQ(c[0].offset_2000, 4);
  EXPECT_EQ(c[1].sql_type, "varchar(30)");
  EXPECT_EQ(c[1].offset_2000, -1);
  const CurrentTable& current = m.currentTable();
  ASSERT_EQ(current.data_pages.size(), 1u);
  EXPECT_EQ(current.data_pages[0].page, page);
  ASSERT_EQ(current.constraints.size(), 1u);
  EXPECT_EQ(current.constraints[0].object_id, 300);  // the parent's id
}

TEST(DataPageList, PagesOfASystemTableUnderTheSameKeyAreNotTheTables) {
  // The unit's id carries object id 34 and index id 256: its pages share
  // the page-map key with the object table's own pages (index id 1).
  const uint64_t rowset = kBase | (uint64_t{0x500} << 16);
  const uint64_t unit = kBase | (uint64_t{34} << 16);
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 0x500, .name = "t"});
  b.Add(RowsetFields{.rowset_id = rowset, .object_id = 0x500});
  b.Add(AllocationUnitFields{.id = unit, .owner = rowset});
  const uint32_t own = b.Page(34, 1, {}, 256);
  const uint32_t other_unit = b.Page(34, 1, {}, 512);
  std::map<int32_t, std::vector<uint32_t>> pages;
  auto open = OpenCatalog(b.Build(&pages));
  ASSERT_TRUE(open->metadata);
  ASSERT_FALSE(pages.at(kSysObjects).empty());
  EXPECT_EQ(open->db->dataPages().at(34).size(), 2 + pages.at(kSysObjects).size());
  open->metadata->PrepareTable("U ", "t");
  const auto& listed = open->metadata->currentTable().data_pages;
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].page, own);
  EXPECT_NE(listed[0].page, other_unit);
  // The object table itself is read from its own pages only.
  EXPECT_EQ(open->metadata->objects().size(), 1u);
}

}  // namespace
}  // namespace tarnwick
