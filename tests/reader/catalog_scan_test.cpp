// The catalog scan: system rows decoded into the metadata lists, SQL Server
// 2000 mode, secondary files, object values, foreign keys and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "reader/catalog_stage.h"
#include "reader/column_row.h"
#include "reader/metadata.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using namespace testing;

std::vector<std::string> ObjectNames(const CMetadata& m) {
  std::vector<std::string> names;
  for (const CatalogObject& o : m.objects()) names.push_back(o.name);
  return names;
}

TEST(CatalogScan, RepairsMissingNamesWithOneCounterPerScan) {
  struct Case {
    const char* what;
    std::vector<std::optional<std::string>> object_names;  // object ids 100, 101, ...
    std::vector<std::string> expected;
  } cases[] = {
      {"two rows without a name",
       {std::nullopt, "t", std::nullopt},
       {"Repairname0", "t", "Repairname1"}},
      {"a name of zero units is empty",
       {std::string("\0\0", 2), std::nullopt},
       {"RepairColumn0", "Repairname1"}},
      {"named rows use no number", {"a", "b"}, {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    int32_t id = 100;
    for (const auto& name : c.object_names) b.Add(ObjectFields{.id = id++, .name = name});
    auto open = OpenCatalog(b.Build());
    ASSERT_TRUE(open->metadata);
    EXPECT_EQ(ObjectNames(*open->metadata), c.expected);
  }
}

TEST(CatalogScan, KeepsOnlyObjectsWithPositiveIdsAndAWholeFixedPart) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = -5, .name = "negative"}).Add(ObjectFields{.id = 0, .name = "zero"});
  b.Add(ObjectFields{.id = 7,
                     .name = "kept",
                     .type = "V ",
                     .parent = 3,
                     .status = 0x10,
                     .int_property = 9,
                     .schema = 4});
  // A row whose fixed part stops at 19 bytes.
  b.Row(kSysObjects, RowBuilder().Fixed(ByteBuffer(19, 1)).Var(Utf16("short")).Build());
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const auto& objects = open->metadata->objects();
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].object_id, 7);
  EXPECT_EQ(objects[0].name, "kept");
  EXPECT_EQ(objects[0].type_code, "V ");
  EXPECT_EQ(objects[0].parent_object_id, 3);
  EXPECT_EQ(objects[0].status, 0x10u);
  EXPECT_EQ(objects[0].int_property, 9);
  EXPECT_EQ(objects[0].schema_id, 4);
}

TEST(CatalogScan, ColumnNamesAreRepairedWithTheColumnCounter) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(ColumnFields{.object_id = 100, .column_id = 1, .name = ""});
  b.Add(ColumnFields{.object_id = 100, .column_id = 2, .name = "b"});
  b.Add(ColumnFields{.object_id = 100, .column_id = 3});  // no variable part
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<std::string> names;
  for (const ColumnRow& c : open->metadata->columnRows()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"RepairColumn0", "b", "RepairColumn1"}));
}

TEST(IdentityText, FollowsTheLengthOfTheIdentityBytes) {
  auto bytes = [](std::initializer_list<std::pair<size_t, std::pair<uint64_t, size_t>>> puts,
                  size_t length) {
    ByteBuffer out(length, 0);
    for (const auto& [offset, value] : puts) PutUnsigned(out, offset, value.first, value.second);
    return out;
  };
  struct Case {
    const char* what;
    ByteBuffer identity;
    const char* text;
  } cases[] = {
      {"12 bytes, increment 0 becomes 1", bytes({{4, {100, 4}}, {8, {0, 4}}}, 12),
       "identity(100,1)"},
      {"13 bytes as the server writes an int", IdentityBytes(1, 1), "identity(1,1)"},
      {"24 bytes, 8-byte values", bytes({{0, {1, 4}}, {8, {5000000000, 8}}, {16, {3, 8}}}, 24),
       "identity(5000000000,3)"},
      {"24 bytes with bytes 4..7 set: 4-byte values",
       bytes({{0, {1, 4}}, {4, {7, 4}}, {8, {2, 4}}}, 24), "identity(7,2)"},
      {"24 bytes with bytes 0..3 zero: 4-byte values", bytes({{4, {0, 4}}, {8, {9, 4}}}, 24),
       "identity(0,9)"},
      {"8 bytes, 2-byte values", bytes({{2, {300, 2}}, {4, {4, 2}}}, 8), "identity(300,4)"},
      {"5 bytes", bytes({{0, {0xFFFFFFFFFF, 5}}}, 5), "identity(1,1)"},
      {"4-byte seed is unsigned", bytes({{4, {0xFFFFFFFF, 4}}, {8, {1, 4}}}, 12),
       "identity(4294967295,1)"},
      {"negative 8-byte seed", bytes({{0, {1, 4}}, {8, {~uint64_t{0}, 8}}, {16, {1, 8}}}, 24),
       "identity(-1,1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IdentityText(DecodeIdentity(c.identity)), c.text);
  }
}

TEST(IdentityText, OnlyStatusFiveWithASecondVariableColumnIsAnIdentity) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(ColumnFields{
      .object_id = 100, .column_id = 1, .name = "id", .identity = IdentityBytes(10, 5)});
  b.Add(ColumnFields{.object_id = 100,
                     .column_id = 2,
                     .name = "s4",
                     .status = 4u,
                     .identity = IdentityBytes(10, 5)});
  b.Add(ColumnFields{.object_id = 100, .column_id = 3, .name = "s5", .status = 5u});
  b.Add(ColumnFields{.object_id = 100, .column_id = 4, .name = "empty", .identity = ByteBuffer{}});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const auto& rows = open->metadata->columnRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].identity_text, "identity(10,5)");
  EXPECT_EQ(rows[1].identity_text, "");
  EXPECT_EQ(rows[2].identity_text, "");
  EXPECT_EQ(rows[3].identity_text, "identity(1,1)");
}

TEST(CatalogScan, Sql2000ModeIsSetOnlyWhenTheObjectTableGivesNoRow) {
  struct Case {
    const char* what;
    bool newer_rows;
    bool newer_page_without_rows;
    bool older_rows;
    bool mode_before;
    bool mode;
    std::vector<std::string> names;
  } cases[] = {
      {"newer rows", true, false, true, true, false, {"new"}},
      {"no object 34 pages", false, false, true, false, true, {"old"}},
      {"object 34 page without rows", false, true, true, false, true, {"old"}},
      {"neither table has rows", false, false, false, false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    if (c.newer_rows) b.Add(ObjectFields{.id = 100, .name = "new"});
    if (c.newer_page_without_rows) b.Page(kSysObjects, 1);
    if (c.older_rows) b.Add(Object2000Fields{.id = 200, .name = "old", .type = "U ", .parent = 9});
    // Something the page maps list, so that the file opens.
    b.Add(RowsetFields{.rowset_id = 1, .object_id = 1});
    DataFileBuilder file = b.Build();
    TempDir dir;
    file.WriteTo(dir.File("db.mdf"));
    RunState state;
    state.sql2000_mode = c.mode_before;
    RecordingSink sink;
    CDatabaseFile db(state, sink);
    ASSERT_TRUE(db.Open(dir.File("db.mdf")));
    CMetadata metadata(db);
    EXPECT_EQ(state.sql2000_mode, c.mode);
    EXPECT_EQ(metadata.sql2000(), c.mode);
    EXPECT_EQ(ObjectNames(metadata), c.names);
    if (c.mode && !c.names.empty()) {
      EXPECT_EQ(metadata.objects()[0].type_code, "U ");
      EXPECT_EQ(metadata.objects()[0].parent_object_id, 9);
    }
  }
}

TEST(CatalogScan, ReadsOnlyTheDataPagesOfSystemObjects) {
  // IAM and index pages listed under a system object id hold records that
  // would decode as rows, and so do the data pages of another table's
  // allocation unit whose id carries the same object id (header index id
  // 256); none of them may reach the lists.
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(ReferenceFields{.ref_class = 27, .v1 = 100, .v9 = 5});
  CatalogBuilder junk_rows(false);
  junk_rows.Add(ObjectFields{.id = 999, .name = "junk"});
  junk_rows.Add(ReferenceFields{.ref_class = 1, .v1 = 999});
  junk_rows.Add(ColumnFields{.object_id = 100, .column_id = 7, .name = "junk"});
  std::map<int32_t, std::vector<uint32_t>> unused;
  DataFileBuilder junk_file = junk_rows.Build(&unused);
  auto first_record = [&](int32_t system_object) {
    const PageBuilder& page = junk_file.Page(unused.at(system_object).front());
    const uint16_t offset = ByteReader(page.bytes()).U16(kPageSize - 2);
    const uint16_t end = ByteReader(page.bytes()).U16(30);
    return ByteBuffer(page.bytes().begin() + offset, page.bytes().begin() + end);
  };
  for (int32_t system_object : {kSysReferences, kSysObjects, kSysColumns}) {
    b.Page(system_object, 10, {first_record(system_object)});  // IAM page
    b.Page(system_object, 2, {first_record(system_object)});   // index page
    b.Page(system_object, 1, {first_record(system_object)}, 256);
  }
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const CMetadata& m = *open->metadata;
  EXPECT_EQ(open->db->systemPages().at(kSysReferences).size(), 4u);
  ASSERT_EQ(m.singleObjectRefs().size(), 1u);
  EXPECT_EQ(m.singleObjectRefs()[0].ref_class, 27);
  EXPECT_EQ(ObjectNames(m), std::vector<std::string>{"t"});
  EXPECT_TRUE(m.columnRows().empty());
}

TEST(CatalogScan, FileListNamesAreCutAndTrimmed) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(
      FileFields{.file_id = 1, .logical = "Sales", .physical = "C:\\Data\\Sales.mdf", .status = 2});
  b.Add(FileFields{.file_id = 2, .logical = "Sales_log", .physical = "C:\\Data\\Sales_log.ldf"});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const auto& files = open->metadata->fileList();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].file_id, 1);
  EXPECT_EQ(files[0].status, 2);
  EXPECT_EQ(files[0].logical_name, "Sales");
  EXPECT_EQ(files[0].physical_path, "C:\\Data\\Sales.mdf");
  EXPECT_EQ(files[1].logical_name, "Sales_log");
  // The log file's row names no data file beside the primary one.
  EXPECT_TRUE(open->db->secondaryFiles().empty());
}

// A secondary data file whose only page is a data page of the table under
// its allocation unit's key, written with the given file id.
ByteBuffer SecondaryFileBytes(uint16_t file_id, int32_t page_key) {
  DataFileBuilder ndf(12);
  for (uint32_t i = 0; i < 12; ++i) ndf.Page(i).PageId(static_cast<int32_t>(i), file_id);
  ndf.Page(9) = PageBuilder();
  ndf.Page(9).PageId(9, file_id);
  ndf.Page(10) = PageBuilder();
  ndf.Page(10).PageId(10, file_id).Type(1).ObjectId(page_key);
  return ndf.Build();
}

TEST(CatalogScan, FindsSecondaryFilesByTheFileListOrInTheFolder) {
  struct Case {
    const char* what;
    std::optional<std::string> listed_path;  // file list row for file id 3
    std::string file_name;                   // written beside the primary file
    bool found;
  } cases[] = {
      {"Windows path in capitals", "D:\\SQL\\DATA\\Sales_2.NDF", "Sales_2.ndf", true},
      {"name without extension", "E:\\x\\part3", "part3", true},
      {"listed file missing", "D:\\SQL\\DATA\\gone.ndf", "other.ndf", false},
      {"no file list: folder search", std::nullopt, "extra.ndf", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    TableIds t = b.Table("t", {{.name = "a"}}, 1);
    if (c.listed_path) {
      b.Add(FileFields{.file_id = 1, .logical = "p", .physical = "D:\\SQL\\DATA\\Sales.mdf"});
      b.Add(FileFields{.file_id = 3, .logical = "s", .physical = *c.listed_path});
    }
    auto open =
        OpenCatalog(b.Build(), "Sales.mdf", {{c.file_name, SecondaryFileBytes(3, t.page_key)}});
    ASSERT_TRUE(open->metadata);
    const auto& secondary = open->db->secondaryFiles();
    ASSERT_EQ(secondary.count(3), c.found ? 1u : 0u);
    std::vector<ColumnDescriptor> columns = open->metadata->PrepareTable("U ", "t");
    ASSERT_EQ(columns.size(), 1u);
    const auto& pages = open->metadata->currentTable().data_pages;
    const bool has_secondary_page = std::any_of(pages.begin(), pages.end(), [](const PageRef& p) {
      return p.file_id == 3 && p.page == 10;
    });
    EXPECT_EQ(has_secondary_page, c.found);
    if (c.found) {
      EXPECT_EQ(secondary.at(3).physical_path, open->dir.File(c.file_name));
      if (!c.listed_path) {
        EXPECT_EQ(open->metadata->fileList().size(), 1u);
      }
    }
  }
}

TEST(CatalogScan, StatusTextComesFirstAndTheBootPageIsRead) {
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  DataFileBuilder file = b.Build();
  file.Boot(782, 53268);
  TempDir dir;
  file.WriteTo(dir.File("db.mdf"));
  RunState state;
  state.collations = LoadCollationTable();
  RecordingSink sink;
  CDatabaseFile db(state, sink);
  ASSERT_TRUE(db.Open(dir.File("db.mdf")));
  sink.calls.clear();
  CMetadata metadata(db);
  ASSERT_FALSE(sink.calls.empty());
  EXPECT_EQ(sink.calls.front(), std::string("status:") + kProcessingMetadata);
  EXPECT_EQ(state.version_number, 782);
  EXPECT_EQ(state.boot_collation_id, 53268);
}

TEST(ObjectValues, DefinitionTextReadsWideOrNarrowBytes) {
  struct Case {
    const char* what;
    std::string value;
    std::string text;
  } cases[] = {
      {"8-bit", HexValue(ByteBuffer{'(', '1', ')'}), "(1)"},
      {"UTF-16", HexValue(Utf16("([a]+[b])")), "([a]+[b])"},
      {"8-bit in the code page", "0xE9", "\xC3\xA9"},
      {"lower-case digits", "0x2861", "(a"},
      {"a bad digit ends the bytes", "0x41G142", "A"},
      {"no prefix", "4142", "AB"},
      {"empty", "0x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DefinitionText(c.value, 1252), c.text);
  }
}

TEST(ObjectValues, FillTheDefinitionsOfComputedColumnsDefaultsAndChecks) {
  CatalogBuilder b;
  TableIds t =
      b.Table("t", {{.name = "a"}, {.name = "b"}, {.name = "total", .computed = "([a]+[b])"}});
  b.Add(ObjectFields{
      .id = 5000, .name = "DF_t_a", .type = "D ", .parent = t.object_id, .int_property = 1});
  b.Add(ObjectFields{.id = 5001,
                     .name = "CK_t_b",
                     .type = "C ",
                     .parent = t.object_id,
                     .status = 0x120000,
                     .int_property = 2});
  b.Add(ObjectValueFields{.object_id = 5000, .image = Utf16("((0))")});
  b.Add(
      ObjectValueFields{.object_id = 5001, .image = ByteBuffer{'(', '[', 'b', ']', '>', '0', ')'}});
  // A text stored off the row, and statistics, give no definition.
  b.Add(ObjectValueFields{.object_id = 5002, .image = ByteBuffer(16, 1), .image_complex = true});
  b.Add(ObjectValueFields{
      .value_class = 60, .object_id = t.object_id, .minor_id = 1, .image = ByteBuffer(20, 7)});
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  CMetadata& m = *open->metadata;
  EXPECT_EQ(m.objectValues().size(), 5u);
  EXPECT_EQ(m.definitions().size(), 3u);
  EXPECT_EQ(LookUpDefinition(m.definitions(), 5002, 0, 1252), "");

  std::vector<ColumnDescriptor> columns = m.PrepareTable("U ", "t");
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_TRUE(columns[2].computed());
  EXPECT_EQ(columns[2].value, "([a]+[b])");
  EXPECT_FALSE(columns[0].computed());

  std::vector<TableConstraint> constraints = m.TableConstraints(t.object_id);
  ASSERT_EQ(constraints.size(), 2u);
  EXPECT_EQ(constraints[0].definition, "((0))");
  EXPECT_EQ(constraints[0].parent_column_id, 1);
  EXPECT_EQ(constraints[1].definition, "([b]>0)");
  EXPECT_EQ(constraints[1].status, 0x120000u);

  // A caller's own list replaces the catalog's.
  DefinitionList own = {{std::to_string(t.object_id), "3", HexValue(ByteBuffer{'x'})}};
  columns = m.PrepareTable("U ", "t", own);
  EXPECT_EQ(columns[2].value, "x");
}

TEST(ForeignKeys, AreDerivedFromTheReferencesOfTheirConstraint) {
  CatalogBuilder b;
  TableIds parent = b.Table("Orders", {{.name = "Region"}, {.name = "OrderNo"}});
  TableIds child = b.Table("Lines", {{.name = "Id"}, {.name = "OrderNo"}, {.name = "Region"}});
  struct Key {
    int32_t id;
    const char* name;
    uint32_t status;
    ReferentialAction on_delete;
    ReferentialAction on_update;
  } keys[] = {
      {7000, "FK_both", 0x5000, ReferentialAction::kCascade, ReferentialAction::kCascade},
      {7001, "FK_null", 0x8000, ReferentialAction::kSetNull, ReferentialAction::kNoAction},
      {7002, "FK_plain", 0, ReferentialAction::kNoAction, ReferentialAction::kNoAction},
  };
  for (const Key& k : keys) {
    b.Add(ObjectFields{
        .id = k.id, .name = k.name, .type = "F ", .parent = child.object_id, .status = k.status});
    b.Add(ReferenceFields{.ref_class = 27, .v1 = k.id, .v9 = parent.object_id, .v13 = 1});
    // Key ordinal 2 listed before 1: the pairs are matched by ordinal.
    b.Add(ReferenceFields{.ref_class = 29, .v1 = k.id, .v5 = 2, .v9 = parent.object_id, .v13 = 2});
    b.Add(ReferenceFields{.ref_class = 28, .v1 = k.id, .v5 = 2, .v9 = child.object_id, .v13 = 2});
    b.Add(ReferenceFields{.ref_class = 28, .v1 = k.id, .v5 = 1, .v9 = child.object_id, .v13 = 3});
    b.Add(ReferenceFields{.ref_class = 29, .v1 = k.id, .v5 = 1, .v9 = parent.object_id, .v13 = 1});
  }
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  const CMetadata& m = *open->metadata;
  EXPECT_TRUE(m.ForeignKeysOf(parent.object_id).empty());
  std::vector<ForeignKey> fks = m.ForeignKeysOf(child.object_id);
  ASSERT_EQ(fks.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(keys[i].name);
    const ForeignKey& fk = fks[i];
    EXPECT_EQ(fk.name, keys[i].name);
    EXPECT_EQ(fk.table_name, "Lines");
    EXPECT_EQ(fk.referenced_table_name, "Orders");
    EXPECT_EQ(fk.key_index_id, 1);
    EXPECT_EQ(fk.columns, (std::vector<std::string>{"Region", "OrderNo"}));
    EXPECT_EQ(fk.referenced_columns, (std::vector<std::string>{"Region", "OrderNo"}));
    EXPECT_EQ(fk.column_list, "[Region], [OrderNo]");
    EXPECT_EQ(fk.status, keys[i].status);
    EXPECT_EQ(fk.on_delete, keys[i].on_delete);
    EXPECT_EQ(fk.on_update, keys[i].on_update);
  }
  // The dependent-object list holds the table-owned objects with their
  // references.
  auto dependent = std::find_if(m.dependentObjects().begin(), m.dependentObjects().end(),
                                [](const DependentObject& d) { return d.object_id == 7001; });
  ASSERT_NE(dependent, m.dependentObjects().end());
  EXPECT_EQ(dependent->references.size(), 5u);
  EXPECT_EQ(dependent->referenced_object_id, parent.object_id);
}

TEST(DamagedCatalog, AZeroedColumnPageLeavesTablesWithoutColumns) {
  CatalogBuilder b;
  b.Table("t", {{.name = "a"}, {.name = "b", .system_type = 231, .length = 20}});
  std::map<int32_t, std::vector<uint32_t>> pages;
  DataFileBuilder file = b.Build(&pages);
  for (uint32_t p : pages.at(kSysColumns)) {
    file.Page(p) = PageBuilder();
    file.Page(p).PageId(static_cast<int32_t>(p));
  }
  auto open = OpenCatalog(file);
  ASSERT_TRUE(open->metadata);
  EXPECT_TRUE(open->metadata->PrepareTable("U ", "t").empty());
  EXPECT_TRUE(open->metadata->currentTable().schema_loaded);
  EXPECT_EQ(ObjectNames(*open->metadata), std::vector<std::string>{"t"});
}

TEST(DamagedCatalog, CutColumnRowsAreSkippedOrRepaired) {
  CatalogBuilder b;
  TableIds t = b.Table("t", {{.name = "a"}, {.name = "b"}});
  // Fixed part of 36 bytes: shorter than a column row.
  ByteBuffer cut(36, 0);
  PutUnsigned(cut, 0, static_cast<uint32_t>(t.object_id), 4);
  PutUnsigned(cut, 6, 9, 4);
  b.Row(kSysColumns, RowBuilder().Fixed(cut).Var(Utf16("cut")).Build());
  // A whole fixed part whose name offsets point past the record.
  ByteBuffer whole(41, 0);
  PutUnsigned(whole, 0, static_cast<uint32_t>(t.object_id), 4);
  PutUnsigned(whole, 6, 8, 4);
  PutUnsigned(whole, 10, 56, 1);
  b.Row(kSysColumns, RowBuilder().Fixed(whole).Var(Utf16("x")).RawEndOffsets({0x7F00}).Build());
  auto open = OpenCatalog(b.Build());
  ASSERT_TRUE(open->metadata);
  std::vector<ColumnDescriptor> columns = open->metadata->PrepareTable("U ", "t");
  std::vector<std::string> names;
  for (const ColumnDescriptor& c : columns) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "RepairColumn0"}));
  EXPECT_EQ(columns[2].column_id, 8);
}

TEST(DamagedCatalog, ScrambledSystemPagesNeverBreakTheScan) {
  CatalogBuilder b;
  TableIds t = b.Table("t",
                       {{.name = "id", .nullable = false, .identity = std::make_pair(1, 1)},
                        {.name = "n", .system_type = 231, .length = 40}},
                       2);
  b.Add(IndexFields{.object_id = t.object_id,
                    .index_id = 1,
                    .name = "PK_t",
                    .status = 0x29,
                    .index_type = 1,
                    .rowset_id = t.rowset_id});
  b.Add(IndexColumnFields{.object_id = t.object_id, .index_id = 1, .column_id = 1});
  b.Add(ObjectFields{.id = 9000, .name = "FK", .type = "F ", .parent = t.object_id});
  b.Add(ReferenceFields{.ref_class = 28, .v1 = 9000, .v5 = 1, .v9 = t.object_id, .v13 = 1});
  b.Add(FileFields{.file_id = 3, .logical = "s", .physical = "C:\\s.ndf"});
  std::map<int32_t, std::vector<uint32_t>> pages;
  const DataFileBuilder clean = b.Build(&pages);
  std::mt19937 random(20240531);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    DataFileBuilder file = clean;
    for (const auto& [system_object, numbers] : pages) {
      for (uint32_t p : numbers) {
        PageBuilder& page = file.Page(p);
        const int flips = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < flips; ++i)
          page.Set8(96 + random() % (kPageSize - 96), static_cast<uint8_t>(random()));
        if (round % 5 == 0) page.Set16(22, static_cast<uint16_t>(random()));
      }
    }
    auto open = OpenCatalog(file);
    ASSERT_TRUE(open->opened);
    ASSERT_TRUE(open->metadata);
    CMetadata& m = *open->metadata;
    for (const CatalogObject& o : m.objects()) {
      EXPECT_GT(o.object_id, 0);
      EXPECT_FALSE(o.name.empty());
      std::vector<ColumnDescriptor> columns = m.PrepareObject(o, m.definitions());
      // Without hobt columns nothing is appended after the sort.
      EXPECT_TRUE(std::is_sorted(columns.begin(), columns.end(),
                                 [](const ColumnDescriptor& a, const ColumnDescriptor& b) {
                                   return a.column_id < b.column_id;
                                 }));
      for (const PageRef& ref : m.currentTable().data_pages) EXPECT_EQ(ref.type, 1u);
    }
    for (const ColumnRow& row : m.columnRows()) EXPECT_FALSE(row.name.empty());
  }
}

// The scan driver's view of the catalog stage.
class StageFrontEnd : public ScanFrontEnd {
 public:
  void SetStatusText(const std::string& text) override { events.push_back("status:" + text); }
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  void ReportOpenError(const std::string& text) override { events.push_back("error:" + text); }
  void ResetRun() override {}
  void LogActivity(const std::string&) override {}
  void ShowVersion(const std::string&) override {}
  void ShowCollation(const std::string&) override {}
  void ShowMessage(const std::string& text, MessageIcon) override {
    events.push_back("message:" + text);
  }
  void ClearTree() override {}
  void ShowTree(const ScanTree&) override {}
  void ScanEnded() override {}
  std::vector<std::string> events;
};

TEST(CatalogStage, TheScanDriverBuildsAndJudgesTheCatalog) {
  struct Case {
    const char* what;
    bool with_object;
    bool map_stage_runs;
  } cases[] = {
      {"objects listed", true, true},
      {"no object: refused as not valid", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CatalogBuilder b;
    if (c.with_object) b.Add(ObjectFields{.id = 100, .name = "t"});
    b.Add(RowsetFields{.rowset_id = 1, .object_id = 100});
    TempDir dir;
    b.Build().WriteTo(dir.File("db.mdf"));
    RunState state;
    state.data_file_path = dir.File("db.mdf");
    ReaderSlot slot;
    StageFrontEnd front;
    ScanStages stages;
    stages.build_catalog = BuildCatalog;
    bool map_stage_ran = false;
    stages.build_user_table_map = [&](ReaderSlot& s) {
      map_stage_ran = true;
      ASSERT_TRUE(s.metadata);
      EXPECT_EQ(s.metadata->objects().size(), 1u);
    };
    RunScan(state, slot, front, stages);
    EXPECT_EQ(map_stage_ran, c.map_stage_runs);
    const auto& e = front.events;
    EXPECT_EQ(std::count(e.begin(), e.end(), std::string("status:") + kProcessingMetadata), 1);
    const bool refused =
        std::find(e.begin(), e.end(), std::string("message:") + kInvalidOrCorrupted) != e.end();
    EXPECT_EQ(refused, !c.with_object);
    EXPECT_EQ(slot.metadata != nullptr, c.with_object);
    if (c.with_object) {
      // A second request hands out the same catalog.
      std::shared_ptr<CMetadata> kept = slot.metadata;
      EXPECT_EQ(BuildCatalog(slot, front), CatalogOutcome::kReady);
      EXPECT_EQ(slot.metadata, kept);
    }
  }
  ReaderSlot empty;
  StageFrontEnd front;
  EXPECT_EQ(BuildCatalog(empty, front), CatalogOutcome::kNoMetadata);
}

}  // namespace
}  // namespace tarnwick
