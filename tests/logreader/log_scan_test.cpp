#include "logreader/log_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "logreader/vlf_header.h"
#include "tests/logreader/log_test_helpers.h"
#include "tests/support/log_file_builder.h"

namespace tarnwick {
namespace {

using testing::LogBlockBuilder;
using testing::LogFileBuilder;
using testing::LogRecordBuilder;
using testing::WalkNames;
using testing::WalkRecords;
using Names = std::vector<std::string>;

// A VLF whose one block holds one begin record named after the VLF.
void AddNamedVlf(LogFileBuilder& log, uint32_t sequence, const std::string& name) {
  log.Vlf(sequence).Block().Add(LogRecordBuilder::Begin(sequence, name));
}

TEST(LogScan, VlfsAreWalkedInSequenceNumberOrder) {
  struct Case {
    const char* what;
    std::vector<uint32_t> file_order;
    Names expected;
  } cases[] = {
      {"file order", {31, 32, 33}, {"31", "32", "33"}},
      {"wrapped log", {36, 37, 35}, {"35", "36", "37"}},
      {"reversed", {9, 8, 7, 6}, {"6", "7", "8", "9"}},
      {"compared as unsigned", {0x80000001u, 5}, {"5", "2147483649"}},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    for (uint32_t s : c.file_order) AddNamedVlf(log, s, std::to_string(s));
    EXPECT_EQ(WalkNames(log.Build()), c.expected) << c.what;
  }
}

TEST(LogScan, DuplicateSequenceNumberKeepsTheLowerPosition) {
  // Declared high position first: the order of discovery is file order.
  LogFileBuilder log;
  log.VlfAt(81920, 4).Block().Add(LogRecordBuilder::Begin(1, "upper"));
  log.VlfAt(8192, 4).Block().Add(LogRecordBuilder::Begin(2, "lower"));
  log.VlfAt(163840, 3).Block().Add(LogRecordBuilder::Begin(3, "three"));
  EXPECT_EQ(WalkNames(log.Build()), (Names{"three", "lower"}));
}

TEST(LogScan, Signatures) {
  struct Case {
    uint8_t byte0;
    uint8_t byte1;
    bool is_vlf;
  } cases[] = {
      {0xAB, 0x40, true},  {0xAB, 0x80, true},  {0xAB, 0x00, false}, {0xAB, 0xC0, false},
      {0xAB, 0x41, false}, {0xAB, 0x08, false}, {0xAA, 0x40, false}, {0xBA, 0x40, false},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    AddNamedVlf(log, 1, "first");
    log.Vlf(2).Signature(c.byte1).Block().Add(LogRecordBuilder::Begin(2, "second"));
    log.SetBytes(log.VlfPosition(1), {c.byte0});
    ByteBuffer bytes = log.Build();
    Names expected = c.is_vlf ? Names{"first", "second"} : Names{"first"};
    EXPECT_EQ(WalkNames(bytes), expected) << std::hex << int(c.byte0) << " " << int(c.byte1);
    EXPECT_EQ(HasVlfSignature(Bytes(bytes.data() + log.VlfPosition(1), 2)), c.is_vlf);
  }
}

TEST(LogScan, SequenceNumberZeroIsNotInUse) {
  LogFileBuilder log;
  log.Vlf(0).Block(0).Add(LogRecordBuilder::Begin(1, "unused"));
  AddNamedVlf(log, 3, "used");
  ByteBuffer bytes = log.Build();
  MemoryLogSource source(bytes);
  EXPECT_EQ(DiscoverVlfs(source).size(), 1u);
  EXPECT_EQ(WalkNames(bytes), (Names{"used"}));
}

TEST(LogScan, HeadersOnlyAt8192Multiples) {
  // A valid header at a position that is not a multiple of 8192 is not seen.
  LogFileBuilder log;
  AddNamedVlf(log, 1, "one");
  ByteBuffer bytes = log.Build();
  ByteBuffer shifted(512, 0);
  shifted.insert(shifted.end(), bytes.begin(), bytes.end());
  EXPECT_EQ(WalkNames(shifted), Names{});
  EXPECT_EQ(WalkNames(bytes), Names{"one"});
}

TEST(LogScan, BlocksStartAfterThePositionField) {
  // The header at 8192 names the VLF position 65536: its blocks are walked
  // from 65536 + 8192, not from its own position + 8192.
  LogFileBuilder log;
  auto& vlf = log.VlfAt(8192, 6).PositionField(65536).Size(65536);
  vlf.Block().Add(LogRecordBuilder::Begin(1, "moved"));
  ByteBuffer bytes = log.Build();
  ASSERT_EQ(log.BlockPosition(0, 0), 73728u);
  std::vector<testing::SeenRecord> seen = WalkRecords(bytes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, "moved");
  EXPECT_EQ(seen[0].blockPosition, 73728u);
  EXPECT_EQ(seen[0].blockOffset, 16u);
}

TEST(LogScan, VlfWalkEnds) {
  // Block 0 and 1 hold records "a" and "b"; the case changes what follows.
  struct Case {
    const char* what;
    std::function<void(testing::VlfBuilder&)> more;  // adds blocks after "b"
    Names expected;
  } cases[] = {
      {"nothing after: zero size ends it", [](testing::VlfBuilder&) {}, {"a", "b"}},
      {"stale tail with an older number",
       [](testing::VlfBuilder& v) {
         v.Block(3).Add(LogRecordBuilder::Begin(9, "stale"));
         v.Block().Add(LogRecordBuilder::Begin(9, "after stale"));
       },
       {"a", "b"}},
      {"block of a newer number",
       [](testing::VlfBuilder& v) { v.Block(8).Add(LogRecordBuilder::Begin(9, "newer")); },
       {"a", "b"}},
      {"blocks of 512 and 4096 mixed",
       [](testing::VlfBuilder& v) {
         v.Block().Granularity(4096).Add(LogRecordBuilder::Begin(9, "c"));
         v.Block().Add(LogRecordBuilder::Begin(9, "d"));
       },
       {"a", "b", "c", "d"}},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    auto& vlf = log.Vlf(5);
    vlf.Block().Add(LogRecordBuilder::Begin(1, "a"));
    vlf.Block().Add(LogRecordBuilder::Begin(2, "b"));
    c.more(vlf);
    AddNamedVlf(log, 6, "next vlf");
    Names expected = c.expected;
    expected.push_back("next vlf");
    EXPECT_EQ(WalkNames(log.Build()), expected) << c.what;
  }
}

TEST(LogScan, FirstBlockOfAnotherNumberContributesNothing) {
  LogFileBuilder log;
  log.Vlf(5).Block(4).Add(LogRecordBuilder::Begin(1, "old use"));
  AddNamedVlf(log, 6, "six");
  EXPECT_EQ(WalkNames(log.Build()), Names{"six"});
}

TEST(LogScan, DamagedBlockEndsItsVlf) {
  struct Case {
    const char* what;
    std::function<void(LogBlockBuilder&)> damage;
  } cases[] = {
      {"size 0", [](LogBlockBuilder& b) { b.SizeField(0); }},
      {"size below the header", [](LogBlockBuilder& b) { b.SizeField(20); }},
      {"size not a multiple of 512", [](LogBlockBuilder& b) { b.SizeField(1000); }},
      {"size past the file end", [](LogBlockBuilder& b) { b.SizeField(65024); }},
      {"array end beyond the block", [](LogBlockBuilder& b) { b.ArrayEndField(600); }},
      {"count reaching below the block start", [](LogBlockBuilder& b) { b.CountField(200); }},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    AddNamedVlf(log, 2, "other vlf");
    auto& vlf = log.Vlf(5).Size(16384);
    vlf.Block().Add(LogRecordBuilder::Begin(1, "before"));
    c.damage(vlf.Block().Add(LogRecordBuilder::Begin(2, "damaged")));
    vlf.Block().Add(LogRecordBuilder::Begin(3, "after"));
    LogScanStats stats;
    std::vector<testing::SeenRecord> seen = WalkRecords(log.Build(), &stats);
    std::vector<std::string> names;
    for (const auto& r : seen) names.push_back(r.name);
    EXPECT_EQ(names, (Names{"other vlf", "before"})) << c.what;
    EXPECT_EQ(stats.blocks, 2u) << c.what;
    EXPECT_EQ(stats.damagedBlocks, std::string(c.what) == "size 0" ? 0u : 1u) << c.what;
  }
}

TEST(LogScan, WalkStopsAtTheFileLength) {
  struct Case {
    const char* what;
    int cut;  // bytes of the file kept after the end of block 1
    Names expected;
  } cases[] = {
      {"file ends after block 1", 0, {"a", "b"}},
      {"block 2 cut in the middle", 300, {"a", "b"}},
      {"block 2 whole", 512, {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    auto& vlf = log.Vlf(5);
    for (const char* name : {"a", "b", "c", "d"}) vlf.Block().Add(LogRecordBuilder::Begin(1, name));
    log.FileSize(log.BlockPosition(0, 2) + c.cut);
    EXPECT_EQ(WalkNames(log.Build()), c.expected) << c.what;
  }
}

TEST(LogScan, RecordWindowMustFitInTheBlock) {
  struct Case {
    const char* what;
    std::vector<uint16_t> offsets;
    std::vector<std::pair<size_t, uint16_t>> entries;  // offset entries overwritten
    std::vector<int> expected;                         // record indexes handed over
  } cases[] = {
      {"third record less than 192 bytes before the end", {48, 140, 330}, {}, {0, 1}},
      {"third record exactly 192 bytes before the end", {48, 140, 320}, {}, {0, 1, 2}},
      {"a bad entry stops the block, later records are not tried", {48, 140, 232}, {{1, 400}}, {0}},
      {"entry past the block", {48, 140, 232}, {{2, 60000}}, {0, 1}},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    auto& block = log.Vlf(5).Block().Size(512);
    for (uint16_t offset : c.offsets) block.AddAt(offset, LogRecordBuilder::Commit(1).PadTo(60));
    for (const auto& [j, offset] : c.entries) block.OffsetEntry(j, offset);
    LogScanStats stats;
    std::vector<int> seen;
    for (const auto& r : WalkRecords(log.Build(), &stats)) seen.push_back(r.recordIndex);
    EXPECT_EQ(seen, c.expected) << c.what;
    EXPECT_EQ(stats.recordsCutOff, c.offsets.size() - c.expected.size()) << c.what;
  }
}

TEST(LogScan, LastRecordEndsAtTheOffsetArray) {
  LogFileBuilder log;
  log.Vlf(5).Block().Add(LogRecordBuilder::Commit(1)).Add(LogRecordBuilder::Commit(2).PadTo(100));
  std::vector<testing::SeenRecord> seen = WalkRecords(log.Build());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].endBound, 48 + 64);
  // Record 1 at 112, 100 bytes; the two-entry array follows it.
  EXPECT_EQ(seen[1].endBound, 212);
}

TEST(LogScan, BlockOffsetsCountSectorsFromTheVlfStart) {
  LogFileBuilder log;
  AddNamedVlf(log, 3, "first vlf");
  auto& vlf = log.Vlf(4);
  vlf.Block().Add(LogRecordBuilder::Commit(1));
  vlf.Block().Granularity(4096).Add(LogRecordBuilder::Commit(1)).Add(LogRecordBuilder::Commit(1));
  vlf.Block().Add(LogRecordBuilder::Commit(1));
  std::vector<testing::SeenRecord> seen = WalkRecords(log.Build());
  ASSERT_EQ(seen.size(), 5u);
  struct Want {
    uint32_t vlf, block;
    int32_t record;
  } want[] = {{3, 16, 0}, {4, 16, 0}, {4, 17, 0}, {4, 17, 1}, {4, 25, 0}};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].vlfSequence, want[i].vlf) << i;
    EXPECT_EQ(seen[i].blockOffset, want[i].block) << i;
    EXPECT_EQ(seen[i].recordIndex, want[i].record) << i;
  }
}

// A log longer than 4 GiB that holds real bytes only at one place.
class SparseLogSource : public LogSource {
 public:
  SparseLogSource(uint64_t size, uint64_t at, ByteBuffer bytes)
      : size_(size), at_(at), bytes_(std::move(bytes)) {}
  uint64_t size() const override { return size_; }
  size_t ReadAt(uint64_t position, std::span<uint8_t> out) const override {
    if (position >= size_) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), size_ - position));
    std::memset(out.data(), 0, n);
    for (size_t i = 0; i < n; ++i)
      if (position + i >= at_ && position + i - at_ < bytes_.size())
        out[i] = bytes_[position + i - at_];
    return n;
  }

 private:
  uint64_t size_;
  uint64_t at_;
  ByteBuffer bytes_;
};

TEST(LogScan, LogsOf4GiBAndMoreAreProbedToTheirEnd) {
  // One VLF whose header lies at 4 GiB + 8192, its position field saying so.
  const uint64_t at = (uint64_t{1} << 32) + 8192;
  LogFileBuilder log;
  log.Vlf(77).Block().Add(LogRecordBuilder::Begin(1, "far"));
  ByteBuffer bytes = log.Build();
  ByteBuffer far(bytes.begin() + 8192, bytes.end());
  PutUnsigned(far, 24, at, 8);
  SparseLogSource source(at + far.size(), at, far);
  VlfTable vlfs = DiscoverVlfs(source);
  ASSERT_EQ(vlfs.size(), 1u);
  EXPECT_EQ(vlfs.begin()->second.filePosition, at);
  Names names;
  WalkLogRecords(source, [&names](const LogRecordWindow& w) {
    names.push_back(ReadBeginTransaction(w.block->reader(), w.offset)->name);
  });
  EXPECT_EQ(names, Names{"far"});
}

TEST(LogScan, LargeLogsAreProbedInHalvesWithTheSameResult) {
  // Large enough to be probed by two threads: headers in both halves, on
  // both sides of the middle, at the last probe, and one sequence number
  // twice (the lower position stays, even though its twin is found first).
  const uint64_t size = uint64_t{80} << 20;
  ByteBuffer bytes(size, 0);
  auto put = [&bytes](uint64_t at, uint32_t sequence) {
    bytes[at] = 0xAB;
    bytes[at + 1] = 0x40;
    PutUnsigned(bytes, at + 4, sequence, 4);
    PutUnsigned(bytes, at + 24, at, 8);
  };
  const uint64_t middle = size / 2;
  put(8192, 5);
  put(middle - 8192, 6);
  put(middle, 7);
  put(middle + 8192, 5);
  put(size - 8192, 8);
  MemoryLogSource source(bytes);
  const VlfTable vlfs = DiscoverVlfs(source);
  std::vector<std::pair<uint32_t, uint64_t>> found;
  for (const auto& [sequence, header] : vlfs) found.emplace_back(sequence, header.filePosition);
  EXPECT_EQ(found, (std::vector<std::pair<uint32_t, uint64_t>>{
                       {5, 8192}, {6, middle - 8192}, {7, middle}, {8, size - 8192}}));
}

TEST(LogScan, ShortOrEmptyLogs) {
  struct Case {
    const char* what;
    ByteBuffer bytes;
  } cases[] = {
      {"empty", {}},
      {"one byte", {0xAB}},
      {"signature only", {0xAB, 0x40}},
      {"header without blocks",
       [] {
         ByteBuffer b(48, 0);
         b[0] = 0xAB;
         b[1] = 0x40;
         b[4] = 1;
         return b;
       }()},
  };
  for (const Case& c : cases) {
    LogScanStats stats;
    EXPECT_TRUE(WalkRecords(c.bytes, &stats).empty()) << c.what;
    EXPECT_EQ(stats.blocks, 0u) << c.what;
  }
}

// The walk restores each block inside its read buffer. Every block a
// visitor sees must still equal the block read again on its own, also when
// a later VLF's walk starts inside blocks restored before (its header's
// position field points 300 bytes into the first block of another VLF) and
// when blocks run over the end of the walk's read pieces.
TEST(LogScan, WalkedBlocksEqualTheBlocksReadAgain) {
  LogFileBuilder log;
  auto& first = log.Vlf(5);
  first.Block().Size(2048).Add(LogRecordBuilder::Begin(1, "first"));
  for (int i = 0; i < 30; ++i) {
    auto& block = first.Block();
    if (i % 4 == 0) block.Granularity(4096);
    for (int r = 0; r <= i % 3; ++r)
      block.Add(LogRecordBuilder::Begin(10 + i * 3 + r, "b" + std::to_string(i)));
  }
  const uint64_t first_block = log.BlockPosition(0, 0);
  // VLF 6: its blocks start at first_block + 300, a block of 512 bytes with
  // one record at 28 that spans sector 1 of VLF 5's first block.
  log.VlfAt(first_block + 256 * 1024, 6).PositionField(first_block + 300 - kVlfFirstBlockOffset);
  const uint64_t inner = first_block + 300;
  log.SetBytes(inner + 2, {1, 0, 0xE0, 0x01, 0x00, 0x02});  // count 1, arrayEnd 480, size 512
  log.SetBytes(inner + 12, {6, 0, 0, 0});
  log.SetBytes(inner + 478, {28, 0});
  log.SetBytes(inner + 28 + 22, {kOpCommitTransaction, 0});
  const ByteBuffer bytes = log.Build();

  // Read in place and read through positioned reads into read buffers.
  const MemoryLogSource in_memory(bytes);
  const testing::PositionedReadsOnly through_reads(in_memory);
  for (const LogSource* source :
       {static_cast<const LogSource*>(&in_memory), static_cast<const LogSource*>(&through_reads)}) {
    SCOPED_TRACE(source == &in_memory ? "in memory" : "through reads");
    size_t compared = 0, mismatches = 0;
    std::vector<uint32_t> sequences;
    WalkLogRecords(*source, [&](const LogRecordWindow& w) {
      ++compared;
      if (sequences.empty() || sequences.back() != w.vlfSequence)
        sequences.push_back(w.vlfSequence);
      std::optional<LogBlock> again = ReadLogBlock(*source, w.block->position);
      const Bytes seen = w.block->data();
      if (!again ||
          !std::equal(seen.begin(), seen.end(), again->bytes.begin(), again->bytes.end()) ||
          w.block->offsets != again->offsets)
        ++mismatches;
    });
    EXPECT_EQ(sequences, (std::vector<uint32_t>{5, 6}));
    EXPECT_GT(compared, 31u);
    EXPECT_EQ(mismatches, 0u);
  }
}

}  // namespace
}  // namespace tarnwick
