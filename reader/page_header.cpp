#include "reader/page_header.h"

#include <cstdint>
#include <string>

#include "reader/byte_reader.h"
#include "reader/page_ref.h"

namespace tarnwick {
namespace {

// The value as printf's "%d" writes it.
void AppendDecimal(std::string& out, int value) {
  char digits[12];
  int n = 0;
  int64_t v = value;
  const bool negative = v < 0;
  if (negative) v = -v;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) out.push_back('-');
  while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

void RestoreTornBits(std::span<uint8_t> page) {
  ByteReader r(page.data(), page.size());
  if ((r.U16(4) & kTornBitsFlag) == 0) return;
  uint32_t torn = r.U32(60);
  for (uint32_t s = 1; s < 16; ++s) {
    size_t at = 512 * s + 511;
    if (at >= page.size()) break;
    page[at] = static_cast<uint8_t>((page[at] & 0xFC) | ((torn >> (2 * s)) & 3));
  }
}

CPage_Header::CPage_Header(std::span<uint8_t> page) {
  ByteReader r(page.data(), page.size());
  headerVersion = r.U8(0);
  pageType = r.U8(1);
  typeFlagBits = r.U8(2);
  level = r.U8(3);
  flagBits = r.I16(4);
  indexId = r.U16(6);
  prevPage = r.U32(8);
  prevFile = r.U16(12);
  fixedLength = r.U16(14);
  nextPage = r.U32(16);
  nextFile = r.U16(20);
  slotCount = r.I16(22);
  objectId = r.I32(24);
  freeCount = r.U16(28);
  freeData = r.U16(30);
  pageId = r.I32(32);
  pageFileId = r.U16(36);
  reservedCount = r.U16(38);
  lsnFile = r.U32(40);
  lsnOffset = r.U32(44);
  lsnSlot = r.U16(48);
  xactReserved = r.U16(50);
  xdesIdLow = r.U32(52);
  xdesIdHigh = r.U16(56);
  ghostRecordCount = r.U16(58);
  tornBits = r.U32(60);

  // "( %d : %d : %d )" and "( %d : %d )", written without printf: every
  // page read builds a header.
  lsn = "( ";
  AppendDecimal(lsn, static_cast<int>(lsnFile));
  lsn += " : ";
  AppendDecimal(lsn, static_cast<int>(lsnOffset));
  lsn += " : ";
  AppendDecimal(lsn, static_cast<int>(lsnSlot));
  lsn += " )";
  xdesId = "( ";
  AppendDecimal(xdesId, static_cast<int>(xdesIdHigh));
  xdesId += " : ";
  AppendDecimal(xdesId, static_cast<int>(xdesIdLow));
  xdesId += " )";

  RestoreTornBits(page);
}

}  // namespace tarnwick
