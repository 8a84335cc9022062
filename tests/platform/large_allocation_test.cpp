// SegmentedVector: entries stay where they were put across block
// boundaries, and copies, moves and clear keep the sequence intact.
#include "platform/large_allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace tarnwick {
namespace {

struct Entry {
  uint64_t key = 0;
  uint32_t value = 0;
};

uint32_t ValueOf(size_t i) { return static_cast<uint32_t>(i * 2654435761u); }

TEST(SegmentedVector, KeepsEntriesAndTheirAddressesAcrossBlocks) {
  SegmentedVector<Entry> v;
  const size_t per_block = SegmentedVector<Entry>::kPerBlock;
  const size_t count = 3 * per_block + 17;
  const Entry* where_put = nullptr;
  for (size_t i = 0; i < count; ++i) {
    v.push_back({i, ValueOf(i)});
    if (i == per_block) where_put = &v[i];
  }
  ASSERT_EQ(v.size(), count);
  // Growing did not move an entry of a block after the first.
  EXPECT_EQ(&v[per_block], where_put);
  for (size_t i : {size_t{0}, per_block - 1, per_block, 2 * per_block, count - 1}) {
    EXPECT_EQ(v[i].key, i);
    EXPECT_EQ(v.at(i).value, ValueOf(i));
  }
  EXPECT_THROW(v.at(count), std::out_of_range);
  size_t seen = 0;
  for (const Entry& e : v) {
    if (e.key != seen || e.value != ValueOf(seen)) break;
    ++seen;
  }
  EXPECT_EQ(seen, count);
  EXPECT_EQ(v.end() - v.begin(), static_cast<std::ptrdiff_t>(count));
  auto found = std::lower_bound(v.begin(), v.end(), uint64_t{count / 2},
                                [](const Entry& e, uint64_t k) { return e.key < k; });
  EXPECT_EQ(found->key, count / 2);
}

TEST(SegmentedVector, CopyMoveAndClear) {
  SegmentedVector<Entry> v;
  const size_t count = SegmentedVector<Entry>::kPerBlock + 5;
  for (size_t i = 0; i < count; ++i) v.push_back({i, ValueOf(i)});
  SegmentedVector<Entry> copy = v;
  SegmentedVector<Entry> moved = std::move(v);
  EXPECT_TRUE(v.empty());
  ASSERT_EQ(copy.size(), count);
  ASSERT_EQ(moved.size(), count);
  EXPECT_EQ(copy[count - 1].value, ValueOf(count - 1));
  EXPECT_EQ(moved[count - 1].value, ValueOf(count - 1));
  moved.clear();
  EXPECT_TRUE(moved.empty());
  moved.push_back({7, 8});
  EXPECT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].value, 8u);
  EXPECT_EQ(copy[0].key, 0u);
}

// Append of one sequence after another: every combination of a short and a
// long first part (a small first block, a partly filled large block, full
// blocks) with a short and a long second part gives the entries in order,
// with entries pushed after the append, copies and a second append.
TEST(SegmentedVector, AppendKeepsTheOrderOfBothParts) {
  const size_t per_block = SegmentedVector<Entry>::kPerBlock;
  struct Case {
    size_t first, second;
  } cases[] = {
      {0, 5},
      {5, 0},
      {5, 7},
      {5, 2 * per_block + 3},
      {per_block, per_block},
      {per_block + 9, per_block},
      {2 * per_block - 1, 3 * per_block + 1},
      {per_block + 9, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + " + " + std::to_string(c.second));
    SegmentedVector<Entry> a, b;
    for (size_t i = 0; i < c.first; ++i) a.push_back({i, ValueOf(i)});
    for (size_t i = c.first; i < c.first + c.second; ++i) b.push_back({i, ValueOf(i)});
    const Entry* moved_entry = c.second > per_block ? &b[per_block] : nullptr;
    a.Append(std::move(b));
    EXPECT_TRUE(b.empty());
    const size_t total = c.first + c.second;
    // Large blocks of the second part were taken over where they lie.
    if (moved_entry && c.first > 0) {
      EXPECT_EQ(&a[c.first + per_block], moved_entry);
    }
    for (size_t i = total; i < total + per_block + 3; ++i) a.push_back({i, ValueOf(i)});
    const size_t all = total + per_block + 3;
    ASSERT_EQ(a.size(), all);
    size_t in_order = 0;
    for (const Entry& e : a) {
      if (e.key != in_order || e.value != ValueOf(in_order)) break;
      ++in_order;
    }
    EXPECT_EQ(in_order, all);
    SegmentedVector<Entry> copy = a;
    ASSERT_EQ(copy.size(), all);
    EXPECT_EQ(copy[all - 1].key, all - 1);
    // A second append onto a sequence with a junction copies.
    SegmentedVector<Entry> more;
    for (size_t i = all; i < all + per_block + 1; ++i) more.push_back({i, ValueOf(i)});
    a.Append(std::move(more));
    ASSERT_EQ(a.size(), all + per_block + 1);
    for (size_t i : {size_t{0}, total, all - 1, all, all + per_block}) {
      if (i < a.size()) {
        EXPECT_EQ(a[i].key, i);
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
