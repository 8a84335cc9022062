// Bounds-checked little-endian reads over a byte span.
//
// Every integer in data and log files is little-endian. All reads of raw
// bytes go through this type: a read that would leave the span yields 0 (or
// an empty sub-span) and never touches memory outside it. Callers that must
// tell "zero" from "outside" ask Has() first or use the Try* forms.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

using Bytes = std::span<const uint8_t>;
using ByteBuffer = std::vector<uint8_t>;

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(Bytes data) : data_(data) {}
  ByteReader(const uint8_t* data, size_t size) : data_(data, size) {}
  ByteReader(const ByteBuffer& buffer) : data_(buffer.data(), buffer.size()) {}
  // A reader does not own its bytes: never build one over a temporary buffer.
  ByteReader(ByteBuffer&&) = delete;

  size_t size() const { return data_.size(); }
  bool empty() const { return data_.empty(); }
  Bytes bytes() const { return data_; }

  // True when [offset, offset + length) lies inside the span.
  bool Has(size_t offset, size_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }

  uint8_t U8(size_t offset) const { return Has(offset, 1) ? data_[offset] : 0; }
  uint16_t U16(size_t offset) const { return static_cast<uint16_t>(Unsigned(offset, 2)); }
  uint32_t U32(size_t offset) const { return static_cast<uint32_t>(Unsigned(offset, 4)); }
  uint64_t U64(size_t offset) const { return Unsigned(offset, 8); }
  int8_t I8(size_t offset) const { return static_cast<int8_t>(U8(offset)); }
  int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  int64_t I64(size_t offset) const { return static_cast<int64_t>(U64(offset)); }

  // An unsigned value of 1 to 8 bytes; 0 when it does not fit.
  uint64_t Unsigned(size_t offset, size_t width) const {
    if (width == 0 || width > 8 || !Has(offset, width)) return 0;
    uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
      // One 8-byte load where the span holds 8 bytes there (a value of 3,
      // 5, 6 or 7 bytes copied on its own would be put together through
      // memory), else the value's own bytes.
      if (Has(offset, 8)) {
        std::memcpy(&value, data_.data() + offset, 8);
        return width == 8 ? value : value & ((uint64_t{1} << (8 * width)) - 1);
      }
      std::memcpy(&value, data_.data() + offset, width);
    } else {
      for (size_t i = width; i-- > 0;) value = (value << 8) | data_[offset + i];
    }
    return value;
  }

  std::optional<uint16_t> TryU16(size_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return U16(offset);
  }
  std::optional<uint32_t> TryU32(size_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return U32(offset);
  }

  // The bytes [offset, offset + length), or an empty span when outside.
  Bytes Span(size_t offset, size_t length) const {
    if (!Has(offset, length)) return {};
    return data_.subspan(offset, length);
  }
  ByteReader Sub(size_t offset, size_t length) const { return ByteReader(Span(offset, length)); }
  // Everything from offset to the end (empty when offset is past the end).
  ByteReader From(size_t offset) const {
    if (offset > data_.size()) return {};
    return ByteReader(data_.subspan(offset));
  }
  ByteBuffer Copy(size_t offset, size_t length) const {
    Bytes s = Span(offset, length);
    return ByteBuffer(s.begin(), s.end());
  }

 private:
  Bytes data_;
};

// Little-endian writes into a growable buffer (used by writers and test builders).
inline void PutUnsigned(ByteBuffer& out, size_t offset, uint64_t value, size_t width) {
  if (out.size() < offset + width) out.resize(offset + width);
  for (size_t i = 0; i < width; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace tarnwick
