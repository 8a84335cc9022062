// The record decoder: turns the records of the log walk, in log order, into
// the operation list and the table-name map, and keeps the current
// transaction.
//
// Attribution: an operation belongs to the begin-transaction record with its
// own transaction id (record offset 16). Only when the log holds no such
// record does it take the last begin-transaction record before it. The name
// of the last begin before it is kept beside, whichever applies.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "logreader/log_operation.h"
#include "logreader/log_record.h"
#include "platform/large_allocation.h"

namespace tarnwick {

// What the last begin-transaction record with at least one variable field
// left: an empty name and a zero time at program start. Kept by the caller
// across scans, so that a scan's operations before its first begin record
// carry the previous scan's last transaction. The decoder sets the name
// when the scan ends (Finish), the other members as it goes.
struct CurrentTransaction {
  std::string name;
  BeginTime beginTime{};
  TransactionId transactionId = 0;
  bool fromBeginRecord = false;  // false until a begin record set it
};

struct DecodeStats {
  uint64_t records = 0;
  uint64_t beginRecords = 0;             // operation code 128
  uint64_t beginRecordsWithoutName = 0;  // no variable field, or one outside the block
  uint64_t rowChanges = 0;               // accepted context, mapped or not
  uint64_t operations = 0;
};

class LogRecordDecoder {
 public:
  // All four outlive the decoder. Operations are appended to `operations`.
  LogRecordDecoder(const UserTableMap& tables, CurrentTransaction& current,
                   OperationList& operations, TableNameMap& table_names);
  // A decoder of the part of the log that follows the part `earlier`
  // decodes, run at the same time on another thread. Its operations go to
  // `operations` (empty; names are interned in earlier's list, so its own
  // name table stays unused) and its tables to `table_names`; `current`
  // starts empty. earlier.TakeLater hands them over.
  LogRecordDecoder(LogRecordDecoder& earlier, CurrentTransaction& current,
                   OperationList& operations, TableNameMap& table_names);
  LogRecordDecoder(const LogRecordDecoder&) = delete;
  LogRecordDecoder& operator=(const LogRecordDecoder&) = delete;

  // A VLF of the walk: its blocks lie at its position plus their offset
  // (the operation list finds an operation's block so).
  void NoteVlf(uint32_t sequence, uint64_t position) { operations_.AddVlf(sequence, position); }

  // One record of the walk.
  void DecodeLogRecord(const LogRecordWindow& window);

  // After both parts' last records, before Finish: the later decoder's
  // operations are appended to this decoder's, attributed as if this
  // decoder had decoded their records itself after its own, and the
  // current transaction is the one the later part left. `later` is empty
  // afterwards.
  void TakeLater(LogRecordDecoder& later);

  // After the last record: operations whose own begin-transaction record
  // came later in the log than they did take it now.
  void Finish();

  const DecodeStats& stats() const { return stats_; }

 private:
  struct Begin {
    NameId name = 0;
    BeginTime time{};
  };
  // Of the begin records with one transaction id: the first in the log and
  // the latest seen so far.
  struct BeginsOf {
    Begin first;
    Begin latest;
  };
  // BeginsOf by transaction id, open addressing with linear probing in one
  // large zeroed area: a log holds millions of transactions, and a node
  // allocated per entry, or a vector touched 4 KiB at a time at each
  // growth, costs more than decoding their records.
  class HashedBegins {
   public:
    bool empty() const { return used_ == 0; }
    BeginsOf* Find(TransactionId id);
    // The entry of the id, and whether it was added (with `value`) now.
    std::pair<BeginsOf*, bool> TryEmplace(TransactionId id, const BeginsOf& value);

   private:
    struct Slot {
      TransactionId key;  // the id + 1; 0: empty (ids are 48-bit)
      BeginsOf value;
    };
    size_t Home(TransactionId key) const;
    void Grow();

    LargeZeroArray<Slot> slots_;
    size_t used_ = 0;
  };
  // BeginsOf by transaction id. The server hands out transaction ids one
  // after the other, so the ids of a log fall mostly in one dense run:
  // those are kept in an array indexed by id - base, which grows at its end
  // in the order the log uses it (no hashing, no rehashing, a third of the
  // memory). An id below the run or too far beyond it, which would leave
  // the array mostly empty, goes to the hashed table.
  class BeginTable {
   public:
    BeginsOf* Find(TransactionId id);
    std::pair<BeginsOf*, bool> TryEmplace(TransactionId id, const BeginsOf& value);

   private:
    struct DenseSlot {
      BeginsOf value;
      bool used;
    };
    // The array reaches at most this many slots beyond twice the begins it
    // holds: ids far beyond go to the hashed table.
    static constexpr size_t kDenseGap = 4096;

    SegmentedVector<DenseSlot> dense_;  // slot i: id base_ + i
    TransactionId base_ = 0;
    size_t dense_used_ = 0;
    HashedBegins hashed_;
  };

  void AddOperation(const LogRecordWindow& window, const LogRecordFields& fields,
                    const UserTable& table);
  // A name's index in the list that holds the names: this decoder's, or
  // for a later part's decoder the earlier one's (both may intern at once).
  NameId Intern(std::string_view name);
  void TakeBegin(const LogRecordWindow& window, const LogRecordFields& fields);
  // The first lookup of a rowset of a user table names the rowset in the
  // operation list and enters its table in the table-name map.
  void NameTable(uint64_t rowset_id, const UserTable& table);
  // A rowset's table (nullptr: not a user table), through a small cache:
  // row changes come in runs of a few rowsets.
  struct RowsetEntry {
    uint64_t rowset = 0;
    const UserTable* table = nullptr;
    bool filled = false;
  };
  const RowsetEntry& LookUpRowset(uint64_t rowset_id);
  // The name id of a begin record's name field, through a small cache keyed
  // by the field's bytes: a log repeats a few names millions of times.
  NameId TransactionNameId(Bytes field);

  const UserTableMap& tables_;
  CurrentTransaction& current_;
  OperationList& operations_;
  TableNameMap& table_names_;
  LogRecordDecoder* names_owner_ = nullptr;  // set in a later part's decoder
  std::mutex names_mutex_;                   // guards the names of operations_
  // Operations appended before the first begin record with a name: in a
  // later part's decoder the transaction current then is the earlier
  // part's last, unknown until TakeLater.
  size_t operations_before_named_begin_ = SIZE_MAX;
  NameId current_name_ = 0;
  BeginTable begins_;
  static constexpr size_t kRowsetCacheSize = 16;
  std::array<RowsetEntry, kRowsetCacheSize> rowset_cache_{};
  std::vector<std::pair<ByteBuffer, NameId>> name_cache_;
  size_t name_cache_next_ = 0;   // the entry a miss replaces once it is full
  size_t name_cache_last_ = 0;   // the entry of the last hit
  ByteBuffer name_scratch_;      // a begin record's name, restored
  std::vector<size_t> pending_;  // operations without their own begin so far
  DecodeStats stats_;
};

}  // namespace tarnwick
