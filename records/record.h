// Row records: the parsed form of one record of a data page.
//
// Ordinary row record (all integers little-endian):
//
//   offset      width      content
//   0           1          status byte A: bit 0 compressed format, bits 1-3
//                          record type, bit 4 NULL bitmap present, bit 5
//                          variable-length columns present, bit 6 version tag
//   1           1          status byte B (1: ghost forwarded record)
//   2           2          F + 4, the end of the fixed-length part
//   4           F          the fixed-length columns
//   4 + F       2          C, the column count
//   6 + F       (C + 7)/8  NULL bitmap, one bit per column, least significant
//                          first (only with status bit 4)
//   then        2          V, the variable column count (only when there is a
//                          fixed part or a NULL bitmap; otherwise V = C)
//   then        2V         end offset of each variable column, measured from
//                          the record start; bit 15 marks a complex column
//   then        ...        the variable column bytes, one after another
//
// Forwarding stub (record type 2): the row was moved to another page.
//
//   offset  width  content
//   0       1      status byte A
//   1       4      page number of the forwarded row (signed)
//   5       2      file id (signed)
//   7       2      slot (signed)
//
// Record types: 0 primary, 1 forwarded, 2 forwarding stub, 3 index, 4 blob
// fragment, 5 ghost index, 6 ghost data, 7 ghost version.
//
// A record copies every byte it keeps; none of its fields points into the
// page image, and every offset and length read from the record is checked
// against its limit before bytes are taken.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/column_descriptor.h"
#include "records/column_chunk.h"
#include "records/sparse_vector.h"

namespace tarnwick {

class CDatabaseFile;
class CPage_Header;

inline constexpr int32_t kForwardedRecordType = 1;
inline constexpr int32_t kForwardingStubType = 2;
inline constexpr int32_t kIndexRecordType = 3;

// Limits of an ordinary row record.
inline constexpr int32_t kMaxFixedLength = 8059;
inline constexpr int32_t kMaxColumnCount = 1023;
// A complex column of exactly this size is a text pointer and is never
// inspected for a tag.
inline constexpr int32_t kTextPointerSize = 16;
inline constexpr size_t kForwardingStubSize = 9;

// fixedLength of a forwarding stub whose target could not be used.
inline constexpr int16_t kUnreadableForwardTarget = -5;
// A forwarding stub points at a forwarded row, never at another stub; a
// chain of stubs only comes from damage. Reading one record follows at most
// this many stubs, and never the same target twice; a stub beyond the bound
// or on a cycle is left as one with an unreadable target.
inline constexpr size_t kMaxForwardHops = 8;

// What a caller hands to a page read and the page hands to its records (for
// instance the table being read, which the decoding of compressed records
// consults). Not owned; it must outlive the page.
class RecordContext {
 public:
  virtual ~RecordContext() = default;
  // The columns of the table being read; the page decodes its compressed
  // records with them (none: they stay as parsed).
  virtual std::span<const ColumnDescriptor> TableColumns() const { return {}; }
  // The catalog comes from SQL Server 2000 system tables, which know no
  // compressed records.
  virtual bool Sql2000Catalog() const { return false; }
};

// A record address as a forwarding stub names it.
struct RecordAddress {
  uint16_t file_id = 0;
  int32_t page = 0;
  int16_t slot = 0;
  friend bool operator==(const RecordAddress&, const RecordAddress&) = default;
};

// The forwarding targets visited while one record is read.
struct ForwardTrail {
  std::vector<RecordAddress> visited;
};

// The page a record is read from (page record form). Only the header is
// looked at; the page bytes are not kept.
struct PageParseContext {
  const CPage_Header* header = nullptr;
  // Serves the page reads of forwarding stubs; none are followed without it.
  const CDatabaseFile* file = nullptr;
  const RecordContext* context = nullptr;
  // Off while a modify-columns image is built: stubs are then parsed as
  // they stand.
  bool follow_forwarding = true;
  // Stubs followed so far for this record; null for a fresh read.
  ForwardTrail* trail = nullptr;
};

// Compressed records: one entry of the long data offset array.
struct LongDataOffset {
  int32_t end = 0;
  bool complex = false;
};

// Compressed records after decoding: one entry per column.
struct ColumnNullMark {
  bool isNull = false;
  int32_t length = 0;
};

class CRecord {
 public:
  CRecord() = default;
  CRecord(const CRecord&) = default;
  CRecord(CRecord&&) = default;
  CRecord& operator=(const CRecord&) = default;
  CRecord& operator=(CRecord&&) = default;
  virtual ~CRecord() = default;

  // NULL bitmap bit k: bit (k mod 8) of byte k / 8. False outside the bitmap.
  bool NullBit(int k) const;
  bool HasFixedData() const { return !fixedData.empty(); }
  bool HasNullBitmapBytes() const { return !nullBitmap.empty(); }

  // The variable-column end offsets as read, bit 15 cleared.
  std::vector<uint16_t> varEndOffsets;
  int32_t recordType = 0;
  bool hasNullBitmap = false;
  // The record is in the compressed format (compressed_record.h).
  bool compressedFormat = false;
  // A compressed record rebuilt in the ordinary layout of its table
  // (DecodeCompressedRecord); until then its fields hold the parsed format.
  bool compressedDecoded = false;
  // The record cannot be used; consumers skip it.
  bool rejected = false;
  bool hasVarColumns = false;
  // Record type 5, 6 or 7.
  bool isGhost = false;
  // Copy of the fixed-length part; empty when absent.
  ByteBuffer fixedData;
  // Compressed records: short data length plus cluster bytes.
  int16_t shortDataSpan = 0;
  int16_t columnCount = 0;
  // Copy of the NULL bitmap, (columnCount + 7) / 8 bytes; empty when absent.
  ByteBuffer nullBitmap;
  int16_t varColumnCount = 0;
  // One chunk per variable-length column whose end offset was read.
  std::vector<ColumnChunk> varColumns;
  // Copy of bytes [0, cursor) after parsing; empty when the parse did not
  // end inside the record's limit.
  ByteBuffer recordCopy;
  std::optional<SparseVector> sparseVector;
  const RecordContext* context = nullptr;
  // After parsing: the number of bytes of the record consumed.
  int32_t cursor = 0;
  // Bytes that may be read from the record start.
  uint16_t lengthLimit = 0;
  // Where the variable column bytes start (after the end offset array);
  // the row readers measure variable columns from here. 0 when not read.
  int32_t varDataStart = 0;
  // Compressed-format records: copy of bytes [0, cursor) after parsing
  // (recordCopy stays empty: those bytes are no ordinary row).
  ByteBuffer compressedBytes;
  std::vector<LongDataOffset> longDataOffsets;
  int32_t longRegionStart = 0;
  std::vector<ColumnNullMark> columnNullMarks;
};

class CPrimaryRecord : public CRecord {
 public:
  // Ordinary form: one record in a caller's buffer. No page or record-type
  // checks, no forwarding; status bit 0 is not looked at. Only the first
  // length_limit bytes of `record` are read.
  static CPrimaryRecord ParseOrdinaryRecord(Bytes record, uint16_t length_limit);

  // Page record form: a record found through a page's slot array. Rejects
  // every record of a page whose header page id is negative or whose page
  // type is above 17, and records of types other than 0, 1 and 2; follows
  // forwarding stubs; parses records with status bit 0 in the compressed
  // format (not decoded: the page does that with its table's columns).
  static CPrimaryRecord ParsePageRecord(Bytes record, uint16_t length_limit,
                                        const PageParseContext& page);

  // Anchor form: the anchor record of a page's compression information,
  // always in the compressed format.
  static CPrimaryRecord ParseAnchorRecord(Bytes record, uint16_t length_limit);

  // Ordinary records: (u16 at byte 2) - 4; kUnreadableForwardTarget for a
  // stub whose target could not be used.
  int16_t fixedLength = 0;
  bool hasVersionTag = false;
  // Status byte B is 1.
  bool ghostForwarded = false;
  // Compressed records: one 4-bit code per column.
  std::vector<int> cdCodes;
  // Forwarding stubs: where the stub points (set even when it could not be
  // followed).
  std::optional<RecordAddress> forwardTarget;

 private:
  void ReadStatusA(uint8_t status);
  void ParseRow(const ByteReader& r, bool page_form);
  void ReadVariableColumns(const ByteReader& r);
  void FollowForwardingStub(const ByteReader& r, const PageParseContext& page);
  void ParseCompressed(const ByteReader& r);
};

}  // namespace tarnwick
