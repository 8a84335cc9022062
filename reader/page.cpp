#include "reader/page.h"

namespace tarnwick {

CPage::CPage(ByteBuffer bytes, const CDatabaseFile* file) : bytes_(std::move(bytes)), file_(file) {
  if (bytes_.size() < kPageSize) bytes_.resize(kPageSize, 0);
  header_ = CPage_Header(std::span<uint8_t>(bytes_.data(), kPageSize));
}

std::vector<uint16_t> ReadSlotArray(const ByteReader& page, int16_t slot_count) {
  std::vector<uint16_t> slots;
  if (slot_count <= 0 || slot_count > kMaxSlots) return slots;
  slots.reserve(static_cast<size_t>(slot_count));
  for (int i = 0; i < slot_count; ++i) slots.push_back(page.U16(kPageSize - 2 - 2 * i));
  return slots;
}

RecordPage::RecordPage(ByteBuffer bytes, const CDatabaseFile* file)
    : CPage(std::move(bytes), file), slots_(ReadSlotArray(reader(), header().slotCount)) {}

}  // namespace tarnwick
