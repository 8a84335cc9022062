// Builders that write transaction logs byte by byte, so that a test declares
// a log in a few lines: VLF headers (either signature), blocks with their
// sector parity marks (the inverse of the reader's restore), and records:
// begin transaction with name and time, commit, insert, delete, modify row
// and modify columns with row-log fields, records on any context and rowset.
// Every field can be overwritten afterwards to damage it.
//
//   LogFileBuilder log;
//   log.Vlf(7).Block().Add(LogRecordBuilder::Begin(0x51, "user_transaction"))
//                     .Add(LogRecordBuilder::Insert(kRowset, 0x51, row));
//   ByteBuffer bytes = log.Build();
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reader/byte_reader.h"

namespace tarnwick::testing {

class LogRecordBuilder {
 public:
  // A record of any operation and context, 64 bytes of fixed part.
  LogRecordBuilder(uint8_t operation, uint8_t context);

  // Operation 128 with the variable fields {name, 28 bytes of account id};
  // fixed part 76 bytes, as the server writes it.
  static LogRecordBuilder Begin(uint64_t transaction_id, std::string_view name_utf8,
                                uint32_t ticks = 0, uint32_t days = 0);
  // Operation 128 whose variable part has no field (n = 0).
  static LogRecordBuilder BeginWithoutFields(uint64_t transaction_id);
  static LogRecordBuilder Commit(uint64_t transaction_id);
  // Row changes on a rowset: insert (context 2), delete (context 19), modify
  // row (context 2, fields {after, before}, change at row_offset), modify
  // columns (context 2, the fields as given).
  static LogRecordBuilder Insert(uint64_t rowset_id, uint64_t transaction_id, ByteBuffer row);
  static LogRecordBuilder Delete(uint64_t rowset_id, uint64_t transaction_id, ByteBuffer row);
  static LogRecordBuilder ModifyRow(uint64_t rowset_id, uint64_t transaction_id,
                                    uint16_t row_offset, ByteBuffer after, ByteBuffer before);
  static LogRecordBuilder ModifyColumns(uint64_t rowset_id, uint64_t transaction_id,
                                        std::vector<ByteBuffer> fields);

  LogRecordBuilder& Context(uint8_t context);
  LogRecordBuilder& Rowset(uint64_t rowset_id);
  LogRecordBuilder& Transaction(uint64_t transaction_id);  // 6 bytes at 16
  LogRecordBuilder& Page(uint16_t file_id, uint32_t page, uint16_t slot);
  LogRecordBuilder& Time(uint32_t ticks, uint32_t days);  // offsets 40-47
  // Row-log fields (count at 62, lengths at 64, data after them).
  LogRecordBuilder& Fields(std::vector<ByteBuffer> fields);
  // Begin-transaction variable fields (n at F, lengths at F + 2, data at
  // F + 4 + 2n) and the fixed-part length F.
  LogRecordBuilder& VariableFields(std::vector<ByteBuffer> fields);
  LogRecordBuilder& FixedLength(uint16_t length);
  // Grows the record to at least this many bytes.
  LogRecordBuilder& PadTo(size_t size);
  // Overwrites bytes after the layout (damage).
  LogRecordBuilder& Set8(size_t offset, uint8_t value);
  LogRecordBuilder& Set16(size_t offset, uint16_t value);
  LogRecordBuilder& Set32(size_t offset, uint32_t value);
  LogRecordBuilder& Set64(size_t offset, uint64_t value);

  ByteBuffer Build() const;

 private:
  ByteBuffer fixed_;
  uint8_t operation_;
  std::optional<std::vector<ByteBuffer>> variable_;
  std::optional<std::vector<ByteBuffer>> fields_;
  size_t pad_to_ = 0;
  std::vector<std::pair<size_t, ByteBuffer>> patches_;
};

class LogBlockBuilder {
 public:
  explicit LogBlockBuilder(uint32_t sequence = 0);

  // Appends a record at the next 4-aligned offset (the first at 48).
  LogBlockBuilder& Add(const LogRecordBuilder& record);
  LogBlockBuilder& Add(ByteBuffer record);
  // Appends a record at a chosen offset (at or after the previous record's
  // end).
  LogBlockBuilder& AddAt(uint16_t offset, const LogRecordBuilder& record);
  LogBlockBuilder& AddAt(uint16_t offset, ByteBuffer record);

  LogBlockBuilder& Sequence(uint32_t sequence);
  // Block sizes are the smallest multiple of this that holds the records,
  // their offset array, the parity bytes and a whole window after the last
  // record's offset (512 by default; 4096 as on 4 KiB-sector disks).
  LogBlockBuilder& Granularity(uint16_t granularity);
  // A fixed block size (bytes and header field).
  LogBlockBuilder& Size(uint16_t size);
  // Header fields written over the layout's values (damage).
  LogBlockBuilder& SizeField(uint16_t size);
  LogBlockBuilder& CountField(uint16_t count);
  LogBlockBuilder& ArrayEndField(uint16_t array_end);
  // Record j's offset entry written over (damage).
  LogBlockBuilder& OffsetEntry(size_t j, uint16_t offset);
  // The byte the server writes over the first byte of every sector.
  LogBlockBuilder& ParityMark(uint8_t mark);

  uint32_t sequence() const { return sequence_; }
  // The bytes of the block as the reader restores them.
  ByteBuffer Plain() const;
  // The bytes as written to the file: every sector's first byte moved to the
  // block end and replaced by the parity mark.
  ByteBuffer Build() const;
  // The size of the block (what Build returns).
  uint16_t size() const;

 private:
  uint16_t LayoutSize() const;

  uint32_t sequence_;
  uint16_t granularity_ = 512;
  std::optional<uint16_t> size_;
  std::optional<uint16_t> size_field_;
  std::optional<uint16_t> count_field_;
  std::optional<uint16_t> array_end_field_;
  uint8_t parity_mark_ = 0x50;
  std::vector<std::pair<uint16_t, ByteBuffer>> records_;
  std::vector<std::pair<size_t, uint16_t>> offset_entries_;
};

class VlfBuilder {
 public:
  VlfBuilder(uint32_t sequence, std::optional<uint64_t> position);

  // Header byte 1: 0x40 (default) or 0x80; other values for damage.
  VlfBuilder& Signature(uint8_t byte1);
  // The VLF position stored at header offset 24 (default: where the header
  // lies).
  VlfBuilder& PositionField(uint64_t position);
  // The VLF's size; by default 64 KiB or the 8192-multiple its blocks need.
  VlfBuilder& Size(uint64_t size);
  // A new block with the VLF's sequence number, or with another one (a
  // stale tail left from an earlier use of the VLF).
  LogBlockBuilder& Block();
  LogBlockBuilder& Block(uint32_t sequence);

  uint32_t sequence() const { return sequence_; }

 private:
  friend class LogFileBuilder;
  uint64_t SizeNeeded() const;

  uint32_t sequence_;
  std::optional<uint64_t> position_;
  std::optional<uint64_t> position_field_;
  std::optional<uint64_t> size_;
  uint8_t signature_ = 0x40;
  std::deque<LogBlockBuilder> blocks_;
};

class LogFileBuilder {
 public:
  // A VLF right after the previous one (the first at 8192).
  VlfBuilder& Vlf(uint32_t sequence);
  // A VLF whose header lies at position.
  VlfBuilder& VlfAt(uint64_t position, uint32_t sequence);

  // Cuts or extends (with zeros) the file to this length.
  LogFileBuilder& FileSize(uint64_t size);
  // Writes bytes over the laid-out file.
  LogFileBuilder& SetBytes(uint64_t position, ByteBuffer bytes);

  // Where VLF v's header lies, and where its block b starts.
  uint64_t VlfPosition(size_t v) const;
  uint64_t BlockPosition(size_t v, size_t b) const;

  ByteBuffer Build() const;
  // Writes the file and returns its path.
  std::string WriteTo(const std::string& path) const;

 private:
  std::deque<VlfBuilder> vlfs_;
  std::optional<uint64_t> file_size_;
  std::vector<std::pair<uint64_t, ByteBuffer>> patches_;
};

// Writes a log file one VLF at a time, for logs too large to build in
// memory. A VLF is laid out in memory (its 48-byte header, then its blocks
// one after another from 8192 bytes on) and written to its position when it
// ends, so VLFs can be written in any file order (a wrapped log's first VLF
// holds its newest blocks).
class LogFileWriter {
 public:
  // Creates or truncates the file. Throws std::runtime_error on failure.
  explicit LogFileWriter(const std::string& path);
  ~LogFileWriter();
  LogFileWriter(const LogFileWriter&) = delete;
  LogFileWriter& operator=(const LogFileWriter&) = delete;

  // Starts a VLF of size bytes (a multiple of 8192) whose header carries the
  // sequence number and signature byte 1.
  void BeginVlf(uint32_t sequence, uint64_t size, uint8_t signature = 0x40);
  // Offset from the VLF start where the next block goes, and the bytes left
  // for blocks.
  uint64_t next_block_offset() const { return fill_; }
  uint64_t room() const { return vlf_.size() - fill_; }
  // Header byte 1 of the current VLF (0x40 or 0x80).
  void Signature(uint8_t byte1) { signature_ = byte1; }
  // Appends a block as written to the file (LogBlockBuilder::Build).
  // Throws std::length_error when it does not fit.
  void AddBlock(const ByteBuffer& block);
  // Writes the VLF with its header at position (also its position field).
  void EndVlf(uint64_t position);
  // Extends the file with zeros to at least size bytes and closes it.
  void Close(uint64_t size = 0);

 private:
  int fd_ = -1;
  std::string path_;
  ByteBuffer vlf_;
  uint64_t fill_ = 0;
  uint32_t sequence_ = 0;
  uint8_t signature_ = 0x40;
  uint64_t end_ = 0;
};

// A row record image for inserts and deletes: status bytes 0x10 0x00, the
// fixed-data end, then `size - 4` bytes of the given fill.
ByteBuffer RowImage(size_t size, uint8_t fill = 0x61);

}  // namespace tarnwick::testing
