#include "logreader/statement.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "logreader/log_record.h"

namespace tarnwick {
namespace {

enum Flags : int { kPlain = 0, kKey = 1, kUnique = 2, kComputed = 4 };

// One column entry of a row: name, value text, marks; the type matters only
// to insert literals.
struct Entry {
  const char* name;
  const char* value;
  int flags = kPlain;
  typeCode code = typeCode::kInt;
  const char* type_text = "int(4)";
};

RowImage Row(const std::vector<Entry>& entries) {
  RowImage row;
  int32_t id = 0;
  for (const Entry& e : entries) {
    ColumnDescriptor& c = row.emplace_back();
    c.column_id = ++id;
    c.ordinal = e.flags & kComputed ? kComputedMarker : id;
    c.name = e.name;
    c.value = e.value;
    c.primary_key = e.flags & kKey;
    c.unique_member = e.flags & kUnique;
    c.typeCode = e.code;
    c.type_text = e.type_text;
  }
  return row;
}

constexpr typeCode kNVarChar = typeCode::kNVarChar;
constexpr typeCode kDateTime = typeCode::kDateTime;

struct StatementCase {
  const char* name;
  uint8_t operation;
  std::vector<std::vector<Entry>> rows;
  const char* expected;  // "" when no statement
};

const StatementCase kCases[] = {
    // Inserts: every stored column as a literal, the last comma dropped.
    {"insert",
     kOpInsertRow,
     {{{"id", "5", kKey}, {"name", "ab", kPlain, kNVarChar, "nvarchar(40)"}, {"qty", "7"}}},
     "insert into [T] values( 5,'ab',7)"},
    {"insert ending in NULL",
     kOpInsertRow,
     {{{"id", "5", kKey}, {"note", "NULL", kPlain, kNVarChar, "nvarchar(40)"}}},
     "insert into [T] values( 5,NULL)"},
    {"insert skips computed",
     kOpInsertRow,
     {{{"id", "5", kKey}, {"total", "10", kComputed}, {"qty", "2"}}},
     "insert into [T] values( 5,2)"},
    {"insert all computed",
     kOpInsertRow,
     {{{"a", "1", kComputed}, {"b", "2", kComputed}}},
     "insert into [T] values( )"},
    {"insert null key date",
     kOpInsertRow,
     {{{"at", "NULL", kKey, kDateTime, "datetime(8)"}, {"qty", "3"}}},
     "insert into [T] values( '2024-05-31 00:00:00',3)"},
    {"insert last value empty string",
     kOpInsertRow,
     {{{"id", "1"}, {"s", "", kPlain, kNVarChar, "nvarchar(8)"}}},
     "insert into [T] values( 1,'')"},
    {"insert two rows", kOpInsertRow, {{{"a", "1"}}, {{"a", "2"}}}, "insert into [T] values( 1,2)"},
    {"insert without rows", kOpInsertRow, {}, ""},

    // Deletes: one condition on the key column, value bare.
    {"delete by key",
     kOpDeleteRow,
     {{{"name", "x"}, {"id", "5", kKey}}},
     "Delete from [T] where id= 5"},
    {"delete two-column key uses the later",
     kOpDeleteRow,
     {{{"a", "1", kKey}, {"b", "2", kKey}, {"c", "3"}}},
     "Delete from [T] where b= 2"},
    {"delete NULL key", kOpDeleteRow, {{{"id", "NULL", kKey}}}, "Delete from [T] where id= NULL"},
    {"delete empty key falls to unique",
     kOpDeleteRow,
     {{{"a", "1"}, {"id", "", kKey}, {"u", "x", kUnique}}},
     "Delete from [T] where u= x"},
    {"delete last key empty, earlier key not used",
     kOpDeleteRow,
     {{{"c", "3"}, {"a", "1", kKey}, {"b", "", kKey}}},
     "Delete from [T] where c= 3"},
    {"delete two uniques uses the later",
     kOpDeleteRow,
     {{{"a", "1"}, {"u1", "p", kUnique}, {"u2", "q", kUnique}}},
     "Delete from [T] where u2= q"},
    {"delete key over unique",
     kOpDeleteRow,
     {{{"u", "p", kUnique}, {"id", "9", kKey}, {"v", "q", kUnique}}},
     "Delete from [T] where id= 9"},
    {"delete without key uses first column",
     kOpDeleteRow,
     {{{"a", "1"}, {"b", "2"}}},
     "Delete from [T] where a= 1"},
    {"delete first column even if empty",
     kOpDeleteRow,
     {{{"a", ""}, {"b", "2"}}},
     "Delete from [T] where a= "},
    {"delete first column even if computed",
     kOpDeleteRow,
     {{{"c", "3", kComputed}, {"b", "2"}}},
     "Delete from [T] where c= 3"},
    {"delete without rows", kOpDeleteRow, {}, ""},
    {"delete of an empty row", kOpDeleteRow, {{}}, ""},

    // Modify-row updates: image 1's changed values, image 0's key.
    {"update",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"name", "a"}, {"qty", "2"}},
      {{"id", "1", kKey}, {"name", "b"}, {"qty", "3"}}},
     "Update [T] SET name = b,qty = 3 Where id= 1"},
    {"update no change",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"name", "a"}}, {{"id", "1", kKey}, {"name", "a"}}},
     ""},
    {"update without key uses first column",
     kOpModifyRow,
     {{{"a", "1"}, {"b", "x"}}, {{"a", "1"}, {"b", "y"}}},
     "Update [T] SET b = y Where a= 1"},
    {"update of the key keeps the stored key",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"n", "a"}}, {{"id", "2", kKey}, {"n", "a"}}},
     "Update [T] SET id = 2 Where id= 1"},
    {"update key taken from image 0",
     kOpModifyRow,
     {{{"id", "", kKey}, {"u", "k", kUnique}, {"n", "a"}},
      {{"id", "7", kKey}, {"u", "k", kUnique}, {"n", "b"}}},
     "Update [T] SET id = 7,n = b Where u= k"},
    {"update compares computed columns",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"c", "10", kComputed}}, {{"id", "1", kKey}, {"c", "20", kComputed}}},
     "Update [T] SET c = 20 Where id= 1"},
    {"update to NULL is not quoted",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"s", "abc", kPlain, kNVarChar, "nvarchar(8)"}},
      {{"id", "1", kKey}, {"s", "NULL", kPlain, kNVarChar, "nvarchar(8)"}}},
     "Update [T] SET s = NULL Where id= 1"},
    {"update NULL key",
     kOpModifyRow,
     {{{"id", "NULL", kKey}, {"n", "a"}}, {{"id", "NULL", kKey}, {"n", "b"}}},
     "Update [T] SET n = b Where id= NULL"},
    {"update trailing commas of the list dropped",
     kOpModifyRow,
     {{{"id", "1", kKey}, {"n", "a"}}, {{"id", "1", kKey}, {"n", "b,,"}}},
     "Update [T] SET n = b Where id= 1"},
    {"update with one row", kOpModifyRow, {{{"id", "1", kKey}}}, ""},

    // Modify-columns updates: only a key or unique column names the row.
    {"columns update by key",
     kOpModifyColumns,
     {{{"id", "4", kKey}, {"n", "a"}}, {{"id", "4", kKey}, {"n", "b"}}},
     "Update [T] SET n = b Where id= 4"},
    {"columns update by unique",
     kOpModifyColumns,
     {{{"n", "a"}, {"u", "z", kUnique}}, {{"n", "b"}, {"u", "z", kUnique}}},
     "Update [T] SET n = b Where u= z"},
    {"columns update without key",
     kOpModifyColumns,
     {{{"a", "1"}, {"b", "x"}}, {{"a", "1"}, {"b", "y"}}},
     ""},
    {"columns update with empty key and unique",
     kOpModifyColumns,
     {{{"id", "", kKey}, {"u", "", kUnique}, {"b", "x"}},
      {{"id", "", kKey}, {"u", "", kUnique}, {"b", "y"}}},
     ""},
    {"columns update no change",
     kOpModifyColumns,
     {{{"id", "4", kKey}, {"n", "a"}}, {{"id", "4", kKey}, {"n", "a"}}},
     ""},
    {"columns update with one row", kOpModifyColumns, {{{"id", "4", kKey}}}, ""},

    // Other codes make no statement.
    {"code 5", 5, {{{"id", "1", kKey}}, {{"id", "2", kKey}}}, ""},
    {"code 0", 0, {{{"id", "1", kKey}}}, ""},
};

void PrintTo(const StatementCase& c, std::ostream* os) { *os << c.name; }

class StatementCases : public ::testing::TestWithParam<StatementCase> {};

TEST_P(StatementCases, Statement) {
  const StatementCase& c = GetParam();
  std::vector<RowImage> rows;
  for (const auto& entries : c.rows) rows.push_back(Row(entries));
  SqlLiteralContext context;
  context.today = "2024-05-31";
  EXPECT_EQ(BuildOperationStatement(c.operation, "T", rows, context), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Operations, StatementCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StatementCase>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

TEST(Statement, TableNameIsBracketedAsGiven) {
  std::vector<RowImage> rows = {Row({{"id", "3", kKey}})};
  EXPECT_EQ(BuildOperationStatement(kOpDeleteRow, "Order Lines", rows),
            "Delete from [Order Lines] where id= 3");
  EXPECT_EQ(BuildOperationStatement(kOpInsertRow, "Order Lines", rows),
            "insert into [Order Lines] values( 3)");
}

TEST(ValuesList, StoredColumnsOnlyAndLastRowOnTop) {
  RowImage image0 = Row({{"id", "1", kKey}, {"total", "10", kComputed}, {"name", "a"}});
  RowImage image1 = Row({{"id", "1", kKey}, {"total", "20", kComputed}, {"name", "b"}});
  std::vector<RowImage> rows = {image0, image1};
  ValuesList list = BuildValuesList(image0, rows);
  EXPECT_EQ(list.columns, (std::vector<std::string>{"id", "name"}));
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0], (std::vector<std::string>{"1", "b"}));
  EXPECT_EQ(list.rows[1], (std::vector<std::string>{"1", "a"}));
}

TEST(ValuesList, HeadersStayWithoutRows) {
  RowImage columns = Row({{"c", "", kComputed}, {"id", ""}, {"name", ""}});
  ValuesList list = BuildValuesList(columns, {});
  EXPECT_EQ(list.columns, (std::vector<std::string>{"id", "name"}));
  EXPECT_TRUE(list.rows.empty());
}

TEST(RenderOperation, StatementAndValuesOfAnUpdate) {
  RowImage image0 = Row({{"id", "8", kKey}, {"qty", "1"}});
  RowImage image1 = Row({{"id", "8", kKey}, {"qty", "2"}});
  std::vector<RowImage> rows = {image0, image1};
  ShownOperation shown = RenderOperation(kOpModifyRow, "Stock", image0, rows);
  EXPECT_EQ(shown.statement, "Update [Stock] SET qty = 2 Where id= 8");
  ASSERT_EQ(shown.values.rows.size(), 2u);
  EXPECT_EQ(shown.values.rows[0][1], "2");

  // A failed decode: no statement, headers only.
  ShownOperation failed = RenderOperation(kOpModifyRow, "Stock", image0, {});
  EXPECT_EQ(failed.statement, "");
  EXPECT_EQ(failed.values.columns.size(), 2u);
  EXPECT_TRUE(failed.values.rows.empty());
}

}  // namespace
}  // namespace tarnwick
