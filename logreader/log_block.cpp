#include "logreader/log_block.h"

#include <algorithm>
#include <array>

namespace tarnwick {

LogBlockHeader ParseLogBlockHeader(Bytes bytes) {
  ByteReader r(bytes);
  LogBlockHeader h;
  h.count = r.U16(2);
  h.arrayEnd = r.U16(4);
  h.blockSize = r.U16(6);
  h.sequence = r.U32(12);
  return h;
}

BlockDamage CheckLogBlockHeader(const LogBlockHeader& h, uint64_t position, uint64_t log_size) {
  if (h.blockSize == 0) return BlockDamage::kZeroSize;
  if (h.blockSize < kLogBlockHeaderSize) return BlockDamage::kBelowHeader;
  if (h.blockSize % kLogSectorSize != 0) return BlockDamage::kNotSectorMultiple;
  if (position > log_size || h.blockSize > log_size - position) return BlockDamage::kPastFileEnd;
  if (h.arrayEnd > h.blockSize) return BlockDamage::kArrayPastBlock;
  if (2u * h.count > h.arrayEnd) return BlockDamage::kArrayBelowStart;
  return BlockDamage::kNone;
}

void RestoreSectors(std::span<uint8_t> block) {
  const size_t size = block.size();
  const size_t sectors = size / kLogSectorSize;
  for (size_t i = 0; i < sectors; ++i) block[kLogSectorSize * i] = block[size - 1 - i];
}

uint16_t LogBlock::EndBound(size_t j) const {
  if (j + 1 < offsets.size()) return offsets[j + 1];
  // The array start; CheckLogBlockHeader made sure it is not negative.
  return static_cast<uint16_t>(header.arrayEnd - 2u * header.count);
}

ByteReader LogBlock::Window(size_t j) const {
  if (j >= offsets.size()) return {};
  return reader().Sub(offsets[j], kLogRecordWindowSize);
}

ByteReader LogBlock::RecordBytes(size_t j) const {
  if (j >= offsets.size()) return {};
  return reader().From(offsets[j]);
}

Bytes LogBlock::Restored(size_t offset, size_t length, std::span<uint8_t> scratch) const {
  const Bytes all = data();
  if (offset >= all.size()) return {};
  length = std::min(length, all.size() - offset);
  // The first sector that starts at or after offset.
  const size_t first = (offset + kLogSectorSize - 1) / kLogSectorSize;
  if (restored || first * kLogSectorSize >= offset + length) return all.subspan(offset, length);
  length = std::min(length, scratch.size());
  std::copy_n(all.begin() + static_cast<std::ptrdiff_t>(offset), length, scratch.begin());
  // Sector i's true first byte is at size - 1 - i; i stays below the
  // sector count since every position here is inside the block.
  for (size_t i = first; i * kLogSectorSize < offset + length; ++i)
    scratch[i * kLogSectorSize - offset] = all[all.size() - 1 - i];
  return Bytes(scratch.data(), length);
}

namespace {

void ReadOffsets(LogBlock& block, Bytes array) {
  // count 16-bit entries below arrayEnd, record 0's entry highest.
  block.offsets.resize(block.header.count);
  const uint8_t* entry = array.data() + array.size();
  for (size_t j = 0; j < block.header.count; ++j) {
    entry -= 2;
    block.offsets[j] = static_cast<uint16_t>(entry[0] | (entry[1] << 8));
  }
}

// Restores the sectors and cuts the offset array of a block whose header
// passed the checks and whose bytes are in place.
void FinishBlock(LogBlock& block, std::span<uint8_t> bytes) {
  RestoreSectors(bytes);
  block.restored = true;
  // The array lies inside the block: CheckLogBlockHeader made sure that
  // 2 * count <= arrayEnd <= blockSize.
  const size_t array_start = block.header.arrayEnd - 2u * block.header.count;
  ReadOffsets(block, Bytes(bytes.data() + array_start, 2u * block.header.count));
}

void FinishBlock(LogBlock& block) {
  block.external = {};
  FinishBlock(block, block.bytes);
}

}  // namespace

std::optional<LogBlockHeader> ReadLogBlockHeader(const LogSource& log, uint64_t position) {
  std::array<uint8_t, kLogBlockHeaderSize> bytes{};
  if (log.ReadAt(position, bytes) < bytes.size()) return std::nullopt;
  return ParseLogBlockHeader(bytes);
}

std::optional<LogBlock> ReadLogBlock(const LogSource& log, uint64_t position,
                                     const LogBlockHeader& header) {
  if (CheckLogBlockHeader(header, position, log.size()) != BlockDamage::kNone) return std::nullopt;
  LogBlock block;
  block.position = position;
  block.header = header;
  block.bytes.assign(header.blockSize, 0);
  // A short read (the file shrank) leaves zeros.
  log.ReadAt(position, block.bytes);
  FinishBlock(block);
  return block;
}

std::optional<LogBlock> ReadLogBlock(const LogSource& log, uint64_t position) {
  std::optional<LogBlockHeader> header = ReadLogBlockHeader(log, position);
  if (!header) return std::nullopt;
  return ReadLogBlock(log, position, *header);
}

std::optional<LogBlock> DecodeLogBlock(Bytes bytes, uint64_t position) {
  LogBlockHeader header = ParseLogBlockHeader(bytes);
  if (CheckLogBlockHeader(header, 0, bytes.size()) != BlockDamage::kNone) return std::nullopt;
  LogBlock block;
  block.position = position;
  block.header = header;
  block.bytes.assign(bytes.begin(), bytes.begin() + header.blockSize);
  FinishBlock(block);
  return block;
}

void FillLogBlock(Bytes bytes, uint64_t position, const LogBlockHeader& header, LogBlock& block) {
  block.position = position;
  block.header = header;
  const size_t n = std::min<size_t>(bytes.size(), header.blockSize);
  block.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  block.bytes.resize(header.blockSize, 0);
  FinishBlock(block);
}

void FillLogBlockInPlace(std::span<uint8_t> bytes, uint64_t position, const LogBlockHeader& header,
                         LogBlock& block) {
  block.position = position;
  block.header = header;
  std::span<uint8_t> data = bytes.first(header.blockSize);
  FinishBlock(block, data);
  block.external = Bytes(data.data(), data.size());
}

void FillLogBlockAsStored(Bytes bytes, uint64_t position, const LogBlockHeader& header,
                          LogBlock& block) {
  block.position = position;
  block.header = header;
  block.external = bytes.first(header.blockSize);
  block.restored = false;
  const size_t array_start = header.arrayEnd - 2u * header.count;
  const size_t array_size = 2u * header.count;
  // The array read with its true sector bytes; `bytes`, unused while the
  // block points to the stored bytes, holds the copy where one is needed.
  if (block.bytes.size() < array_size) block.bytes.resize(array_size);
  ReadOffsets(block, block.Restored(array_start, array_size, block.bytes));
}

}  // namespace tarnwick
