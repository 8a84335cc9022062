#include "export/save_cache.h"

#include <algorithm>

namespace tarnwick {

std::shared_ptr<const LogBlock> SaveReadCache::Block(uint64_t position) {
  if (const auto* cached = blocks_.Find(position)) {
    ++stats_.block_hits;
    return *cached;
  }
  ++stats_.block_reads;
  std::shared_ptr<const LogBlock> block;
  const Bytes head = Window(position, kLogBlockHeaderSize);
  const LogBlockHeader header = ParseLogBlockHeader(head);
  if (head.size() == kLogBlockHeaderSize &&
      CheckLogBlockHeader(header, position, log_.size()) == BlockDamage::kNone) {
    // The header passed the checks against the log's length; a log that has
    // shrunk since leaves zeros, as a direct read of the block does.
    auto decoded = std::make_shared<LogBlock>();
    FillLogBlock(Window(position, header.blockSize), position, header, *decoded);
    block = std::move(decoded);
  }
  return blocks_.Put(position, std::move(block));
}

Bytes SaveReadCache::Window(uint64_t position, size_t length) {
  const bool inside =
      position >= window_start_ && position - window_start_ + length <= window_.size();
  if (!inside) {
    ++stats_.window_reads;
    window_.resize(std::max(window_size_, length));
    window_.resize(log_.ReadAt(position, window_));
    window_start_ = position;
  }
  const size_t from = static_cast<size_t>(position - window_start_);
  if (from >= window_.size()) return {};
  return Bytes(window_).subspan(from, std::min(length, window_.size() - from));
}

std::shared_ptr<const ByteBuffer> SaveReadCache::Page(PageRef ref) const {
  const PageRef key{ref.file_id, ref.page, 0};
  if (const auto* cached = pages_.Find(key)) {
    ++stats_.page_hits;
    return *cached;
  }
  ++stats_.page_reads;
  std::shared_ptr<const ByteBuffer> page;
  if (std::optional<ByteBuffer> read = database_.LoadPageBytes(key, false))
    page = std::make_shared<const ByteBuffer>(std::move(*read));
  return pages_.Put(key, std::move(page));
}

CDataPage* SaveReadCache::DataPage(PageRef ref, const RecordContext* context) {
  std::shared_ptr<const ByteBuffer> bytes = Page(ref);
  if (!bytes) return nullptr;
  const PageRef key{ref.file_id, ref.page, 0};
  if (const ParsedPage* cached = parsed_.Find(key);
      cached && cached->bytes == bytes && cached->context == context)
    return cached->page.get();
  // No records yet: slot -1 names none.
  auto page = std::make_shared<CDataPage>(*bytes, &database_, SingleSlot{-1}, context);
  return parsed_.Put(key, ParsedPage{std::move(bytes), context, std::move(page)}).page.get();
}

std::optional<ByteBuffer> SaveReadCache::LoadPage(PageRef ref) const {
  std::shared_ptr<const ByteBuffer> page = Page(ref);
  if (!page) return std::nullopt;
  return *page;
}

}  // namespace tarnwick
