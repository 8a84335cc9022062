// tarnwick-cli show: its messages and exit statuses on built files, and over
// the corpus every operation shown (in process, through the functions the
// command runs, and a sample through the command itself), with every insert
// whose row is still in the data file unchanged against that row.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logreader/log_file.h"
#include "logreader/row_operations.h"
#include "logreader/statement.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/catalog_stage.h"
#include "reader/collation_table.h"
#include "reader/scan_driver.h"
#include "records/compressed_record.h"
#include "records/data_page.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"
#include "tests/support/log_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::FindUnchangedRow;
using testing::Json;
using testing::RowAddress;

std::string Cli() { return testing::ShellQuote(testing::CliPath()); }
std::string Q(const std::string& s) { return testing::ShellQuote(s); }

// ------------------------------------------------------------ built files

constexpr const char* kUsage = "usage: tarnwick-cli show --ldf LOG --mdf DATA --op N [--json]";

TEST(ShowCommand, MessagesAndExitStatus) {
  testing::CatalogBuilder b;
  const testing::TableIds t = b.Table(
      "Parts",
      {{.name = "Id", .nullable = false}, {.name = "Label", .system_type = 167, .length = 10}});
  const uint32_t page = b.Page(t.page_key, 1);
  testing::DataFileBuilder file = b.Build();
  testing::TempDir dir;
  const std::string mdf = file.WriteTo(dir.File("parts.mdf"));
  const std::string old_mdf = b.Build().Boot(539, 872468488).WriteTo(dir.File("old.mdf"));
  ByteBuffer id;
  PutUnsigned(id, 0, 12, 4);
  testing::LogFileBuilder log;
  log.Vlf(3).Block().Add(
      testing::LogRecordBuilder::Insert(
          t.rowset_id, 1, testing::RowBuilder().Fixed(id).Columns(2).Var({'a', 'b'}).Build())
          .Page(1, page, 0));
  const std::string ldf = log.WriteTo(dir.File("parts_log.ldf"));
  const std::string files = " --ldf " + Q(ldf) + " --mdf " + Q(mdf);

  struct Case {
    const char* name;
    std::string args;
    int status;
    std::string err;  // a whole line that stderr must hold
  } cases[] = {
      {"the insert", "show" + files + " --op 0", 0, ""},
      {"no --op", "show" + files, 2, kUsage},
      {"negative --op", "show" + files + " --op -1", 2, kUsage},
      {"--op not a number", "show" + files + " --op 1x", 2, kUsage},
      {"--op past the list", "show" + files + " --op 1", 1,
       "tarnwick-cli: no operation 1; the log holds 1"},
      {"log missing", "show --ldf " + Q(dir.File("none.ldf")) + " --mdf " + Q(mdf) + " --op 0", 1,
       kLdfCannotBeOpen},
      {"data file missing",
       "show --ldf " + Q(ldf) + " --mdf " + Q(dir.File("none.mdf")) + " --op 0", 1,
       kFileCannotBeOpen},
      {"SQL Server 2000 file", "show --ldf " + Q(ldf) + " --mdf " + Q(old_mdf) + " --op 0", 1,
       kVersionNotSupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::CommandResult r = testing::RunCommand(Cli() + " " + c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err + "\n"), std::string::npos) << r.err;
    }
    if (c.status == 0) {
      EXPECT_NE(r.out.find("insert into [Parts] values( 12,'ab')\n"), std::string::npos) << r.out;
    }
  }

  const testing::CommandResult r = testing::RunCommand(Cli() + " show" + files + " --op 0 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::optional<Json> json = testing::ParseJson(r.out);
  ASSERT_TRUE(json) << r.out;
  EXPECT_EQ((*json)["index"].Int(), 0);
  EXPECT_EQ((*json)["statement"].text, "insert into [Parts] values( 12,'ab')");
  EXPECT_EQ((*json)["table"].text, "Parts");
  EXPECT_EQ((*json)["operation"].text, "Insert");
  ASSERT_EQ((*json)["columns"].size(), 2u);
  EXPECT_EQ((*json)["columns"][1].text, "Label");
  ASSERT_EQ((*json)["rows"].size(), 1u);
  EXPECT_EQ((*json)["rows"][0][0].text, "12");
  EXPECT_EQ((*json)["rows"][0][1].text, "ab");
}

// ----------------------------------------------------------------- corpus

// One pair scanned the way the command scans it.
struct Scanned {
  RunState state;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  CollectingFrontEnd front;
  CMetadata& metadata() { return *slot.metadata; }
  const OperationList& operations() const { return log.operations(); }
};

std::unique_ptr<Scanned> Scan(const testing::CorpusPair& pair) {
  auto s = std::make_unique<Scanned>();
  s->state.collations = LoadCollationTable();
  s->state.data_file_path = pair.mdf;
  s->state.log_file_path = pair.ldf;
  ScanStages stages;
  stages.build_catalog = BuildCatalog;
  Scanned* raw = s.get();
  stages.build_user_table_map = [raw](ReaderSlot& slot) {
    if (slot.metadata) raw->tables = BuildUserTableMap(*slot.metadata);
  };
  stages.scan_log = [raw](ReaderSlot&, ScanFrontEnd&) {
    EXPECT_TRUE(raw->log.Scan(raw->state.log_file_path, raw->tables));
    return raw->log.TakeTreeInput();
  };
  RunScan(s->state, s->slot, s->front, stages);
  EXPECT_TRUE(s->front.messages.empty());
  EXPECT_TRUE(s->slot.metadata);
  return s;
}

// A row's non-computed values as one comparable text, NULL apart from any
// text.
std::string RowKey(const Row& row) {
  std::string key;
  for (const ColumnDescriptor& c : row)
    if (!c.computed()) key += (c.value_null ? std::string("\x01") : c.value) + "\x1F";
  return key;
}
std::string RowKey(const Json& row) {
  std::string key;
  for (const Json& v : row.items) key += (v.is_null() ? std::string("\x01") : v.text) + "\x1F";
  return key;
}

TEST(ShowCommand, EveryCorpusOperationShows) {
  TARNWICK_REQUIRE_CORPUS();
  const auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    std::unique_ptr<Scanned> s = Scan(pair);
    ASSERT_TRUE(s->slot.metadata);
    const OperationList& ops = s->operations();
    ASSERT_FALSE(ops.empty());
    std::map<uint8_t, size_t> first_of_code;
    std::map<size_t, ShownOperation> shown;
    for (size_t i = 0; i < ops.size(); ++i) {
      const LogOperation& op = ops[i];
      const std::string& table = ops.TableName(op);
      SCOPED_TRACE(::testing::Message() << "operation " << i << " on " << table);
      first_of_code.try_emplace(op.operation, i);
      const DecodedOperation d = DecodeOperationRows(op, s->log, s->metadata());
      EXPECT_EQ(d.rows.status, RowDecodeStatus::kDecoded) << RowDecodeStatusName(d.rows.status);
      EXPECT_EQ(d.table.object.object_id, op.objectId);
      const ShownOperation view =
          RenderOperation(op.operation, table, d.table.columns, d.rows.rows);
      const std::vector<Row>& rows = d.rows.rows;
      switch (op.operation) {
        case kOpInsertRow:
          EXPECT_EQ(rows.size(), 1u);
          EXPECT_EQ(view.statement.rfind("insert into [" + table + "] values( ", 0), 0u);
          break;
        case kOpDeleteRow:
          EXPECT_EQ(rows.size(), 1u);
          EXPECT_EQ(view.statement.rfind("Delete from [" + table + "] where ", 0), 0u);
          break;
        case kOpModifyRow:
        case kOpModifyColumns:
          // No rows when the slot is gone from the page since.
          EXPECT_TRUE(rows.size() == 2 || rows.empty()) << rows.size();
          if (!view.statement.empty()) {
            EXPECT_EQ(view.statement.rfind("Update [" + table + "] SET ", 0), 0u);
          }
          break;
        default:
          EXPECT_TRUE(view.statement.empty());
      }
      EXPECT_EQ(view.values.rows.size(), rows.size());
      shown[i] = view;
    }

    // The command itself, for the first operation of each kind and the last.
    std::set<size_t> sample = {ops.size() - 1};
    for (const auto& [code, i] : first_of_code) sample.insert(i);
    for (size_t i : sample) {
      SCOPED_TRACE(::testing::Message() << "show --op " << i);
      const testing::CommandResult r =
          testing::RunCommand(Cli() + " show --ldf " + Q(pair.ldf) + " --mdf " + Q(pair.mdf) +
                              " --op " + std::to_string(i) + " --json");
      ASSERT_EQ(r.status, 0) << r.err;
      const std::optional<Json> json = testing::ParseJson(r.out);
      ASSERT_TRUE(json) << r.out;
      EXPECT_EQ((*json)["index"].Int(), static_cast<long long>(i));
      EXPECT_EQ((*json)["statement"].text, shown[i].statement);
      ASSERT_EQ((*json)["columns"].size(), shown[i].values.columns.size());
      for (size_t k = 0; k < shown[i].values.columns.size(); ++k)
        EXPECT_EQ((*json)["columns"][k].text, shown[i].values.columns[k]);
      ASSERT_EQ((*json)["rows"].size(), shown[i].values.rows.size());
      for (size_t k = 0; k < shown[i].values.rows.size(); ++k) {
        ASSERT_EQ((*json)["rows"][k].size(), shown[i].values.rows[k].size());
        for (size_t c = 0; c < shown[i].values.rows[k].size(); ++c) {
          const Json& v = (*json)["rows"][k][c];
          EXPECT_EQ(v.is_null() ? "NULL" : v.text, shown[i].values.rows[k][c]);
        }
      }
    }
  }
}

TEST(ShowCommand, InsertsMatchTheirRowsStillInTheDataFile) {
  TARNWICK_REQUIRE_CORPUS();
  size_t total_matched = 0;
  for (const auto& pair : testing::CorpusPairs()) {
    SCOPED_TRACE(pair.name);
    std::unique_ptr<Scanned> s = Scan(pair);
    ASSERT_TRUE(s->slot.metadata);
    CMetadata& metadata = s->metadata();
    const CDatabaseFile& db = metadata.database();
    const OperationList& ops = s->operations();
    std::map<std::string, std::multiset<std::string>> current;  // rows --json of each table
    size_t inserts = 0;
    size_t matched = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
      const LogOperation& op = ops[i];
      if (op.operation != kOpInsertRow) continue;
      ++inserts;
      const std::string& table = ops.TableName(op);
      SCOPED_TRACE(::testing::Message() << "operation " << i << " on " << table);
      const DecodedOperation d = DecodeOperationRows(op, s->log, metadata);
      ASSERT_EQ(d.rows.rows.size(), 1u);
      const std::vector<PageRef> pages = metadata.currentTable().data_pages;

      const std::optional<LogBlock> block = s->log.ReadOperationBlock(op);
      ASSERT_TRUE(block);
      const RowImageRequest request =
          ReadRowImageRequest(*block, op.recordIndex, op.allocationUnitId);
      ASSERT_TRUE(request.oneRecord);
      const ByteBuffer& buffer = *request.oneRecord;
      const Bytes logged(buffer.data(), ByteReader(buffer).U16(kOneRecordLengthOffset));
      const std::optional<RowAddress> found = FindUnchangedRow(db, pages, logged);
      if (!found) continue;  // deleted or changed since

      // The statement against the one built from the row the page holds.
      const TableRecordContext context(d.table.columns, db.state().sql2000_mode);
      const auto page = LoadDataPage(db, found->page, context, SingleSlot{found->slot});
      ASSERT_TRUE(page);
      const DatabasePageSource source(db);
      const RowReadContext read{&source, db.state().code_page, nullptr, db.state().sql2000_mode};
      const std::vector<Row> stored = ReadDisplayRows(*page, d.table.columns, read);
      ASSERT_EQ(stored.size(), 1u);
      EXPECT_EQ(RenderOperation(op.operation, table, d.table.columns, d.rows.rows).statement,
                BuildOperationStatement(kOpInsertRow, table, stored));

      // The values against the table's rows as `rows --json` lists them.
      if (!current.count(table)) {
        const testing::CommandResult r = testing::RunCommand(Cli() + " rows --mdf " + Q(pair.mdf) +
                                                             " --table " + Q(table) + " --json");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::optional<Json> json = testing::ParseJson(r.out);
        ASSERT_TRUE(json);
        std::multiset<std::string>& keys = current[table];
        for (const Json& row : (*json)["rows"].items) keys.insert(RowKey(row));
      }
      EXPECT_GE(current[table].count(RowKey(d.rows.rows[0])), 1u)
          << "the decoded insert is not among the table's rows";
      ++matched;
    }
    std::printf("%s: %zu inserts, %zu still in the data file unchanged and matched\n",
                pair.name.c_str(), inserts, matched);
    total_matched += matched;
  }
  EXPECT_GT(total_matched, 0u);
}

}  // namespace
}  // namespace tarnwick
