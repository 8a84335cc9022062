#include "records/sparse_vector.h"

#include "reader/page_ref.h"

namespace tarnwick {
namespace {

// Values longer than an in-row row can hold, or starting beyond it, are not
// taken.
constexpr uint32_t kMaxSparseValue = 8060;

}  // namespace

std::optional<SparseVector> ParseSparseVector(Bytes vector) {
  const ByteReader r(vector);
  const uint32_t length = static_cast<uint32_t>(vector.size());
  const uint32_t n = r.U16(2);
  const uint32_t ids_end = 4 + 2 * n;
  const uint32_t values_start = 4 + 4 * n;
  if (ids_end >= kPageSize || values_start >= kPageSize || length <= 4 || ids_end >= length)
    return std::nullopt;

  SparseVector sv;
  sv.count = static_cast<int16_t>(n);
  sv.columns.reserve(n);
  // The end offsets may run past the vector when it is damaged; such
  // offsets read as 0 and their values get no bytes.
  uint32_t start = values_start;
  for (uint32_t i = 0; i < n; ++i) {
    ColumnChunk chunk;
    chunk.columnId = r.U16(4 + 2 * i);
    const uint32_t end = r.U16(ids_end + 2 * i);
    if (start < end && end - start <= kMaxSparseValue && start < kMaxSparseValue && end <= length) {
      chunk.bytes = r.Copy(start, end - start);
      chunk.length = static_cast<int32_t>(end - start);
    }
    sv.columns.push_back(std::move(chunk));
    start = end;
  }
  return sv;
}

}  // namespace tarnwick
