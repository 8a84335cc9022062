#include "logreader/log_scan.h"

namespace tarnwick {

size_t VisitBlockRecords(const LogBlock& block, uint32_t vlf_sequence, uint32_t block_offset,
                         const LogRecordVisitor& visit, LogScanStats* stats) {
  size_t handed = 0;
  for (size_t j = 0; j < block.count(); ++j) {
    ByteReader window = block.Window(j);
    if (window.empty()) {
      if (stats) stats->recordsCutOff += block.count() - j;
      break;
    }
    LogRecordWindow w;
    w.block = &block;
    w.vlfSequence = vlf_sequence;
    w.blockOffset = block_offset;
    w.recordIndex = static_cast<int32_t>(j);
    w.offset = block.offsets[j];
    w.endBound = block.EndBound(j);
    w.fixed = window;
    visit(w);
    ++handed;
  }
  if (stats) stats->records += handed;
  return handed;
}

namespace {

void WalkVlf(const LogSource& log, uint32_t sequence, const VlfHeader& vlf,
             const LogRecordVisitor& visit, LogScanStats& stats) {
  const uint64_t length = log.size();
  const uint64_t vlf_position = vlf.position();
  if (vlf_position > UINT64_MAX - kVlfFirstBlockOffset) return;
  uint64_t b = vlf_position + kVlfFirstBlockOffset;
  while (b < length) {
    std::optional<LogBlockHeader> header = ReadLogBlockHeader(log, b);
    if (!header || header->sequence != sequence) return;
    BlockDamage damage = CheckLogBlockHeader(*header, b, length);
    if (damage != BlockDamage::kNone) {
      if (damage != BlockDamage::kZeroSize) ++stats.damagedBlocks;
      return;
    }
    std::optional<LogBlock> block = ReadLogBlock(log, b, *header);
    if (!block) return;
    ++stats.blocks;
    const uint64_t units = (b - vlf_position) / kLogSectorSize;
    VisitBlockRecords(*block, sequence, static_cast<uint32_t>(units), visit, &stats);
    // blockSize is at least 512: the position grows with every block.
    b += header->blockSize;
  }
}

}  // namespace

LogScanStats WalkLogRecords(const LogSource& log, const LogRecordVisitor& visit) {
  LogScanStats stats;
  VlfTable vlfs = DiscoverVlfs(log);
  stats.vlfs = vlfs.size();
  for (const auto& [sequence, header] : vlfs) WalkVlf(log, sequence, header, visit, stats);
  return stats;
}

LogScanStats ScanLogFile(const LogSource& log, LogRecordDecoder& decoder) {
  LogScanStats stats =
      WalkLogRecords(log, [&decoder](const LogRecordWindow& w) { decoder.DecodeLogRecord(w); });
  decoder.Finish();
  return stats;
}

}  // namespace tarnwick
