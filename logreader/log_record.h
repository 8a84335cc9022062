// Log records: the fixed fields every record carries, the variable part of a
// begin-transaction record and the row-log fields of a row change.
//
// Fixed fields, offsets from the record start, all inside the first 192
// bytes (the record window):
//
//   offset width meaning
//   2      2     length of the fixed part (F)
//   16     6     transaction id (a begin-transaction record and the row
//                changes of its transaction carry the same value)
//   22     1     operation code
//   23     1     context code
//   24     4     page number of the changed row's page
//   28     2     file id of that page
//   30     2     slot number of the changed row on its page
//   40     4     begin transaction: time part, ticks of 1/300 s since midnight
//   44     4     begin transaction: date part, days since 1900-01-01
//   48     8     rowset id of the changed row's table (named allocation unit
//                id in the operation list); 0 in records of no table
//   56     2     byte offset of the change inside the row (modify row)
//   62     2     fieldCount: number of row-log fields
//   64     2n    byte length of each row-log field
//
// Begin-transaction variable part, at record offset F:
//
//   F          2       n: number of variable fields
//   F + 2      2n      byte length of each variable field
//   F + 2 + 2n 2       not interpreted
//   F + 4 + 2n len(0)  field 0: the transaction name, UTF-16LE, not terminated
//
// Row-log fields follow the length array at 64 + 2 * fieldCount (2 bytes
// later for an insert), one after the other; in a modify-row record field 1
// starts at the end of field 0 rounded up to a multiple of 4 counted from
// field 0's start. The fields of a record end at its end bound.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logreader/log_block.h"
#include "reader/byte_reader.h"

namespace tarnwick {

// Operation codes.
inline constexpr uint8_t kOpInsertRow = 2;
inline constexpr uint8_t kOpDeleteRow = 3;
inline constexpr uint8_t kOpModifyRow = 4;
inline constexpr uint8_t kOpModifyColumns = 6;
inline constexpr uint8_t kOpBeginTransaction = 128;
inline constexpr uint8_t kOpCommitTransaction = 129;

// Context codes of row changes on a table's own rows: a heap, a clustered
// index, and a row marked as a ghost (deletes).
inline constexpr uint8_t kContextHeap = 1;
inline constexpr uint8_t kContextClustered = 2;
inline constexpr uint8_t kContextMarkAsGhost = 19;

inline bool IsRowChangeContext(uint8_t context) {
  return context == kContextHeap || context == kContextClustered || context == kContextMarkAsGhost;
}

// The 8 bytes of a begin time, in the layout of a datetime value.
using BeginTime = std::array<uint8_t, 8>;
// The 6-byte transaction id as a 48-bit number.
using TransactionId = uint64_t;

// What the record decoder sees of one record.
struct LogRecordWindow {
  const LogBlock* block = nullptr;
  uint32_t vlfSequence = 0;
  // The block's offset from its VLF's start in 512-byte units.
  uint32_t blockOffset = 0;
  int32_t recordIndex = 0;
  uint16_t offset = 0;
  uint16_t endBound = 0;
  // The 192 bytes from the record's offset, restored. In a block left as
  // stored (the scan over a log in place) only the first
  // kLogRecordScanFieldsSize of them: restoring the rest would cost a copy
  // of bytes the scan does not read.
  ByteReader fixed;
};

// Fields of the fixed part, read from a record window.
struct LogRecordFields {
  uint16_t fixedLength = 0;
  TransactionId transactionId = 0;
  uint8_t operation = 0;
  uint8_t context = 0;
  uint32_t pageNumber = 0;
  uint16_t fileId = 0;
  uint16_t slot = 0;
  uint64_t allocationUnitId = 0;
  uint16_t rowOffset = 0;
  uint16_t fieldCount = 0;
};
LogRecordFields ReadLogRecordFields(const ByteReader& window);

struct BeginTransactionFields {
  uint16_t variableFields = 0;  // n
  // Set when n is at least 1.
  std::string name;
  BeginTime beginTime{};
};

// The variable part of the begin-transaction record at record_offset of a
// restored block. Nothing when the fixed-part length, the field count, the
// length array or the name point past the block.
std::optional<BeginTransactionFields> ReadBeginTransaction(const ByteReader& block,
                                                           uint16_t record_offset);

// The same with the name's bytes as they stand in the block (UTF-16LE, not
// converted; BeginTransactionNameText gives the name), for a scan that
// meets the same few names millions of times.
struct BeginTransactionView {
  uint16_t variableFields = 0;
  Bytes name;  // set when variableFields is at least 1; points into the block
  BeginTime beginTime{};
};
std::optional<BeginTransactionView> ReadBeginTransactionView(const ByteReader& block,
                                                             uint16_t record_offset);
// The same over a block restored or as stored (a mapped scan); a name that
// must be copied to be restored is copied into name_scratch, which it
// points into until the next call.
std::optional<BeginTransactionView> ReadBeginTransactionView(const LogBlock& block,
                                                             uint16_t record_offset,
                                                             ByteBuffer& name_scratch);
// The name text of a begin record's name field: UTF-16LE up to the first
// zero character.
std::string BeginTransactionNameText(Bytes field);

// The row-log fields of one record. The spans point into the block.
struct RowLogFields {
  uint16_t fieldCount = 0;        // as the record declares it
  std::vector<uint16_t> lengths;  // empty when the length array leaves the record
  size_t dataStart = 0;           // block offset where field 0 starts
  // The leading fields that lie inside the record (before its end bound and
  // inside the block); the walk stops at the first field that does not.
  std::vector<Bytes> fields;
};

RowLogFields ReadRowLogFields(const ByteReader& block, uint16_t record_offset, uint16_t end_bound);
// Record j of a block, with its end bound.
RowLogFields ReadRowLogFields(const LogBlock& block, size_t record_index);

}  // namespace tarnwick
