// The sample database pair, scanned as the program scans it: the log gives
// back exactly the operations the generator reports having written (table,
// kind, own transaction name and LSN of each, in log order), and the data
// file holds the inserted rows that nothing changed afterwards.
#include "tools/sample_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "logreader/log_record.h"
#include "logreader/row_operations.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/run_state.h"
#include "records/compressed_record.h"
#include "records/data_page.h"
#include "records/page_source.h"
#include "records/table_rows.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/recording_sink.h"

namespace tarnwick {
namespace sample {

void PrintTo(const SampleOptions& o, std::ostream* out) {
  *out << o.operations << " operations, seed " << o.seed << ", VLF size " << o.vlf_size;
}

}  // namespace sample

namespace {

using sample::SampleOperation;
using sample::SampleOptions;
using sample::SampleReport;

struct ScannedSample {
  testing::TempDir dir;
  SampleReport report;
  RunState state;
  testing::RecordingSink sink;
  std::unique_ptr<CDatabaseFile> db;
  std::unique_ptr<CMetadata> metadata;
  UserTableMap tables;
  TransactionLog log;
  bool scanned = false;
};

std::unique_ptr<ScannedSample> WriteAndScan(const SampleOptions& options) {
  auto s = std::make_unique<ScannedSample>();
  const std::string mdf = s->dir.File("sample.mdf");
  const std::string ldf = s->dir.File("sample_log.ldf");
  s->report = sample::WriteSampleDatabase(mdf, ldf, options);
  s->db = std::make_unique<CDatabaseFile>(s->state, s->sink);
  if (!s->db->Open(mdf)) return s;
  s->metadata = std::make_unique<CMetadata>(*s->db);
  s->tables = BuildUserTableMap(*s->metadata);
  s->scanned = s->log.Scan(ldf, s->tables);
  return s;
}

// The display rows of a table's data pages, as `rows` reads them.
std::vector<Row> TableRows(ScannedSample& s, const std::string& name) {
  const CatalogObject object = s.metadata->FindObject(name, "U ");
  const std::vector<ColumnDescriptor> columns =
      s.metadata->PrepareObject(object, s.metadata->definitions());
  const DatabasePageSource source(*s.db);
  RowReadContext context;
  context.pages = &source;
  context.code_page = s.state.code_page;
  const TableRecordContext table_context(columns, false);
  std::vector<Row> rows;
  for (const PageRef& ref : s.metadata->currentTable().data_pages) {
    auto page = LoadDataPage(*s.db, ref, table_context);
    if (!page) continue;
    for (Row& row : ReadDisplayRows(*page, columns, context)) rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> Texts(const Row& row) {
  std::vector<std::string> texts;
  for (const ColumnDescriptor& c : row) texts.push_back(c.value);
  return texts;
}

class SampleDatabase : public ::testing::TestWithParam<SampleOptions> {};

TEST_P(SampleDatabase, ScanGivesBackEveryOperationWritten) {
  auto s = WriteAndScan(GetParam());
  ASSERT_TRUE(s->metadata);
  ASSERT_TRUE(s->scanned);
  const SampleReport& report = s->report;
  ASSERT_GE(report.operations, GetParam().operations);
  EXPECT_EQ(s->tables.size(), report.tables.size());

  // The walk: every VLF in use, every live block and record, none of the
  // stale block behind the newest VLF's live ones.
  EXPECT_EQ(s->log.scanStats().vlfs, report.vlfs);
  EXPECT_EQ(s->log.scanStats().blocks, report.log_blocks);
  EXPECT_EQ(s->log.scanStats().records, report.log_records);
  EXPECT_EQ(s->log.scanStats().damagedBlocks, 0u);
  EXPECT_EQ(s->log.decodeStats().beginRecords, report.begin_records);

  const OperationList& ops = s->log.operations();
  ASSERT_EQ(ops.size(), report.operation_list.size());
  std::map<std::pair<int32_t, uint8_t>, uint64_t> by_kind;
  std::map<std::string, uint64_t> by_name;
  uint64_t own_begin_not_last = 0;
  for (size_t i = 0; i < ops.size(); ++i) {
    const LogOperation& op = ops[i];
    const SampleOperation& want = report.operation_list[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(op.objectId, report.tables[want.table].object_id);
    EXPECT_EQ(ops.TableName(op), report.tables[want.table].name);
    EXPECT_EQ(op.operation, want.operation);
    EXPECT_EQ(op.Lsn(), (LogLsn{want.vlf_sequence, want.block_offset, want.record_index}));
    EXPECT_TRUE(op.ownBeginFound());
    EXPECT_EQ(ops.TransactionName(op), report.transaction_names[want.transaction]);
    ++by_kind[std::make_pair(op.objectId, op.operation)];
    ++by_name[ops.TransactionName(op)];
    if (!op.ownBeginIsLastBefore()) ++own_begin_not_last;
  }
  for (const sample::SampleTable& t : report.tables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(by_kind[std::make_pair(t.object_id, kOpInsertRow)], t.inserts);
    EXPECT_EQ(by_kind[std::make_pair(t.object_id, kOpDeleteRow)], t.deletes);
    EXPECT_EQ(by_kind[std::make_pair(t.object_id, kOpModifyRow)], t.modify_rows);
    EXPECT_EQ(by_kind[std::make_pair(t.object_id, kOpModifyColumns)], t.modify_columns);
  }
  EXPECT_EQ(by_name, report.operations_by_transaction);
  // Transactions interleave, and system transactions begin between a
  // user transaction's row changes.
  EXPECT_GT(own_begin_not_last, 0u);
}

TEST_P(SampleDatabase, DataFileHoldsTheRowsThatInsertsLeftUnchanged) {
  auto s = WriteAndScan(GetParam());
  ASSERT_TRUE(s->metadata);
  ASSERT_TRUE(s->scanned);
  const SampleReport& report = s->report;
  const OperationList& ops = s->log.operations();
  ASSERT_EQ(ops.size(), report.operation_list.size());

  std::vector<std::multiset<std::vector<std::string>>> rows_of(report.tables.size());
  for (size_t t = 0; t < report.tables.size(); ++t) {
    for (const Row& row : TableRows(*s, report.tables[t].name)) rows_of[t].insert(Texts(row));
    EXPECT_EQ(rows_of[t].size(), report.tables[t].live_rows) << report.tables[t].name;
  }
  size_t checked = 0;
  for (size_t i = 0; i < ops.size(); ++i) {
    const SampleOperation& want = report.operation_list[i];
    if (!want.row_unchanged) continue;
    SCOPED_TRACE(i);
    // The logged row is the record the page holds at the logged slot.
    const std::optional<LogBlock> block = s->log.ReadOperationBlock(ops[i]);
    ASSERT_TRUE(block);
    const RowLogFields fields = ReadRowLogFields(*block, static_cast<size_t>(ops[i].recordIndex));
    ASSERT_FALSE(fields.fields.empty());
    const LogRecordFields record =
        ReadLogRecordFields(block->RecordBytes(static_cast<size_t>(ops[i].recordIndex)));
    const std::optional<ByteBuffer> page = s->db->ReadPage({record.fileId, record.pageNumber, 0});
    ASSERT_TRUE(page);
    const ByteReader page_bytes(*page);
    const uint16_t slot_offset = page_bytes.U16(kPageSize - 2 - 2 * record.slot);
    const Bytes row = fields.fields[0];
    EXPECT_TRUE(std::equal(row.begin(), row.end(), page->begin() + slot_offset));
    // And the insert's decoded row is one of the table's current rows.
    const DecodedOperation decoded = DecodeOperationRows(ops[i], s->log, *s->metadata);
    ASSERT_EQ(decoded.rows.status, RowDecodeStatus::kDecoded);
    ASSERT_EQ(decoded.rows.rows.size(), 1u);
    EXPECT_EQ(rows_of[want.table].count(Texts(decoded.rows.rows[0])), 1u);
    ++checked;
  }
  EXPECT_GT(checked, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SampleDatabase,
    ::testing::Values(SampleOptions{}, SampleOptions{.operations = 2500, .seed = 99},
                      SampleOptions{.operations = 1200, .seed = 5, .vlf_size = 32768}),
    [](const ::testing::TestParamInfo<SampleOptions>& info) {
      return "Operations" + std::to_string(info.param.operations) + "Seed" +
             std::to_string(info.param.seed);
    });

TEST(SampleDatabaseReport, CoversEveryKindOfOperationOnEveryTable) {
  testing::TempDir dir;
  const SampleReport report =
      sample::WriteSampleDatabase(dir.File("sample.mdf"), dir.File("sample_log.ldf"));
  uint64_t deletes = 0;
  uint64_t modify_rows = 0;
  uint64_t modify_columns = 0;
  for (const sample::SampleTable& t : report.tables) {
    SCOPED_TRACE(t.name);
    EXPECT_GT(t.inserts, 0u);
    deletes += t.deletes;
    modify_rows += t.modify_rows;
    modify_columns += t.modify_columns;
  }
  EXPECT_GT(deletes, 0u);
  EXPECT_GT(modify_rows, 0u);
  EXPECT_GT(modify_columns, 0u);
  EXPECT_GT(report.system_transactions, 0u);
  EXPECT_GT(report.vlfs, 1u);
  EXPECT_GE(report.operations_by_transaction.size(), 5u);
}

}  // namespace
}  // namespace tarnwick
