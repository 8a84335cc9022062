// The text of one column value, from its stored bytes and its type.
//
// Integers are little-endian. Text is UTF-8 and does not depend on the
// process locale (the decimal point is always '.', times are HH:MM:SS).
//
// Rendering by type code (L = value length):
//   bigint, int, smallint      signed decimal        tinyint  unsigned decimal
//   binary, timestamp, 31, 33  "0x" + upper-case hex varbinary, 32  hex, no prefix
//   bit                        "True" / "False" (bits least significant first,
//                              eight bit columns to a byte); empty unless L = 1
//   char, varchar, text        8-bit text in the column's code page, up to the first 0 byte
//   nchar, nvarchar            UTF-16LE text, up to the first 0 unit
//   ntext, sql_variant         UTF-16LE when exactly half of the bytes are 0, else 8-bit
//                              text; sql_variant first drops its 8-byte header
//   row id                     "page/file/slot" (int32, int16, int16)
//   uniqueidentifier           XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX, first three groups
//                              byte-reversed
//   money, smallmoney          integer / 10000 with four decimals
//   float                      15 significant digits, trailing zeros removed
//   real                       six significant digits; "0" when in exponent form with "e-"
//   decimal, numeric           sign byte (1 = positive, 0 = negative), then the magnitude;
//                              digits beyond the precision drop fraction digits, empty
//                              when the integer digits alone exceed it
//   datetime                   see DateTimeText
//   smalldatetime              int16 minutes, uint16 days since 1900-01-01
//   date                       uint24 days since 0001-01-01, YYYY-MM-DD
//   time (scale s)             L bytes of 10^-s s since midnight, HH:MM:SS, then
//                              ".fraction" when s > 0 (fraction unpadded)
//   datetime2                  time (L - 3 bytes), then the date
//   datetimeoffset             time (L - 5 bytes), date, int16 offset in minutes added
//                              to the clock (never the day); " +h:m" after the text,
//                              "  +h:m" when a fraction is shown
//   xml                        binary XML converted to text; " " when nothing converts
//   sysname, image             empty
//
// Dates and times out of range (year after 9999, hour, minute or second out
// of range) give " ". A value that needs more bytes than are available gives
// empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"
#include "records/type_code.h"

namespace tarnwick {

// Shared by the bit columns of one record: a byte is loaded by the first bit
// column of each group of eight, and each bit column takes the next bit.
struct BitReader {
  int index = 8;
  uint8_t current = 0;
  bool loaded = false;
};

// What ValueText needs to know of a column.
struct ColumnTypeInfo {
  typeCode code = typeCode::kChar;
  // The value is a whole variable-length chunk (or sparse entry): its length
  // is the number of bytes handed over. Otherwise the value is taken from the
  // start of the bytes with the storage length of the type table; time,
  // datetime2, datetimeoffset and numeric use the declared length instead
  // when there is one (their length depends on the scale or precision).
  bool variable = false;
  // The number between the parentheses of the column's type text (bytes;
  // -1 for max). See DeclaredLength.
  int32_t declared_length = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  // The Windows code page for 8-bit character data: the run state's code page
  // (or that of the column's collation).
  int32_t code_page = kDefaultCodePage;
  // The record's bit reader; null reads a fixed bit value with a fresh one.
  BitReader* bits = nullptr;
};

// The number between the last "(" and ")" of a type text ("nvarchar(20)" ->
// 20, "varchar(-1)" and "varbinary(max)" -> -1); 0 when there is none.
int32_t DeclaredLength(std::string_view type_text);

// The text of a value. `available` holds the bytes from the value's position
// to the end of what the caller has (the fixed part, or the whole chunk of a
// variable value). When `occupied` is given it receives the number of bytes
// the value takes in the fixed part: the value length, and for a bit column
// 1 when it loaded a byte, else 0.
std::string ValueText(const ColumnTypeInfo& column, Bytes available, int64_t* occupied = nullptr);

// The text of a stored sql_variant value: base type id (byte 0), version
// (byte 1), properties and data; its total length is value.size(). Base types
// other than those listed in value_text.cpp, or at other lengths, give empty
// text. 8-bit text is decoded with the code page.
std::string SqlVariantText(Bytes value, int32_t code_page = kDefaultCodePage);

enum class DateTimePattern {
  kYearFirst,   // 2024-05-31 13:45:10, date only 2024-05-31
  kMonthFirst,  // 05/31/2024 13:45:10, date only 05/31/2024
};

// The text of an 8-byte datetime: int32 ticks of 1/300 s since midnight,
// then int32 days since 1900-01-01. Milliseconds are not shown; years before
// 1753 show as 1753; a time of 24 hours or more shows the date only. Fewer
// than 8 bytes give empty text.
std::string DateTimeText(Bytes value, DateTimePattern pattern = DateTimePattern::kYearFirst);

}  // namespace tarnwick
