#include "reader/catalog_record.h"

#include "platform/text_codec.h"

namespace tarnwick {

const ColumnChunk* CatalogRecord::Var(size_t i) const {
  if (i >= record_.varColumns.size()) return nullptr;
  const ColumnChunk& chunk = record_.varColumns[i];
  return chunk.HasBytes() ? &chunk : nullptr;
}

std::optional<std::string> CatalogRecord::VarText(size_t i) const {
  const ColumnChunk* chunk = Var(i);
  if (!chunk) return std::nullopt;
  return Utf16TextToZero(chunk->bytes);
}

PageRef CatalogRecord::PageAt(size_t offset) const {
  return PageRef{fixed_.U16(offset + 4), fixed_.U32(offset), 0};
}

std::string Utf16TextToZero(Bytes bytes) {
  const ByteReader r(bytes);
  size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    if (r.U16(2 * i) == 0) {
      units = i;
      break;
    }
  }
  return Utf16LeToUtf8(bytes.first(units * 2));
}

std::string TrimRight(std::string text) {
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  return text;
}

}  // namespace tarnwick
