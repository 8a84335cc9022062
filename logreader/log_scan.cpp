#include "logreader/log_scan.h"

#include <algorithm>
#include <array>

#include "platform/two_threads.h"

namespace tarnwick {

namespace {

// How far ahead of the record being decoded a walk over a log in memory
// asks for the log's bytes: about two blocks of a busy log, so that the
// next block's header and offset array are at hand when the walk gets
// there (measured against 1, 2, 4 and 6 KiB on a log of 4.8 KiB blocks).
constexpr size_t kStreamAhead = 8192;

// Nothing asked for ahead: the block's bytes are already at hand.
struct NoStream {
  void operator()(size_t) const {}
};

// The records of one block through any callable (the scan's decoder is
// called directly, without a std::function per record). stream(offset) is
// told the offset of each record before it is visited.
template <class Visit, class Stream = const NoStream>
size_t VisitRecords(const LogBlock& block, uint32_t vlf_sequence, uint32_t block_offset,
                    Visit& visit, LogScanStats* stats, Stream& stream = NoStream{}) {
  size_t handed = 0;
  const size_t count = block.count();
  const size_t size = block.header.blockSize;
  LogRecordWindow w;
  w.block = &block;
  w.vlfSequence = vlf_sequence;
  w.blockOffset = block_offset;
  std::array<uint8_t, kLogRecordWindowSize> scratch;
  const size_t window_size = block.restored ? kLogRecordWindowSize : kLogRecordScanFieldsSize;
  for (size_t j = 0; j < count; ++j) {
    const uint16_t offset = block.offsets[j];
    stream(offset);
    if (size_t{offset} + kLogRecordWindowSize > size) {
      if (stats) stats->recordsCutOff += count - j;
      break;
    }
    w.recordIndex = static_cast<int32_t>(j);
    w.offset = offset;
    w.endBound = block.EndBound(j);
    w.fixed = ByteReader(block.Restored(offset, window_size, scratch));
    visit(w);
    ++handed;
  }
  if (stats) stats->records += handed;
  return handed;
}

}  // namespace

size_t VisitBlockRecords(const LogBlock& block, uint32_t vlf_sequence, uint32_t block_offset,
                         const LogRecordVisitor& visit, LogScanStats* stats) {
  return VisitRecords(block, vlf_sequence, block_offset, visit, stats);
}

namespace {

// The bytes of a VLF's blocks read in large pieces: one read call per block
// costs more than the block's bytes. A piece reaches at most to the end of
// the VLF as its header states it (a hint only: blocks past it are read in
// pieces of their own size), so a log of many small VLFs is not read over.
class ReadAhead {
 public:
  static constexpr size_t kPiece = size_t{256} << 10;

  explicit ReadAhead(const LogSource& log) : log_(log) {}

  void SetHintEnd(uint64_t end) { hint_end_ = end; }
  // Forgets the bytes read so far: the blocks of a walk are restored in the
  // buffer, and another VLF's walk may start inside them (a corrupt position
  // field) and must see the bytes as the file holds them.
  void Forget() {
    start_ = 0;
    filled_ = 0;
    short_ = false;
  }

  // Up to n bytes at position: fewer where the log ends or a read comes up
  // short. The bytes may be changed in place (a block's sectors restored)
  // as long as no later Get asks for them again: the walk only moves on.
  std::span<uint8_t> Get(uint64_t position, size_t n) {
    const bool inside = position >= start_ && position - start_ <= filled_;
    const bool covered = inside && (position - start_ + n <= filled_ || short_);
    if (!covered) Fill(position, n);
    const uint64_t offset = position - start_;
    if (offset >= filled_) return {};
    return std::span<uint8_t>(buffer_.data() + offset, std::min<uint64_t>(n, filled_ - offset));
  }

 private:
  void Fill(uint64_t position, size_t n) {
    const uint64_t length = log_.size();
    size_t want = n;
    if (hint_end_ > position)
      want = std::max<size_t>(n, std::min<uint64_t>(kPiece, hint_end_ - position));
    if (position >= length)
      want = 0;
    else
      want = static_cast<size_t>(std::min<uint64_t>(want, length - position));
    if (buffer_.size() < want) buffer_.resize(want);
    start_ = position;
    filled_ = log_.ReadAt(position, std::span<uint8_t>(buffer_.data(), want));
    short_ = filled_ < n;
  }

  const LogSource& log_;
  ByteBuffer buffer_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  bool short_ = false;  // the last read gave less than was asked
  uint64_t hint_end_ = 0;
};

// The blocks of a walk from the read buffers: each restored in place.
class ReadBlocks {
 public:
  explicit ReadBlocks(const LogSource& log) : reader_(log) {}

  void StartVlf(uint64_t, uint64_t hint_end) {
    reader_.Forget();
    reader_.SetHintEnd(hint_end);
  }
  void LookAhead(uint64_t) const {}
  void Stream(uint64_t) {}
  Bytes Header(uint64_t position) { return reader_.Get(position, kLogBlockHeaderSize); }
  void Fill(uint64_t position, const LogBlockHeader& header, LogBlock& block) {
    // A short read leaves the rest of the block zero, as ReadLogBlock does.
    const std::span<uint8_t> bytes = reader_.Get(position, header.blockSize);
    if (bytes.size() == header.blockSize)
      FillLogBlockInPlace(bytes, position, header, block);
    else
      FillLogBlock(bytes, position, header, block);
  }

 private:
  ReadAhead reader_;
};

// The blocks of a walk over a log in memory, read where they lie: copied
// and restored for a visitor that reads the block's bytes, or left as
// stored for the scan's decoder, which reads the few fields it needs
// through LogBlock::Restored.
class MemoryBlocks {
 public:
  MemoryBlocks(Bytes log, bool restore) : log_(log), restore_(restore) {}

  // A VLF's walk starts at position (VLFs are walked in sequence order,
  // not in file order).
  void StartVlf(uint64_t position, uint64_t) { streamed_ = position; }
  // The block at position comes next: its offset array and sector bytes
  // (at the block's end, far from the records the walk reads) are asked
  // for now (its header was asked for one block earlier), and the header
  // of the block after it.
  void LookAhead(uint64_t position) const {
    if (position >= log_.size() || log_.size() - position < kLogBlockHeaderSize) return;
    const LogBlockHeader h = ParseLogBlockHeader(log_.subspan(position, kLogBlockHeaderSize));
    if (CheckLogBlockHeader(h, position, log_.size()) != BlockDamage::kNone) return;
    Prefetch(position + h.blockSize, 64);
    Prefetch(position + h.arrayEnd - 2u * h.count, 2u * h.count);
    Prefetch(position + h.blockSize - 64, 64);
  }
  // The walk has reached position: the bytes up to kStreamAhead beyond it
  // are asked for, as one stream over the blocks (records and block
  // headers lie at irregular steps, which the processor does not foresee).
  void Stream(uint64_t position) {
    const uint64_t want = std::min<uint64_t>(log_.size(), position + kStreamAhead);
    if (streamed_ < position) streamed_ = position;
    for (; streamed_ < want; streamed_ += 64) __builtin_prefetch(log_.data() + streamed_);
  }
  Bytes Header(uint64_t position) const {
    if (position >= log_.size()) return {};
    return log_.subspan(position, std::min<uint64_t>(kLogBlockHeaderSize, log_.size() - position));
  }
  void Fill(uint64_t position, const LogBlockHeader& header, LogBlock& block) const {
    // CheckLogBlockHeader kept the block inside the log.
    const Bytes bytes = log_.subspan(position, header.blockSize);
    if (restore_)
      FillLogBlock(bytes, position, header, block);
    else
      FillLogBlockAsStored(bytes, position, header, block);
  }

 private:
  void Prefetch(uint64_t position, uint64_t length) const {
    if (position >= log_.size()) return;
    const uint64_t end = std::min<uint64_t>(log_.size(), position + length);
    for (uint64_t p = position; p < end; p += 64) __builtin_prefetch(log_.data() + p);
  }

  Bytes log_;
  bool restore_;
  uint64_t streamed_ = 0;  // the log's bytes before it have been asked for
};

template <class Blocks, class Visit>
void WalkVlf(const LogSource& log, uint32_t sequence, const VlfHeader& vlf, Visit& visit,
             LogScanStats& stats, Blocks& blocks, LogBlock& block) {
  const uint64_t length = log.size();
  const uint64_t vlf_position = vlf.position();
  if (vlf_position > UINT64_MAX - kVlfFirstBlockOffset) return;
  const uint64_t vlf_size = vlf.vlfSize();
  uint64_t b = vlf_position + kVlfFirstBlockOffset;
  blocks.StartVlf(b, vlf_size > UINT64_MAX - vlf_position ? UINT64_MAX : vlf_position + vlf_size);
  uint64_t walked_from = b;
  while (b < length) {
    const Bytes head = blocks.Header(b);
    if (head.size() < kLogBlockHeaderSize) break;
    const LogBlockHeader header = ParseLogBlockHeader(head);
    if (header.sequence != sequence) break;
    BlockDamage damage = CheckLogBlockHeader(header, b, length);
    if (damage != BlockDamage::kNone) {
      if (damage != BlockDamage::kZeroSize) ++stats.damagedBlocks;
      break;
    }
    blocks.LookAhead(b + header.blockSize);
    blocks.Fill(b, header, block);
    ++stats.blocks;
    const uint64_t units = (b - vlf_position) / kLogSectorSize;
    blocks.Stream(b);
    auto stream = [&blocks, b](size_t offset) { blocks.Stream(b + offset); };
    VisitRecords(block, sequence, static_cast<uint32_t>(units), visit, &stats, stream);
    // blockSize is at least 512: the position grows with every block.
    b += header.blockSize;
    if (b - walked_from >= kLogDoneWithStep) {
      log.DoneWith(walked_from, b);
      walked_from = b;
    }
  }
  log.DoneWith(walked_from, std::min(b, length));
}

// The walk of the VLFs [first, last) of a table in sequence number order.
// restore: whether the visitor reads the block's bytes (LogBlock::data)
// rather than only through LogBlock::Restored.
template <class Visit>
void WalkVlfs(const LogSource& log, VlfTable::const_iterator first, VlfTable::const_iterator last,
              Visit& visit, bool restore, LogScanStats& stats) {
  LogBlock block;  // one block in turn, pointing into the read buffer or the log
  const Bytes in_memory = log.InMemory();
  if (in_memory.size() == log.size() && !in_memory.empty()) {
    MemoryBlocks blocks(in_memory, restore);
    for (auto it = first; it != last; ++it)
      WalkVlf(log, it->first, it->second, visit, stats, blocks, block);
  } else {
    ReadBlocks blocks(log);
    for (auto it = first; it != last; ++it)
      WalkVlf(log, it->first, it->second, visit, stats, blocks, block);
  }
}

template <class Visit>
LogScanStats Walk(const LogSource& log, Visit& visit, bool restore) {
  LogScanStats stats;
  const VlfTable vlfs = DiscoverVlfs(log);
  stats.vlfs = vlfs.size();
  WalkVlfs(log, vlfs.begin(), vlfs.end(), visit, restore, stats);
  return stats;
}

// The first VLF of the later of two parts of about equal length, by the
// VLF sizes their headers state (cut at the log's end), or end() when the
// log is not worth two parts.
VlfTable::const_iterator LaterPartStart(const LogSource& log, const VlfTable& vlfs) {
  auto extent = [&log](const VlfHeader& header) -> uint64_t {
    const uint64_t position = header.position();
    if (position >= log.size()) return 0;
    return std::min(header.vlfSize(), log.size() - position);
  };
  uint64_t total = 0;
  for (const auto& [sequence, header] : vlfs) total += extent(header);
  uint64_t walked = 0;
  for (auto it = vlfs.begin(); it != vlfs.end(); ++it) {
    if (it != vlfs.begin() && walked >= total / 2) return it;
    walked += extent(it->second);
  }
  return vlfs.end();
}

void Add(LogScanStats& to, const LogScanStats& from) {
  to.blocks += from.blocks;
  to.records += from.records;
  to.recordsCutOff += from.recordsCutOff;
  to.damagedBlocks += from.damagedBlocks;
}

}  // namespace

LogScanStats WalkLogRecords(const LogSource& log, const LogRecordVisitor& visit) {
  return Walk(log, visit, /*restore=*/true);
}

LogScanStats ScanLogFile(const LogSource& log, LogRecordDecoder& decoder, uint64_t two_parts_from) {
  auto visit = [&decoder](const LogRecordWindow& w) { decoder.DecodeLogRecord(w); };
  LogScanStats stats;
  const VlfTable vlfs = DiscoverVlfs(log);
  stats.vlfs = vlfs.size();
  for (const auto& [sequence, header] : vlfs) decoder.NoteVlf(sequence, header.position());
  const auto later_start = log.size() >= two_parts_from ? LaterPartStart(log, vlfs) : vlfs.end();
  if (later_start == vlfs.end()) {
    WalkVlfs(log, vlfs.begin(), vlfs.end(), visit, /*restore=*/false, stats);
    decoder.Finish();
    return stats;
  }
  // The later VLFs on a thread of their own, into a decoder of their own;
  // the earlier decoder takes its results over when both are done.
  CurrentTransaction later_current;
  OperationList later_operations;
  TableNameMap later_tables;
  LogRecordDecoder later(decoder, later_current, later_operations, later_tables);
  LogScanStats later_stats;
  auto visit_later = [&later](const LogRecordWindow& w) { later.DecodeLogRecord(w); };
  RunBeside(
      [&] { WalkVlfs(log, vlfs.begin(), later_start, visit, /*restore=*/false, stats); },
      [&] { WalkVlfs(log, later_start, vlfs.end(), visit_later, /*restore=*/false, later_stats); });
  decoder.TakeLater(later);
  Add(stats, later_stats);
  decoder.Finish();
  return stats;
}

}  // namespace tarnwick
