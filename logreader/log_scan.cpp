#include "logreader/log_scan.h"

#include <algorithm>

namespace tarnwick {

namespace {

// The records of one block through any callable (the scan's decoder is
// called directly, without a std::function per record).
template <class Visit>
size_t VisitRecords(const LogBlock& block, uint32_t vlf_sequence, uint32_t block_offset,
                    Visit& visit, LogScanStats* stats) {
  size_t handed = 0;
  const size_t count = block.count();
  const size_t size = block.header.blockSize;
  LogRecordWindow w;
  w.block = &block;
  w.vlfSequence = vlf_sequence;
  w.blockOffset = block_offset;
  const uint8_t* data = block.data().data();
  for (size_t j = 0; j < count; ++j) {
    const uint16_t offset = block.offsets[j];
    if (size_t{offset} + kLogRecordWindowSize > size) {
      if (stats) stats->recordsCutOff += count - j;
      break;
    }
    w.recordIndex = static_cast<int32_t>(j);
    w.offset = offset;
    w.endBound = block.EndBound(j);
    w.fixed = ByteReader(data + offset, kLogRecordWindowSize);
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

template <class Visit>
void WalkVlf(const LogSource& log, uint32_t sequence, const VlfHeader& vlf, Visit& visit,
             LogScanStats& stats, ReadAhead& reader, LogBlock& block) {
  const uint64_t length = log.size();
  const uint64_t vlf_position = vlf.position();
  if (vlf_position > UINT64_MAX - kVlfFirstBlockOffset) return;
  const uint64_t vlf_size = vlf.vlfSize();
  reader.Forget();
  reader.SetHintEnd(vlf_size > UINT64_MAX - vlf_position ? UINT64_MAX : vlf_position + vlf_size);
  uint64_t b = vlf_position + kVlfFirstBlockOffset;
  while (b < length) {
    const Bytes head = reader.Get(b, kLogBlockHeaderSize);
    if (head.size() < kLogBlockHeaderSize) return;
    const LogBlockHeader header = ParseLogBlockHeader(head);
    if (header.sequence != sequence) return;
    BlockDamage damage = CheckLogBlockHeader(header, b, length);
    if (damage != BlockDamage::kNone) {
      if (damage != BlockDamage::kZeroSize) ++stats.damagedBlocks;
      return;
    }
    // The whole block in the read buffer is restored there; a short read
    // leaves the rest of the block zero, as ReadLogBlock does.
    const std::span<uint8_t> bytes = reader.Get(b, header.blockSize);
    if (bytes.size() == header.blockSize)
      FillLogBlockInPlace(bytes, b, header, block);
    else
      FillLogBlock(bytes, b, header, block);
    ++stats.blocks;
    const uint64_t units = (b - vlf_position) / kLogSectorSize;
    VisitRecords(block, sequence, static_cast<uint32_t>(units), visit, &stats);
    // blockSize is at least 512: the position grows with every block.
    b += header.blockSize;
  }
}

template <class Visit>
LogScanStats Walk(const LogSource& log, Visit& visit) {
  LogScanStats stats;
  VlfTable vlfs = DiscoverVlfs(log);
  stats.vlfs = vlfs.size();
  ReadAhead reader(log);
  LogBlock block;  // one block in turn, pointing into the read buffer
  for (const auto& [sequence, header] : vlfs)
    WalkVlf(log, sequence, header, visit, stats, reader, block);
  return stats;
}

}  // namespace

LogScanStats WalkLogRecords(const LogSource& log, const LogRecordVisitor& visit) {
  return Walk(log, visit);
}

LogScanStats ScanLogFile(const LogSource& log, LogRecordDecoder& decoder) {
  auto visit = [&decoder](const LogRecordWindow& w) { decoder.DecodeLogRecord(w); };
  LogScanStats stats = Walk(log, visit);
  decoder.Finish();
  return stats;
}

}  // namespace tarnwick
