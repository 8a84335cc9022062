#include "logreader/operations_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logreader/log_record.h"

namespace tarnwick {
namespace {

constexpr int32_t kAlbums = 245575913;
constexpr int32_t kGenres = 277576027;

BeginTime Time(int32_t days, int32_t ticks) {
  BeginTime t{};
  for (int i = 0; i < 4; ++i) {
    t[i] = static_cast<uint8_t>(static_cast<uint32_t>(ticks) >> (8 * i));
    t[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(days) >> (8 * i));
  }
  return t;
}

void Add(OperationList& list, int32_t object_id, uint8_t code = kOpInsertRow) {
  LogOperation op;
  op.objectId = object_id;
  op.allocationUnitId = static_cast<uint64_t>(object_id);  // one rowset per table
  op.operation = code;
  list.NameRowset(op.allocationUnitId, list.InternName(object_id == kAlbums ? "Albums" : "Genres"));
  op.transactionName = list.InternName("user_transaction");
  op.recordIndex = static_cast<int32_t>(list.size() % 7);
  list.Append(op);
}

// `count` operations of Albums with a Genres operation after every third.
OperationList Interleaved(size_t count) {
  OperationList list;
  for (size_t i = 0; i < count; ++i) {
    Add(list, kAlbums);
    if (i % 3 == 0) Add(list, kGenres);
  }
  return list;
}

std::vector<size_t> PositionsOf(const OperationList& list, int32_t selection) {
  std::vector<size_t> out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (selection == kAllOperations || list[i].objectId == selection) out.push_back(i);
  }
  return out;
}

std::vector<size_t> Indexes(const OperationsView& view) {
  std::vector<size_t> out;
  for (const OperationRow& row : view.rows()) out.push_back(row.index);
  return out;
}

TEST(OperationsView, OperationNamesAndIcons) {
  struct Case {
    uint8_t code;
    const char* name;
    OperationIcon icon;
  };
  const Case cases[] = {
      {2, "Insert", OperationIcon::kInsert}, {3, "Delete", OperationIcon::kDelete},
      {4, "Update", OperationIcon::kUpdate}, {6, "Update", OperationIcon::kUpdate},
      {5, "5", OperationIcon::kNone},        {0, "0", OperationIcon::kNone},
      {128, "128", OperationIcon::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OperationName(c.code), c.name) << int(c.code);
    EXPECT_EQ(IconOf(c.code), c.icon) << int(c.code);
  }
}

TEST(OperationsView, RangeTexts) {
  struct Case {
    uint64_t page;
    uint64_t rows;
    const char* text;
  };
  const Case cases[] = {
      {1, 1000, "0 rows to 1000"},
      {2, 1, "1000 rows to 1001"},
      {1, 7, "0 rows to 7"},
      {3, 17, "2000 rows to 2017"},
      {5000, 1000, "4999000 rows to 5000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(RangeText(c.page, c.rows), c.text);
}

TEST(OperationsView, RowTexts) {
  OperationList list;
  LogOperation op;
  op.objectId = kAlbums;
  op.allocationUnitId = 72057594038321152;
  op.operation = kOpModifyColumns;
  list.NameRowset(op.allocationUnitId, list.InternName("Albums"));
  op.transactionName = list.InternName("user_transaction");
  op.beginTime = Time(41184, 16774200);  // 2012-10-04 15:31:54
  op.transactionId = {0xE8, 0x03, 0x00, 0x00, 0x01, 0x00};
  op.vlfSequence = 0x1f;
  op.blockOffset = 0x10;
  op.recordIndex = 2;
  list.Append(op);

  OperationRow row = MakeOperationRow(list, 0, true);
  EXPECT_EQ(row.index, 0u);
  EXPECT_EQ(row.transaction, "Update");
  EXPECT_EQ(row.loginName, "dbo");
  EXPECT_EQ(row.time, "2012-10-04 15:31:54");
  EXPECT_EQ(row.tableName, "Albums");
  EXPECT_EQ(row.transactionName, "user_transaction");
  EXPECT_EQ(row.lsn, "0000001f:00000010:0002");
  EXPECT_EQ(row.transactionId, "0001:000003e8");
  EXPECT_EQ(row.icon, OperationIcon::kUpdate);
  EXPECT_EQ(MakeOperationRow(list, 0, false).icon, OperationIcon::kNone);

  auto cells = row.Cells();
  ASSERT_EQ(cells.size(), kOperationColumns.size());
  EXPECT_EQ(cells[0], "Update");
  EXPECT_EQ(cells[2], "2012-10-04 15:31:54");
  EXPECT_EQ(cells[4], "user_transaction");
}

// Listing then pressing Next until it stops: the range texts of the pages
// shown, what the last Next said, and every row index in order.
struct Walk {
  std::vector<std::string> ranges;
  OperationsView::NextResult end;
  std::vector<size_t> indexes;
  bool next_after = false;
};

Walk WalkPages(OperationsView& view, int32_t selection) {
  Walk w;
  view.List(selection);
  w.ranges.push_back(view.statusText());
  w.indexes = Indexes(view);
  for (;;) {
    OperationsView::NextResult r = view.NextPage();
    if (r != OperationsView::NextResult::kShown) {
      w.end = r;
      break;
    }
    w.ranges.push_back(view.statusText());
    for (size_t i : Indexes(view)) w.indexes.push_back(i);
    EXPECT_LE(view.rows().size(), kOperationsPageSize);
  }
  w.next_after = view.nextEnabled();
  return w;
}

TEST(OperationsView, PagingBySelectionSize) {
  using R = OperationsView::NextResult;
  struct Case {
    size_t count;
    std::vector<std::string> ranges;
    R end;
  };
  const Case cases[] = {
      {0, {""}, R::kNothing},
      {1, {"0 rows to 1"}, R::kNothing},
      {999, {"0 rows to 999"}, R::kNothing},
      {1000, {"0 rows to 1000"}, R::kNothing},
      {1001, {"0 rows to 1000", "1000 rows to 1001"}, R::kDone},
      {2000, {"0 rows to 1000", "1000 rows to 2000"}, R::kDone},
      {2001, {"0 rows to 1000", "1000 rows to 2000", "2000 rows to 2001"}, R::kDone},
  };
  for (const Case& c : cases) {
    // The table's operations are interleaved with another table's.
    OperationList list = Interleaved(c.count);
    OperationsView view(list);
    Walk w = WalkPages(view, kAlbums);
    EXPECT_EQ(w.ranges, c.ranges) << c.count;
    EXPECT_EQ(w.end, c.end) << c.count;
    EXPECT_EQ(w.indexes, PositionsOf(list, kAlbums)) << c.count;
    EXPECT_EQ(view.PageCount(kAlbums), c.ranges.size()) << c.count;
    // Only "done." disables Next.
    EXPECT_EQ(w.next_after, c.end != R::kDone) << c.count;

    // The All item lists every operation in log order.
    OperationsView all(list);
    Walk a = WalkPages(all, kAllOperations);
    EXPECT_EQ(a.indexes, PositionsOf(list, kAllOperations)) << c.count;
  }
}

TEST(OperationsView, ThousandAndOneOperations) {
  OperationList list = Interleaved(1001);
  OperationsView view(list);
  EXPECT_TRUE(view.nextEnabled());
  EXPECT_FALSE(view.previousEnabled());

  view.List(kAlbums);
  const std::vector<size_t> page1 = Indexes(view);
  ASSERT_EQ(page1.size(), 1000u);
  EXPECT_EQ(view.statusText(), "0 rows to 1000");
  EXPECT_TRUE(view.nextEnabled());

  EXPECT_EQ(view.NextPage(), OperationsView::NextResult::kShown);
  EXPECT_EQ(view.page(), 2u);
  ASSERT_EQ(view.rows().size(), 1u);
  EXPECT_EQ(view.rows()[0].index, PositionsOf(list, kAlbums).back());
  EXPECT_EQ(view.statusText(), "1000 rows to 1001");
  EXPECT_TRUE(view.previousEnabled());

  // Next on the last page: "done.", Next disabled, the page stays listed.
  EXPECT_EQ(view.NextPage(), OperationsView::NextResult::kDone);
  EXPECT_FALSE(view.nextEnabled());
  EXPECT_EQ(view.rows().size(), 1u);
  EXPECT_EQ(view.statusText(), "");

  // Previous returns to the same 1000 rows of the same selection.
  EXPECT_TRUE(view.PreviousPage());
  EXPECT_EQ(Indexes(view), page1);
  EXPECT_EQ(view.statusText(), "0 rows to 1000");
  EXPECT_TRUE(view.nextEnabled());
  EXPECT_FALSE(view.previousEnabled());

  // Previous on page 1 only sets the buttons.
  EXPECT_FALSE(view.PreviousPage());
  EXPECT_EQ(Indexes(view), page1);
  EXPECT_FALSE(view.previousEnabled());
  EXPECT_TRUE(view.nextEnabled());

  // And Next works again from the recorded start.
  EXPECT_EQ(view.NextPage(), OperationsView::NextResult::kShown);
  EXPECT_EQ(view.statusText(), "1000 rows to 1001");
}

TEST(OperationsView, ExactlyAThousandLeavesTheListOnNext) {
  OperationList list = Interleaved(1000);
  OperationsView view(list);
  view.List(kAlbums);
  const std::vector<size_t> page1 = Indexes(view);
  EXPECT_EQ(view.NextPage(), OperationsView::NextResult::kNothing);
  EXPECT_EQ(Indexes(view), page1);
  EXPECT_EQ(view.page(), 1u);
  EXPECT_EQ(view.statusText(), "");  // the status box is emptied all the same
}

TEST(OperationsView, TableAndAllListings) {
  OperationList list;
  Add(list, kAlbums, kOpInsertRow);
  Add(list, kGenres, kOpDeleteRow);
  Add(list, kAlbums, 5);
  Add(list, kGenres, kOpModifyRow);
  Add(list, kAlbums, kOpDeleteRow);
  OperationsView view(list);

  view.List(kAlbums);
  ASSERT_EQ(Indexes(view), (std::vector<size_t>{0, 2, 4}));
  EXPECT_EQ(view.rows()[0].icon, OperationIcon::kInsert);
  EXPECT_EQ(view.rows()[1].transaction, "5");
  EXPECT_EQ(view.rows()[1].icon, OperationIcon::kNone);
  EXPECT_EQ(view.rows()[2].icon, OperationIcon::kDelete);
  for (const OperationRow& row : view.rows()) {
    EXPECT_EQ(row.tableName, "Albums");
    EXPECT_EQ(row.loginName, "dbo");
  }

  view.List(kAllOperations);
  ASSERT_EQ(Indexes(view), (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(view.rows()[2].transaction, "5");
  EXPECT_EQ(view.rows()[3].transaction, "Update");
  EXPECT_EQ(view.rows()[3].tableName, "Genres");
  for (const OperationRow& row : view.rows()) EXPECT_EQ(row.icon, OperationIcon::kNone);
  EXPECT_EQ(view.statusText(), "0 rows to 5");

  // A table without operations: an empty page and no range text.
  view.List(12345);
  EXPECT_TRUE(view.rows().empty());
  EXPECT_EQ(view.statusText(), "");
  EXPECT_EQ(view.SelectionSize(12345), 0u);
  EXPECT_EQ(view.PageCount(12345), 1u);
}

TEST(OperationsView, RootEmptiesTheListAndKeepsThePaging) {
  OperationList list = Interleaved(1500);
  OperationsView view(list);
  view.List(kAlbums);
  view.ListRoot();
  EXPECT_TRUE(view.rows().empty());
  EXPECT_EQ(view.statusText(), "");
  EXPECT_EQ(view.selection(), kAlbums);
  EXPECT_EQ(view.NextPage(), OperationsView::NextResult::kShown);
  EXPECT_EQ(view.statusText(), "1000 rows to 1500");
}

TEST(OperationsView, ListPageMatchesPagingThere) {
  OperationList list = Interleaved(3500);
  for (int32_t selection : {kAlbums, kGenres, kAllOperations}) {
    OperationsView paged(list);
    paged.List(selection);
    for (uint64_t k = 1; k <= paged.PageCount(selection); ++k) {
      if (k > 1) {
        ASSERT_EQ(paged.NextPage(), OperationsView::NextResult::kShown);
      }
      OperationsView direct(list);
      ASSERT_TRUE(direct.ListPage(selection, k)) << selection << " " << k;
      EXPECT_EQ(Indexes(direct), Indexes(paged)) << selection << " " << k;
      EXPECT_EQ(direct.statusText(), paged.statusText());
      EXPECT_EQ(direct.page(), k);
      EXPECT_EQ(direct.nextEnabled(), paged.nextEnabled());
      EXPECT_EQ(direct.previousEnabled(), paged.previousEnabled());
      // From there the two go on alike.
      EXPECT_EQ(direct.NextPage(), paged.NextPage());
      EXPECT_EQ(Indexes(direct), Indexes(paged));
      EXPECT_EQ(direct.PreviousPage(), paged.PreviousPage());
      EXPECT_EQ(Indexes(direct), Indexes(paged));
      paged.List(selection);
      for (uint64_t j = 2; j <= k; ++j) paged.NextPage();
    }
  }
  OperationsView view(list);
  EXPECT_EQ(view.PageCount(kAlbums), 4u);
  EXPECT_FALSE(view.ListPage(kAlbums, 5));
  EXPECT_FALSE(view.ListPage(kAlbums, 0));
  EXPECT_TRUE(view.rows().empty());
  EXPECT_TRUE(view.ListPage(12345, 1));  // an empty selection has its page 1
}

TEST(OperationsView, ClickedOperation) {
  OperationList list = Interleaved(2);
  OperationsView view(list);
  EXPECT_EQ(view.ClickedOperation(-1), nullptr);
  EXPECT_EQ(view.ClickedOperation(static_cast<int64_t>(list.size())), nullptr);
  EXPECT_EQ(view.ClickedOperation(1), &list[1]);
}

}  // namespace
}  // namespace tarnwick
