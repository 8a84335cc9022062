#include "records/text_page.h"

#include <algorithm>

#include "reader/page_header.h"
#include "reader/page_ref.h"

namespace tarnwick {
namespace {

// Status byte A.
constexpr uint8_t kNullBitmapBit = 0x10;
constexpr uint8_t kVarColumnsBit = 0x20;
constexpr uint8_t kVersionTagBit = 0x40;
// A record cannot start inside the page header.
constexpr uint16_t kFirstRecordOffset = 96;

}  // namespace

TextRecord::TextRecord(Bytes record, uint16_t length_limit) {
  const ByteReader r(record.first(std::min<size_t>(record.size(), length_limit)));
  lengthLimit = length_limit;
  const uint8_t status = r.U8(0);
  recordType = (status >> 1) & 7;
  hasNullBitmap = (status & kNullBitmapBit) != 0;
  hasVarColumns = (status & kVarColumnsBit) != 0;
  hasVersionTag = (status & kVersionTagBit) != 0;
  isGhost = recordType >= 5;
  ghostForwarded = r.U8(1) == 1;
  cursor = 4;
  if (!r.Has(0, 4)) return;
  fixedLength = static_cast<int32_t>(r.U16(2)) - 4;
  if (fixedLength <= 0 || !r.Has(4, static_cast<size_t>(fixedLength))) return;
  fixedData = r.Copy(4, static_cast<size_t>(fixedLength));
  cursor = 4 + fixedLength;
  const ByteReader node(fixedData);
  if (node.size() < kNodeHeaderSize) {
    nodeType = kShortNodeType;
    return;
  }
  blobId = node.U64(0);
  nodeType = node.U16(8);
  nodeLength = static_cast<int32_t>(node.size() - kNodeHeaderSize);
}

TextMixPage::TextMixPage(ByteBuffer page, const CDatabaseFile* file)
    : RecordPage(std::move(page), file), records_(slots().size()), parsed_(slots().size()) {}

bool TextMixPage::IsTextPage() const {
  return header().pageType == kTextMixPageType || header().pageType == kTextTreePageType;
}

const TextRecord* TextMixPage::record(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= records_.size()) return nullptr;
  const auto i = static_cast<size_t>(slot);
  if (!parsed_[i]) {
    parsed_[i] = true;
    const uint16_t offset = SlotOffset(slot);
    if (offset >= kFirstRecordOffset && offset <= kPageSize) {
      const uint16_t limit = static_cast<uint16_t>(kPageSize - offset);
      records_[i] = std::make_unique<TextRecord>(bytes().subspan(offset), limit);
    }
  }
  return records_[i].get();
}

std::vector<const TextRecord*> TextMixPage::records() const {
  std::vector<const TextRecord*> all;
  all.reserve(records_.size());
  for (int slot = 0; slot < slotCount(); ++slot) all.push_back(record(slot));
  return all;
}

}  // namespace tarnwick
