// The operations view without its widgets: which operations a tree item
// lists, a page of at most 1000 at a time, the texts of each row, the range
// text and the state of the "Next>>" and "<<Previous" commands.
//
// A front end calls List (double-click on a tree item), NextPage and
// PreviousPage, then shows rows(), statusText() and the enable flags; it
// empties the values list on each of these commands and shows kDoneMessage
// when NextPage says so. The view reads the operation list, which must not
// change while the view lives, and is not safe for use by two threads at
// once: a front end runs one listing at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logreader/log_operation.h"

namespace tarnwick {

inline constexpr size_t kOperationsPageSize = 1000;
// The item data of the tree's All item: every operation is listed.
inline constexpr int32_t kAllOperations = 0;
// Shown when Next is pressed on the last of several pages.
inline constexpr std::string_view kDoneMessage = "done.";
inline constexpr std::string_view kLoginName = "dbo";

// The operations list's columns, left to right, each this wide in pixels.
inline constexpr std::array<std::string_view, 5> kOperationColumns = {
    "Transaction", "Login Name", "Time", "Table Name", "Transaction Name"};
inline constexpr int kOperationColumnWidth = 200;

// Images of the 16 x 16 icon strip shown in a table's listing.
enum class OperationIcon : int8_t { kNone = -1, kUpdate = 0, kDelete = 1, kInsert = 2 };

// "Insert" (2), "Delete" (3), "Update" (4 and 6), any other code in decimal.
std::string OperationName(uint8_t operation);
OperationIcon IconOf(uint8_t operation);

// The 6-byte transaction id as "hhhh:llllllll" (the high 16 bits, then the
// low 32 bits, hexadecimal).
std::string TransactionIdText(const LogOperation& operation);

// "first rows to last" for page k (from 1) holding m rows: first is
// (k - 1) * 1000, last first + m.
std::string RangeText(uint64_t page, uint64_t rows_on_page);

// One row of the operations list.
struct OperationRow {
  // The operation's index in the operation list (the row's item data).
  size_t index = 0;
  std::string transaction;      // column 0, OperationName
  std::string loginName;        // column 1, always "dbo"
  std::string time;             // column 2, the transaction's begin time
  std::string tableName;        // column 3
  std::string transactionName;  // column 4
  std::string lsn;
  std::string transactionId;
  OperationIcon icon = OperationIcon::kNone;

  // The five column texts in kOperationColumns order.
  std::array<std::string_view, 5> Cells() const {
    return {transaction, loginName, time, tableName, transactionName};
  }
};

// The row of operation `index`; with_icon for a table's listing.
OperationRow MakeOperationRow(const OperationList& operations, size_t index, bool with_icon);

class OperationsView {
 public:
  // Indexes the operations of every table once (one pass over the list), so
  // that any page of any selection is found without walking the list.
  explicit OperationsView(const OperationList& operations);

  // Double-click on the tree's root: the list and the status text are
  // emptied; the paging state stays as it was.
  void ListRoot();
  // Double-click on the All item (kAllOperations) or a table item (its
  // object id): page 1 of that selection. The range text is set when the
  // page has a row; Next is enabled when more operations follow; Previous
  // keeps its state.
  void List(int32_t selection);
  // Page k of a selection, in the state that List and k - 1 NextPage calls
  // leave. False, with the list and the status text emptied and the paging
  // state kept, when the selection has no page k (page 1 always exists).
  bool ListPage(int32_t selection, uint64_t page);

  enum class NextResult {
    kNothing,  // a single page: nothing happens
    kShown,    // the next page is shown
    kDone,     // the last of several pages: show kDoneMessage; Next is disabled
  };
  NextResult NextPage();
  // True when a page was filled; false on page 1, which disables Previous
  // and enables Next.
  bool PreviousPage();

  const std::vector<OperationRow>& rows() const { return rows_; }
  // The range text of the page shown, or empty.
  const std::string& statusText() const { return status_; }
  bool nextEnabled() const { return next_enabled_; }
  bool previousEnabled() const { return previous_enabled_; }
  uint64_t page() const { return page_; }
  int32_t selection() const { return selection_; }

  // Number of operations of a selection, and of its pages (at least 1).
  size_t SelectionSize(int32_t selection) const;
  uint64_t PageCount(int32_t selection) const;

  // The operation of a clicked row's item data, or nullptr when it is not an
  // index of the operation list (nothing is shown then).
  const LogOperation* ClickedOperation(int64_t item_data) const;

 private:
  // The list positions of a selection's operations, in list order.
  struct Positions {
    const std::vector<uint32_t>* list = nullptr;  // nullptr: every operation
    size_t count = 0;
    size_t size() const { return count; }
    size_t At(size_t ordinal) const { return list ? (*list)[ordinal] : ordinal; }
    // The ordinal of the first operation at list index `start` or later.
    size_t LowerBound(size_t start) const;
  };
  Positions PositionsOf(int32_t selection) const;

  // Fills the current page from list index `start` and records the start of
  // the following page when more operations follow.
  void FillFrom(size_t start);
  void SetRangeText();

  const OperationList& operations_;
  std::unordered_map<int32_t, std::vector<uint32_t>> by_table_;

  int32_t selection_ = kAllOperations;
  // List index where each page reached so far starts; page k is entry k - 1.
  std::vector<size_t> page_starts_;
  uint64_t page_ = 1;
  std::vector<OperationRow> rows_;
  std::string status_;
  bool next_enabled_ = true;
  bool previous_enabled_ = false;
};

}  // namespace tarnwick
