// The 96-byte header at the start of every 8192-byte data file page.
//
//   offset width field             notes
//   0      1     headerVersion
//   1      1     pageType          1 data, 2 index, 3 text mix, 4 text tree,
//                                  8 GAM, 9 SGAM, 10 IAM, 11 PFS, 13 boot, ...
//   2      1     typeFlagBits      bit 7: page starts with a compression
//                                  information record
//   3      1     level             index level
//   4      2     flagBits          0x100: torn-page bits saved in tornBits
//   6      2     indexId
//   8      4     prevPage page     12 2 prevPage file id
//   14     2     fixedLength
//   16     4     nextPage page     20 2 nextPage file id
//   22     2     slotCount         signed
//   24     4     objectId          signed; key of the page maps
//   28     2     freeCount
//   30     2     freeData
//   32     4     pageId page       signed; the page number the server wrote
//   36     2     pageId file id
//   38     2     reservedCount
//   40     4+4+2 lsn               shown as "( %d : %d : %d )"
//   50     2     xactReserved
//   52     4     xdesId (low)      56 2 xdesId (high); shown "( %d : %d )"
//   58     2     ghostRecordCount
//   60     4     tornBits          low two bits of the last byte of sectors 1..15
//   64..95       not used
//
// All integers little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnwick {

inline constexpr size_t kPageHeaderSize = 96;
inline constexpr uint16_t kTornBitsFlag = 0x100;

// Page types the program tests.
inline constexpr uint32_t kDataPageType = 1;
inline constexpr uint32_t kIndexPageType = 2;
inline constexpr uint32_t kIamPageType = 10;
// Records of pages with a type above this are never decoded.
inline constexpr uint32_t kHighestPageType = 17;

class CPage_Header {
 public:
  CPage_Header() = default;
  // Reads the fields from the first 96 bytes and puts the torn-page bits back
  // into the page (which is why the bytes are not const). A shorter buffer
  // leaves the missing fields 0.
  explicit CPage_Header(std::span<uint8_t> page);

  uint8_t headerVersion = 0;
  uint32_t pageType = 0;
  uint8_t typeFlagBits = 0;
  uint8_t level = 0;
  int16_t flagBits = 0;
  uint16_t indexId = 0;
  uint32_t prevPage = 0;
  uint16_t prevFile = 0;
  uint16_t fixedLength = 0;
  uint32_t nextPage = 0;
  uint16_t nextFile = 0;
  int16_t slotCount = 0;
  int32_t objectId = 0;
  uint16_t freeCount = 0;
  uint16_t freeData = 0;
  int32_t pageId = 0;
  uint16_t pageFileId = 0;
  uint16_t reservedCount = 0;
  uint32_t lsnFile = 0;
  uint32_t lsnOffset = 0;
  uint16_t lsnSlot = 0;
  uint16_t xactReserved = 0;
  uint32_t xdesIdLow = 0;
  uint16_t xdesIdHigh = 0;
  uint16_t ghostRecordCount = 0;
  uint32_t tornBits = 0;

  std::string lsn;     // "( %d : %d : %d )"
  std::string xdesId;  // "( %d : %d )", high part first

  bool HasCompressionInfo() const { return (typeFlagBits & 0x80) != 0; }
};

// Restores the low two bits of the last byte of sectors 1..15 from tornBits
// when the header's flag says they were saved. Sector 0 holds the header
// itself and is left as it is.
void RestoreTornBits(std::span<uint8_t> page);

}  // namespace tarnwick
