// SegmentedVector: entries stay where they were put across block
// boundaries, and copies, moves and clear keep the sequence intact.
#include "platform/large_allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
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

}  // namespace
}  // namespace tarnwick
