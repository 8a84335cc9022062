#include "logreader/record_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "logreader/log_scan.h"
#include "logreader/transaction_log.h"
#include "records/value_text.h"
#include "tests/logreader/log_test_helpers.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/log_file_builder.h"

namespace tarnwick {
namespace {

using testing::LogBlockBuilder;
using testing::LogFileBuilder;
using testing::LogRecordBuilder;
using testing::RowImage;
using testing::VlfBuilder;
using R = LogRecordBuilder;

constexpr uint64_t kAlbums = 72057594039042048ull;
constexpr uint64_t kGenres = 72057594039107584ull;
constexpr uint64_t kUnmapped = 72057594043432960ull;

UserTableMap Tables() {
  UserTableMap map;
  map.Add(kAlbums, 245575913, "Albums");
  map.Add(kGenres, 277576027, "Genres");
  return map;
}

// One scan of a log through the decoder, with the current transaction the
// caller keeps.
struct Scanned {
  OperationList ops;
  TableNameMap names;
  DecodeStats stats;

  std::vector<std::string> TransactionNames() const {
    std::vector<std::string> out;
    for (const LogOperation& op : ops.operations()) out.push_back(ops.TransactionName(op));
    return out;
  }
};

// The scan reads a log in memory in place and a log without it through
// positioned reads, and a large log in two parts at once. Every scan here
// is run each way (two parts where the log has two VLFs), and all must
// agree with the scan of the whole log in place by one decoder.
Scanned Scan(const LogFileBuilder& log, CurrentTransaction& current,
             const UserTableMap& tables = Tables()) {
  Scanned s;
  ByteBuffer bytes = log.Build();
  MemoryLogSource source(bytes);
  const CurrentTransaction before = current;
  LogRecordDecoder decoder(tables, current, s.ops, s.names);
  ScanLogFile(source, decoder, /*two_parts_from=*/UINT64_MAX);
  s.stats = decoder.stats();

  testing::PositionedReadsOnly reads(source);
  for (const bool two_parts : {false, true}) {
    SCOPED_TRACE(two_parts ? "in two parts" : "through positioned reads");
    Scanned other;
    CurrentTransaction other_current = before;
    LogRecordDecoder second(tables, other_current, other.ops, other.names);
    if (two_parts)
      ScanLogFile(source, second, /*two_parts_from=*/0);
    else
      ScanLogFile(reads, second, /*two_parts_from=*/UINT64_MAX);
    EXPECT_EQ(testing::OperationDifferences(s.ops, other.ops), std::vector<std::string>{});
    EXPECT_EQ(s.names, other.names);
    EXPECT_EQ(current.name, other_current.name);
    EXPECT_EQ(current.transactionId, other_current.transactionId);
    EXPECT_EQ(current.beginTime, other_current.beginTime);
    EXPECT_EQ(current.fromBeginRecord, other_current.fromBeginRecord);
    EXPECT_EQ(s.stats.records, second.stats().records);
    EXPECT_EQ(s.stats.beginRecords, second.stats().beginRecords);
    EXPECT_EQ(s.stats.beginRecordsWithoutName, second.stats().beginRecordsWithoutName);
    EXPECT_EQ(s.stats.rowChanges, second.stats().rowChanges);
    EXPECT_EQ(s.stats.operations, second.stats().operations);
  }
  return s;
}

Scanned Scan(const LogFileBuilder& log) {
  CurrentTransaction current;
  return Scan(log, current);
}

// A log of one VLF whose one block holds the records.
LogFileBuilder OneBlock(std::vector<LogRecordBuilder> records) {
  LogFileBuilder log;
  LogBlockBuilder& block = log.Vlf(0x1f).Block();
  for (const auto& r : records) block.Add(r);
  return log;
}

TEST(RecordDecoder, RowChangesByOperationAndContext) {
  struct Case {
    uint8_t operation;
    uint8_t context;
    uint64_t rowset;
    bool makes_entry;
  } cases[] = {
      {2, 2, kAlbums, true},   {3, 19, kAlbums, true},   {4, 2, kAlbums, true},
      {6, 2, kAlbums, true},   {2, 1, kGenres, true},    {3, 2, kGenres, true},
      {5, 1, kAlbums, true},   {129, 2, kAlbums, true},  {2, 0, kAlbums, false},
      {2, 3, kAlbums, false},  {3, 4, kAlbums, false},   {2, 18, kAlbums, false},
      {2, 20, kAlbums, false}, {2, 255, kAlbums, false}, {2, 2, kUnmapped, false},
      {2, 2, 0, false},
  };
  for (const Case& c : cases) {
    Scanned s = Scan(OneBlock({R(c.operation, c.context).Rowset(c.rowset).Transaction(7)}));
    SCOPED_TRACE(::testing::Message()
                 << int(c.operation) << "/" << int(c.context) << " " << c.rowset);
    ASSERT_EQ(s.ops.size(), c.makes_entry ? 1u : 0u);
    EXPECT_EQ(s.stats.rowChanges, IsRowChangeContext(c.context) ? 1u : 0u);
    if (!c.makes_entry) continue;
    const LogOperation& op = s.ops[0];
    EXPECT_EQ(op.operation, c.operation);
    EXPECT_EQ(op.allocationUnitId, c.rowset);
    EXPECT_EQ(op.objectId, Tables().Find(c.rowset)->objectId);
    EXPECT_EQ(s.ops.TableName(op), Tables().Find(c.rowset)->name);
    EXPECT_EQ(op.Transaction(), 7u);
  }
}

TEST(RecordDecoder, RowsetZeroIsNeverMapped) {
  UserTableMap map;
  EXPECT_FALSE(map.Add(0, 10, "NoRowset"));
  EXPECT_TRUE(map.empty());
  // Even a map filled by hand does not give id 0 a table.
  map.tables[0] = UserTable{10, "NoRowset"};
  CurrentTransaction current;
  Scanned s = Scan(OneBlock({R::Insert(0, 1, RowImage(20))}), current, map);
  EXPECT_TRUE(s.ops.empty());
  EXPECT_TRUE(s.names.empty());
}

TEST(RecordDecoder, FirstTableAddedUnderAnIdKeepsIt) {
  UserTableMap map;
  EXPECT_TRUE(map.Add(kAlbums, 1, "first"));
  EXPECT_FALSE(map.Add(kAlbums, 2, "second"));
  EXPECT_EQ(map.Find(kAlbums)->name, "first");
  EXPECT_EQ(map.Find(kAlbums)->objectId, 1);
  EXPECT_EQ(map.Find(kGenres), nullptr);
}

TEST(RecordDecoder, TableNameMapHasOneEntryPerTable) {
  UserTableMap map = Tables();
  map.Add(kUnmapped, 245575913, "Albums again");  // a second rowset of Albums
  CurrentTransaction current;
  Scanned s =
      Scan(OneBlock({R::Insert(kGenres, 1, RowImage(20)), R::Insert(kAlbums, 1, RowImage(20)),
                     R::Insert(kAlbums, 1, RowImage(20)), R::Insert(kUnmapped, 1, RowImage(20))}),
           current, map);
  EXPECT_EQ(s.ops.size(), 4u);
  EXPECT_EQ(s.names, (TableNameMap{{245575913, "Albums"}, {277576027, "Genres"}}));
  // Names are kept once: the empty name and three table names.
  EXPECT_EQ(s.ops.nameCount(), 4u);
  EXPECT_EQ(s.ops.TableName(s.ops[3]), "Albums again");
}

// The current transaction after a begin record, seen through an operation of
// a transaction that has no begin record (it takes the last one before it).
TEST(RecordDecoder, BeginTransactionRecords) {
  ByteBuffer name_with_zero = {'a', 0, 0, 0, 'b', 0};
  struct Case {
    const char* what;
    LogRecordBuilder begin;
    bool sets;  // false: the previous transaction "before" stays
    std::string name;
  } cases[] = {
      {"a name", R::Begin(2, "user_transaction", 100, 200), true, "user_transaction"},
      {"an empty name still sets the time", R::Begin(2, "", 100, 200), true, ""},
      {"not ASCII", R::Begin(2, "Zoë 北", 100, 200), true, "Zoë 北"},
      {"stops at a zero character", R::Begin(2, "", 100, 200).VariableFields({name_with_zero}),
       true, "a"},
      {"odd length pairs the last byte with zero",
       R::Begin(2, "", 100, 200).VariableFields({{'a', 0, 'b'}}), true, "ab"},
      {"only the name field", R::Begin(2, "", 100, 200).VariableFields({{'x', 0}}), true, "x"},
      {"no variable field", R::BeginWithoutFields(2).Time(100, 200), false, ""},
      {"fixed-part length past the block", R::Begin(2, "x", 100, 200).Set16(2, 60000), false, ""},
      {"field count past the block", R::Begin(2, "x", 100, 200).Set16(76, 30000), false, ""},
      {"name length past the block", R::Begin(2, "x", 100, 200).Set16(78, 40000), false, ""},
  };
  for (const Case& c : cases) {
    LogFileBuilder log =
        OneBlock({R::Begin(1, "before", 1, 2), c.begin, R::Insert(kAlbums, 99, RowImage(20))});
    Scanned s = Scan(log);
    ASSERT_EQ(s.ops.size(), 1u) << c.what;
    const LogOperation& op = s.ops[0];
    EXPECT_FALSE(op.ownBeginFound()) << c.what;
    EXPECT_EQ(s.stats.beginRecords, 2u) << c.what;
    EXPECT_EQ(s.stats.beginRecordsWithoutName, c.sets ? 0u : 1u) << c.what;
    EXPECT_EQ(s.ops.TransactionName(op), c.sets ? c.name : "before") << c.what;
    EXPECT_EQ(s.ops.LastBeginBeforeName(op), c.sets ? c.name : "before") << c.what;
    BeginTime want{};
    ByteBuffer t;
    PutUnsigned(t, 0, c.sets ? 100 : 1, 4);
    PutUnsigned(t, 4, c.sets ? 200 : 2, 4);
    std::copy(t.begin(), t.end(), want.begin());
    EXPECT_EQ(op.beginTime, want) << c.what;
  }
}

TEST(RecordDecoder, BeginTimeHasTheDatetimeLayout) {
  // 2012-10-04 15:31:54: day 41184, 15:31:54 = 55914 s = 16774200 ticks.
  Scanned s =
      Scan(OneBlock({R::Begin(3, "t", 16774200, 41184), R::Insert(kAlbums, 3, RowImage(20))}));
  ASSERT_EQ(s.ops.size(), 1u);
  EXPECT_EQ(DateTimeText(s.ops[0].beginTime), "2012-10-04 15:31:54");
}

TEST(RecordDecoder, NameAcrossASectorBoundaryIsRestored) {
  // The begin record at 420: its name starts at record offset 84, block
  // offset 504, so the name's fifth character starts at the sector boundary.
  LogFileBuilder log;
  log.Vlf(2)
      .Block()
      .ParityMark(0x99)
      .AddAt(48, R::Commit(1))
      .AddAt(420, R::Begin(5, "ABCDEFGH"))
      .Add(R::Insert(kAlbums, 5, RowImage(20)));
  Scanned s = Scan(log);
  ASSERT_EQ(s.ops.size(), 1u);
  EXPECT_EQ(s.ops.TransactionName(s.ops[0]), "ABCDEFGH");
}

TEST(RecordDecoder, Attribution) {
  struct Case {
    const char* what;
    std::vector<std::vector<LogRecordBuilder>> blocks;  // one VLF each
    std::string own;                                    // transaction name of the insert
    std::string last_before;
    bool own_found;
    bool own_is_last_before;
  } cases[] = {
      {"own transaction is the last begin",
       {{R::Begin(1, "T1", 10, 1), R::Insert(kAlbums, 1, RowImage(20))}},
       "T1",
       "T1",
       true,
       true},
      {"T1's insert after T2's begin stays with T1",
       {{R::Begin(1, "T1", 10, 1), R::Begin(2, "T2", 20, 1), R::Insert(kAlbums, 1, RowImage(20))}},
       "T1",
       "T2",
       true,
       false},
      {"no own begin: the last begin before",
       {{R::Begin(1, "T1", 10, 1), R::Begin(2, "T2", 20, 1), R::Insert(kAlbums, 3, RowImage(20))}},
       "T2",
       "T2",
       false,
       false},
      {"own begin in an earlier VLF",
       {{R::Begin(1, "T1", 10, 1)},
        {R::Begin(2, "T2", 20, 1), R::Commit(2), R::Insert(kAlbums, 1, RowImage(20))}},
       "T1",
       "T2",
       true,
       false},
      {"own begin later in the log",
       {{R::Begin(2, "T2", 20, 1), R::Insert(kAlbums, 1, RowImage(20))},
        {R::Begin(1, "T1", 10, 1)}},
       "T1",
       "T2",
       true,
       false},
      {"transaction id reused: the latest begin before",
       {{R::Begin(1, "old", 10, 1), R::Commit(1), R::Begin(1, "new", 20, 1),
         R::Begin(4, "T4", 30, 1), R::Insert(kAlbums, 1, RowImage(20))}},
       "new",
       "T4",
       true,
       false},
      {"a begin without fields is not a transaction's begin",
       {{R::Begin(1, "T1", 10, 1), R::BeginWithoutFields(2), R::Insert(kAlbums, 2, RowImage(20))}},
       "T1",
       "T1",
       false,
       false},
      {"ids are 6 bytes",
       {{R::Begin(0x0000BBBBAAAA0001ull, "short", 10, 1),
         R::Begin(0x0000CCCCAAAA0001ull, "long", 20, 1),
         R::Insert(kAlbums, 0xFFFFBBBBAAAA0001ull, RowImage(20))}},
       "short",
       "long",
       true,
       false},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    for (size_t v = 0; v < c.blocks.size(); ++v) {
      LogBlockBuilder& block = log.Vlf(static_cast<uint32_t>(40 + v)).Block();
      for (const auto& r : c.blocks[v]) block.Add(r);
    }
    Scanned s = Scan(log);
    ASSERT_EQ(s.ops.size(), 1u) << c.what;
    const LogOperation& op = s.ops[0];
    EXPECT_EQ(s.ops.TransactionName(op), c.own) << c.what;
    EXPECT_EQ(s.ops.LastBeginBeforeName(op), c.last_before) << c.what;
    EXPECT_EQ(op.ownBeginFound(), c.own_found) << c.what;
    EXPECT_EQ(op.ownBeginIsLastBefore(), c.own_is_last_before) << c.what;
  }
}

TEST(RecordDecoder, AttributionHoldsAcrossTheGrowthOfTheBeginTable) {
  // Enough transactions for the table of begins to grow several times, with
  // ids that step by one and ids that differ only in high bits (which the
  // table folds into its slot numbers), and a reused id whose latest begin
  // counts.
  constexpr uint64_t kTransactions = 150000;
  auto id_of = [](uint64_t i) { return i % 2 == 0 ? i : (i << 17) | 1; };
  LogFileBuilder log;
  VlfBuilder& vlf = log.Vlf(0x30);
  LogBlockBuilder* block = nullptr;
  for (uint64_t i = 0; i < kTransactions; ++i) {
    if (i % 100 == 0) block = &vlf.Block();
    block->Add(R::Begin(id_of(i), "T" + std::to_string(i)));
  }
  vlf.Block().Add(R::Begin(id_of(7), "again"));
  std::vector<std::string> expected;
  block = &vlf.Block();
  for (uint64_t i = 0; i < kTransactions; i += 4999) {
    block->Add(R::Insert(kAlbums, id_of(i), RowImage(20)));
    expected.push_back(i == 7 ? "again" : "T" + std::to_string(i));
  }
  block->Add(R::Insert(kAlbums, id_of(7), RowImage(20)));
  expected.push_back("again");
  block->Add(R::Insert(kAlbums, id_of(kTransactions), RowImage(20)));  // no begin
  expected.push_back("again");
  Scanned s = Scan(log);
  EXPECT_EQ(s.TransactionNames(), expected);
  ASSERT_EQ(s.ops.size(), expected.size());
  for (size_t k = 0; k + 1 < s.ops.size(); ++k) EXPECT_TRUE(s.ops[k].ownBeginFound()) << k;
  EXPECT_FALSE(s.ops[s.ops.size() - 1].ownBeginFound());
}

// Begins are kept by id in a dense array from the first id on, and in a
// hashed table below it or far beyond its end. An id kept in the hashed
// table stays there when the array later grows past it: its first and
// latest begins are still found together.
TEST(RecordDecoder, BeginsBelowAndFarBeyondTheDenseIdsKeepTheirAttribution) {
  const uint64_t base = 1000, far = base + 5000, below = base - 1;
  LogFileBuilder log;
  VlfBuilder& vlf = log.Vlf(0x31);
  LogBlockBuilder* block = &vlf.Block();
  block->Add(R::Insert(kAlbums, far, RowImage(20)));  // before any begin of its id
  block->Add(R::Begin(base, "base"));
  block->Add(R::Begin(far, "far first"));
  block->Add(R::Begin(below, "below"));
  block->Add(R::Insert(kAlbums, far, RowImage(20)));
  // Enough begins after the base for the array to reach the far id.
  for (uint64_t id = base + 1; id <= base + 600; ++id) {
    if (id % 100 == 0) block = &vlf.Block();
    block->Add(R::Begin(id, "dense"));
  }
  block = &vlf.Block();
  block->Add(R::Insert(kAlbums, far, RowImage(20)));
  block->Add(R::Begin(far, "far again"));
  block->Add(R::Insert(kAlbums, far, RowImage(20)));
  block->Add(R::Insert(kAlbums, below, RowImage(20)));
  block->Add(R::Insert(kAlbums, base + 300, RowImage(20)));
  block->Add(R::Insert(kAlbums, far + 1, RowImage(20)));  // never begun
  Scanned s = Scan(log);
  EXPECT_EQ(s.TransactionNames(),
            (std::vector<std::string>{"far first", "far first", "far first", "far again", "below",
                                      "dense", "far again"}));
  ASSERT_EQ(s.ops.size(), 7u);
  EXPECT_TRUE(s.ops[0].ownBeginFound());
  EXPECT_FALSE(s.ops[6].ownBeginFound());
}

TEST(RecordDecoder, OwnBeginTimeGoesWithItsName) {
  Scanned s =
      Scan(OneBlock({R::Begin(1, "T1", 111, 41000), R::Begin(2, "T2", 222, 42000),
                     R::Insert(kAlbums, 1, RowImage(20)), R::Insert(kAlbums, 2, RowImage(20)),
                     R::Insert(kAlbums, 3, RowImage(20))}));
  ASSERT_EQ(s.ops.size(), 3u);
  EXPECT_EQ(s.TransactionNames(), (std::vector<std::string>{"T1", "T2", "T2"}));
  ByteReader t0(s.ops[0].beginTime.data(), 8), t1(s.ops[1].beginTime.data(), 8);
  EXPECT_EQ(t0.U32(0), 111u);
  EXPECT_EQ(t0.U32(4), 41000u);
  EXPECT_EQ(t1.U32(0), 222u);
  EXPECT_EQ(t1.U32(4), 42000u);
}

TEST(RecordDecoder, RecordIsARowChangeOfTheTransactionBeforeItsOwnBegin) {
  // A begin record on a mapped rowset with an accepted context is an
  // operation too, attributed before it takes effect.
  Scanned s = Scan(OneBlock({R::Begin(1, "T1"), R::Begin(2, "T2").Context(2).Rowset(kAlbums)}));
  ASSERT_EQ(s.ops.size(), 1u);
  EXPECT_EQ(s.ops[0].operation, kOpBeginTransaction);
  EXPECT_EQ(s.ops.LastBeginBeforeName(s.ops[0]), "T1");
}

TEST(RecordDecoder, CurrentTransactionCarriesOverToTheNextScan) {
  CurrentTransaction current;
  Scan(OneBlock({R::Begin(1, "first scan", 5, 6)}), current);
  EXPECT_EQ(current.name, "first scan");
  Scanned second =
      Scan(OneBlock({R::Insert(kAlbums, 8, RowImage(20)), R::Begin(9, "second scan")}), current);
  ASSERT_EQ(second.ops.size(), 1u);
  EXPECT_EQ(second.ops.TransactionName(second.ops[0]), "first scan");
  EXPECT_EQ(ByteReader(second.ops[0].beginTime.data(), 8).U32(4), 6u);
  EXPECT_EQ(current.name, "second scan");

  // The same through the main window's log state: Reset keeps it too.
  testing::TempDir dir;
  TransactionLog log;
  ASSERT_TRUE(log.Scan(OneBlock({R::Begin(1, "kept")}).WriteTo(dir.File("a.ldf")), Tables()));
  log.Reset();
  EXPECT_FALSE(log.isOpen());
  ASSERT_TRUE(log.Scan(OneBlock({R::Insert(kGenres, 3, RowImage(20))}).WriteTo(dir.File("b.ldf")),
                       Tables()));
  ASSERT_EQ(log.operations().size(), 1u);
  EXPECT_EQ(log.operations().TransactionName(log.operations()[0]), "kept");
  EXPECT_FALSE(log.Scan(dir.File("missing.ldf"), Tables()));
  EXPECT_FALSE(log.ReadLogBlock(8192 * 2));
}

TEST(RecordDecoder, OperationsKeepTheirPlaceInTheLog) {
  LogFileBuilder log;
  log.Vlf(0x30).Block().Add(R::Begin(1, "T"));
  auto& vlf = log.Vlf(0x1f);
  vlf.Block().Add(R::Commit(1)).Add(R::Insert(kAlbums, 1, RowImage(20)));
  vlf.Block().Add(R::Commit(1)).Add(R::Commit(1)).Add(R::Delete(kGenres, 1, RowImage(20)));
  testing::TempDir dir;
  TransactionLog tlog;
  ASSERT_TRUE(tlog.Scan(log.WriteTo(dir.File("a.ldf")), Tables()));
  const OperationList& ops = tlog.operations();
  ASSERT_EQ(ops.size(), 2u);
  // VLF 0x1f is walked before 0x30 although it lies after it in the file.
  EXPECT_EQ(ops[0].Lsn().Text(), "0000001f:00000010:0001");
  EXPECT_EQ(ops[1].Lsn().Text(), "0000001f:00000011:0002");
  EXPECT_EQ(ops.BlockPosition(ops[0]), log.BlockPosition(1, 0));
  EXPECT_EQ(ops.BlockPosition(ops[1]), log.BlockPosition(1, 1));
  EXPECT_EQ(ops[1].recordIndex, 2);
  EXPECT_LT(ops[0].Lsn(), ops[1].Lsn());
  // The begin comes after them: both resolve to it at the end of the scan.
  EXPECT_EQ(ops.TransactionName(ops[1]), "T");
  // Re-reading an operation's block gives its record back.
  std::optional<LogBlock> block = tlog.ReadOperationBlock(ops[1]);
  ASSERT_TRUE(block);
  LogRecordFields fields = ReadLogRecordFields(block->Window(ops[1].recordIndex));
  EXPECT_EQ(fields.operation, kOpDeleteRow);
  EXPECT_EQ(fields.allocationUnitId, kGenres);
  LogScanResult tree = tlog.TakeTreeInput();
  EXPECT_EQ(tree.operation_object_ids, (std::vector<int32_t>{245575913, 277576027}));
  EXPECT_EQ(tree.table_names.size(), 2u);
  EXPECT_TRUE(tlog.tableNames().empty());
}

TEST(RecordDecoder, AnOperationsBlockLiesWhereItsVlfsPositionFieldPutsIt) {
  // The header at 8192 names the position 65536: the VLF's blocks, and so
  // the operation's block, lie from 65536 + 8192 on.
  LogFileBuilder log;
  log.VlfAt(8192, 6).PositionField(65536).Size(65536).Block().Add(
      R::Insert(kAlbums, 1, RowImage(20)));
  testing::TempDir dir;
  TransactionLog tlog;
  ASSERT_TRUE(tlog.Scan(log.WriteTo(dir.File("a.ldf")), Tables()));
  const OperationList& ops = tlog.operations();
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_EQ(ops.BlockPosition(ops[0]), std::optional<uint64_t>(73728));
  std::optional<LogBlock> block = tlog.ReadOperationBlock(ops[0]);
  ASSERT_TRUE(block);
  EXPECT_EQ(ReadLogRecordFields(block->Window(ops[0].recordIndex)).allocationUnitId, kAlbums);
  // An operation of a VLF the scan did not walk has no block.
  LogOperation other = ops[0];
  other.vlfSequence = 7;
  EXPECT_EQ(ops.BlockPosition(other), std::nullopt);
  EXPECT_FALSE(tlog.ReadOperationBlock(other));
}

// Logs of several VLFs whose transactions run across VLF ends: begin
// records before, after and on both sides of their row changes, ids begun
// twice, begins without a name, row changes whose transaction never
// begins, and VLFs of very different sizes so that the two parts of a scan
// meet at different places. Scan (above) checks every log read in two
// parts against the log read by one decoder.
TEST(RecordDecoder, TwoPartScansAttributeLikeOneDecoder) {
  std::mt19937 random(20261211);
  size_t operations = 0, own_found = 0, own_last = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    LogFileBuilder log;
    const int vlfs = 2 + static_cast<int>(random() % 5);
    for (int v = 0; v < vlfs; ++v) {
      VlfBuilder& vlf = log.Vlf(static_cast<uint32_t>(50 + v));
      const int blocks = 1 + static_cast<int>(random() % (v % 2 == 0 ? 2 : 9));
      for (int b = 0; b < blocks; ++b) {
        LogBlockBuilder& block = vlf.Block();
        const int records = 1 + static_cast<int>(random() % 12);
        for (int r = 0; r < records; ++r) {
          const uint64_t id = 1 + random() % 9;
          switch (random() % 6) {
            case 0:
              block.Add(R::Begin(id, "T" + std::to_string(id) + "." + std::to_string(random() % 3),
                                 static_cast<uint32_t>(random() % 1000), 45000));
              break;
            case 1:
              if (random() % 3 == 0)
                block.Add(R::BeginWithoutFields(id));
              else
                block.Add(R::Commit(id));
              break;
            default:
              block.Add(R::Insert(random() % 4 == 0 ? kGenres : kAlbums, id, RowImage(20)));
          }
        }
      }
    }
    CurrentTransaction current;
    if (round % 4 == 0) current.name = "from the scan before";
    Scanned s = Scan(log, current);
    operations += s.ops.size();
    for (const LogOperation& op : s.ops.operations()) {
      own_found += op.ownBeginFound();
      own_last += op.ownBeginIsLastBefore();
    }
  }
  // The logs hold operations of every kind of attribution.
  EXPECT_GT(own_found, 0u);
  EXPECT_GT(own_last, 0u);
  EXPECT_GT(operations - own_found, 0u);
}

TEST(RowLogFields, PlacesFieldsAsEachOperationLaysThemOut) {
  auto bytes = [](size_t n, uint8_t fill) { return ByteBuffer(n, fill); };
  struct Case {
    const char* what;
    LogRecordBuilder record;
    std::vector<size_t> starts;  // expected record offsets of the fields
  } cases[] = {
      {"insert: 2 bytes after the lengths", R::Insert(kAlbums, 1, bytes(30, 1)), {64 + 2 + 2}},
      {"delete", R::Delete(kAlbums, 1, bytes(30, 1)), {64 + 2}},
      {"modify row, field 0 of 6", R::ModifyRow(kAlbums, 1, 8, bytes(6, 1), bytes(3, 2)), {68, 76}},
      {"modify row, field 0 of 8", R::ModifyRow(kAlbums, 1, 8, bytes(8, 1), bytes(3, 2)), {68, 76}},
      {"modify row, field 0 of 5", R::ModifyRow(kAlbums, 1, 8, bytes(5, 1), bytes(3, 2)), {68, 76}},
      {"modify row, field 0 of 1", R::ModifyRow(kAlbums, 1, 8, bytes(1, 1), bytes(3, 2)), {68, 72}},
      {"modify row, field 0 empty", R::ModifyRow(kAlbums, 1, 8, {}, bytes(3, 2)), {68, 68}},
      {"modify columns: no gaps",
       R::ModifyColumns(
           kAlbums, 1,
           {bytes(8, 1), bytes(4, 2), bytes(3, 3), bytes(1, 4), bytes(5, 5), bytes(2, 6)}),
       {76, 84, 88, 91, 92, 97}},
  };
  for (const Case& c : cases) {
    LogFileBuilder log = OneBlock({c.record, R::Commit(1)});
    ByteBuffer file = log.Build();
    MemoryLogSource source(file);
    std::optional<LogBlock> block = ReadLogBlock(source, log.BlockPosition(0, 0));
    ASSERT_TRUE(block) << c.what;
    RowLogFields f = ReadRowLogFields(*block, 0);
    ASSERT_EQ(f.fields.size(), c.starts.size()) << c.what;
    EXPECT_EQ(f.fieldCount, c.starts.size()) << c.what;
    for (size_t k = 0; k < c.starts.size(); ++k) {
      EXPECT_EQ(f.fields[k].data() - block->bytes.data(), static_cast<ptrdiff_t>(48 + c.starts[k]))
          << c.what << " field " << k;
      // Each field holds the bytes it was given (its fill value is k + 1).
      for (uint8_t byte : f.fields[k]) ASSERT_EQ(byte, k + 1) << c.what << " field " << k;
    }
    EXPECT_EQ(f.dataStart, 48 + c.starts[0]) << c.what;
  }
}

TEST(RowLogFields, LengthsAreCheckedAgainstTheRecord) {
  struct Case {
    const char* what;
    LogRecordBuilder record;
    size_t fields;   // fields found
    size_t lengths;  // length entries found
  } cases[] = {
      {"sound", R::ModifyColumns(kAlbums, 1, {ByteBuffer(8, 1), ByteBuffer(4, 2)}), 2, 2},
      {"last field runs into the next record",
       R::ModifyColumns(kAlbums, 1, {ByteBuffer(8, 1), ByteBuffer(4, 2)}).Set16(66, 40), 1, 2},
      {"first field past the block", R::Insert(kAlbums, 1, ByteBuffer(8, 1)).Set16(64, 65000), 0,
       1},
      {"length array past the block", R::Insert(kAlbums, 1, ByteBuffer(8, 1)).Set16(62, 40000), 0,
       0},
  };
  for (const Case& c : cases) {
    LogFileBuilder log = OneBlock({c.record, R::Commit(1)});
    ByteBuffer file = log.Build();
    std::optional<LogBlock> block = ReadLogBlock(MemoryLogSource(file), log.BlockPosition(0, 0));
    ASSERT_TRUE(block) << c.what;
    RowLogFields f = ReadRowLogFields(*block, 0);
    EXPECT_EQ(f.fields.size(), c.fields) << c.what;
    EXPECT_EQ(f.lengths.size(), c.lengths) << c.what;
    // A field never reaches the next record.
    for (Bytes field : f.fields)
      EXPECT_LE(field.data() + field.size(), block->bytes.data() + block->EndBound(0)) << c.what;
  }
  // An end bound before the record's own offset leaves no fields.
  LogFileBuilder log = OneBlock({R::Insert(kAlbums, 1, ByteBuffer(8, 1)), R::Commit(1)});
  ByteBuffer file = log.Build();
  std::optional<LogBlock> block = ReadLogBlock(MemoryLogSource(file), log.BlockPosition(0, 0));
  ASSERT_TRUE(block);
  EXPECT_TRUE(
      ReadRowLogFields(block->reader(), block->offsets[1], block->offsets[0]).fields.empty());
  EXPECT_TRUE(ReadRowLogFields(*block, 5).fields.empty());
}

}  // namespace
}  // namespace tarnwick
