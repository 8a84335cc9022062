#include "records/type_code.h"

#include <array>

namespace tarnwick {
namespace {

using enum StorageRule;
using enum Variability;
using T = typeCode;

constexpr std::array<TypeCodeEntry, kTypeCodeCount> kTable = {{
    {T::kBigInt, 127, "bigint", kFixed, 8, kNo},
    {T::kBinary, 173, "binary", kDeclared, 0, kNo},
    {T::kBit, 104, "bit", kBit, 1, kNo},
    {T::kChar, 175, "char", kDeclared, 0, kNo},
    {T::kDateTime, 61, "datetime", kFixed, 8, kNo},
    {T::kDate, 40, "date", kFixed, 3, kNo},
    {T::kTime, 41, "time", kFixed, 5, kNo},
    {T::kDateTime2, 42, "datetime2", kFixed, 8, kNo},
    {T::kDateTimeOffset, 43, "datetimeoffset", kFixed, 10, kNo},
    {T::kInt, 56, "int", kFixed, 4, kNo},
    {T::kNChar, 239, "nchar", kDeclared, 0, kAsColumn},
    {T::kNVarChar, 231, "nvarchar", kDeclared, 0, kAsColumn},
    {T::kRowId, -1, "row id", kFixed, 8, kAsColumn},
    {T::kSmallInt, 52, "smallint", kFixed, 2, kNo},
    {T::kTinyInt, 48, "tinyint", kFixed, 1, kNo},
    {T::kUniqueIdentifier, 36, "uniqueidentifier", kFixed, 16, kNo},
    {T::kVarBinary, 165, "varbinary", kFixed, 0, kYes},
    {T::kVarChar, 167, "varchar", kFixed, 0, kAsColumn},
    {T::kSysName, 232, "sysname", kFixed, 0, kNo},
    {T::kNText, 99, "ntext", kDeclared, 0, kAsColumn},
    {T::kSqlVariant, 98, "sql_variant", kDeclared, 0, kAsColumn},
    {T::kMoney, 60, "money", kFixed, 8, kNo},
    {T::kFloat, 62, "float", kFixed, 8, kNo},
    {T::kNumeric, 108, "numeric", kFixed, 19, kNo},
    {T::kDecimal, 106, "decimal", kDeclared, 0, kNo},
    {T::kImage, 34, "image", kFixed, 0, kYes},
    {T::kText, 35, "text", kDeclared, 0, kAsColumn},
    {T::kSmallDateTime, 58, "smalldatetime", kFixed, 4, kNo},
    {T::kReal, 59, "real", kFixed, 4, kNo},
    {T::kSmallMoney, 122, "smallmoney", kFixed, 4, kNo},
    {T::kTimestamp, 189, "timestamp", kFixed, 8, kNo},
    {T::kHierarchyId, 240, "hierarchyid", kDeclared, 0, kAsColumn},
    {T::kGeometry, 240, "geometry", kDeclared, 0, kAsColumn},
    {T::kClr, 240, "geography", kDeclared, 0, kAsColumn},
    {T::kXml, 241, "xml", kFixed, 0, kYes},
}};

// Row i of the table must describe code i: lookups index by code.
constexpr bool TableIsInCodeOrder() {
  for (int i = 0; i < kTypeCodeCount; ++i)
    if (static_cast<int>(kTable[i].code) != i) return false;
  return true;
}
static_assert(TableIsInCodeOrder());

struct NamedType {
  int32_t system_type_id;
  std::string_view name;
};

// Display names of system type ids. "timstamp" is the name this table has
// always shown for 189.
constexpr std::array<NamedType, 32> kTypeNames = {{
    {34, "text"},        {35, "text"},      {36, "Uniquifier"},     {40, "Date"},
    {41, "Time"},        {42, "DateTime2"}, {43, "DateTimeOffset"}, {48, "TinyInt"},
    {52, "SmallInt"},    {56, "Int"},       {58, "smalldatetime"},  {59, "Real"},
    {60, "Money"},       {61, "DateTime"},  {62, "Float"},          {98, "Sql_Variant"},
    {99, "Ntext"},       {104, "Bit"},      {106, "Decimal"},       {108, "Numeric"},
    {122, "smallmoney"}, {127, "BigInt"},   {165, "VarBinary"},     {167, "Varchar"},
    {173, "Binary"},     {175, "Char"},     {189, "timstamp"},      {231, "NVarchar"},
    {232, "SysName"},    {239, "NChar"},    {240, "geography"},     {241, "xml"},
}};

}  // namespace

std::span<const TypeCodeEntry, kTypeCodeCount> TypeCodeTable() { return kTable; }

const TypeCodeEntry& TypeCodeInfo(typeCode code) {
  int32_t index = static_cast<int32_t>(code);
  if (!IsTypeCode(index)) index = static_cast<int32_t>(typeCode::kChar);
  return kTable[static_cast<size_t>(index)];
}

typeCode TypeCodeFromSystemTypeId(int32_t system_type_id) {
  switch (system_type_id) {
    case 34:
    case 35:
      return typeCode::kText;
    case 240:
      return typeCode::kClr;
    default:
      break;
  }
  for (const TypeCodeEntry& entry : kTable)
    if (entry.system_type_id == system_type_id && system_type_id >= 0) return entry.code;
  return typeCode::kChar;
}

int32_t StorageLength(typeCode code, int32_t declared_length) {
  const TypeCodeEntry& entry = TypeCodeInfo(code);
  switch (entry.storage) {
    case StorageRule::kDeclared:
      return declared_length > 0 ? declared_length : 0;
    case StorageRule::kBit:
    case StorageRule::kFixed:
      break;
  }
  return entry.length;
}

std::string_view TypeName(int32_t system_type_id) {
  for (const NamedType& named : kTypeNames)
    if (named.system_type_id == system_type_id) return named.name;
  return {};
}

}  // namespace tarnwick
