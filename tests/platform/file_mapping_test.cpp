// FileMapping: the mapped bytes are the file's, pages let go read the same
// again, and a file shortened under the mapping reads as zeros past its new
// end instead of ending the process.
#include "platform/file_mapping.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path =
      (std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()))).string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  return bytes;
}

TEST(FileMapping, MapsTheFileAndReadsDroppedPagesAgain) {
  const std::vector<uint8_t> bytes = Pattern(5 * 4096 + 123);
  const std::string path = WriteFile("tarnwick_mapping", bytes);
  std::optional<ReadFile> file = ReadFile::Open(path);
  ASSERT_TRUE(file);
  std::optional<FileMapping> mapping = FileMapping::Map(*file);
  ASSERT_TRUE(mapping);
  ASSERT_EQ(mapping->bytes().size(), bytes.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), mapping->bytes().begin()));
  // Ranges cut inside pages, past the end, and empty.
  mapping->Drop(100, 3 * 4096);
  mapping->Drop(4 * 4096, 1u << 30);
  mapping->Drop(bytes.size() + 10, 5);
  mapping->Drop(0, 0);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), mapping->bytes().begin()));
  EXPECT_FALSE(mapping->truncated());

  // A moved mapping keeps the bytes; the moved-from one is empty.
  FileMapping moved = std::move(*mapping);
  EXPECT_TRUE(mapping->bytes().empty());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), moved.bytes().begin()));
  std::remove(path.c_str());
}

TEST(FileMapping, EmptyFilesAreNotMapped) {
  const std::string path = WriteFile("tarnwick_mapping_empty", {});
  std::optional<ReadFile> file = ReadFile::Open(path);
  ASSERT_TRUE(file);
  EXPECT_FALSE(FileMapping::Map(*file));
  std::remove(path.c_str());
}

TEST(FileMapping, AFileShortenedUnderTheMappingReadsZerosPastItsEnd) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::vector<uint8_t> bytes = Pattern(8 * page);
  const std::string path = WriteFile("tarnwick_mapping_cut", bytes);
  std::optional<ReadFile> file = ReadFile::Open(path);
  ASSERT_TRUE(file);
  std::optional<FileMapping> mapping = FileMapping::Map(*file);
  ASSERT_TRUE(mapping);
  // Another program cuts the file to two and a half pages.
  std::filesystem::resize_file(path, 2 * page + page / 2);
  const std::span<const uint8_t> mapped = mapping->bytes();
  uint64_t sum = 0;
  for (size_t i = 3 * page; i < mapped.size(); ++i) sum += mapped[i];
  EXPECT_EQ(sum, 0u);
  EXPECT_TRUE(mapping->truncated());
  // The bytes still in the file read as they are.
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 2 * page, mapped.begin()));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tarnwick
