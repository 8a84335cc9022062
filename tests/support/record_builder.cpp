#include "tests/support/record_builder.h"

namespace tarnwick::testing {

RowBuilder& RowBuilder::Type(int type) {
  type_ = type;
  return *this;
}
RowBuilder& RowBuilder::StatusBits(uint8_t bits) {
  extra_status_ = bits;
  return *this;
}
RowBuilder& RowBuilder::StatusB(uint8_t value) {
  status_b_ = value;
  return *this;
}
RowBuilder& RowBuilder::Fixed(ByteBuffer bytes) {
  fixed_ = std::move(bytes);
  return *this;
}
RowBuilder& RowBuilder::Columns(uint16_t count) {
  columns_ = count;
  return *this;
}
RowBuilder& RowBuilder::NullBits(std::initializer_list<int> bits) {
  bitmap_ = true;
  null_bits_.assign(bits);
  return *this;
}
RowBuilder& RowBuilder::NoNullBitmap() {
  bitmap_ = false;
  return *this;
}
RowBuilder& RowBuilder::Var(ByteBuffer bytes, bool complex) {
  vars_.push_back(std::move(bytes));
  complex_.push_back(complex);
  return *this;
}
RowBuilder& RowBuilder::RawEndOffsets(std::vector<uint16_t> offsets) {
  raw_offsets_ = std::move(offsets);
  return *this;
}

ByteBuffer RowBuilder::Build() const {
  const bool has_vars = !vars_.empty() || raw_offsets_.has_value();
  const uint16_t columns = columns_.value_or(static_cast<uint16_t>(vars_.size() + 1));
  ByteBuffer out;
  uint8_t status = static_cast<uint8_t>((type_ & 7) << 1) | extra_status_;
  if (bitmap_) status |= 0x10;
  if (has_vars) status |= 0x20;
  out.push_back(status);
  out.push_back(status_b_);
  PutUnsigned(out, 2, fixed_.size() + 4, 2);
  out.insert(out.end(), fixed_.begin(), fixed_.end());
  PutUnsigned(out, out.size(), columns, 2);
  if (bitmap_) {
    ByteBuffer bitmap((columns + 7) / 8, 0);
    for (int bit : null_bits_)
      if (bit >= 0 && static_cast<size_t>(bit / 8) < bitmap.size())
        bitmap[bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
    out.insert(out.end(), bitmap.begin(), bitmap.end());
  }
  if (!has_vars) return out;
  const size_t var_count = raw_offsets_ ? raw_offsets_->size() : vars_.size();
  // The variable column count is stored only when there is a fixed part or
  // a bitmap.
  if (!fixed_.empty() || bitmap_) PutUnsigned(out, out.size(), var_count, 2);
  size_t end = out.size() + 2 * var_count;
  for (size_t i = 0; i < var_count; ++i) {
    uint16_t entry;
    if (raw_offsets_) {
      entry = (*raw_offsets_)[i];
    } else {
      end += vars_[i].size();
      entry = static_cast<uint16_t>(end | (complex_[i] ? 0x8000 : 0));
    }
    PutUnsigned(out, out.size(), entry, 2);
  }
  for (const ByteBuffer& v : vars_) out.insert(out.end(), v.begin(), v.end());
  return out;
}

ByteBuffer ForwardingStub(int32_t page, int16_t file_id, int16_t slot) {
  ByteBuffer out{static_cast<uint8_t>(2 << 1)};
  PutUnsigned(out, 1, static_cast<uint32_t>(page), 4);
  PutUnsigned(out, 5, static_cast<uint16_t>(file_id), 2);
  PutUnsigned(out, 7, static_cast<uint16_t>(slot), 2);
  return out;
}

ByteBuffer SparseVectorBytes(const std::vector<std::pair<uint16_t, ByteBuffer>>& columns) {
  ByteBuffer out;
  const size_t n = columns.size();
  PutUnsigned(out, 0, 5, 2);
  PutUnsigned(out, 2, n, 2);
  size_t end = 4 + 4 * n;
  for (size_t i = 0; i < n; ++i) {
    PutUnsigned(out, 4 + 2 * i, columns[i].first, 2);
    end += columns[i].second.size();
    PutUnsigned(out, 4 + 2 * n + 2 * i, end, 2);
  }
  for (const auto& c : columns) out.insert(out.end(), c.second.begin(), c.second.end());
  return out;
}

}  // namespace tarnwick::testing
