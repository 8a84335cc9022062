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

// Modify-columns description: N ranges, N new lengths and the value stream.
struct ModifyColumnsImage {
  std::vector<ColumnRange> ranges;
  std::vector<uint16_t> new_lengths;
  ByteBuffer values;
  int slot = 0;
};

// R for a modify-row change:
//   - prior shorter than the replacement (and not empty): the row grows;
//     R = P[0, offset) + replacement + P[offset + |prior|, ...), cut at T;
//   - otherwise, when the replacement fits inside T at the offset: P with
//     the replacement written over it;
//   - otherwise P unchanged.
ByteBuffer ModifyRowRecordImage(Bytes record, const ModifyRowImage& change);

// R for a modify-columns change. Only the first two ranges are applied; a
// range whose new length n is not below T, or whose start plus n is not
// below T, is skipped. Range j writes D[0, n) at its start s and moves the
// rest of the row up behind it; the value stream D advances after range 0
// by 2 x (n + p), p the padding of n to the next multiple of 4 (1 when n is
// already one). All copies are cut at T and at the ends of P and D.
ByteBuffer ModifyColumnsRecordImage(Bytes record, const ModifyColumnsImage& change);

}  // namespace tarnwick
