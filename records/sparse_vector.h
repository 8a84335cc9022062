// The sparse column vector: the complex variable column (tag 5) in which a
// row keeps the values of the sparse columns it has.
//
//   offset   width  content
//   0        2      complex column tag, 5
//   2        2      N, number of sparse columns present
//   4        2N     column ids
//   4 + 2N   2N     end offset of each value, from the start of the vector
//   4 + 4N   ...    the values, one after another
//
// Value i runs from the end of value i - 1 (value 0 from 4 + 4N) to end
// offset i.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "reader/byte_reader.h"
#include "records/column_chunk.h"

namespace tarnwick {

inline constexpr uint16_t kSparseVectorTag = 5;

struct SparseVector {
  // Number of sparse columns present (N of the layout above).
  int16_t count = 0;
  // One chunk per present column, carrying its column id; a value whose
  // offsets do not fit the vector is a chunk without bytes.
  std::vector<ColumnChunk> columns;
};

// Parses the bytes of a complex column as a sparse vector. Nothing when the
// header does not fit: 4 + 2N and 4 + 4N must stay below 8192, the vector
// must be longer than 4 bytes and its id array must end inside it.
std::optional<SparseVector> ParseSparseVector(Bytes vector);

}  // namespace tarnwick
