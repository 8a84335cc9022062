// Column type codes: the program's own enumeration of column types.
//
// Every column carries one of these codes, derived from its system type id
// when the schema is built. The table below gives for each code the system
// type id, the type, the length the column occupies in a record's fixed part
// and whether it lives in the variable part:
//
//   code system id  type              storage length         variable
//   0    127        bigint            8                      no
//   1    173        binary            declared               no
//   2    104        bit               1 (first of 8), else 0 no
//   3    175, other char              declared               no
//   4    61         datetime          8                      no
//   5    40         date              3                      no
//   6    41         time              5                      no
//   7    42         datetime2         8                      no
//   8    43         datetimeoffset    10                     no
//   9    56         int               4                      no
//   10   239        nchar             declared               as the column says
//   11   231        nvarchar          declared               as the column says
//   12   none       row id            8                      as the column says
//   13   52         smallint          2                      no
//   14   48         tinyint           1                      no
//   15   36         uniqueidentifier  16                     no
//   16   165        varbinary         0                      yes
//   17   167        varchar           0                      as the column says
//   18   232        sysname           0                      no
//   19   99         ntext             declared               as the column says
//   20   98         sql_variant       declared               as the column says
//   21   60         money             8                      no
//   22   62         float             8                      no
//   23   108        numeric           19                     no
//   24   106        decimal           declared               no
//   25   34         image             0                      yes
//   26   35         text              declared               as the column says
//   27   58         smalldatetime     4                      no
//   28   59         real              4                      no
//   29   122        smallmoney        4                      no
//   30   189        timestamp         8                      no
//   31   240 (+128) hierarchyid       declared               as the column says
//   32   240 (+129) geometry          declared               as the column says
//   33   240        geography, CLR    declared               as the column says
//   34   241        xml               0                      yes
//
// "declared" is the column's own maximum length in bytes (the number in the
// parentheses of its type text). Codes 31 and 32 are set by the schema
// builder from the user type id (128, 129) of a system type 240 column; the
// system type id alone maps 240 to 33. The system type id alone maps both 34
// and 35 to text (26); the schema builder turns 34 into image (25).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tarnwick {

enum class typeCode : int32_t {
  kBigInt = 0,
  kBinary = 1,
  kBit = 2,
  kChar = 3,
  kDateTime = 4,
  kDate = 5,
  kTime = 6,
  kDateTime2 = 7,
  kDateTimeOffset = 8,
  kInt = 9,
  kNChar = 10,
  kNVarChar = 11,
  kRowId = 12,
  kSmallInt = 13,
  kTinyInt = 14,
  kUniqueIdentifier = 15,
  kVarBinary = 16,
  kVarChar = 17,
  kSysName = 18,
  kNText = 19,
  kSqlVariant = 20,
  kMoney = 21,
  kFloat = 22,
  kNumeric = 23,
  kDecimal = 24,
  kImage = 25,
  kText = 26,
  kSmallDateTime = 27,
  kReal = 28,
  kSmallMoney = 29,
  kTimestamp = 30,
  kHierarchyId = 31,
  kGeometry = 32,
  kClr = 33,
  kXml = 34,
};

// The same type under a CamelCase name, so that a descriptor can have a
// member called typeCode (`TypeCode typeCode;`).
using TypeCode = typeCode;

inline constexpr int kTypeCodeCount = 35;

// How a code's storage length is found.
enum class StorageRule : uint8_t {
  kFixed,     // the table's length
  kDeclared,  // the column's declared length
  kBit,       // 1 byte for the first bit column of a group of 8, else 0
};

// Whether a column of the code lives in the record's variable part.
enum class Variability : uint8_t {
  kNo,
  kYes,
  kAsColumn,  // decided by the column (its leaf offset)
};

struct TypeCodeEntry {
  typeCode code;
  int16_t system_type_id;  // -1 for the row id, which has none
  std::string_view type;
  StorageRule storage;
  int16_t length;  // the length for StorageRule::kFixed
  Variability variable;
};

// The 35 rows of the table, indexed by code.
std::span<const TypeCodeEntry, kTypeCodeCount> TypeCodeTable();

// True when the number is one of the codes 0..34.
constexpr bool IsTypeCode(int32_t value) { return value >= 0 && value < kTypeCodeCount; }

// The table row of a code; a value outside 0..34 gives the row of char (3),
// the code of every unknown type.
const TypeCodeEntry& TypeCodeInfo(typeCode code);

// The code of a system type id: 34 and 35 give text, 240 gives the CLR code
// 33, every id the table does not list gives char.
typeCode TypeCodeFromSystemTypeId(int32_t system_type_id);

// The storage length of a column of the code in a record's fixed part. A
// negative declared length (max) counts as 0; a bit column counts as 1.
int32_t StorageLength(typeCode code, int32_t declared_length);

// The display name of a system type id ("BigInt", "NVarchar", ...); empty
// for an id the name table does not know.
std::string_view TypeName(int32_t system_type_id);

}  // namespace tarnwick
