// SQL Server binary XML (the stored value of an `xml` column, type code 34) to XML text.
//
// Byte order: every fixed-width integer, float, code page and date part is little-endian.
// There is no padding and no alignment.
//
// Document
//   offset width  meaning
//   0      2      signature DF FF
//   2      1      version: 1, or 2 (adds tokens 7A-7F); 0 is read as 1
//   3      2      encoding B0 04 (1200 = UTF-16LE, the only value allowed)
//   5      ...    tokens up to the end of the bytes (there is no end-of-document token)
//
// Primitives
//   mb32 / mb64     unsigned, 7 bits a byte, least significant group first; bit 7 set = more.
//                   mb32: at most 5 bytes and <= 0x7FFFFFFF; mb64: at most 10 bytes, <= 2^63-1
//   textdata(64)    mb32 (mb64) count of UTF-16 code units, then 2 x count bytes UTF-16LE
//   blob(64)        mb32 (mb64) byte length, then the bytes
//   codepagetext(64) mb32 (mb64) byte length including the code page, uint32 code page, text
//   decimal         mb32 length 7/11/15/19, precision u8 (<= 38), scale u8 (<= precision),
//                   sign u8 (1 = positive, 0 = negative), magnitude uint32/64/96/128
//   sqltime         scale u8 (0-7), count of 10^-scale s: 3 bytes (scale 0-2), 4 (3-4), 5 (5-7)
//   sqldate         uint24 days since 0001-01-01 (proleptic Gregorian)
//   sqltimezone     int16 minutes east of UTC, -840..840
//
// Atomic value tokens (payload after the token byte -> text)
//   01 int16   02 int32   08 int64   07 uint8 (tinyint)   88 int8 (xs:byte)   06 u8 bit
//   89 uint16  8A uint32  8B uint64  86 u8 boolean (0 = false)
//   03 float32 04 float64 (XQuery xs:string cast form: 13.4, 1.0E7, 0.0E0)
//   05 int64 money x 10^4   14 int32 smallmoney x 10^4   (four fraction digits)
//   0A 0B decimal (exactly `scale` fraction digits)   87 decimal (trailing zeros trimmed)
//   09 16-byte GUID: uint32, uint16, uint16, 8 bytes in order
//   0C 1B 85 blob -> base64   0F 17 blob64 -> base64   84 blob -> upper-case hex
//   0D codepagetext   10 16 codepagetext64   0E textdata   11 18 textdata64
//   12 datetime: int32 days since 1900-01-01, uint32 ticks of 1/300 s
//   13 smalldatetime: uint16 days since 1900-01-01, uint16 minutes
//   81 xs:time, 82 xs:dateTime, 83 xs:date: int64 with low 2 bits 0, 2, 1, then mixed-radix
//      ms(1000) s(60) min(60) h(24) day(31) month(12) year+9999; xs:date instead holds
//      zone(1740, minus 840 = minutes west of UTC) then day, month, year
//   7F sqldate   7D 7E sqltime sqldate   7A 7B 7C sqltime sqldate sqltimezone (7B time is UTC)
//   8C mb32 qname index -> prefix:local
//
// Structure and metadata tokens
//   F8 mb32 qname              element start; attributes (if any) then F5, content, F7
//   F6 mb32 qname              attribute; 0 or more atomic values follow
//   F5                         end of attributes      F7  end of element
//   F0 textdata                define the next name (names start at 1; 0 is "")
//   EF mb32 mb32 mb32          define the next qname (namespace, prefix, local name indexes)
//   E9                         empty both tables      EA mb32 length, bytes: extension, skipped
//   F2 textdata ... F1         CDATA section in chunks
//   F3 textdata                comment                F4 mb32 name index, textdata: PI
//   EC document ... EB         nested document with its own header and name tables
//   FE textdata [FD textdata] u8 standalone (0 absent, 1 yes, 2 no)   XML declaration
//   FC textdata [FB textdata] [FA textdata] [F9 textdata]   DOCTYPE name, system, public, subset
//
// Any other byte ends the conversion. A namespace declaration is an attribute whose qname has
// an empty local name and namespace and whose prefix is `xmlns` or `xmlns:p`. Element and
// attribute qnames carry their namespace directly, so declarations the stored attributes lack
// are added to the start tag after them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnwick {

// Binary xml bytes to XML text (UTF-8). Returns what could be converted; empty when nothing
// could. Conversion stops at the first byte that breaks the format and keeps what was written
// up to there; it never closes open elements on its own.
std::string BinaryXmlToText(std::span<const uint8_t> bytes);

}  // namespace tarnwick
