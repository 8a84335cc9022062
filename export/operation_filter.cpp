#include "export/operation_filter.h"

#include "logreader/log_record.h"
#include "records/value_text.h"

namespace tarnwick {

OperationKind KindOfOperation(uint8_t operation_code) {
  switch (operation_code) {
    case kOpInsertRow:
      return OperationKind::kInsert;
    case kOpDeleteRow:
      return OperationKind::kDelete;
    case kOpModifyRow:
    case kOpModifyColumns:
      return OperationKind::kUpdate;
    default:
      return OperationKind::kNone;
  }
}

DateTimeValue BeginTimeValue(const BeginTime& begin_time) {
  return ParseMonthFirstDateTime(
      DateTimeText(Bytes(begin_time.data(), begin_time.size()), DateTimePattern::kMonthFirst));
}

bool InDateRanges(const DateTimeValue& value, std::span<const DateRange> ranges) {
  for (const DateRange& range : ranges) {
    if (!value.valid) return false;
    if (!range.from.valid || !range.to.valid) continue;
    if ((value > range.from && value < range.to) || value == range.from || value == range.to)
      return true;
  }
  return false;
}

bool OperationFilter::AcceptOperation(const LogOperation& operation) const {
  bool admitted = false;
  switch (KindOfOperation(operation.operation)) {
    case OperationKind::kInsert:
      admitted = options_.insert;
      break;
    case OperationKind::kDelete:
      admitted = options_.del;
      break;
    case OperationKind::kUpdate:
      admitted = options_.update;
      break;
    case OperationKind::kNone:
      return false;
  }
  if (!admitted) return false;
  // The kind decides first only because it is cheaper: both tests must pass.
  if (options_.date_ranges.empty()) return true;
  return InDateRanges(BeginTimeValue(operation.beginTime), options_.date_ranges);
}

}  // namespace tarnwick
