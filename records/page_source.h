// Where page readers get page bytes from: the open data file set, or pages
// held in memory (tests and fuzz targets).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "reader/byte_reader.h"
#include "reader/page_ref.h"

namespace tarnwick {

class CDatabaseFile;

class PageSource {
 public:
  virtual ~PageSource() = default;
  // The 8192 bytes of the page at (file id, page number), or nothing when
  // the page cannot be read. Implementations may return fewer bytes; page
  // objects pad them with zeros.
  virtual std::optional<ByteBuffer> LoadPage(PageRef ref) const = 0;
  // The data file set handed to the page objects built from these bytes;
  // null for pages that do not come from one.
  virtual const CDatabaseFile* file() const { return nullptr; }
};

// Pages of the open data file set. Page 0 is refused, as for every page
// read outside the catalog scan.
class DatabasePageSource : public PageSource {
 public:
  explicit DatabasePageSource(const CDatabaseFile& file) : file_(file) {}
  std::optional<ByteBuffer> LoadPage(PageRef ref) const override;
  const CDatabaseFile* file() const override { return &file_; }

 private:
  const CDatabaseFile& file_;
};

// Pages kept in memory by address; an address without a page reads as
// missing.
class MemoryPageSource : public PageSource {
 public:
  // Stores (or replaces) the bytes of a page.
  void Add(uint16_t file_id, uint32_t page, ByteBuffer bytes) {
    pages_[{file_id, page}] = std::move(bytes);
  }
  std::optional<ByteBuffer> LoadPage(PageRef ref) const override {
    auto it = pages_.find({ref.file_id, ref.page});
    if (it == pages_.end()) return std::nullopt;
    return it->second;
  }
  size_t size() const { return pages_.size(); }

 private:
  std::map<std::pair<uint16_t, uint32_t>, ByteBuffer> pages_;
};

}  // namespace tarnwick
