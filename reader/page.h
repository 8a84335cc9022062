// Page objects: a page's own bytes with its decoded header and slot array.
//
// Slot offset array: slotCount unsigned 16-bit entries grow downwards from the
// end of the page; slot i's entry is at page offset 8190 - 2i and holds the
// offset of that slot's record from the start of the page.
//
//   +--------------------+ 0
//   | header (96 bytes)  |
//   +--------------------+ 96
//   | records ...        |
//   |        free space  |
//   |     ... slot 1 | 0 |
//   +--------------------+ 8192
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/page_header.h"
#include "reader/page_ref.h"

namespace tarnwick {

class CDatabaseFile;

// Slot counts outside 1..kMaxSlots mean the page has no slot array.
inline constexpr int kMaxSlots = 3999;

class CPage {
 public:
  // Takes the bytes over (shorter buffers are padded with zeros to a page)
  // and decodes the header, restoring the torn-page bits on the way.
  CPage(ByteBuffer bytes, const CDatabaseFile* file);

  const CPage_Header& header() const { return header_; }
  const CDatabaseFile* file() const { return file_; }
  // The page bytes (8192 of them).
  Bytes bytes() const { return Bytes(bytes_.data(), kPageSize); }
  ByteReader reader() const { return ByteReader(bytes()); }

 private:
  ByteBuffer bytes_;
  CPage_Header header_;
  const CDatabaseFile* file_;
};

class RecordPage : public CPage {
 public:
  RecordPage(ByteBuffer bytes, const CDatabaseFile* file);
  virtual ~RecordPage() = default;

  int slotCount() const { return static_cast<int>(slots_.size()); }
  // The record offset of slot i, or 0 for a slot that does not exist.
  uint16_t SlotOffset(int i) const {
    return i >= 0 && i < slotCount() ? slots_[static_cast<size_t>(i)] : 0;
  }
  const std::vector<uint16_t>& slots() const { return slots_; }

 protected:
  // For pages whose record list does not come from their own slot array (a
  // record taken from a caller's buffer).
  void ReplaceSlots(std::vector<uint16_t> slots) { slots_ = std::move(slots); }

 private:
  std::vector<uint16_t> slots_;
};

// The slot offsets of a page (empty when slotCount is not in 1..3999).
std::vector<uint16_t> ReadSlotArray(const ByteReader& page, int16_t slot_count);

}  // namespace tarnwick
