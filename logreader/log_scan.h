// The walk of a whole log: VLF discovery, VLFs in ascending sequence number,
// the blocks of each VLF in file order, the records of each block by index.
//
// A VLF's walk starts 8192 bytes after the VLF position in its header and
// follows blocks while their header carries the VLF's sequence number. It
// ends at the log's length, at a block of another sequence number (unused
// space, or a stale tail left from an earlier use of the VLF), or at a
// damaged header (BlockDamage: a zero size ends the written part of a VLF).
// Every block position is larger than the one before, so a walk always ends.
// A record whose 192-byte window would run past its block's end ends that
// block's record list.
//
// A log in memory (a mapped log file) is walked where it lies. Otherwise the
// walk reads the blocks in large pieces, not one read call each, and fills
// one block buffer after the other. Either way the block a record window
// points to is valid until the visitor returns.
#pragma once

#include <cstdint>
#include <functional>

#include "logreader/log_block.h"
#include "logreader/log_file.h"
#include "logreader/log_record.h"
#include "logreader/record_decoder.h"
#include "logreader/vlf_header.h"

namespace tarnwick {

struct LogScanStats {
  uint64_t vlfs = 0;    // VLFs in use (distinct sequence numbers)
  uint64_t blocks = 0;  // blocks read
  uint64_t records = 0;
  // Records after the first one of their block whose window ran past it.
  uint64_t recordsCutOff = 0;
  // VLF walks ended by a damaged header other than a zero size.
  uint64_t damagedBlocks = 0;
};

using LogRecordVisitor = std::function<void(const LogRecordWindow&)>;

// Hands the records of one block to visit, by index, up to the first record
// whose 192-byte window runs past the block end. Returns the number handed.
size_t VisitBlockRecords(const LogBlock& block, uint32_t vlf_sequence, uint32_t block_offset,
                         const LogRecordVisitor& visit, LogScanStats* stats = nullptr);

// Walks the whole log, handing every record to visit in log order.
LogScanStats WalkLogRecords(const LogSource& log, const LogRecordVisitor& visit);

// A log at least this long is scanned in two parts at the same time.
inline constexpr uint64_t kTwoPartScanFrom = uint64_t{64} << 20;

// The scan of the log: every record through the decoder, then the decoder's
// Finish. A log of at least two_parts_from bytes and two VLFs is cut into
// two runs of VLFs (in sequence number order) of about equal size; the
// later run is decoded on a second thread by a decoder of its own, whose
// operations the first decoder then takes over (LogRecordDecoder::TakeLater)
// with the attribution a single decoder would have given.
LogScanStats ScanLogFile(const LogSource& log, LogRecordDecoder& decoder,
                         uint64_t two_parts_from = kTwoPartScanFrom);

}  // namespace tarnwick
