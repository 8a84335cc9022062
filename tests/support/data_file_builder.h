// Builders that write data files page by page, so that a test states the
// bytes it needs in a few lines: page headers with any field value, slot
// arrays and records, the boot page, torn-page bits, and damage (SetByte,
// truncation, leading garbage).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/page_ref.h"

namespace tarnwick::testing {

class PageBuilder {
 public:
  PageBuilder();
  PageBuilder& Type(uint8_t type);
  PageBuilder& ObjectId(int32_t id);
  PageBuilder& PageId(int32_t page, uint16_t file_id = 1);
  PageBuilder& SlotCount(int16_t count);
  PageBuilder& FlagBits(uint16_t flags);
  PageBuilder& TornBits(uint32_t bits);
  PageBuilder& TypeFlagBits(uint8_t bits);
  PageBuilder& Level(uint8_t level);
  PageBuilder& Set8(size_t offset, uint8_t value);
  PageBuilder& Set16(size_t offset, uint16_t value);
  PageBuilder& Set32(size_t offset, uint32_t value);
  PageBuilder& Set64(size_t offset, uint64_t value);
  PageBuilder& SetBytes(size_t offset, const ByteBuffer& bytes);
  // Appends a record after the last one (from offset 96) and its slot entry;
  // returns the slot number.
  int AddRecord(const ByteBuffer& record);
  // A slot entry pointing anywhere (for damaged slot arrays).
  PageBuilder& SetSlot(int slot, uint16_t offset);

  ByteBuffer& bytes() { return bytes_; }
  const ByteBuffer& bytes() const { return bytes_; }

 private:
  ByteBuffer bytes_;
  uint16_t free_offset_ = 96;
  int16_t records_ = 0;
};

class DataFileBuilder {
 public:
  // page_count pages whose headers carry their own position as page id and
  // file id 1; page 9 (when present) is a boot page with version 706 and
  // collation 872468488 (SQL_Latin1_General_CP1_CI_AS); page 10 belongs to
  // system object 34 (a data page) so that the file maps as a data file.
  explicit DataFileBuilder(uint32_t page_count);

  PageBuilder& Page(uint32_t i);
  DataFileBuilder& Boot(int16_t version, int32_t collation_id);
  // Bytes of garbage written before page 0 (the file then has a remainder).
  DataFileBuilder& Prefix(size_t bytes, uint8_t fill = 0xEE);
  // Cuts the written file to this many bytes.
  DataFileBuilder& TruncateTo(uint64_t size);

  ByteBuffer Build() const;
  // Writes the file and returns its path.
  std::string WriteTo(const std::string& path) const;

 private:
  std::vector<PageBuilder> pages_;
  size_t prefix_ = 0;
  uint8_t prefix_fill_ = 0;
  uint64_t truncate_ = UINT64_MAX;
};

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFileBytes(const std::string& path, const ByteBuffer& bytes);
ByteBuffer ReadFileBytes(const std::string& path);

}  // namespace tarnwick::testing
