// Which recovered operations a save writes: the operation kinds ticked in
// the save options and, when any were added, the date ranges.
//
//   operation code           kind                    admitted by
//   2                        insert                  INSERT
//   3                        delete                  DELETE
//   4 (modify row)           update                  UPDATE
//   6 (modify columns)       update                  UPDATE
//   any other                none                    never saved
//
// The date of an operation is its transaction's begin time, rendered as
// the "%m/%d/%Y %X" datetime text and read back, so it counts to the second.
#pragma once

#include <cstdint>
#include <span>

#include "export/save_options.h"
#include "logreader/log_operation.h"

namespace tarnwick {

enum class OperationKind { kNone, kInsert, kDelete, kUpdate };
OperationKind KindOfOperation(uint8_t operation_code);

// The begin time as the date filter sees it; invalid when its text does not
// read back as a date and time (a date beyond 9999 renders as " ").
DateTimeValue BeginTimeValue(const BeginTime& begin_time);

// Walks the ranges in order: an invalid value ends the walk with false; a
// value inside a range (From and To included) ends it with true; no range
// matching gives false. A range with an invalid bound matches nothing.
bool InDateRanges(const DateTimeValue& value, std::span<const DateRange> ranges);

// The filter of one save; the options must outlive it.
class OperationFilter {
 public:
  explicit OperationFilter(const SaveOptions& options) : options_(options) {}

  // True when the operation's rows are to be written: with an empty range
  // list every operation of a ticked kind, else those in a range.
  bool AcceptOperation(const LogOperation& operation) const;

 private:
  const SaveOptions& options_;
};

}  // namespace tarnwick
