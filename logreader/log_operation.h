// The operation list: one entry per log record that changed a row of a user
// table, in log order (VLFs by sequence number, blocks by file position,
// records by index). Indexes into the list are the handles by which the
// operations view and the save refer to operations.
//
// Table and transaction names are kept once, in the list's name table; an
// operation holds the indexes of its transaction names, and its table name
// and its block's file position are the list's for its rowset id and its
// VLF (a scan may recover millions of operations: every byte of an entry
// is millions of bytes to fill).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logreader/log_record.h"
#include "platform/large_allocation.h"

namespace tarnwick {

// A user table as the record decoder needs it.
struct UserTable {
  int32_t objectId = 0;
  std::string name;
};

// Rowset id (the 8-byte value at record offset 48) to the table that owns
// the rowset. Built from the catalog before the log is scanned.
struct UserTableMap {
  std::map<uint64_t, UserTable> tables;

  // The first table added under an id keeps it. Id 0 is never mapped:
  // records with 0 at offset 48 belong to no table.
  bool Add(uint64_t rowset_id, int32_t object_id, std::string name);
  // nullptr when the id is 0 or not mapped.
  const UserTable* Find(uint64_t rowset_id) const;
  bool empty() const { return tables.empty(); }
  size_t size() const { return tables.size(); }
};

// Object id to table name, one entry per table with at least one operation;
// the first insertion of an id wins. Read by the scan driver for the tree.
using TableNameMap = std::map<int32_t, std::string>;

// Index into the operation list's name table.
using NameId = uint32_t;

// A log sequence number: VLF sequence number, the block's offset from its
// VLF's start in 512-byte units, the record's index in its block.
struct LogLsn {
  uint32_t vlfSequence = 0;
  uint32_t block = 0;
  uint32_t record = 0;

  auto operator<=>(const LogLsn&) const = default;
  // "0000001f:00000010:0000", hexadecimal.
  std::string Text() const;
};

// One recovered row change.
struct LogOperation {
  // Operation flags.
  static constexpr uint8_t kOwnBeginFound = 1;         // a begin record with this transaction id
  static constexpr uint8_t kOwnBeginIsLastBefore = 2;  // ... that was the last begin before it

  // The rowset id from the record (offset 48).
  uint64_t allocationUnitId = 0;
  // Begin time of the operation's transaction (datetime layout).
  BeginTime beginTime{};
  // The 6 bytes at record offset 16, little-endian.
  std::array<uint8_t, 6> transactionId{};
  uint8_t operation = 0;
  uint8_t flags = 0;
  int32_t objectId = 0;
  int32_t recordIndex = 0;
  uint32_t vlfSequence = 0;
  uint32_t blockOffset = 0;  // in 512-byte units from the VLF's start
  // Name of the operation's own transaction (its begin record with the same
  // transaction id), or, when that record is not in the log, of the last
  // begin-transaction record before it.
  NameId transactionName = 0;
  // Name of the last begin-transaction record before it.
  NameId lastBeginBeforeName = 0;

  LogLsn Lsn() const { return {vlfSequence, blockOffset, static_cast<uint32_t>(recordIndex)}; }
  TransactionId Transaction() const;
  bool ownBeginFound() const { return flags & kOwnBeginFound; }
  bool ownBeginIsLastBefore() const { return flags & kOwnBeginIsLastBefore; }
};
static_assert(sizeof(LogOperation) <= 48, "the operation list holds millions of these");

// The operations in log order, in blocks that never move
// (platform/large_allocation.h).
using OperationVector = SegmentedVector<LogOperation>;

class OperationList {
 public:
  OperationList();

  // The index of a name, adding it to the name table when new. Index 0 is
  // the empty name.
  NameId InternName(std::string_view name);
  const std::string& Name(NameId id) const;
  size_t nameCount() const { return names_.size(); }

  void Append(const LogOperation& operation) { operations_.push_back(operation); }
  // Moves the operations of `later`, whose name ids are already this
  // list's, to the end of this list (without copying most of them), with
  // its rowsets' names.
  void AppendLater(OperationList&& later);

  // The name of the table of a rowset's operations; the first name given
  // for a rowset id keeps it.
  void NameRowset(uint64_t rowset_id, NameId name) { rowset_names_.try_emplace(rowset_id, name); }
  bool HasRowsetName(uint64_t rowset_id) const { return rowset_names_.count(rowset_id) != 0; }
  // A VLF the operations' blocks lie in: its sequence number and its file
  // position. A later scan's VLF replaces an earlier one's of the same
  // number (operations are re-read from the log scanned last).
  void AddVlf(uint32_t sequence, uint64_t position);
  // File position of the log block that holds an operation's record (its
  // VLF's position and the block's offset in it), or nullopt where its VLF
  // is not known.
  std::optional<uint64_t> BlockPosition(const LogOperation& op) const;
  LogOperation& at(size_t i) { return operations_.at(i); }
  const LogOperation& operator[](size_t i) const { return operations_[i]; }
  size_t size() const { return operations_.size(); }
  bool empty() const { return operations_.empty(); }
  const OperationVector& operations() const { return operations_; }

  // The table name of the operation's rowset; empty for a rowset not named.
  const std::string& TableName(const LogOperation& op) const;
  const std::string& TransactionName(const LogOperation& op) const {
    return Name(op.transactionName);
  }
  const std::string& LastBeginBeforeName(const LogOperation& op) const {
    return Name(op.lastBeginBeforeName);
  }

  // The object id of every operation, in list order (what the tree counts).
  std::vector<int32_t> ObjectIds() const;

  // Run reset: no operations, only the empty name.
  void Clear();

 private:
  OperationVector operations_;
  std::deque<std::string> names_;  // a deque keeps the keys below valid
  std::unordered_map<std::string_view, NameId> name_ids_;
  std::unordered_map<uint64_t, NameId> rowset_names_;
  using Vlfs = std::vector<std::pair<uint32_t, uint64_t>>;  // sequence number, position
  // The first VLF whose sequence number is not below `sequence`.
  Vlfs::const_iterator VlfFrom(uint32_t sequence) const;

  Vlfs vlfs_;  // by sequence number
};

}  // namespace tarnwick
