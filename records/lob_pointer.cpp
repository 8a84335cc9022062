#include "records/row_overflow_pointer.h"
#include "records/text_pointer.h"

namespace tarnwick {

bool IsTextPointer(Bytes column) { return column.size() == kTextPointerLength && column[0] == 0; }

std::optional<TextPointer> ParseTextPointer(Bytes column) {
  if (!IsTextPointer(column)) return std::nullopt;
  const ByteReader r(column);
  TextPointer pointer;
  pointer.timestamp = r.U64(0);
  pointer.page.page = r.U32(8);
  pointer.page.file_id = r.U16(12);
  pointer.slot = r.U16(14);
  return pointer;
}

uint16_t ComplexColumnTag(Bytes column) {
  const ByteReader r(column);
  const uint8_t first = r.U8(0);
  return first != 0 ? first : r.U16(0);
}

std::optional<RootPointer> ParseRootPointer(Bytes column) {
  const uint16_t tag = ComplexColumnTag(column);
  if (tag != kRowOverflowTag && tag != kInRowRootTag) return std::nullopt;
  const ByteReader r(column);
  RootPointer pointer;
  pointer.tag = tag;
  pointer.level = r.U8(1);
  pointer.timestamp = r.U32(8);
  for (size_t at = kRootPointerLinkOffset; r.Has(at, kRootPointerLinkSize);
       at += kRootPointerLinkSize) {
    LobLink link;
    link.offset = r.I32(at);
    if (link.offset < 1) continue;
    link.page.page = r.U32(at + 4);
    link.page.file_id = r.U16(at + 8);
    if (link.page.file_id >= kFirstRemappedFileId) link.page.file_id = 1;
    link.slot = r.U16(at + 10);
    pointer.links.push_back(link);
  }
  return pointer;
}

}  // namespace tarnwick
