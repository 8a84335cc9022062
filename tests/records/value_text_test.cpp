#include "records/value_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

#include "records/binxml.h"
#include "records/type_code.h"

namespace tarnwick {
namespace {

// "00 1A ff" -> bytes.
ByteBuffer Hex(std::string_view text) {
  ByteBuffer out;
  int high = -1;
  for (char c : text) {
    int nibble = c >= '0' && c <= '9'   ? c - '0'
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                        : -1;
    if (nibble < 0) continue;
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return out;
}

struct ValueCase {
  const char* name;
  typeCode code;
  const char* hex;
  int32_t declared_length;
  uint8_t precision;
  uint8_t scale;
  bool variable;
  const char* expected;
};

std::string Render(const ValueCase& c, int32_t code_page = kDefaultCodePage) {
  ColumnTypeInfo column;
  column.code = c.code;
  column.declared_length = c.declared_length;
  column.precision = c.precision;
  column.scale = c.scale;
  column.variable = c.variable;
  column.code_page = code_page;
  ByteBuffer bytes = Hex(c.hex);
  return ValueText(column, bytes);
}

using T = typeCode;

// Fixed values are read from the start of the bytes with the type's length;
// trailing bytes belong to the next column.
const ValueCase kValueCases[] = {
    {"bigint -1", T::kBigInt, "FF FF FF FF FF FF FF FF", 0, 0, 0, false, "-1"},
    {"bigint min", T::kBigInt, "00 00 00 00 00 00 00 80", 0, 0, 0, false, "-9223372036854775808"},
    {"bigint 42 then more", T::kBigInt, "2A 00 00 00 00 00 00 00 99", 0, 0, 0, false, "42"},
    {"binary", T::kBinary, "DE AD 01 FF", 3, 0, 0, false, "0xDEAD01"},
    {"char padded", T::kChar, "48 69 20 20 20", 5, 0, 0, false, "Hi   "},
    {"char ends at zero", T::kChar, "41 00 42", 3, 0, 0, false, "A"},
    {"char cp1252 euro", T::kChar, "80", 1, 0, 0, false, "\xE2\x82\xAC"},
    {"char unmapped byte", T::kChar, "41 81 42", 3, 0, 0, false,
     "A\xEF\xBF\xBD"
     "B"},
    {"datetime epoch", T::kDateTime, "00 00 00 00 00 00 00 00", 0, 0, 0, false,
     "1900-01-01 00:00:00"},
    {"datetime 300 ticks", T::kDateTime, "2C 01 00 00 00 00 00 00", 0, 0, 0, false,
     "1900-01-01 00:00:01"},
    {"datetime last tick of day", T::kDateTime, "FF 81 8B 01 00 00 00 00", 0, 0, 0, false,
     "1900-01-01 23:59:59"},
    {"datetime hour 24 date only", T::kDateTime, "00 82 8B 01 00 00 00 00", 0, 0, 0, false,
     "1900-01-01"},
    {"datetime leap day", T::kDateTime, "40 59 CF 00 25 B1 00 00", 0, 0, 0, false,
     "2024-02-29 12:34:56"},
    {"datetime 1753", T::kDateTime, "00 00 00 00 46 2E FF FF", 0, 0, 0, false,
     "1753-01-01 00:00:00"},
    {"datetime 1752 shows 1753", T::kDateTime, "00 00 00 00 45 2E FF FF", 0, 0, 0, false,
     "1753-12-31 00:00:00"},
    {"datetime 1700-03-01 shows 1753", T::kDateTime, "00 00 00 00 E3 E2 FE FF", 0, 0, 0, false,
     "1753-03-01 00:00:00"},
    {"datetime most negative days", T::kDateTime, "00 00 00 00 00 00 00 80", 0, 0, 0, false,
     "1753-06-22 00:00:00"},
    {"datetime 9999-12-31", T::kDateTime, "00 00 00 00 7F 24 2D 00", 0, 0, 0, false,
     "9999-12-31 00:00:00"},
    {"datetime year 10000", T::kDateTime, "00 00 00 00 80 24 2D 00", 0, 0, 0, false, " "},
    {"datetime negative second", T::kDateTime, "D4 FE FF FF 00 00 00 00", 0, 0, 0, false, " "},
    {"date zero", T::kDate, "00 00 00", 0, 0, 0, false, "0001-01-01"},
    {"date leap 2000", T::kDate, "42 24 0B", 0, 0, 0, false, "2000-02-29"},
    {"date end of 1600", T::kDate, "C3 EA 08", 0, 0, 0, false, "1600-12-31"},
    {"date 9999-12-31", T::kDate, "DA B9 37", 0, 0, 0, false, "9999-12-31"},
    {"date year 10000", T::kDate, "DB B9 37", 0, 0, 0, false, " "},
    {"date max", T::kDate, "FF FF FF", 0, 0, 0, false, " "},
    {"time(7) 500 units", T::kTime, "F4 01 00 00 00", 5, 0, 7, false, "00:00:00.500"},
    {"time(7) full", T::kTime, "87 4D 55 46 73", 5, 0, 7, false, "13:45:10.1234567"},
    {"time(7) 0500000 unpadded", T::kTime, "20 81 3C 95 64", 5, 0, 7, false, "12:00:00.500000"},
    {"time(0)", T::kTime, "7F 51 01", 3, 0, 0, false, "23:59:59"},
    {"time(0) 24 hours", T::kTime, "80 51 01", 3, 0, 0, false, " "},
    {"time undeclared uses 5", T::kTime, "F4 01 00 00 00", 0, 0, 7, false, "00:00:00.500"},
    {"time huge scale", T::kTime, "FF FF FF FF FF", 5, 0, 200, false, "00:00:00.1099511627775"},
    {"datetime2(7)", T::kDateTime2, "87 4D 55 46 73 DC 46 0B", 8, 0, 7, false,
     "2024-05-31 13:45:10.1234567"},
    {"datetime2(0)", T::kDateTime2, "00 00 00 00 00 00", 6, 0, 0, false, "0001-01-01 00:00:00"},
    {"datetime2 24 hours", T::kDateTime2, "80 51 01 00 00 00", 6, 0, 0, false, " "},
    {"datetimeoffset(7) +5:30", T::kDateTimeOffset, "00 10 AC D1 53 DC 46 0B 4A 01", 10, 0, 7,
     false, "2024-05-31 15:30:00.0  +5:30"},
    {"datetimeoffset(0) +5:30", T::kDateTimeOffset, "A0 8C 00 DC 46 0B 4A 01", 8, 0, 0, false,
     "2024-05-31 15:30:00 +5:30"},
    {"datetimeoffset(0) -1:00", T::kDateTimeOffset, "A0 8C 00 DC 46 0B C4 FF", 8, 0, 0, false,
     "2024-05-31 09:00:00 +-1:0"},
    {"datetimeoffset past midnight", T::kDateTimeOffset, "70 43 01 DC 46 0B 78 00", 8, 0, 0, false,
     " "},
    {"int -1", T::kInt, "FF FF FF FF", 0, 0, 0, false, "-1"},
    {"int min", T::kInt, "00 00 00 80", 0, 0, 0, false, "-2147483648"},
    {"nchar", T::kNChar, "48 00 69 00", 4, 0, 0, false, "Hi"},
    {"nchar surrogate pair", T::kNChar, "3D D8 00 DE", 4, 0, 0, false, "\xF0\x9F\x98\x80"},
    {"nvarchar ends at zero", T::kNVarChar, "41 00 00 00 42 00", 0, 0, 0, true, "A"},
    {"nvarchar odd byte", T::kNVarChar, "41 00 42", 0, 0, 0, true, "A\xEF\xBF\xBD"},
    {"row id", T::kRowId, "64 00 00 00 01 00 03 00", 0, 0, 0, false, "100/1/3"},
    {"row id signed", T::kRowId, "FF FF FF FF FF FF FE FF", 0, 0, 0, false, "-1/-1/-2"},
    {"smallint min", T::kSmallInt, "00 80", 0, 0, 0, false, "-32768"},
    {"tinyint unsigned", T::kTinyInt, "FF", 0, 0, 0, false, "255"},
    {"guid byte order", T::kUniqueIdentifier, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F", 0,
     0, 0, false, "03020100-0504-0706-0809-0A0B0C0D0E0F"},
    {"varbinary no prefix", T::kVarBinary, "01 02 AB", 0, 0, 0, true, "0102AB"},
    {"varbinary empty", T::kVarBinary, "", 0, 0, 0, true, ""},
    {"varchar", T::kVarChar, "61 62 63", 0, 0, 0, true, "abc"},
    {"sysname", T::kSysName, "61 62", 0, 0, 0, true, ""},
    {"ntext two zeros utf16", T::kNText, "61 00 62 00", 0, 0, 0, true, "ab"},
    {"ntext one zero 8-bit", T::kNText, "61 62 63 00", 0, 0, 0, true, "abc"},
    {"ntext no zero 8-bit", T::kNText, "61 62 63 64", 0, 0, 0, true, "abcd"},
    {"sql_variant past header utf16", T::kSqlVariant, "E7 01 08 00 09 04 D0 00 61 00 62 00", 0, 0,
     0, true, "ab"},
    {"sql_variant past header 8-bit", T::kSqlVariant, "A7 01 08 00 09 04 D0 00 61 62 63", 0, 0, 0,
     true, "abc"},
    {"sql_variant header only", T::kSqlVariant, "A7 01 08 00 09 04 D0 00", 0, 0, 0, true, ""},
    {"money 0", T::kMoney, "00 00 00 00 00 00 00 00", 0, 0, 0, false, "0.0000"},
    {"money 12345", T::kMoney, "39 30 00 00 00 00 00 00", 0, 0, 0, false, "1.2345"},
    {"money -12345", T::kMoney, "C7 CF FF FF FF FF FF FF", 0, 0, 0, false, "-1.2345"},
    {"money -5000", T::kMoney, "78 EC FF FF FF FF FF FF", 0, 0, 0, false, "-0.5000"},
    {"money min", T::kMoney, "00 00 00 00 00 00 00 80", 0, 0, 0, false, "-922337203685477.5808"},
    {"float 0", T::kFloat, "00 00 00 00 00 00 00 00", 0, 0, 0, false, "0"},
    {"float 1", T::kFloat, "00 00 00 00 00 00 F0 3F", 0, 0, 0, false, "1"},
    {"float 0.1", T::kFloat, "9A 99 99 99 99 99 B9 3F", 0, 0, 0, false, "0.1"},
    {"float 123.456", T::kFloat, "77 BE 9F 1A 2F DD 5E 40", 0, 0, 0, false, "123.456"},
    {"float -1.5 six decimals", T::kFloat, "00 00 00 00 00 00 F8 BF", 0, 0, 0, false, "-1.5"},
    {"float 1e20 six decimals", T::kFloat, "40 8C B5 78 1D AF 15 44", 0, 0, 0, false,
     "100000000000000000000"},
    {"float 1/3", T::kFloat, "55 55 55 55 55 55 D5 3F", 0, 0, 0, false, "0.333333333333333"},
    {"float 2/3 rounds", T::kFloat, "55 55 55 55 55 55 E5 3F", 0, 0, 0, false, "0.666666666666667"},
    {"float 1e-5", T::kFloat, "F1 68 E3 88 B5 F8 E4 3E", 0, 0, 0, false, "0.00001"},
    {"float 1234567.891", T::kFloat, "75 93 18 E4 87 D6 32 41", 0, 0, 0, false, "1234567.891"},
    {"float infinity", T::kFloat, "00 00 00 00 00 00 F0 7F", 0, 0, 0, false, "0"},
    {"float nan", T::kFloat, "01 00 00 00 00 00 F8 7F", 0, 0, 0, false, "0"},
    {"decimal(5,2) negative", T::kDecimal, "00 39 30 00 00", 5, 5, 2, false, "-123.45"},
    {"decimal(5,2) 0.05", T::kDecimal, "01 05 00 00 00", 5, 5, 2, false, "0.05"},
    {"decimal(5,2) 0.00", T::kDecimal, "01 00 00 00 00", 5, 5, 2, false, "0.00"},
    {"decimal(5,0)", T::kDecimal, "01 39 30 00 00", 5, 5, 0, false, "12345"},
    {"decimal(5,2) one digit over", T::kDecimal, "01 40 E2 01 00", 5, 5, 2, false, "1234.5"},
    {"decimal(5,2) fraction dropped", T::kDecimal, "01 87 D6 12 00", 5, 5, 2, false, "12345"},
    {"decimal(5,2) too wide", T::kDecimal, "01 4E 61 BC 00", 5, 5, 2, false, ""},
    {"decimal(25,0) 12-byte magnitude", T::kDecimal, "01 00 00 00 00 00 00 00 00 01 00 00 00", 13,
     25, 0, false, "18446744073709551616"},
    {"decimal(38,0) max", T::kDecimal, "01 FF FF FF FF 3F 22 8A 09 7A C4 86 5A A8 4C 3B 4B", 17, 38,
     0, false, "99999999999999999999999999999999999999"},
    {"decimal(15,4) 8-byte magnitude", T::kDecimal, "00 15 CD 5B 07 00 00 00 00", 9, 15, 4, false,
     "-12345.6789"},
    {"numeric(5,2) declared", T::kNumeric, "01 39 30 00 00", 5, 5, 2, false, "123.45"},
    {"numeric undeclared needs 19", T::kNumeric, "01 39 30 00 00", 0, 5, 2, false, ""},
    {"image", T::kImage, "01 02", 0, 0, 0, true, ""},
    {"text in row", T::kText, "41 42", 2, 0, 0, false, "AB"},
    {"smalldatetime epoch", T::kSmallDateTime, "00 00 00 00", 0, 0, 0, false,
     "1900-01-01 00:00:00"},
    {"smalldatetime last", T::kSmallDateTime, "9F 05 FF FF", 0, 0, 0, false, "2079-06-06 23:59:00"},
    {"smalldatetime 24 hours", T::kSmallDateTime, "A0 05 00 00", 0, 0, 0, false, " "},
    {"smalldatetime negative", T::kSmallDateTime, "FF FF 00 00", 0, 0, 0, false, " "},
    {"real 1.5", T::kReal, "00 00 C0 3F", 0, 0, 0, false, "1.5"},
    {"real -2.5", T::kReal, "00 00 20 C0", 0, 0, 0, false, "-2.5"},
    {"real pi six digits", T::kReal, "DB 0F 49 40", 0, 0, 0, false, "3.14159"},
    {"real 100000", T::kReal, "00 50 C3 47", 0, 0, 0, false, "100000"},
    {"real 1e6 exponent", T::kReal, "00 24 74 49", 0, 0, 0, false, "1e+06"},
    {"real 123456789", T::kReal, "A3 79 EB 4C", 0, 0, 0, false, "1.23457e+08"},
    {"real 1e-7 is 0", T::kReal, "95 BF D6 33", 0, 0, 0, false, "0"},
    {"real infinity", T::kReal, "00 00 80 7F", 0, 0, 0, false, "0"},
    {"smallmoney -1", T::kSmallMoney, "FF FF FF FF", 0, 0, 0, false, "-0.0001"},
    {"smallmoney max", T::kSmallMoney, "FF FF FF 7F", 0, 0, 0, false, "214748.3647"},
    {"timestamp", T::kTimestamp, "00 00 00 00 00 00 07 D1", 0, 0, 0, false, "0x00000000000007D1"},
    {"hierarchyid", T::kHierarchyId, "58 40", 2, 0, 0, false, "0x5840"},
    {"geometry no prefix", T::kGeometry, "E6 10 00 00", 0, 0, 0, true, "E6100000"},
    {"clr prefix", T::kClr, "E6 10", 0, 0, 0, true, "0xE610"},
    {"xml garbage", T::kXml, "01 02 03", 0, 0, 0, true, " "},
    {"xml empty", T::kXml, "", 0, 0, 0, true, " "},
    {"bit chunk 1", T::kBit, "01", 0, 0, 0, true, "True"},
    {"bit chunk bit 0 only", T::kBit, "02", 0, 0, 0, true, "False"},
    {"bit chunk of 2 bytes", T::kBit, "01 00", 0, 0, 0, true, ""},
    {"bit fixed fresh reader", T::kBit, "03", 0, 0, 0, false, "True"},
    {"bit fixed no byte", T::kBit, "", 0, 0, 0, false, ""},
    {"code out of range", static_cast<typeCode>(35), "01 02 03 04", 4, 0, 0, false, ""},
    {"negative code", static_cast<typeCode>(-1), "01 02 03 04", 4, 0, 0, true, ""},
};

class ValueTextCases : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTextCases, Renders) { EXPECT_EQ(Render(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(AllTypes, ValueTextCases, ::testing::ValuesIn(kValueCases),
                         [](const ::testing::TestParamInfo<ValueCase>& info) {
                           std::string name;
                           for (char ch : std::string_view(info.param.name))
                             name.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch
                                                                                         : '_');
                           return name;
                         });

TEST(ValueText, EightBitTextUsesTheGivenCodePage) {
  const ValueCase cyrillic = {"", T::kVarChar, "C0 E1", 0, 0, 0, true, ""};
  EXPECT_EQ(Render(cyrillic, 1251), "\xD0\x90\xD0\xB1");  // "Аб"
  EXPECT_EQ(Render(cyrillic, 1252), "\xC3\x80\xC3\xA1");  // "Àá"
  const ValueCase shift_jis = {"", T::kChar, "82 A0", 2, 0, 0, false, ""};
  EXPECT_EQ(Render(shift_jis, 932), "\xE3\x81\x82");  // "あ"
  // A lead byte without its trail byte still gives text, not an empty value.
  const ValueCase cut = {"", T::kChar, "41 82", 2, 0, 0, false, ""};
  EXPECT_EQ(Render(cut, 932), "A\xEF\xBF\xBD");
}

TEST(ValueText, NineBitColumnsUseTwoBytes) {
  // Bits are taken least significant first, eight columns to a byte.
  ByteBuffer fixed = Hex("A5 01 77");
  BitReader bits;
  ColumnTypeInfo column;
  column.code = T::kBit;
  column.bits = &bits;
  const char* expected[] = {"True", "False", "True", "False", "False",
                            "True", "False", "True", "True"};
  size_t cursor = 0;
  for (const char* want : expected) {
    int64_t occupied = -1;
    EXPECT_EQ(ValueText(column, Bytes(fixed).subspan(cursor), &occupied), want);
    ASSERT_TRUE(occupied == 0 || occupied == 1);
    cursor += static_cast<size_t>(occupied);
  }
  EXPECT_EQ(cursor, 2u);
}

TEST(ValueText, OccupiedIsTheValueLength) {
  struct OccupiedCase {
    typeCode code;
    int32_t declared_length;
    bool variable;
    size_t available;
    int64_t occupied;
  };
  const OccupiedCase cases[] = {
      {T::kInt, 0, false, 10, 4},
      {T::kChar, 10, false, 12, 10},
      {T::kTime, 3, false, 8, 3},
      {T::kDateTime2, 0, false, 9, 8},
      {T::kNumeric, 9, false, 9, 9},
      {T::kNumeric, 0, false, 19, 19},
      {T::kVarBinary, 0, true, 7, 7},
      {T::kVarChar, 20, false, 7, 0},
      {T::kUniqueIdentifier, 0, false, 16, 16},
  };
  for (const OccupiedCase& c : cases) {
    ColumnTypeInfo column;
    column.code = c.code;
    column.declared_length = c.declared_length;
    column.variable = c.variable;
    column.precision = 9;
    ByteBuffer bytes(c.available, 0x01);
    int64_t occupied = -1;
    ValueText(column, bytes, &occupied);
    EXPECT_EQ(occupied, c.occupied) << static_cast<int>(c.code);
  }
}

// Each fixed type at its value length renders; one byte short gives empty
// text (a value that runs past the end of the fixed part).
TEST(ValueText, OneByteShortGivesEmptyText) {
  struct ShortCase {
    typeCode code;
    int32_t declared_length;
    uint8_t scale;
    size_t length;
  };
  const ShortCase cases[] = {
      {T::kBigInt, 0, 0, 8},        {T::kBinary, 4, 0, 4},
      {T::kChar, 4, 0, 4},          {T::kDateTime, 0, 0, 8},
      {T::kDate, 0, 0, 3},          {T::kTime, 5, 7, 5},
      {T::kDateTime2, 8, 7, 8},     {T::kDateTimeOffset, 10, 7, 10},
      {T::kInt, 0, 0, 4},           {T::kNChar, 4, 0, 4},
      {T::kRowId, 0, 0, 8},         {T::kSmallInt, 0, 0, 2},
      {T::kTinyInt, 0, 0, 1},       {T::kUniqueIdentifier, 0, 0, 16},
      {T::kMoney, 0, 0, 8},         {T::kFloat, 0, 0, 8},
      {T::kNumeric, 5, 0, 5},       {T::kDecimal, 5, 0, 5},
      {T::kSmallDateTime, 0, 0, 4}, {T::kReal, 0, 0, 4},
      {T::kSmallMoney, 0, 0, 4},    {T::kTimestamp, 0, 0, 8},
      {T::kText, 16, 0, 16},        {T::kNText, 4, 0, 4},
      {T::kSqlVariant, 12, 0, 12},  {T::kHierarchyId, 3, 0, 3},
      {T::kGeometry, 3, 0, 3},      {T::kClr, 3, 0, 3},
  };
  for (const ShortCase& c : cases) {
    ColumnTypeInfo column;
    column.code = c.code;
    column.declared_length = c.declared_length;
    column.precision = 10;
    column.scale = c.scale;
    ByteBuffer full(c.length, 0x01);
    EXPECT_NE(ValueText(column, full), "") << static_cast<int>(c.code);
    ByteBuffer cut(c.length - 1, 0x01);
    EXPECT_EQ(ValueText(column, cut), "") << static_cast<int>(c.code);
  }
  // A fixed int read two bytes before the end of the fixed part.
  ColumnTypeInfo int_column;
  int_column.code = T::kInt;
  EXPECT_EQ(ValueText(int_column, Hex("01 02")), "");
}

TEST(ValueText, XmlIsTheConvertedText) {
  // Header, name "a", qname (no namespace, no prefix, "a"), <a>, end of
  // attributes, text "x", </a>.
  ByteBuffer xml = Hex("DF FF 01 B0 04 F0 01 61 00 EF 00 00 01 F8 01 F5 11 01 78 00 F7");
  std::string converted = BinaryXmlToText(xml);
  ASSERT_NE(converted, "");
  ColumnTypeInfo column;
  column.code = T::kXml;
  column.variable = true;
  EXPECT_EQ(ValueText(column, xml), converted);
}

struct VariantCase {
  const char* name;
  const char* hex;
  const char* expected;
};

const VariantCase kVariantCases[] = {
    {"guid", "24 01 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
     "03020100-0504-0706-0809-0A0B0C0D0E0F"},
    {"date", "28 01 42 24 0B", "2000-02-29"},
    {"time(7)", "29 01 07 F4 01 00 00 00", "00:00:00.500"},
    {"time(0)", "29 01 00 7F 51 01", "23:59:59"},
    {"time without data", "29 01 07", ""},
    {"datetime2(7)", "2A 01 07 87 4D 55 46 73 DC 46 0B", "2024-05-31 13:45:10.1234567"},
    {"datetimeoffset(0)", "2B 01 00 A0 8C 00 DC 46 0B 4A 01", "2024-05-31 15:30:00 +5:30"},
    {"datetimeoffset(7)", "2B 01 07 00 10 AC D1 53 DC 46 0B 4A 01", "2024-05-31 15:30:00.0  +5:30"},
    {"tinyint", "30 01 FF", "255"},
    {"smallint", "34 01 00 80", "-32768"},
    {"int", "38 01 FF FF FF FF", "-1"},
    {"smalldatetime", "3A 01 9F 05 FF FF", "2079-06-06 23:59:00"},
    {"real", "3B 01 00 00 C0 3F", "1.5"},
    {"real e- is 0", "3B 01 95 BF D6 33", "0"},
    {"money", "3C 01 C7 CF FF FF FF FF FF FF", "-1.2345"},
    {"datetime", "3D 01 2C 01 00 00 00 00 00 00", "1900-01-01 00:00:01"},
    {"datetime hour 24", "3D 01 00 82 8B 01 00 00 00 00", "1900-01-01"},
    {"float", "3E 01 9A 99 99 99 99 99 B9 3F", "0.1"},
    {"float 123.456", "3E 01 77 BE 9F 1A 2F DD 5E 40", "123.456"},
    {"bit set", "68 01 05", "True"},
    {"bit clear", "68 01 00", "False"},
    {"decimal", "6A 01 05 02 00 39 30 00 00", "-123.45"},
    {"numeric", "6C 01 05 02 01 05 00 00 00", "0.05"},
    {"decimal without sign byte", "6A 01 05 02", ""},
    {"smallmoney", "7A 01 10 27 00 00", "1.0000"},
    {"bigint", "7F 01 FF FF FF FF FF FF FF FF", "-1"},
    {"varbinary", "A5 01 03 00 01 02 03", "0x010203"},
    {"binary", "AD 01 02 00 AB CD", "0xABCD"},
    {"binary without data", "AD 01", "0x"},
    {"varchar", "A7 01 0A 00 09 04 D0 00 61 62 63", "abc"},
    {"char", "AF 01 0A 00 09 04 D0 00 61 62 20", "ab "},
    {"char without data", "AF 01 0A 00", ""},
    {"nvarchar", "E7 01 0A 00 09 04 D0 00 61 00 62 00", "ab"},
    {"nchar surrogate pair", "EF 01 0A 00 09 04 D0 00 3D D8 00 DE", "\xF0\x9F\x98\x80"},
    {"clr", "F0 01 01 02", "0x0102"},
    {"unknown base type", "99 01 00 00", ""},
    {"sysname base type", "E8 01 61 00", ""},
    {"empty", "", ""},
};

class SqlVariantCases : public ::testing::TestWithParam<VariantCase> {};

TEST_P(SqlVariantCases, Renders) {
  ByteBuffer bytes = Hex(GetParam().hex);
  EXPECT_EQ(SqlVariantText(bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(BaseTypes, SqlVariantCases, ::testing::ValuesIn(kVariantCases),
                         [](const ::testing::TestParamInfo<VariantCase>& info) {
                           std::string name;
                           for (char ch : std::string_view(info.param.name))
                             name.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch
                                                                                         : '_');
                           return name;
                         });

// The base types that give text at one total length only give none a byte
// shorter or longer.
TEST(SqlVariantText, ExactLengthsOnly) {
  struct Exact {
    uint8_t base_type;
    size_t total;
  };
  const Exact cases[] = {{36, 18}, {40, 5},  {48, 3},  {52, 4},  {56, 6},  {58, 6},  {59, 6},
                         {60, 10}, {61, 10}, {62, 10}, {104, 3}, {122, 6}, {127, 10}};
  for (const Exact& c : cases) {
    for (size_t total : {c.total - 1, c.total, c.total + 1}) {
      ByteBuffer bytes(total, 0x01);
      bytes[0] = c.base_type;
      std::string text = SqlVariantText(bytes);
      if (total == c.total) {
        EXPECT_NE(text, "") << int{c.base_type};
      } else {
        EXPECT_EQ(text, "") << int{c.base_type} << " at " << total;
      }
    }
  }
}

TEST(SqlVariantText, EightBitDataUsesTheCodePage) {
  ByteBuffer bytes = Hex("A7 01 0A 00 09 04 D0 00 C0 E1");
  EXPECT_EQ(SqlVariantText(bytes, 1251), "\xD0\x90\xD0\xB1");
}

TEST(DateTimeText, BothPatterns) {
  struct PatternCase {
    const char* hex;
    DateTimePattern pattern;
    const char* expected;
  };
  const PatternCase cases[] = {
      {"2C 01 00 00 00 00 00 00", DateTimePattern::kYearFirst, "1900-01-01 00:00:01"},
      {"2C 01 00 00 00 00 00 00", DateTimePattern::kMonthFirst, "01/01/1900 00:00:01"},
      {"40 59 CF 00 25 B1 00 00", DateTimePattern::kMonthFirst, "02/29/2024 12:34:56"},
      {"00 82 8B 01 25 B1 00 00", DateTimePattern::kYearFirst, "2024-02-29"},
      {"00 82 8B 01 25 B1 00 00", DateTimePattern::kMonthFirst, "02/29/2024"},
      {"00 00 00 00 80 24 2D 00", DateTimePattern::kMonthFirst, " "},
      {"2C 01 00 00 00 00 00", DateTimePattern::kYearFirst, ""},
  };
  for (const PatternCase& c : cases) {
    ByteBuffer bytes = Hex(c.hex);
    EXPECT_EQ(DateTimeText(bytes, c.pattern), c.expected) << c.hex;
  }
}

TEST(DeclaredLength, ParsesTheNumberInParentheses) {
  struct LengthCase {
    const char* type_text;
    int32_t expected;
  };
  const LengthCase cases[] = {
      {"nvarchar(20)", 20},
      {"varchar(-1)", -1},
      {"varbinary(max)", -1},
      {"int", 0},
      {"decimal(5", 0},
      {"x(abc)", 0},
      {"x(99999999999)", 0},
      {"a(1)(16)", 16},
      {"", 0},
  };
  for (const LengthCase& c : cases)
    EXPECT_EQ(DeclaredLength(c.type_text), c.expected) << c.type_text;
}

// The process locale must not change any text: a comma-decimal locale would
// turn "1.5" into "1,5" in printf-style formatting.
TEST(ValueText, TextDoesNotDependOnTheLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"};
  std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no comma-decimal locale is installed";
  std::locale previous_global = std::locale::global(std::locale(chosen));
  ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");

  const std::vector<std::string> names_to_check = {
      "float 123.456",     "real 1.5",     "money -12345",     "decimal(5,2) negative",
      "datetime leap day", "time(7) full", "real 1e6 exponent"};
  for (const ValueCase& c : kValueCases) {
    for (const std::string& name : names_to_check) {
      if (name == c.name) {
        EXPECT_EQ(Render(c), c.expected) << c.name;
      }
    }
  }
  ByteBuffer variant_float = Hex("3E 01 77 BE 9F 1A 2F DD 5E 40");
  EXPECT_EQ(SqlVariantText(variant_float), "123.456");

  std::locale::global(previous_global);
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(TypeCode, TableRowsAreInCodeOrderAndMapBack) {
  auto table = TypeCodeTable();
  for (int i = 0; i < kTypeCodeCount; ++i) {
    const TypeCodeEntry& entry = table[static_cast<size_t>(i)];
    ASSERT_EQ(static_cast<int>(entry.code), i);
    EXPECT_EQ(&TypeCodeInfo(entry.code), &entry);
    typeCode expected = entry.code;
    // The system type id alone cannot tell image from text, nor the CLR
    // types apart; the row id has no system type.
    if (entry.code == T::kImage) expected = T::kText;
    if (entry.code == T::kHierarchyId || entry.code == T::kGeometry) expected = T::kClr;
    if (entry.code == T::kRowId) expected = T::kChar;
    EXPECT_EQ(TypeCodeFromSystemTypeId(entry.system_type_id), expected) << entry.type;
  }
}

TEST(TypeCode, SystemTypeIds) {
  const std::pair<int32_t, typeCode> cases[] = {
      {127, T::kBigInt},  {104, T::kBit},     {175, T::kChar},      {34, T::kText},
      {35, T::kText},     {240, T::kClr},     {241, T::kXml},       {231, T::kNVarChar},
      {108, T::kNumeric}, {106, T::kDecimal}, {189, T::kTimestamp}, {0, T::kChar},
      {999, T::kChar},    {-1, T::kChar},
  };
  for (const auto& [id, code] : cases) EXPECT_EQ(TypeCodeFromSystemTypeId(id), code) << id;
}

TEST(TypeCode, StorageLengths) {
  struct StorageCase {
    typeCode code;
    int32_t declared_length;
    int32_t expected;
  };
  const StorageCase cases[] = {
      {T::kBigInt, 99, 8},
      {T::kBinary, 12, 12},
      {T::kBit, 1, 1},
      {T::kChar, -1, 0},
      {T::kDateTimeOffset, 8, 10},
      {T::kNumeric, 5, 19},
      {T::kDecimal, 9, 9},
      {T::kVarBinary, 50, 0},
      {T::kVarChar, 50, 0},
      {T::kNChar, 20, 20},
      {T::kUniqueIdentifier, 0, 16},
      {T::kXml, 0, 0},
      {static_cast<typeCode>(77), 6, 6},
  };
  for (const StorageCase& c : cases)
    EXPECT_EQ(StorageLength(c.code, c.declared_length), c.expected) << static_cast<int>(c.code);
  EXPECT_EQ(TypeCodeInfo(T::kVarBinary).variable, Variability::kYes);
  EXPECT_EQ(TypeCodeInfo(T::kNVarChar).variable, Variability::kAsColumn);
  EXPECT_EQ(TypeCodeInfo(T::kInt).variable, Variability::kNo);
}

TEST(TypeName, Names) {
  const std::pair<int32_t, std::string_view> cases[] = {
      {34, "text"},        {36, "Uniquifier"}, {42, "DateTime2"}, {58, "smalldatetime"},
      {98, "Sql_Variant"}, {127, "BigInt"},    {189, "timstamp"}, {231, "NVarchar"},
      {240, "geography"},  {241, "xml"},       {0, ""},           {100, ""},
  };
  for (const auto& [id, name] : cases) EXPECT_EQ(TypeName(id), name) << id;
}

}  // namespace
}  // namespace tarnwick
