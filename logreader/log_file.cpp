#include "logreader/log_file.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

size_t MemoryLogSource::ReadAt(uint64_t position, std::span<uint8_t> out) const {
  if (position >= bytes_.size()) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), bytes_.size() - position));
  if (n > 0) std::memcpy(out.data(), bytes_.data() + position, n);
  return n;
}

std::optional<LogFile> LogFile::Open(const std::string& path) {
  std::optional<ReadFile> file = ReadFile::Open(path);
  if (!file) return std::nullopt;
  return LogFile(std::move(*file));
}

}  // namespace tarnwick
