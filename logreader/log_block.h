// Log blocks: the unit in which the server writes the log.
//
// A block is blockSize bytes (a multiple of 512; blocks of one VLF follow one
// another, B(next) = B + blockSize) and starts with this header:
//
//   offset width meaning
//   0      1     sector parity mark of sector 0 (restored like every sector)
//   2      2     count: number of log records in the block
//   4      2     arrayEnd: end of the record offset array, a block offset
//   6      2     blockSize in bytes
//   12     4     sequence number of the VLF that wrote the block
//   16     4     the block's offset from its VLF's start in 512-byte units
//                (not interpreted)
//   other        not interpreted (28 bytes are read as the header)
//
// Sector parity: the server overwrites the first byte of every 512-byte
// sector with a parity mark and keeps the true byte of sector i at block
// offset blockSize - 1 - i (sector 0's byte last).
//
// Record offset array: count 16-bit entries growing downwards from
// arrayEnd; record j's entry is at arrayEnd - 2 - 2j. The last record ends
// at the array's start, arrayEnd - 2 * count.
//
//   +-----------------+ 0
//   | header          |
//   | record 0        |
//   | record 1 ...    |
//   | ... entry1|entry0 <- arrayEnd
//   |      free space |
//   | parity bytes    | blockSize - sectors .. blockSize
//   +-----------------+ blockSize
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "logreader/log_file.h"
#include "reader/byte_reader.h"

namespace tarnwick {

inline constexpr size_t kLogBlockHeaderSize = 28;
inline constexpr size_t kLogSectorSize = 512;
// Every record has its fixed fields within this many bytes of its start.
inline constexpr size_t kLogRecordWindowSize = 192;
// The fields the scan's decoder reads from a window lie in its first bytes
// (up to the row-log field count at 62).
inline constexpr size_t kLogRecordScanFieldsSize = 64;

struct LogBlockHeader {
  uint16_t count = 0;
  uint16_t arrayEnd = 0;
  uint16_t blockSize = 0;
  uint32_t sequence = 0;
};

// The header fields of the first 28 bytes (missing bytes read as zeros).
LogBlockHeader ParseLogBlockHeader(Bytes bytes);

// Why a block header cannot be walked. Any of these ends its VLF's walk.
enum class BlockDamage {
  kNone,
  kZeroSize,           // blockSize 0: the unused end of a VLF
  kBelowHeader,        // blockSize 1..27
  kNotSectorMultiple,  // blockSize not a multiple of 512
  kPastFileEnd,        // the block would end beyond the log's length
  kArrayPastBlock,     // arrayEnd beyond blockSize
  kArrayBelowStart,    // 2 * count > arrayEnd
};

BlockDamage CheckLogBlockHeader(const LogBlockHeader& header, uint64_t position, uint64_t log_size);

// Puts the true first byte of every whole sector back (sector i's byte from
// offset size - 1 - i).
void RestoreSectors(std::span<uint8_t> block);

// One block read back from the log, sectors restored.
struct LogBlock {
  uint64_t position = 0;
  LogBlockHeader header;
  ByteBuffer bytes;               // header.blockSize bytes (unless external is set)
  std::vector<uint16_t> offsets;  // offset of record j, for j < count
  // Set by FillLogBlockInPlace: the block's bytes lie, restored, in the
  // caller's read buffer and `bytes` is not used. Set by FillLogBlockAsStored
  // too, where they lie as the file holds them.
  Bytes external;
  // False after FillLogBlockAsStored: data() is the block as stored, the
  // first byte of every sector its parity mark. Such a block is read
  // through Restored only.
  bool restored = true;

  Bytes data() const { return external.data() ? external : Bytes(bytes.data(), bytes.size()); }
  // Bytes [offset, offset + length) of the restored block, cut at the block
  // end and at scratch's size: the block's own bytes where no sector starts
  // inside them, else a copy in scratch with the true sector bytes.
  Bytes Restored(size_t offset, size_t length, std::span<uint8_t> scratch) const;
  ByteReader reader() const { return ByteReader(data()); }
  size_t count() const { return offsets.size(); }
  // The offset of record j + 1, or for the last record the start of the
  // offset array. Not checked against the record's own offset.
  uint16_t EndBound(size_t j) const;
  // The 192-byte window of record j; empty when it would run past the block
  // end (the scan stops at the first such record of a block).
  ByteReader Window(size_t j) const;
  // Record j's bytes from its offset to the block end, without the window
  // test (for re-reading one record).
  ByteReader RecordBytes(size_t j) const;
};

// The 28-byte header at position, or nothing when fewer than 28 bytes can
// be read there.
std::optional<LogBlockHeader> ReadLogBlockHeader(const LogSource& log, uint64_t position);

// Reads the block whose header was read at position: blockSize bytes with
// one read into a zeroed buffer, sectors restored, the offset array built.
// Nothing when CheckLogBlockHeader finds damage. The sequence number is not
// checked. Safe to call from several threads.
std::optional<LogBlock> ReadLogBlock(const LogSource& log, uint64_t position,
                                     const LogBlockHeader& header);
// The same after reading the header at position.
std::optional<LogBlock> ReadLogBlock(const LogSource& log, uint64_t position);

// Decodes a block from bytes already in memory (the first blockSize bytes
// of `bytes`, which must hold them all). Nothing when the header is damaged.
std::optional<LogBlock> DecodeLogBlock(Bytes bytes, uint64_t position);

// Fills `block` (reusing its buffers) with the block whose checked header
// was read at position, from `bytes`: the block's bytes as far as they
// could be read, the rest taken as zeros (as ReadLogBlock does after a
// short read). The header must pass CheckLogBlockHeader.
void FillLogBlock(Bytes bytes, uint64_t position, const LogBlockHeader& header, LogBlock& block);

// The same without copying, for a scan that reads the log into buffers of
// its own: `bytes` holds the whole block (at least blockSize bytes), its
// sectors are restored in place and `block` points into it until the next
// fill. The header must pass CheckLogBlockHeader.
void FillLogBlockInPlace(std::span<uint8_t> bytes, uint64_t position, const LogBlockHeader& header,
                         LogBlock& block);

// The same without copying or changing the bytes, for a scan over a mapped
// log: `block` points to the block as stored (restored is false) and its
// record offsets are read with the true sector bytes.
void FillLogBlockAsStored(Bytes bytes, uint64_t position, const LogBlockHeader& header,
                          LogBlock& block);

}  // namespace tarnwick
