#include "tests/support/data_file_builder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tarnwick::testing {

PageBuilder::PageBuilder() : bytes_(kPageSize, 0) {}

PageBuilder& PageBuilder::Type(uint8_t type) { return Set8(1, type); }
PageBuilder& PageBuilder::ObjectId(int32_t id) { return Set32(24, static_cast<uint32_t>(id)); }
PageBuilder& PageBuilder::PageId(int32_t page, uint16_t file_id) {
  Set32(32, static_cast<uint32_t>(page));
  return Set16(36, file_id);
}
PageBuilder& PageBuilder::SlotCount(int16_t count) { return Set16(22, static_cast<uint16_t>(count)); }
PageBuilder& PageBuilder::FlagBits(uint16_t flags) { return Set16(4, flags); }
PageBuilder& PageBuilder::TornBits(uint32_t bits) { return Set32(60, bits); }
PageBuilder& PageBuilder::TypeFlagBits(uint8_t bits) { return Set8(2, bits); }
PageBuilder& PageBuilder::Level(uint8_t level) { return Set8(3, level); }

PageBuilder& PageBuilder::Set8(size_t offset, uint8_t value) {
  PutUnsigned(bytes_, offset, value, 1);
  return *this;
}
PageBuilder& PageBuilder::Set16(size_t offset, uint16_t value) {
  PutUnsigned(bytes_, offset, value, 2);
  return *this;
}
PageBuilder& PageBuilder::Set32(size_t offset, uint32_t value) {
  PutUnsigned(bytes_, offset, value, 4);
  return *this;
}
PageBuilder& PageBuilder::Set64(size_t offset, uint64_t value) {
  PutUnsigned(bytes_, offset, value, 8);
  return *this;
}
PageBuilder& PageBuilder::SetBytes(size_t offset, const ByteBuffer& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) Set8(offset + i, bytes[i]);
  return *this;
}

int PageBuilder::AddRecord(const ByteBuffer& record) {
  const size_t slot_area = 2 * static_cast<size_t>(records_ + 1);
  if (free_offset_ + record.size() + slot_area > kPageSize)
    throw std::length_error("record does not fit on the page");
  SetBytes(free_offset_, record);
  const int slot = records_++;
  SetSlot(slot, free_offset_);
  free_offset_ = static_cast<uint16_t>(free_offset_ + record.size());
  Set16(30, free_offset_);
  SlotCount(records_);
  return slot;
}

PageBuilder& PageBuilder::SetSlot(int slot, uint16_t offset) {
  return Set16(kPageSize - 2 - 2 * static_cast<size_t>(slot), offset);
}

DataFileBuilder::DataFileBuilder(uint32_t page_count) : pages_(page_count) {
  for (uint32_t i = 0; i < page_count; ++i) pages_[i].PageId(static_cast<int32_t>(i));
  if (page_count > 9) Boot(706, 872468488);
  if (page_count > 10) pages_[10].Type(1).ObjectId(34);
}

PageBuilder& DataFileBuilder::Page(uint32_t i) { return pages_.at(i); }

DataFileBuilder& DataFileBuilder::Boot(int16_t version, int32_t collation_id) {
  PageBuilder& boot = pages_.at(9);
  boot.Type(13).ObjectId(99);
  boot.Set16(100, static_cast<uint16_t>(version));
  boot.Set32(488, static_cast<uint32_t>(collation_id));
  return *this;
}

DataFileBuilder& DataFileBuilder::Prefix(size_t bytes, uint8_t fill) {
  prefix_ = bytes;
  prefix_fill_ = fill;
  return *this;
}

DataFileBuilder& DataFileBuilder::TruncateTo(uint64_t size) {
  truncate_ = size;
  return *this;
}

ByteBuffer DataFileBuilder::Build() const {
  ByteBuffer out(prefix_, prefix_fill_);
  out.reserve(prefix_ + pages_.size() * kPageSize);
  for (const PageBuilder& p : pages_) out.insert(out.end(), p.bytes().begin(), p.bytes().end());
  if (out.size() > truncate_) out.resize(truncate_);
  return out;
}

std::string DataFileBuilder::WriteTo(const std::string& path) const {
  WriteFileBytes(path, Build());
  return path;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteFileBytes(const std::string& path, const ByteBuffer& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

ByteBuffer ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarnwick::testing
