#include "records/record.h"

#include <algorithm>

#include "reader/database_file.h"
#include "reader/page_header.h"
#include "reader/page_ref.h"
#include "records/compressed_record.h"
#include "records/record_page.h"

namespace tarnwick {
namespace {

// Status byte A.
constexpr uint8_t kCompressedBit = 0x01;
constexpr uint8_t kNullBitmapBit = 0x10;
constexpr uint8_t kVarColumnsBit = 0x20;
constexpr uint8_t kVersionTagBit = 0x40;
// Bit 15 of a variable column end offset.
constexpr uint16_t kComplexBit = 0x8000;

// The readable bytes of a record: the first length_limit bytes of what the
// caller has.
ByteReader Limited(Bytes record, uint16_t length_limit) {
  return ByteReader(record.first(std::min<size_t>(record.size(), length_limit)));
}

}  // namespace

bool CRecord::NullBit(int k) const {
  if (k < 0) return false;
  const size_t byte = static_cast<size_t>(k) / 8;
  if (byte >= nullBitmap.size()) return false;
  return (nullBitmap[byte] >> (k % 8)) & 1;
}

void CPrimaryRecord::ReadStatusA(uint8_t status) {
  recordType = (status >> 1) & 7;
  hasNullBitmap = (status & kNullBitmapBit) != 0;
  hasVarColumns = (status & kVarColumnsBit) != 0;
  hasVersionTag = (status & kVersionTagBit) != 0;
  isGhost = recordType >= 5;
}

CPrimaryRecord CPrimaryRecord::ParseOrdinaryRecord(Bytes record, uint16_t length_limit) {
  CPrimaryRecord rec;
  const ByteReader r = Limited(record, length_limit);
  rec.lengthLimit = length_limit;
  rec.ReadStatusA(r.U8(0));
  rec.ghostForwarded = r.U8(1) == 1;
  rec.ParseRow(r, false);
  return rec;
}

CPrimaryRecord CPrimaryRecord::ParsePageRecord(Bytes record, uint16_t length_limit,
                                               const PageParseContext& page) {
  CPrimaryRecord rec;
  rec.lengthLimit = length_limit;
  rec.context = page.context;
  // Nothing is decoded from a page whose header cannot be a data page's.
  if (!page.header || page.header->pageId < 0 || page.header->pageType > kHighestPageType) {
    rec.rejected = true;
    return rec;
  }
  const ByteReader r = Limited(record, length_limit);
  const uint8_t status = r.U8(0);
  rec.ReadStatusA(status);
  rec.ghostForwarded = r.U8(1) == 1;
  if (rec.recordType > kForwardingStubType) {
    rec.rejected = true;
    return rec;
  }
  if (status & kCompressedBit) {
    rec.ParseCompressed(r);
  } else if (rec.recordType == kForwardingStubType && page.follow_forwarding) {
    rec.FollowForwardingStub(r, page);
  } else {
    rec.ParseRow(r, true);
  }
  return rec;
}

CPrimaryRecord CPrimaryRecord::ParseAnchorRecord(Bytes record, uint16_t length_limit) {
  CPrimaryRecord rec;
  const ByteReader r = Limited(record, length_limit);
  rec.lengthLimit = length_limit;
  rec.ReadStatusA(r.U8(0));
  rec.ParseCompressed(r);
  return rec;
}

void CPrimaryRecord::ParseCompressed(const ByteReader& r) {
  // Byte 1 is the column count, not status byte B.
  ghostForwarded = false;
  ParseCompressedFormat(r, *this);
}

void CPrimaryRecord::ParseRow(const ByteReader& r, bool page_form) {
  const int32_t limit = lengthLimit;
  const int32_t fixed = static_cast<int32_t>(r.U16(2)) - 4;
  fixedLength = static_cast<int16_t>(fixed);
  cursor = 4;
  if (fixed >= 1 && fixed <= kMaxFixedLength && recordType != kIndexRecordType) {
    // A page record may claim a fixed part up to 4 bytes past its limit; the
    // copy is still only taken from bytes that are there.
    const bool within_limit = page_form ? limit >= fixed : limit >= fixed + 4;
    if (within_limit && r.Has(4, static_cast<size_t>(fixed))) {
      fixedData = r.Copy(4, static_cast<size_t>(fixed));
      cursor = 4 + fixed;
    } else if (!page_form) {
      return;
    }
  }
  if (recordType == kIndexRecordType) return;

  columnCount = r.I16(static_cast<size_t>(cursor));
  if (columnCount < 1 || columnCount > kMaxColumnCount) return;
  cursor += 2;
  if (hasNullBitmap) {
    const size_t size = (static_cast<size_t>(columnCount) + 7) / 8;
    // Without its whole bitmap no column of the row can be told from NULL.
    if (!r.Has(static_cast<size_t>(cursor), size)) {
      rejected = true;
      return;
    }
    nullBitmap = r.Copy(static_cast<size_t>(cursor), size);
    cursor += static_cast<int32_t>(size);
  }
  if (hasVarColumns) ReadVariableColumns(r);
  if (cursor > 0 && cursor <= limit && r.Has(0, static_cast<size_t>(cursor)))
    recordCopy = r.Copy(0, static_cast<size_t>(cursor));
}

void CPrimaryRecord::ReadVariableColumns(const ByteReader& r) {
  const int32_t limit = lengthLimit;
  if (HasFixedData() || hasNullBitmap) {
    if (cursor + 2 <= limit) varColumnCount = r.I16(static_cast<size_t>(cursor));
    cursor += 2;
  } else {
    // No fixed part and no bitmap: the count is not stored.
    varColumnCount = columnCount;
  }
  if (columnCount < varColumnCount) {
    varColumnCount = 0;
    cursor = 0;
  }
  if (varColumnCount < 1 || varColumnCount > kMaxColumnCount) return;

  for (int i = 0; i < varColumnCount && cursor + 2 <= limit; ++i) {
    varEndOffsets.push_back(r.U16(static_cast<size_t>(cursor)));
    cursor += 2;
  }
  varDataStart = cursor;

  varColumns.reserve(varEndOffsets.size());
  for (uint16_t& entry : varEndOffsets) {
    ColumnChunk chunk;
    chunk.complex = (entry & kComplexBit) != 0;
    entry &= static_cast<uint16_t>(~kComplexBit);
    const int32_t end = entry;
    const int32_t length = end - cursor;
    if (end < cursor) {
      // An offset behind the cursor: an empty value.
    } else if (end > limit || end >= static_cast<int32_t>(kPageSize) ||
               length >= static_cast<int32_t>(kPageSize) || end == cursor ||
               cursor >= static_cast<int32_t>(kPageSize) || cursor <= 0 ||
               !r.Has(static_cast<size_t>(cursor), static_cast<size_t>(length))) {
      // Unusable offsets keep their place in the list but get no bytes; the
      // cursor stays for the next column.
      chunk.length = length;
    } else {
      chunk.bytes = r.Copy(static_cast<size_t>(cursor), static_cast<size_t>(length));
      chunk.length = length;
      cursor = end;
      if (chunk.complex && length != kTextPointerSize) {
        const ByteReader c(chunk.bytes);
        const uint16_t tag = c.U8(0) != 0 ? c.U8(0) : c.U16(0);
        if (tag == kSparseVectorTag) {
          if (auto sv = ParseSparseVector(chunk.bytes)) sparseVector = std::move(*sv);
        }
      }
    }
    varColumns.push_back(std::move(chunk));
  }
}

void CPrimaryRecord::FollowForwardingStub(const ByteReader& r, const PageParseContext& page) {
  fixedLength = kUnreadableForwardTarget;
  if (!r.Has(0, kForwardingStubSize)) return;
  const int32_t target_page = r.I32(1);
  const int16_t target_file = r.I16(5);
  const int16_t target_slot = r.I16(7);
  forwardTarget = RecordAddress{static_cast<uint16_t>(target_file), target_page, target_slot};
  if (!page.file || target_slot < 0 || target_page < 0 || target_file <= 0) return;

  ForwardTrail fresh;
  ForwardTrail& trail = page.trail ? *page.trail : fresh;
  if (trail.visited.size() >= kMaxForwardHops) return;
  if (std::find(trail.visited.begin(), trail.visited.end(), *forwardTarget) != trail.visited.end())
    return;
  trail.visited.push_back(*forwardTarget);

  std::optional<ByteBuffer> bytes = page.file->LoadPageBytes(
      PageRef{static_cast<uint16_t>(target_file), static_cast<uint32_t>(target_page), 0}, false);
  if (!bytes) return;
  const PrimaryRecordPage target(std::move(*bytes), page.file, SingleSlot{target_slot, &trail},
                                 page.context);
  const CPrimaryRecord* found = target.record(0);
  if (!found || found->recordCopy.empty()) return;

  // The forwarded row, parsed again from its copy, becomes this record; it
  // keeps the stub's type.
  const ByteBuffer copy = found->recordCopy;
  const ByteReader row(copy);
  lengthLimit = static_cast<uint16_t>(copy.size());
  ReadStatusA(row.U8(0));
  recordType = kForwardingStubType;
  isGhost = false;
  ParseRow(row, true);
}

}  // namespace tarnwick
