// Patched images of one record, rebuilt from a row-change log record: the
// row as it was before a modify-row or modify-columns change, made from the
// row the data page holds now and the bytes the log kept.
//
// Both work on P, the bytes of the record in the page image from its slot
// offset to the page end (T = 8192 - slot offset bytes), and return a new
// T-byte image R that is then parsed like a page record. The page image
// itself is never changed.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/byte_reader.h"

namespace tarnwick {

// Modify-row description (log field 0 and field 1 of the change).
struct ModifyRowImage {
  // The bytes the image gets at `offset`.
  ByteBuffer replacement;
  // The bytes the page holds there now; empty when the log record has none.
  ByteBuffer prior;
  // Offset of the change inside the record.
  uint16_t offset = 0;
  int slot = 0;
};

// One changed byte range of a modify-columns description.
struct ColumnRange {
  uint16_t start = 0;
  uint16_t end = 0;
};

// One changed range as a modify-columns log record keeps it: where the
// range starts in the row the page holds now (the row after the change), how
// many bytes it has there, and the bytes it held before the change.
struct ColumnChange {
  uint16_t after_offset = 0;
  uint16_t after_length = 0;
  ByteBuffer before;
};

// Modify-columns description: N ranges, N new lengths and the value stream.
struct ModifyColumnsImage {
  std::vector<ColumnRange> ranges;
  std::vector<uint16_t> new_lengths;
  ByteBuffer values;
  int slot = 0;
  // When not empty, the image is rebuilt from these alone (ColumnChangesImage)
  // and the three members above are not read.
  std::vector<ColumnChange> changes;
};

// R for a modify-row change:
//   - prior shorter than the replacement (and not empty): the row grows;
//     R = P[0, offset) + replacement + P[offset + |prior|, ...), cut at T;
//   - otherwise, when the replacement fits inside T at the offset: P with
//     the replacement written over it;
//   - otherwise P unchanged.
ByteBuffer ModifyRowRecordImage(Bytes record, const ModifyRowImage& change);

// R for a modify-columns change: ColumnChangesImage when the description
// has changes. Otherwise, from ranges, new lengths and the value stream:
// only the first two ranges are applied; a
// range whose new length n is not below T, or whose start plus n is not
// below T, is skipped. Range j writes D[0, n) at its start s and moves the
// rest of the row up behind it; the value stream D advances after range 0
// by 2 x (n + p), p the padding of n to the next multiple of 4 (1 when n is
// already one). All copies are cut at T and at the ends of P and D.
ByteBuffer ModifyColumnsRecordImage(Bytes record, const ModifyColumnsImage& change);

// The row before a modify-columns change, from the row after it (P, T bytes)
// and the changes in ascending order. What the server logs for each range:
// its offset in the row before and in the row after the change (which
// differ once an earlier range changed length, e.g. a variable-column offset
// array that grew by an entry), the bytes before and the bytes after. So
//   R = P[0, a0) + before0 + P[a0 + n0, a1) + before1 + ... + P[ak + nk, T)
// with ai and ni the after offset and after length of range i; zeros fill R
// up to T, and R is cut at T. Changes out of order or past T leave P
// unchanged.
ByteBuffer ColumnChangesImage(Bytes record, const std::vector<ColumnChange>& changes);

}  // namespace tarnwick
