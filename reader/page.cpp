#include "reader/page.h"

namespace tarnwick {

CPage::CPage(ByteBuffer bytes, const CDatabaseFile* file) : bytes_(std::move(bytes)), file_(file) {
  if (bytes_.size() < kPageSize) bytes_.resize(kPageSize, 0);
  header_ = CPage_Header(std::span<uint8_t>(bytes_.data(), kPageSize));
}

std::vector<uint16_t> ReadSlotArray(const ByteReader& page, int16_t slot_count) {
  std::vector<uint16_t> slots;
  if (slot_count <= 0 || slot_count > kMaxSlots) return slots;
  const size_t count = static_cast<size_t>(slot_count);
  slots.resize(count);
  // The array grows down from the page's end: slot i at kPageSize - 2 - 2i.
  const Bytes array = page.Span(kPageSize - 2 * count, 2 * count);
  if (array.size() == 2 * count) {
    for (size_t i = 0; i < count; ++i) {
      const size_t at = 2 * (count - 1 - i);
      slots[i] = static_cast<uint16_t>(array[at] | (array[at + 1] << 8));
    }
    return slots;
  }
  for (size_t i = 0; i < count; ++i) slots[i] = page.U16(kPageSize - 2 - 2 * i);
  return slots;
}

RecordPage::RecordPage(ByteBuffer bytes, const CDatabaseFile* file)
    : CPage(std::move(bytes), file), slots_(ReadSlotArray(reader(), header().slotCount)) {}

}  // namespace tarnwick
