#include "logreader/log_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

#include "logreader/log_record.h"
#include "tests/logreader/log_test_helpers.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/log_file_builder.h"

namespace tarnwick {
namespace {

using testing::LogBlockBuilder;
using testing::LogFileBuilder;
using testing::LogRecordBuilder;
using testing::RowImage;

TEST(LogBlock, RestoreUndoesTheSectorParityMarks) {
  struct Case {
    const char* what;
    uint16_t granularity;
    size_t row_size;  // one insert of this many row bytes
    uint16_t expected_size;
  } cases[] = {
      {"one sector", 512, 40, 512},
      {"two sectors", 512, 600, 1024},
      {"4 KiB block", 4096, 40, 4096},
      {"largest 4 KiB multiple", 4096, 61000, 61440},
      {"largest 512 multiple", 512, 64600, 65024},
  };
  for (const Case& c : cases) {
    // Every byte of the row is distinct from the parity mark, so a missing
    // restore shows at every sector start the row covers.
    LogBlockBuilder b(3);
    b.Granularity(c.granularity)
        .ParityMark(0x58)
        .Add(LogRecordBuilder::Insert(9, 1, RowImage(c.row_size, 0x33)));
    ByteBuffer plain = b.Plain();
    ByteBuffer written = b.Build();
    ASSERT_EQ(written.size(), c.expected_size) << c.what;
    const size_t sectors = written.size() / 512;
    for (size_t i = 0; i < sectors; ++i)
      ASSERT_EQ(written[512 * i], 0x58) << c.what << " sector " << i;

    std::optional<LogBlock> block = DecodeLogBlock(written, 0);
    ASSERT_TRUE(block) << c.what;
    // The restored block is the plain one, except that its last bytes still
    // hold the sectors' first bytes.
    ByteBuffer expected = plain;
    for (size_t i = 0; i < sectors; ++i) expected[expected.size() - 1 - i] = plain[512 * i];
    EXPECT_EQ(block->bytes, expected) << c.what;
    EXPECT_EQ(block->header.blockSize, c.expected_size) << c.what;
  }
}

// A block left as stored and read through Restored gives the restored
// block's bytes for every range: ranges inside one sector, ranges over one
// or more sector starts, ranges cut at the block end and at the scratch
// size. Its record offsets are those of the restored block, also where the
// offset array covers a sector start.
TEST(LogBlock, BlockAsStoredReadsAsTheRestoredBlock) {
  // Records of odd sizes, so that windows and names cross sector starts;
  // the first record count from 90 on whose offset array crosses one too.
  auto build = [](int records) {
    LogBlockBuilder b(3);
    b.Granularity(512).ParityMark(0x58);
    for (int i = 0; i < records; ++i) {
      if (i % 3 == 0)
        b.Add(LogRecordBuilder::Begin(100 + i, std::string(5 + i % 11, 'n')));
      else
        b.Add(LogRecordBuilder::Insert(9, 1, RowImage(17 + 13 * (i % 7), 0x33)));
    }
    return b.Build();
  };
  auto array_crosses = [](const LogBlock& block) {
    const size_t start = block.header.arrayEnd - 2u * block.header.count;
    return start / 512 != (block.header.arrayEnd - 1u) / 512;
  };
  ByteBuffer written;
  std::optional<LogBlock> restored;
  for (int records = 90; records < 200 && !(restored && array_crosses(*restored)); ++records) {
    written = build(records);
    restored = DecodeLogBlock(written, 0);
    ASSERT_TRUE(restored);
  }
  ASSERT_TRUE(array_crosses(*restored)) << "no fixture whose offset array crosses a sector start";
  const size_t size = written.size();

  LogBlock stored;
  stored.bytes.assign(7, 0xEE);  // a buffer left from an earlier block
  FillLogBlockAsStored(written, 0, restored->header, stored);
  EXPECT_FALSE(stored.restored);
  EXPECT_EQ(stored.offsets, restored->offsets);

  std::array<uint8_t, 192> scratch{};
  size_t copies = 0;
  for (size_t offset = 0; offset <= size + 1; offset += 7) {
    for (size_t length : {0, 1, 2, 64, 192, 300}) {
      const Bytes got = stored.Restored(offset, length, scratch);
      const size_t inside = offset < size ? std::min(length, size - offset) : 0;
      const size_t expected_length =
          got.data() == scratch.data() ? std::min(inside, scratch.size()) : inside;
      ASSERT_EQ(got.size(), expected_length) << offset << "+" << length;
      ASSERT_TRUE(std::equal(got.begin(), got.end(), restored->bytes.begin() + offset))
          << offset << "+" << length;
      if (got.data() == scratch.data()) ++copies;
    }
  }
  EXPECT_GT(copies, 0u);
  // A restored block hands out its own bytes, never a copy.
  EXPECT_EQ(restored->Restored(510, 4, scratch).data(), restored->bytes.data() + 510);
}

TEST(LogBlock, HeaderChecks) {
  struct Case {
    const char* what;
    uint16_t block_size;
    uint16_t array_end;
    uint16_t count;
    uint64_t position;
    BlockDamage expected;
  } cases[] = {
      {"sound", 512, 100, 2, 0, BlockDamage::kNone},
      {"no records", 512, 0, 0, 0, BlockDamage::kNone},
      {"array end at the block end", 512, 512, 3, 0, BlockDamage::kNone},
      {"array starts at offset 0", 512, 100, 50, 0, BlockDamage::kNone},
      {"block ends at the file end", 1024, 100, 1, 8192 - 1024, BlockDamage::kNone},
      {"size 0", 0, 100, 1, 0, BlockDamage::kZeroSize},
      {"size below the header", 27, 20, 1, 0, BlockDamage::kBelowHeader},
      {"size of one byte", 1, 0, 0, 0, BlockDamage::kBelowHeader},
      {"size 28, not a sector multiple", 28, 20, 1, 0, BlockDamage::kNotSectorMultiple},
      {"size 1000", 1000, 100, 1, 0, BlockDamage::kNotSectorMultiple},
      {"block past the file end", 1024, 100, 1, 8192 - 512, BlockDamage::kPastFileEnd},
      {"position past the file end", 512, 100, 1, 9000, BlockDamage::kPastFileEnd},
      {"array end beyond the block", 512, 513, 1, 0, BlockDamage::kArrayPastBlock},
      {"array reaching below the block start", 512, 100, 51, 0, BlockDamage::kArrayBelowStart},
      {"huge count", 512, 2, 65535, 0, BlockDamage::kArrayBelowStart},
  };
  for (const Case& c : cases) {
    LogBlockHeader h;
    h.blockSize = c.block_size;
    h.arrayEnd = c.array_end;
    h.count = c.count;
    EXPECT_EQ(CheckLogBlockHeader(h, c.position, 8192), c.expected) << c.what;
  }
}

TEST(LogBlock, OffsetArrayAndEndBounds) {
  LogBlockBuilder b(3);
  b.Add(LogRecordBuilder::Commit(1))
      .Add(LogRecordBuilder::Insert(9, 1, RowImage(30)))
      .Add(LogRecordBuilder::Commit(2));
  ByteBuffer plain = b.Plain();
  std::optional<LogBlock> block = DecodeLogBlock(b.Build(), 4096);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->position, 4096u);
  EXPECT_EQ(block->header.count, 3);
  EXPECT_EQ(block->header.sequence, 3u);
  ASSERT_EQ(block->count(), 3u);
  // Records at 48, after the 64-byte commit, after the insert.
  const size_t insert_size = LogRecordBuilder::Insert(9, 1, RowImage(30)).Build().size();
  EXPECT_EQ(block->offsets,
            (std::vector<uint16_t>{48, 112, static_cast<uint16_t>(112 + insert_size)}));
  EXPECT_EQ(block->EndBound(0), 112);
  EXPECT_EQ(block->EndBound(1), block->offsets[2]);
  // The last record ends where the array starts.
  EXPECT_EQ(block->EndBound(2), block->header.arrayEnd - 6);
  EXPECT_EQ(block->EndBound(2), block->offsets[2] + 64);
  EXPECT_EQ(block->Window(1).size(), kLogRecordWindowSize);
  EXPECT_EQ(block->Window(1).U8(22), kOpInsertRow);
}

TEST(LogBlock, ReadsBlocksByPositionFromSeveralThreadsAtOnce) {
  testing::TempDir dir;
  LogFileBuilder log;
  auto& vlf = log.Vlf(5);
  for (int i = 0; i < 40; ++i) {
    auto& block = vlf.Block();
    if (i % 3 == 0) block.Granularity(4096);
    for (int r = 0; r <= i % 4; ++r)
      block.Add(LogRecordBuilder::Begin(i * 10 + r, "t" + std::to_string(i * 10 + r)));
  }
  std::string path = log.WriteTo(dir.File("a.ldf"));
  std::optional<LogFile> file = LogFile::Open(path);
  ASSERT_TRUE(file);

  std::vector<uint64_t> positions;
  std::vector<ByteBuffer> expected;
  for (size_t b = 0; b < 40; ++b) {
    positions.push_back(log.BlockPosition(0, b));
    std::optional<LogBlock> block = ReadLogBlock(*file, positions.back());
    ASSERT_TRUE(block);
    expected.push_back(block->bytes);
  }
  // Two readers walk the blocks in opposite orders on the one open file.
  auto reader = [&](bool backwards, int* mismatches) {
    for (int round = 0; round < 20; ++round)
      for (size_t k = 0; k < positions.size(); ++k) {
        size_t b = backwards ? positions.size() - 1 - k : k;
        std::optional<LogBlock> block = ReadLogBlock(*file, positions[b]);
        if (!block || block->bytes != expected[b]) ++*mismatches;
      }
  };
  int mismatches_a = 0, mismatches_b = 0;
  std::thread a(reader, false, &mismatches_a);
  std::thread b(reader, true, &mismatches_b);
  a.join();
  b.join();
  EXPECT_EQ(mismatches_a, 0);
  EXPECT_EQ(mismatches_b, 0);
  // Every block holds the names it was given.
  std::optional<LogBlock> block = ReadLogBlock(*file, positions[7]);
  ASSERT_TRUE(block);
  ASSERT_EQ(block->count(), 4u);
  EXPECT_EQ(ReadBeginTransaction(block->reader(), block->offsets[3])->name, "t73");
}

TEST(LogBlock, DamagedHeadersReadAsNothing) {
  // A damaged header at a position is refused by the re-read, the same as the
  // walk refuses it.
  struct Case {
    const char* what;
    std::function<void(LogBlockBuilder&)> damage;
  } cases[] = {
      {"size 0", [](LogBlockBuilder& b) { b.SizeField(0); }},
      {"size not a sector multiple", [](LogBlockBuilder& b) { b.SizeField(700); }},
      {"size past the file end", [](LogBlockBuilder& b) { b.SizeField(65024); }},
      {"array end beyond the block", [](LogBlockBuilder& b) { b.ArrayEndField(1000); }},
      {"count reaching below the block start", [](LogBlockBuilder& b) { b.CountField(300); }},
  };
  for (const Case& c : cases) {
    LogFileBuilder log;
    auto& block = log.Vlf(5).Size(16384).Block();
    block.Add(LogRecordBuilder::Commit(1));
    c.damage(block);
    ByteBuffer bytes = log.Build();
    MemoryLogSource source(bytes);
    EXPECT_FALSE(ReadLogBlock(source, log.BlockPosition(0, 0))) << c.what;
  }
  // Fewer than 28 bytes left for a header.
  ByteBuffer tiny(20, 0);
  MemoryLogSource source(tiny);
  EXPECT_FALSE(ReadLogBlock(source, 0));
}

}  // namespace
}  // namespace tarnwick
