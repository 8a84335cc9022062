// The log blocks and data pages a save reads, kept for the length of the
// save: re-decoding each accepted operation re-reads its log block and the
// data page its record names, and a save of many operations on few pages
// would otherwise read the same bytes again and again.
//
// Blocks are read from the log through a window (kLogWindow bytes): the
// save walks each table's operations in log order, so the blocks it needs
// next mostly lie in the window already, and one read serves many blocks.
//
// Both caches drop the least recently used entry when full. A block or page
// that cannot be read is kept as missing too, so a damaged block is tried
// once. Not for use from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "logreader/log_block.h"
#include "logreader/log_file.h"
#include "reader/byte_reader.h"
#include "reader/database_file.h"
#include "records/page_source.h"
#include "records/record_page.h"

namespace tarnwick {

// A map of at most `capacity` entries (at least 1) that forgets the least
// recently used one.
template <class Key, class Value, class Hash = std::hash<Key>>
class LruCache {
 public:
  explicit LruCache(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  // The value, now the most recently used; null when absent.
  const Value* Find(const Key& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return &it->second->second;
  }
  // Adds or replaces the value as the most recently used.
  const Value& Put(const Key& key, Value value) {
    if (auto it = index_.find(key); it != index_.end()) {
      it->second->second = std::move(value);
      order_.splice(order_.begin(), order_, it->second);
      return it->second->second;
    }
    if (index_.size() == capacity_) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
    order_.emplace_front(key, std::move(value));
    index_.emplace(key, order_.begin());
    return order_.front().second;
  }
  size_t size() const { return index_.size(); }
  size_t capacity() const { return capacity_; }

 private:
  size_t capacity_;
  std::list<std::pair<Key, Value>> order_;  // most recently used first
  std::unordered_map<Key, typename std::list<std::pair<Key, Value>>::iterator, Hash> index_;
};

struct SaveCacheStats {
  uint64_t window_reads = 0;  // reads of the log
  uint64_t block_reads = 0;   // blocks decoded
  uint64_t block_hits = 0;
  uint64_t page_reads = 0;
  uint64_t page_hits = 0;
};

struct PageKeyHash {
  size_t operator()(const PageRef& ref) const {
    return std::hash<uint64_t>()((uint64_t{ref.file_id} << 32) | ref.page);
  }
};

// The save's reads. Also the page source of the large values' pages.
class SaveReadCache : public PageSource {
 public:
  static constexpr size_t kDefaultBlocks = 64;
  static constexpr size_t kDefaultPages = 1024;
  static constexpr size_t kLogWindow = size_t{1} << 20;

  SaveReadCache(const CDatabaseFile& database, const LogSource& log, size_t blocks = kDefaultBlocks,
                size_t pages = kDefaultPages, size_t log_window = kLogWindow)
      : database_(database),
        log_(log),
        window_size_(log_window),
        blocks_(blocks),
        pages_(pages),
        parsed_(pages) {}

  // The block at the file position, sectors restored; null when unreadable.
  std::shared_ptr<const LogBlock> Block(uint64_t position);
  // The 8192 bytes of a page (page 0 refused); null when unreadable.
  std::shared_ptr<const ByteBuffer> Page(PageRef ref) const;
  // The page object of Page(ref)'s bytes for the records of `context`, its
  // header and slot array decoded once and kept while those bytes are kept;
  // its record list is the caller's to rebuild (RebuildRecords). Null when
  // the page is unreadable. Valid until the next call.
  CDataPage* DataPage(PageRef ref, const RecordContext* context);

  std::optional<ByteBuffer> LoadPage(PageRef ref) const override;
  const CDatabaseFile* file() const override { return &database_; }

  const SaveCacheStats& stats() const { return stats_; }

 private:
  // The window's bytes from window_start_ on, loaded with position's bytes.
  Bytes Window(uint64_t position, size_t length);

  const CDatabaseFile& database_;
  const LogSource& log_;
  size_t window_size_;
  ByteBuffer window_;
  uint64_t window_start_ = 0;
  LruCache<uint64_t, std::shared_ptr<const LogBlock>> blocks_;
  // mutable: the page source interface reads pages through const calls.
  mutable LruCache<PageRef, std::shared_ptr<const ByteBuffer>, PageKeyHash> pages_;
  // A page object, with the bytes it was built from: one built from bytes
  // the page cache has since dropped and read again is built again.
  struct ParsedPage {
    std::shared_ptr<const ByteBuffer> bytes;
    const RecordContext* context = nullptr;
    std::shared_ptr<CDataPage> page;
  };
  LruCache<PageRef, ParsedPage, PageKeyHash> parsed_;
  mutable SaveCacheStats stats_;
};

}  // namespace tarnwick
