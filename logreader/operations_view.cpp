#include "logreader/operations_view.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "logreader/log_record.h"
#include "records/value_text.h"

namespace tarnwick {

std::string OperationName(uint8_t operation) {
  switch (operation) {
    case kOpInsertRow:
      return "Insert";
    case kOpDeleteRow:
      return "Delete";
    case kOpModifyRow:
    case kOpModifyColumns:
      return "Update";
    default:
      return std::to_string(operation);
  }
}

OperationIcon IconOf(uint8_t operation) {
  switch (operation) {
    case kOpInsertRow:
      return OperationIcon::kInsert;
    case kOpDeleteRow:
      return OperationIcon::kDelete;
    case kOpModifyRow:
    case kOpModifyColumns:
      return OperationIcon::kUpdate;
    default:
      return OperationIcon::kNone;
  }
}

std::string TransactionIdText(const LogOperation& operation) {
  const TransactionId id = operation.Transaction();
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%08x", static_cast<unsigned>(id >> 32),
                static_cast<unsigned>(id & 0xFFFFFFFFu));
  return text;
}

std::string RangeText(uint64_t page, uint64_t rows_on_page) {
  const uint64_t first = (page == 0 ? 0 : page - 1) * kOperationsPageSize;
  char text[64];
  std::snprintf(text, sizeof text, "%llu rows to %llu", static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(first + rows_on_page));
  return text;
}

OperationRow MakeOperationRow(const OperationList& operations, size_t index, bool with_icon) {
  const LogOperation& op = operations[index];
  OperationRow row;
  row.index = index;
  row.transaction = OperationName(op.operation);
  row.loginName = kLoginName;
  row.time = DateTimeText(Bytes(op.beginTime.data(), op.beginTime.size()));
  row.tableName = operations.TableName(op);
  row.transactionName = operations.TransactionName(op);
  row.lsn = op.Lsn().Text();
  row.transactionId = TransactionIdText(op);
  row.icon = with_icon ? IconOf(op.operation) : OperationIcon::kNone;
  return row;
}

OperationsView::OperationsView(const OperationList& operations) : operations_(operations) {
  if (operations.size() > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("operation list too long for the operations view");
  }
  // Operations of one table mostly come in runs: look the table up once per run.
  int32_t last_id = 0;
  std::vector<uint32_t>* last = nullptr;
  const OperationVector& ops = operations.operations();
  for (size_t i = 0; i < ops.size(); ++i) {
    if (last == nullptr || ops[i].objectId != last_id) {
      last_id = ops[i].objectId;
      last = &by_table_[last_id];
    }
    last->push_back(static_cast<uint32_t>(i));
  }
  page_starts_.assign(1, 0);
}

size_t OperationsView::Positions::LowerBound(size_t start) const {
  if (list == nullptr) return std::min(start, count);
  return static_cast<size_t>(
      std::lower_bound(list->begin(), list->end(), start,
                       [](uint32_t position, size_t s) { return position < s; }) -
      list->begin());
}

OperationsView::Positions OperationsView::PositionsOf(int32_t selection) const {
  if (selection == kAllOperations) return {nullptr, operations_.size()};
  auto it = by_table_.find(selection);
  if (it == by_table_.end()) return {nullptr, 0};
  return {&it->second, it->second.size()};
}

size_t OperationsView::SelectionSize(int32_t selection) const {
  return PositionsOf(selection).size();
}

uint64_t OperationsView::PageCount(int32_t selection) const {
  const size_t n = SelectionSize(selection);
  return n == 0 ? 1 : (n + kOperationsPageSize - 1) / kOperationsPageSize;
}

const LogOperation* OperationsView::ClickedOperation(int64_t item_data) const {
  if (item_data < 0 || static_cast<uint64_t>(item_data) >= operations_.size()) return nullptr;
  return &operations_[static_cast<size_t>(item_data)];
}

void OperationsView::FillFrom(size_t start) {
  rows_.clear();
  const Positions positions = PositionsOf(selection_);
  const size_t first = positions.LowerBound(start);
  const size_t end = std::min(first + kOperationsPageSize, positions.size());
  const bool with_icon = selection_ != kAllOperations;
  rows_.reserve(end - first);
  for (size_t i = first; i < end; ++i) {
    rows_.push_back(MakeOperationRow(operations_, positions.At(i), with_icon));
  }
  // The operation after a full page starts the next one.
  if (end < positions.size() && page_starts_.size() == page_) {
    page_starts_.push_back(positions.At(end));
  }
}

void OperationsView::SetRangeText() { status_ = RangeText(page_, rows_.size()); }

void OperationsView::ListRoot() {
  rows_.clear();
  status_.clear();
}

void OperationsView::List(int32_t selection) {
  rows_.clear();
  status_.clear();
  selection_ = selection;
  page_starts_.assign(1, 0);
  page_ = 1;
  FillFrom(0);
  if (!rows_.empty()) SetRangeText();
  if (page_starts_.size() > 1) next_enabled_ = true;
}

bool OperationsView::ListPage(int32_t selection, uint64_t page) {
  if (page == 0 || page > PageCount(selection)) {
    ListRoot();
    return false;
  }
  if (page == 1) {
    List(selection);
    return true;
  }
  rows_.clear();
  status_.clear();
  selection_ = selection;
  const Positions positions = PositionsOf(selection);
  page_starts_.assign(1, 0);
  for (uint64_t k = 2; k <= page; ++k) {
    page_starts_.push_back(positions.At((k - 1) * kOperationsPageSize));
  }
  page_ = page;
  FillFrom(page_starts_.back());
  SetRangeText();
  next_enabled_ = true;
  previous_enabled_ = true;
  return true;
}

OperationsView::NextResult OperationsView::NextPage() {
  status_.clear();
  if (page_starts_.size() <= 1) return NextResult::kNothing;
  if (page_starts_.size() == page_) {
    // page_ > 1 here: a single page was handled above.
    next_enabled_ = false;
    return NextResult::kDone;
  }
  next_enabled_ = true;
  previous_enabled_ = true;
  ++page_;
  FillFrom(page_starts_[page_ - 1]);
  SetRangeText();
  return NextResult::kShown;
}

bool OperationsView::PreviousPage() {
  status_.clear();
  if (page_ <= 1) {
    previous_enabled_ = false;
    next_enabled_ = true;
    return false;
  }
  next_enabled_ = true;
  --page_;
  FillFrom(page_starts_[page_ - 1]);
  SetRangeText();
  if (page_ == 1) previous_enabled_ = false;
  return true;
}

}  // namespace tarnwick
