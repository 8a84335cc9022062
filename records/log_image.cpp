#include "records/log_image.h"

#include <algorithm>
#include <cstdlib>

namespace tarnwick {
namespace {

// Counts of moved bytes outside this range are not copied.
constexpr int64_t kMaxMove = 8191;

// dst[dst_at, dst_at + count) = src[src_at, src_at + count), cut to both
// buffers. Negative positions and counts copy nothing.
void CopyBounded(ByteBuffer& dst, int64_t dst_at, Bytes src, int64_t src_at, int64_t count) {
  if (dst_at < 0 || src_at < 0 || count <= 0) return;
  const int64_t dst_size = static_cast<int64_t>(dst.size());
  const int64_t src_size = static_cast<int64_t>(src.size());
  if (dst_at >= dst_size || src_at >= src_size) return;
  count = std::min({count, dst_size - dst_at, src_size - src_at});
  std::copy_n(src.begin() + src_at, count, dst.begin() + dst_at);
}

// The moves of the modify-columns image only happen for counts of 1..8191.
void MoveTail(ByteBuffer& dst, int64_t dst_at, Bytes src, int64_t src_at, int64_t count) {
  if (count >= 1 && count <= kMaxMove) CopyBounded(dst, dst_at, src, src_at, count);
}

}  // namespace

ByteBuffer ModifyRowRecordImage(Bytes record, const ModifyRowImage& change) {
  const int64_t t = static_cast<int64_t>(record.size());
  const int64_t replacement_length = static_cast<int64_t>(change.replacement.size());
  const int64_t prior_length = static_cast<int64_t>(change.prior.size());
  const int64_t offset = change.offset;
  const Bytes replacement(change.replacement);

  if (prior_length != 0 && prior_length < replacement_length) {
    // The row grows. (The prior bytes are what the page holds at the offset
    // already; the image takes nothing from that range.)
    ByteBuffer grown(static_cast<size_t>(t), 0);
    CopyBounded(grown, 0, record, 0, offset);
    CopyBounded(grown, offset, replacement, 0, replacement_length);
    CopyBounded(grown, offset + replacement_length, record, offset + prior_length, t);
    return grown;
  }
  if (prior_length > replacement_length && offset + prior_length <= t) {
    // The row shrinks: the rest of the row moves back behind the shorter
    // value (written in place it would leave the old value's tail in the
    // next column, as real shrinking updates show).
    ByteBuffer shrunk(static_cast<size_t>(t - (prior_length - replacement_length)), 0);
    CopyBounded(shrunk, 0, record, 0, offset);
    CopyBounded(shrunk, offset, replacement, 0, replacement_length);
    CopyBounded(shrunk, offset + replacement_length, record, offset + prior_length, t);
    return shrunk;
  }
  ByteBuffer image(record.begin(), record.end());
  if (replacement_length < t && offset < t && replacement_length + offset < t)
    CopyBounded(image, offset, replacement, 0, replacement_length);
  return image;
}

ByteBuffer ColumnChangesImage(Bytes record, const std::vector<ColumnChange>& changes) {
  const size_t t = record.size();
  ByteBuffer r(t, 0);
  size_t in = 0;   // read position in P
  size_t out = 0;  // write position in R
  auto put = [&](Bytes bytes) {
    const size_t n = std::min(bytes.size(), t - out);
    std::copy_n(bytes.begin(), n, r.begin() + static_cast<ptrdiff_t>(out));
    out += n;
  };
  for (const ColumnChange& c : changes) {
    if (c.after_offset < in || c.after_offset > t) return ByteBuffer(record.begin(), record.end());
    put(record.subspan(in, c.after_offset - in));
    put(c.before);
    in = std::min<size_t>(t, size_t{c.after_offset} + c.after_length);
  }
  put(record.subspan(in));
  return r;
}

ByteBuffer ModifyColumnsRecordImage(Bytes record, const ModifyColumnsImage& change) {
  if (!change.changes.empty()) return ColumnChangesImage(record, change.changes);
  const int64_t t = static_cast<int64_t>(record.size());
  const Bytes p = record;
  ByteBuffer r(record.begin(), record.end());
  Bytes values(change.values);
  const size_t range_count = change.ranges.size();

  for (size_t j = 0; j < 2 && j < range_count && j < change.new_lengths.size(); ++j) {
    const int64_t s = change.ranges[j].start;
    const int64_t e = change.ranges[j].end;
    const int64_t n = change.new_lengths[j];
    if (n < t && s + n < t) {
      int64_t d = std::llabs(s - e);
      int64_t g = 0;
      if (j + 1 < range_count) {
        const int64_t next_end = change.ranges[j + 1].end;
        g = next_end > s ? next_end - s : 0;
        if (g >= t) g = 0;
      }
      if (j == 1 && d == 0 && j + 1 < range_count) {
        const int64_t next_start = change.ranges[j + 1].start;
        const int64_t next_end = change.ranges[j + 1].end;
        d = next_start > next_end ? next_start - next_end : 0;
      }
      CopyBounded(r, s, values, 0, n);
      if (j == 0) {
        if (d != 0) {
          if (g != 0)
            MoveTail(r, s + n, p, s + e, g - d);
          else
            MoveTail(r, s + n, p, e + n, t - (s + d + n));
        } else {
          if (g != 0)
            MoveTail(r, s + n, p, e + n, g - n - s);
          else
            MoveTail(r, s + n, p, e + n, t - (s + n));
        }
      } else {
        MoveTail(r, s + n, p, n + e - d, t - (s + d + n));
      }
    }
    if (j == 0) {
      const int64_t pad = n % 4 == 0 ? 1 : 4 - n % 4;
      const int64_t advance = 2 * (n + pad);
      if (advance < t)
        values = advance < static_cast<int64_t>(values.size())
                     ? values.subspan(static_cast<size_t>(advance))
                     : Bytes();
    }
  }
  return r;
}

}  // namespace tarnwick
