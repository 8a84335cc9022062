#include "reader/file_row.h"

#include <algorithm>

namespace tarnwick {

std::optional<SecondaryFile> DecodeFileRow(const CatalogRecord& row) {
  if (row.fixedLength() < kFileRowMinFixed) return std::nullopt;
  const ByteReader& f = row.fixed();
  SecondaryFile file;
  file.status = f.I32(0);
  file.file_id = static_cast<uint16_t>(f.I16(4));
  // A field cut by the end of the fixed part gives what is there.
  auto name_at = [&](size_t offset, size_t width) {
    const size_t available = f.size() > offset ? std::min(width, f.size() - offset) : 0;
    return TrimRight(Utf16TextToZero(f.Span(offset, available)));
  };
  file.logical_name = name_at(6, 256);
  file.physical_path = name_at(262, 520);
  return file;
}

}  // namespace tarnwick
