#include "export/sql_literal.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <regex>
#include <string>

namespace tarnwick {
namespace {

using T = typeCode;

struct LiteralCase {
  const char* name;
  typeCode code;
  const char* type_text;
  bool primary_key;
  const char* value;
  bool saving;
  const char* expected;
};

ColumnDescriptor Column(typeCode code, const char* type_text, bool primary_key) {
  ColumnDescriptor c;
  c.name = "c";
  c.typeCode = code;
  c.type_text = type_text;
  c.primary_key = primary_key;
  return c;
}

constexpr const char* kToday = "2024-05-31";

const LiteralCase kCases[] = {
    // Numbers are written bare.
    {"int", T::kInt, "int(4)", false, "5", false, "5,"},
    {"bigint trimmed", T::kBigInt, "bigint(8)", false, "  -42 ", false, "-42,"},
    {"int null", T::kInt, "int(4)", false, "NULL", false, "NULL,"},
    {"int empty", T::kInt, "int(4)", false, "", false, "0,"},
    {"int blanks only", T::kInt, "int(4)", false, "   ", false, "0,"},
    {"smallint key null", T::kSmallInt, "smallint(2)", true, "NULL", false, "0,"},
    {"tinyint key empty", T::kTinyInt, "tinyint(1)", true, "", false, "0,"},
    {"money", T::kMoney, "money(8)", false, "12.3400", false, "12.3400,"},
    {"smallmoney key null", T::kSmallMoney, "smallmoney(4)", true, "NULL", false, "0,"},
    {"real keeps digits", T::kReal, "real(4)", false, "1.23456789", false, "1.23456789,"},
    {"decimal", T::kDecimal, "decimal(9)", false, "8.99", false, "8.99,"},
    {"decimal null", T::kDecimal, "decimal(9)", false, "NULL", false, "NULL,"},
    {"numeric empty", T::kNumeric, "numeric(9)", false, "", false, "0,"},
    // Decimal and numeric have no key replacement: the value becomes empty.
    {"decimal key null", T::kDecimal, "decimal(9)", true, "NULL", false, ","},
    // Float: at most 8 characters without a point, the type's digits after it.
    {"float no point", T::kFloat, "float(8)", false, "1234567890", false, "12345678,"},
    {"float no point short", T::kFloat, "float(8)", false, "12345678", false, "12345678,"},
    {"float digits cut", T::kFloat, "float(8)", false, "-1.23456789012", false, "-1.23456789,"},
    {"float few digits", T::kFloat, "float(8)", false, "3.5", false, "3.5,"},
    {"float four digits", T::kFloat, "float(4)", false, "0.123456", false, "0.1234,"},
    {"float null", T::kFloat, "float(8)", false, "NULL", false, "NULL,"},
    {"float key null", T::kFloat, "float(8)", true, "NULL", false, "0,"},

    // Character types are quoted, quotes doubled, no N prefix.
    {"nvarchar", T::kNVarChar, "nvarchar(320)", false, "Górecki", false, "'Górecki',"},
    {"quote doubled", T::kNVarChar, "nvarchar(40)", false, "O'Brien", false, "'O''Brien',"},
    {"varchar cut", T::kVarChar, "varchar(5)", false, "abcdefg", false, "'abcde',"},
    {"cut in doubled quote", T::kVarChar, "varchar(5)", false, "abcd'x", false, "'abcd',"},
    {"cut at quotes", T::kVarChar, "varchar(5)", false, "abc'defg", false, "'abc',"},
    {"cut counts characters", T::kNVarChar, "nvarchar(4)", false, "héllo", false, "'héll',"},
    {"varchar at length", T::kVarChar, "varchar(5)", false, "abcde", false, "'abcde',"},
    {"varchar max", T::kVarChar, "varchar(-1)", false, "abcdefghij", false, "'abcdefghij',"},
    {"varchar max word", T::kVarChar, "varchar(max)", false, "abcdefghij", false, "'abcdefghij',"},
    {"short column keeps NULL", T::kVarChar, "varchar(2)", false, "NULL", false, "NULL,"},
    {"char not cut", T::kChar, "char(3)", false, "abcdef", false, "'abcdef',"},
    {"nchar not cut", T::kNChar, "nchar(4)", false, "abcdef", false, "'abcdef',"},
    {"varchar empty", T::kVarChar, "varchar(10)", false, "", false, "'',"},
    {"varchar null", T::kVarChar, "varchar(10)", false, "NULL", false, "NULL,"},
    {"text empty", T::kText, "text(16)", false, "", false, "'',"},
    {"ntext null", T::kNText, "ntext(16)", false, "NULL", false, "NULL,"},
    {"nchar key null", T::kNChar, "nchar(10)", true, "NULL", false, "'',"},
    {"trailing blanks trimmed", T::kChar, "char(10)", false, "ab        ", false, "'ab',"},

    // Dates, times and the other quoted types.
    {"datetime", T::kDateTime, "datetime(8)", false, "2024-01-02 03:04:05", false,
     "'2024-01-02 03:04:05',"},
    {"datetime null", T::kDateTime, "datetime(8)", false, "NULL", false, "NULL,"},
    {"datetime empty", T::kDateTime, "datetime(8)", false, "", false, "'',"},
    {"datetime key null", T::kDateTime, "datetime(8)", true, "NULL", false,
     "'2024-05-31 00:00:00',"},
    {"date key empty", T::kDate, "date(3)", true, "", false, "'2024-05-31 00:00:00',"},
    {"datetime2 key null", T::kDateTime2, "datetime2(8)", true, "NULL", false,
     "'2024-05-31 00:00:00',"},
    {"smalldatetime key null", T::kSmallDateTime, "smalldatetime(4)", true, "NULL", false,
     "'2024-05-31 00:00:00',"},
    {"time key null", T::kTime, "time(5)", true, "NULL", false, "'',"},
    {"datetimeoffset", T::kDateTimeOffset, "datetimeoffset(10)", false, "2024-01-02 03:04:05 +1:0",
     false, "'2024-01-02 03:04:05 +1:0',"},
    {"bit", T::kBit, "bit(1)", false, "True", false, "'True',"},
    {"bit key null", T::kBit, "bit(1)", true, "NULL", false, "'',"},
    {"guid", T::kUniqueIdentifier, "uniqueidentifier(16)", false,
     "6F9619FF-8B86-D011-B42D-00C04FC964FF", false, "'6F9619FF-8B86-D011-B42D-00C04FC964FF',"},
    {"guid key null", T::kUniqueIdentifier, "uniqueidentifier(16)", true, "NULL", false,
     "'00000000-0000-0000-0000-000000000000',"},
    {"guid null", T::kUniqueIdentifier, "uniqueidentifier(16)", false, "NULL", false, "NULL,"},
    {"xml", T::kXml, "xml(-1)", false, "<a b='1'/>", false, "'<a b=''1''/>',"},

    // Binary types.
    {"varbinary cut", T::kVarBinary, "varbinary(2)", false, "0x0A0B0C", false, "0x0A0B,"},
    {"varbinary fits", T::kVarBinary, "varbinary(3)", false, "0x0A0B0C", false, "0x0A0B0C,"},
    {"varbinary max", T::kVarBinary, "varbinary(-1)", false, "0x0A0B0C0D0E", false,
     "0x0A0B0C0D0E,"},
    {"varbinary empty", T::kVarBinary, "varbinary(10)", false, "", false,
     "CONVERT(varbinary,' '),"},
    {"varbinary null", T::kVarBinary, "varbinary(10)", false, "NULL", false, "NULL,"},
    {"varbinary key null", T::kVarBinary, "varbinary(10)", true, "NULL", false,
     "CONVERT(varbinary,' '),"},
    {"varbinary blob saving", T::kVarBinary, "varbinary(-1)", false, "\\T\\blob\\3_blob", true,
     "(Select * from OPENROWSET(BULK N'$(DIR)\\T\\blob\\3_blob',SINGLE_BLOB) as Image),"},
    {"varbinary blob not saving", T::kVarBinary, "varbinary(-1)", false, "\\T\\blob\\3_blob", false,
     "\\T\\blob\\3_blob,"},
    {"varbinary hex saving", T::kVarBinary, "varbinary(-1)", false, "0x0102", true, "0x0102,"},
    {"timestamp as varbinary", T::kTimestamp, "timestamp(8)", false, "0x00000000000007D1", false,
     "0x00000000000007D1,"},
    {"timestamp cut", T::kTimestamp, "timestamp(1)", false, "0x0102", false, "0x01,"},
    {"timestamp empty", T::kTimestamp, "timestamp(8)", false, "", false, "CONVERT(varbinary,' '),"},
    {"binary", T::kBinary, "binary(2)", false, "0x0102", false, "0x0102,"},
    {"binary not cut", T::kBinary, "binary(1)", false, "0x0102", false, "0x0102,"},
    {"binary empty", T::kBinary, "binary(4)", false, "", false, "CONVERT(binary,' '),"},
    {"binary null", T::kBinary, "binary(4)", false, "NULL", false, "NULL,"},
    {"binary key null", T::kBinary, "binary(4)", true, "NULL", false, "CONVERT(binary,' '),"},
    {"binary blob saving", T::kBinary, "binary(4)", false, "\\b\\1_blob", true,
     "(Select * from OPENROWSET(BULK N'$(DIR)\\b\\1_blob',SINGLE_BLOB) as Image),"},
    // Image is binary only after the NULL rules, which give it the plain forms.
    {"image", T::kImage, "image(16)", false, "0xFFD8", false, "0xFFD8,"},
    {"image blob saving", T::kImage, "image(16)", false, "\\Img\\blob\\7_blob", true,
     "(Select * from OPENROWSET(BULK N'$(DIR)\\Img\\blob\\7_blob',SINGLE_BLOB) as Image),"},
    {"image empty", T::kImage, "image(16)", false, "", false, "'',"},
    {"image null", T::kImage, "image(16)", false, "NULL", false, "NULL,"},
    {"image key null", T::kImage, "image(16)", true, "NULL", false, "CONVERT(varbinary,' '),"},

    // sql_variant goes through a varchar conversion.
    {"sql_variant", T::kSqlVariant, "sql_variant(8016)", false, "x", false,
     "CONVERT(varchar,'x'),"},
    {"sql_variant cut", T::kSqlVariant, "sql_variant(3)", false, "abcdef", false,
     "CONVERT(varchar,'abc'),"},
    {"sql_variant quote", T::kSqlVariant, "sql_variant(8016)", false, "it's", false,
     "CONVERT(varchar,'it''s'),"},
    {"sql_variant empty", T::kSqlVariant, "sql_variant(8016)", false, "", false, "'',"},
    {"sql_variant null", T::kSqlVariant, "sql_variant(8016)", false, "NULL", false, "NULL,"},
    {"sql_variant key null", T::kSqlVariant, "sql_variant(8016)", true, "NULL", false,
     "CONVERT(varchar,''),"},

    // Types without a literal.
    {"geometry", T::kGeometry, "geometry(-1)", false, "E6100000", false, "NULL,"},
    {"clr", T::kClr, "geography(-1)", false, "0xE610", false, "NULL,"},
    {"hierarchyid", T::kHierarchyId, "hierarchyid(892)", false, "0x58", false, "NULL,"},
    {"row id", T::kRowId, "rowid(8)", false, "12/1/0", false, "NULL,"},
    {"sysname", T::kSysName, "sysname(256)", false, "abc", false, "NULL,"},
    {"geometry empty", T::kGeometry, "geometry(-1)", false, "", false, "'',"},
    {"hierarchyid key null", T::kHierarchyId, "hierarchyid(892)", true, "NULL", false, "NULL,"},
};

void PrintTo(const LiteralCase& c, std::ostream* os) { *os << c.name; }

class SqlLiteralCases : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(SqlLiteralCases, Literal) {
  const LiteralCase& c = GetParam();
  SqlLiteralContext context;
  context.saveRunning = c.saving;
  context.today = kToday;
  EXPECT_EQ(SqlLiteral(Column(c.code, c.type_text, c.primary_key), c.value, context), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, SqlLiteralCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LiteralCase>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

TEST(SqlLiteral, EveryLiteralEndsInAComma) {
  const char* values[] = {"", "NULL", "x", " 1 ", "'", "0x01", "\\a\\1_blob", "1.5"};
  for (int code = 0; code < kTypeCodeCount; ++code) {
    for (const char* type_text : {"t(4)", "t(-1)", "t"}) {
      for (bool key : {false, true}) {
        for (bool saving : {false, true}) {
          for (const char* value : values) {
            SqlLiteralContext context{saving, kToday};
            std::string literal =
                SqlLiteral(Column(static_cast<typeCode>(code), type_text, key), value, context);
            ASSERT_FALSE(literal.empty());
            EXPECT_EQ(literal.back(), ',') << code << " " << type_text << " '" << value << "'";
          }
        }
      }
    }
  }
}

TEST(SqlLiteral, KeyDateTakesTheLocalDateByDefault) {
  const std::string before = TodayText();
  EXPECT_TRUE(std::regex_match(before, std::regex(R"(\d{4}-\d{2}-\d{2})"))) << before;
  const std::string literal = SqlLiteral(Column(T::kDateTime, "datetime(8)", true), "NULL");
  const std::string after = TodayText();  // a midnight may pass between the calls
  EXPECT_TRUE(literal == "'" + before + " 00:00:00'," || literal == "'" + after + " 00:00:00',")
      << literal;
}

}  // namespace
}  // namespace tarnwick
