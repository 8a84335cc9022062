#include "export/insert_script.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "export/script_file.h"
#include "platform/file_system.h"
#include "records/lob_blob_file.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick {
namespace {

using T = typeCode;

ColumnDescriptor Entry(const std::string& name, T code, const std::string& type_text,
                       const std::string& value) {
  ColumnDescriptor c;
  c.name = name;
  c.typeCode = code;
  c.type_text = type_text;
  c.value = value;
  return c;
}

// A row of (id int, n varchar(5)) with a computed column between them.
Row TwoColumnRow(const std::string& id, const std::string& n) {
  ColumnDescriptor computed = Entry("c", T::kInt, "int(4)", "([id]*(2))");
  computed.ordinal = kComputedMarker;
  return {Entry("id", T::kInt, "int(4)", id), computed, Entry("n", T::kVarChar, "varchar(5)", n)};
}

TEST(RowsToWrite, TakeTheRowsOfEachOperationCode) {
  struct Case {
    uint8_t operation;
    size_t decoded;
    std::vector<std::string> written;  // the id values
  };
  const Case cases[] = {
      {2, 1, {"0"}}, {2, 2, {"0", "1"}}, {2, 0, {}},    {3, 1, {"0"}}, {4, 2, {"1"}}, {4, 1, {"0"}},
      {4, 0, {}},    {6, 2, {"1"}},      {6, 1, {"0"}}, {5, 1, {}},    {128, 1, {}},  {0, 2, {}},
  };
  for (const Case& c : cases) {
    std::vector<Row> rows;
    for (size_t i = 0; i < c.decoded; ++i) rows.push_back(TwoColumnRow(std::to_string(i), "x"));
    std::vector<std::string> written;
    for (const Row& row : RowsToWrite(c.operation, rows)) written.push_back(row[0].value);
    EXPECT_EQ(written, c.written) << int{c.operation} << " with " << c.decoded;
  }
}

TEST(InsertRows, Statements) {
  struct Case {
    const char* what;
    std::string table;
    bool identity;
    std::vector<Row> rows;
    std::string expected;
  };
  const std::string plain = "\r\n insert into [t] values( ";
  const std::string listed = "\r\n insert into [t] ([id],[n]) values( ";
  const std::vector<Row> three = {TwoColumnRow("1", "a"), TwoColumnRow("2", "NULL"),
                                  TwoColumnRow("3", "abcdefg")};
  std::vector<Case> cases = {
      {"three rows, one statement", "t", false, three,
       plain + "1,'a')" + ",\r\n(2,NULL)" + ",\r\n(3,'abcde')\r\n"},
      {"three rows, identity", "t", true, three,
       listed + "1,'a')\r\n" + listed + "2,NULL)\r\n" + listed + "3,'abcde')\r\n"},
      {"one row", "t", false, {TwoColumnRow("7", "")}, plain + "7,'')\r\n"},
      {"no rows", "t", true, {}, ""},
      {"bracket in the table name",
       "a]b",
       false,
       {TwoColumnRow("1", "x")},
       "\r\n insert into [a]]b] values( 1,'x')\r\n"},
  };
  Row odd = {Entry("a b", T::kInt, "int(4)", "1"), Entry("x]y", T::kInt, "int(4)", "2")};
  cases.push_back({"stored names in the list",
                   "t",
                   true,
                   {odd},
                   "\r\n insert into [t] ([a b],[x]]y]) values( 1,2)\r\n"});
  // A literal that is only a comma (a key decimal without value) is taken
  // with the trailing commas.
  ColumnDescriptor key_decimal = Entry("d", T::kDecimal, "decimal(9)", "NULL");
  key_decimal.primary_key = true;
  cases.push_back({"trailing commas",
                   "t",
                   false,
                   {{Entry("id", T::kInt, "int(4)", "5"), key_decimal}},
                   plain + "5)\r\n"});
  for (const Case& c : cases) {
    const InsertText text =
        BuildInsertRows(c.table, c.rows, InsertTextOptions{.has_identity = c.identity});
    EXPECT_EQ(text.text, c.expected) << c.what;
    EXPECT_EQ(text.rows, c.rows.size()) << c.what;
  }
}

TEST(InsertRows, AStoppedSaveWritesNoRow) {
  std::atomic<bool> stop{true};
  const std::vector<Row> rows = {TwoColumnRow("1", "a")};
  const InsertText text = BuildInsertRows("t", rows, InsertTextOptions{.stop = &stop});
  EXPECT_EQ(text.text, "");
  EXPECT_EQ(text.rows, 0u);
}

TEST(InsertRows, UpdatesWriteTheRebuiltImage) {
  const std::vector<Row> images = {TwoColumnRow("1", "before"), TwoColumnRow("1", "after")};
  const InsertText text = BuildOperationInsert(4, "t", images, InsertTextOptions{});
  EXPECT_EQ(text.text, "\r\n insert into [t] values( 1,'after')\r\n");
  EXPECT_EQ(text.rows, 1u);
}

// A large binary value goes to the table's blob folder while the save runs;
// the row refers to the file relative to the script folder.
TEST(InsertRows, BlobValuesAreReadBackFromTheirFiles) {
  testing::TempDir dir;
  BlobFolder blobs(JoinPath(dir.path(), BlobFolderName("Pics")));
  const uint8_t bytes[] = {0x00, 0xFF, 0x10};
  const std::optional<std::string> reference = blobs.Store(Bytes(bytes));
  ASSERT_TRUE(reference);
  EXPECT_EQ(*reference, "\\Blob_Pics\\1_blob");
  EXPECT_EQ(testing::ReadFileBytes(JoinPath(dir.path(), "Blob_Pics/1_blob")),
            ByteBuffer(std::begin(bytes), std::end(bytes)));

  const std::vector<Row> rows = {{Entry("id", T::kInt, "int(4)", "1"),
                                  Entry("img", T::kImage, "image(16)", *reference),
                                  Entry("bin", T::kVarBinary, "varbinary(-1)", "0x0A")}};
  InsertTextOptions options;
  options.literal.saveRunning = true;
  const InsertText saving = BuildInsertRows("Pics", rows, options);
  EXPECT_EQ(saving.text,
            "\r\n insert into [Pics] values( 1,(Select * from OPENROWSET(BULK "
            "N'$(DIR)\\Blob_Pics\\1_blob',SINGLE_BLOB) as Image),0x0A)\r\n");
}

TEST(RollOver, TheLimit) {
  struct Case {
    uint64_t size;
    bool rolls;
  };
  const Case cases[] = {{0, false},
                        {1000000000, false},
                        {1000000001, true},
                        {uint64_t{4} << 30, true},
                        {(uint64_t{4} << 30) + 5, true}};
  for (const Case& c : cases) EXPECT_EQ(NeedsRollOver(c.size), c.rolls) << c.size;
}

TEST(RollOver, NamesAndTexts) {
  struct Case {
    std::string folder;
    uint64_t size;
    uint64_t counter;
    std::string file_name;
  };
  const Case cases[] = {
      {"Items", 1000000123, 1, "Items10000001231.sql"},
      // The size in the name keeps its low 32 bits.
      {"T", (uint64_t{4} << 30) + 5, 12, "T512.sql"},
      {"Unicodetable_2", 1500000000, 3, "Unicodetable_215000000003.sql"},
  };
  for (const Case& c : cases) {
    const RollOverScript script = BuildRollOver(c.folder, c.size, c.counter);
    EXPECT_EQ(script.file_name, c.file_name);
    EXPECT_EQ(script.text,
              "PRINT  ' Inserting in  Table :" + c.folder + "' \r\nUse [$(DBNAME)]\r\n Go \r\n");
    EXPECT_EQ(script.list_line, "\r\n:r \"Tables\\" + c.folder + "\\" + c.file_name + "\"");
  }
  EXPECT_EQ(BuildRollOver("O'Hara", 1000000001, 1).text,
            "PRINT  ' Inserting in  Table :O''Hara' \r\nUse [$(DBNAME)]\r\n Go \r\n");
  EXPECT_EQ(BuildRollOver("O'Hara", 1000000001, 1).file_name, "O'Hara10000000011.sql");
}

}  // namespace
}  // namespace tarnwick
