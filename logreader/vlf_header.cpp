#include "logreader/vlf_header.h"

#include <algorithm>

namespace tarnwick {

bool HasVlfSignature(Bytes bytes) {
  ByteReader r(bytes);
  return r.Has(0, 2) && r.U8(0) == 0xAB && (r.U8(1) == 0x40 || r.U8(1) == 0x80);
}

std::optional<VlfHeader> ParseVlfHeader(Bytes bytes, uint64_t file_position) {
  if (!HasVlfSignature(bytes)) return std::nullopt;
  VlfHeader header;
  std::copy_n(bytes.begin(), std::min(bytes.size(), kVlfHeaderSize), header.bytes.begin());
  header.filePosition = file_position;
  return header;
}

VlfTable DiscoverVlfs(const LogSource& log) {
  VlfTable table;
  const uint64_t length = log.size();
  // One read of the whole header per probe: a probe costs one read call
  // whether it asks for 2 bytes or 48.
  std::array<uint8_t, kVlfHeaderSize> buffer;
  for (uint64_t p = 0; p < length; p += kVlfAlignment) {
    buffer.fill(0);
    size_t n = log.ReadAt(p, buffer);
    if (n >= 2) {
      std::optional<VlfHeader> header = ParseVlfHeader(Bytes(buffer.data(), n), p);
      if (header && header->sequence() != 0)
        table.emplace(header->sequence(), *header);  // the lower position stays
    }
    // The next probe would reach the end (or overflow the position).
    if (length - p <= kVlfAlignment) break;
  }
  return table;
}

}  // namespace tarnwick
