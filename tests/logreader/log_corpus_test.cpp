// The log scan over the real log files of the corpus, checked against the
// scan section of each pair's expected.json.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "logreader/log_record.h"
#include "logreader/log_scan.h"
#include "logreader/record_decoder.h"
#include "logreader/transaction_log.h"
#include "reader/database_file.h"
#include "reader/page.h"
#include "reader/scan_driver.h"
#include "tests/logreader/log_test_helpers.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::CorpusPair;
using testing::Json;

// One live row of system object 5 (the rowsets): rowset id at fixed-data
// offset 0, major id (object id) at 9, minor id (index id) at 13.
struct RowsetRow {
  uint64_t rowset = 0;
  int32_t major = 0;
  int32_t minor = 0;
};

std::vector<RowsetRow> ReadRowsets(const CDatabaseFile& db) {
  std::vector<RowsetRow> rows;
  auto pages = db.systemPages().find(5);
  if (pages == db.systemPages().end()) return rows;
  for (const PageRef& ref : pages->second) {
    std::optional<ByteBuffer> bytes = db.ReadPage(ref);
    if (!bytes) continue;
    ByteReader page(*bytes);
    if (page.U8(1) != kDataPageType) continue;
    for (uint16_t offset : ReadSlotArray(page, page.I16(22))) {
      ByteReader record = page.From(offset);
      // Record types 0-2 are rows; 3 and 4 are not, 5-7 are ghosts.
      if (((record.U8(0) >> 1) & 7) > 2 || record.U16(2) < 4 + 17) continue;
      rows.push_back({record.U64(4), record.I32(4 + 9), record.I32(4 + 13)});
    }
  }
  return rows;
}

// The rowset a table's row changes carry: the heap or clustered index
// (lowest minor id of 0 and 1, the later of equal ones), else the object's
// last rowset.
uint64_t TableRowsetId(const std::vector<RowsetRow>& rows, int32_t object_id) {
  const RowsetRow* best = nullptr;
  const RowsetRow* last = nullptr;
  for (const RowsetRow& row : rows) {
    if (row.major != object_id) continue;
    last = &row;
    if ((row.minor == 0 || row.minor == 1) && (!best || row.minor <= best->minor)) best = &row;
  }
  if (best) return best->rowset;
  return last ? last->rowset : 0;
}

UserTableMap BuildMap(const CorpusPair& pair, const Json& expected) {
  RunState state;
  NullProgressSink sink;
  CDatabaseFile db(state, sink);
  UserTableMap map;
  if (!db.Open(pair.mdf)) return map;
  std::vector<RowsetRow> rows = ReadRowsets(db);
  const Json& tables = expected["tables"];
  for (size_t i = 0; i < tables.size(); ++i) {
    int32_t object_id = static_cast<int32_t>(tables[i]["objectId"].Int());
    map.Add(TableRowsetId(rows, object_id), object_id, tables[i]["name"].text);
  }
  return map;
}

TEST(LogCorpus, ScanMatchesExpected) {
  TARNWICK_REQUIRE_CORPUS();
  std::vector<CorpusPair> pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const CorpusPair& pair : pairs) {
    SCOPED_TRACE(pair.name);
    std::optional<Json> expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const Json& scan = (*expected)["scan"];
    UserTableMap map = BuildMap(pair, *expected);
    ASSERT_FALSE(map.empty());

    TransactionLog log;
    ASSERT_TRUE(log.Scan(pair.ldf, map));
    const OperationList& ops = log.operations();
    const DecodeStats& decoded = log.decodeStats();

    EXPECT_EQ(decoded.beginRecords, static_cast<uint64_t>(scan["beginTransactionRecords"].Int()));
    // Every begin record of these logs carries a name.
    EXPECT_EQ(decoded.beginRecordsWithoutName, 0u);
    EXPECT_EQ(ops.size(), static_cast<size_t>(scan["operations"].Int()));

    // Per table counts by kind.
    struct Kinds {
      long long insert = 0, del = 0, modify_row = 0, modify_columns = 0, other = 0;
    };
    std::map<int32_t, Kinds> kinds;
    for (const LogOperation& op : ops.operations()) {
      Kinds& k = kinds[op.objectId];
      switch (op.operation) {
        case kOpInsertRow:
          ++k.insert;
          break;
        case kOpDeleteRow:
          ++k.del;
          break;
        case kOpModifyRow:
          ++k.modify_row;
          break;
        case kOpModifyColumns:
          ++k.modify_columns;
          break;
        default:
          ++k.other;
      }
    }
    const Json& tables = scan["tables"];
    EXPECT_EQ(kinds.size(), tables.size());
    for (size_t i = 0; i < tables.size(); ++i) {
      const Json& t = tables[i];
      SCOPED_TRACE(t["name"].text);
      const Kinds& k = kinds[static_cast<int32_t>(t["objectId"].Int())];
      EXPECT_EQ(k.insert, t["insert"].Int());
      EXPECT_EQ(k.del, t["delete"].Int());
      EXPECT_EQ(k.modify_row, t["modify_row"].Int());
      EXPECT_EQ(k.modify_columns, t["modify_columns"].Int());
      EXPECT_EQ(k.other, t["other"].Int());
      EXPECT_EQ(log.tableNames().at(static_cast<int32_t>(t["objectId"].Int())), t["name"].text);
    }

    // The tree the scan driver builds from the result.
    LogScanResult result = log.TakeTreeInput();
    ScanTree tree = BuildScanTree(pair.mdf, result.operation_object_ids, result.table_names);
    std::vector<std::string> items{tree.all.text};
    for (const TreeItem& item : tree.tables) items.push_back(item.text);
    std::vector<std::string> expected_items;
    for (const Json& item : scan["treeItemsBelowRoot"].items) expected_items.push_back(item.text);
    EXPECT_EQ(items, expected_items);

    // Attribution by transaction id.
    long long without_own = 0, own_not_last = 0;
    std::map<std::string, long long> pairs_seen;
    for (const LogOperation& op : ops.operations()) {
      if (!op.ownBeginFound()) {
        ++without_own;
        EXPECT_EQ(op.transactionName, op.lastBeginBeforeName);
        continue;
      }
      if (!op.ownBeginIsLastBefore()) ++own_not_last;
      ++pairs_seen[ops.LastBeginBeforeName(op) + " -> " + ops.TransactionName(op)];
    }
    EXPECT_EQ(without_own, scan["operationsWithoutOwnBeginInLog"].Int());
    EXPECT_EQ(own_not_last, scan["operationsWhoseOwnBeginIsNotTheLastBeginBefore"].Int());
    std::map<std::string, long long> expected_pairs;
    for (const auto& [key, count] : scan["lastBeginBeforeNameToOwnTransactionName"].members)
      expected_pairs[key] = count.Int();
    EXPECT_EQ(pairs_seen, expected_pairs);

    // Every operation's record can be read again at its block position:
    // same rowset and operation code, and the block's own offset field
    // agrees with the operation's LSN.
    int reread_mismatches = 0, rows_without_field = 0;
    for (const LogOperation& op : ops.operations()) {
      std::optional<LogBlock> block = log.ReadOperationBlock(op);
      if (!block || static_cast<size_t>(op.recordIndex) >= block->count()) {
        ++reread_mismatches;
        continue;
      }
      LogRecordFields fields = ReadLogRecordFields(block->Window(op.recordIndex));
      if (fields.allocationUnitId != op.allocationUnitId || fields.operation != op.operation ||
          fields.transactionId != op.Transaction() || block->reader().U32(16) != op.blockOffset)
        ++reread_mismatches;
      if (op.operation == kOpInsertRow || op.operation == kOpDeleteRow) {
        // Field 0 is the row: a record of type 0 whose fixed-data end lies
        // inside it.
        RowLogFields f = ReadRowLogFields(*block, op.recordIndex);
        if (f.fields.empty() || ((f.fields[0][0] >> 1) & 7) != 0 ||
            ByteReader(f.fields[0]).U16(2) > f.fields[0].size())
          ++rows_without_field;
      }
    }
    EXPECT_EQ(reread_mismatches, 0);
    EXPECT_EQ(rows_without_field, 0);

    const LogScanStats& walked = log.scanStats();
    std::printf(
        "[ corpus   ] %-13s vlfs %llu blocks %llu records %llu (cut off %llu) begins %llu "
        "row changes %llu operations %zu without own begin %lld own not last %lld\n",
        pair.name.c_str(), (unsigned long long)walked.vlfs, (unsigned long long)walked.blocks,
        (unsigned long long)walked.records, (unsigned long long)walked.recordsCutOff,
        (unsigned long long)decoded.beginRecords, (unsigned long long)decoded.rowChanges,
        ops.size(), without_own, own_not_last);
  }
}

// The scan reads a mapped log file in place; a log that cannot be mapped is
// read through positioned reads. Both give the same operations on every
// real log.
TEST(LogCorpus, MappedAndReadScansAgree) {
  TARNWICK_REQUIRE_CORPUS();
  for (const CorpusPair& pair : testing::CorpusPairs()) {
    SCOPED_TRACE(pair.name);
    std::optional<Json> expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const UserTableMap map = BuildMap(pair, *expected);
    std::optional<LogFile> file = LogFile::Open(pair.ldf);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->InMemory().size(), file->size());

    struct Result {
      CurrentTransaction current;
      OperationList ops;
      TableNameMap names;
      LogScanStats walked;
    } mapped, read;
    {
      LogRecordDecoder decoder(map, mapped.current, mapped.ops, mapped.names);
      mapped.walked = ScanLogFile(*file, decoder);
    }
    {
      const testing::PositionedReadsOnly reads(*file);
      LogRecordDecoder decoder(map, read.current, read.ops, read.names);
      read.walked = ScanLogFile(reads, decoder);
    }
    EXPECT_GT(mapped.ops.size(), 0u);
    EXPECT_EQ(testing::OperationDifferences(mapped.ops, read.ops), std::vector<std::string>{});
    EXPECT_EQ(mapped.names, read.names);
    EXPECT_EQ(mapped.current.name, read.current.name);
    EXPECT_EQ(mapped.walked.records, read.walked.records);
    EXPECT_EQ(mapped.walked.blocks, read.walked.blocks);
  }
}

}  // namespace
}  // namespace tarnwick
