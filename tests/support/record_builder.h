// Builds row records byte by byte for tests: status bytes, fixed part,
// column count, NULL bitmap and variable columns, in the layout of
// records/record.h, plus forwarding stubs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "reader/byte_reader.h"

namespace tarnwick::testing {

class RowBuilder {
 public:
  // Record type (bits 1-3 of status byte A); 0 by default.
  RowBuilder& Type(int type);
  // Extra status A bits OR-ed in (0x01 compressed, 0x40 version tag).
  RowBuilder& StatusBits(uint8_t bits);
  RowBuilder& StatusB(uint8_t value);
  RowBuilder& Fixed(ByteBuffer bytes);
  // Column count; by default the number of variable columns plus one.
  RowBuilder& Columns(uint16_t count);
  // Writes a NULL bitmap with these (0-based) bits set; without a call the
  // record has a bitmap with no bit set.
  RowBuilder& NullBits(std::initializer_list<int> bits);
  RowBuilder& NoNullBitmap();
  RowBuilder& Var(ByteBuffer bytes, bool complex = false);
  // Replaces the end offsets that Build() would compute (bit 15 included).
  RowBuilder& RawEndOffsets(std::vector<uint16_t> offsets);

  ByteBuffer Build() const;

 private:
  int type_ = 0;
  uint8_t extra_status_ = 0;
  uint8_t status_b_ = 0;
  ByteBuffer fixed_;
  std::optional<uint16_t> columns_;
  bool bitmap_ = true;
  std::vector<int> null_bits_;
  std::vector<ByteBuffer> vars_;
  std::vector<bool> complex_;
  std::optional<std::vector<uint16_t>> raw_offsets_;
};

// A 9-byte forwarding stub pointing at (file id, page, slot).
ByteBuffer ForwardingStub(int32_t page, int16_t file_id, int16_t slot);

// The sparse column vector layout of records/sparse_vector.h.
ByteBuffer SparseVectorBytes(const std::vector<std::pair<uint16_t, ByteBuffer>>& columns);

}  // namespace tarnwick::testing
