// The filter of the save: operation kinds against the ticked flags, and the
// date ranges against the transactions' begin times.
#include "export/operation_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

// The 8 begin-time bytes of a date and time of day (ticks of 1/300 s).
BeginTime Begin(uint32_t days_since_1900, uint32_t seconds) {
  BeginTime t{};
  const uint32_t ticks = seconds * 300;
  for (int i = 0; i < 4; ++i) {
    t[i] = static_cast<uint8_t>(ticks >> (8 * i));
    t[4 + i] = static_cast<uint8_t>(days_since_1900 >> (8 * i));
  }
  return t;
}

constexpr uint32_t kMay1 = 45411;  // 2024-05-01

LogOperation Operation(uint8_t code, BeginTime begin = Begin(kMay1, 12 * 3600)) {
  LogOperation op;
  op.operation = code;
  op.beginTime = begin;
  return op;
}

DateTimeValue At(int day, int hour, int minute = 0, int second = 0) {
  return DateTimeValue::Make(2024, 5, day, hour, minute, second);
}

TEST(OperationFilter, KindsAgainstFlags) {
  struct Case {
    const char* flags;
    bool insert, del, update;
    // Accepted for the codes 2, 3, 4, 5, 6, 0, 128.
    std::string accepted;
  } cases[] = {
      {"none", false, false, false, "-------"},  {"INSERT", true, false, false, "I------"},
      {"DELETE", false, true, false, "-D-----"}, {"UPDATE", false, false, true, "--U-U--"},
      {"all", true, true, true, "IDU-U--"},
  };
  const uint8_t codes[] = {2, 3, 4, 5, 6, 0, 128};
  for (const Case& c : cases) {
    SaveOptions options;
    options.insert = c.insert;
    options.del = c.del;
    options.update = c.update;
    const OperationFilter filter(options);
    std::string accepted;
    for (uint8_t code : codes) {
      const OperationKind kind = KindOfOperation(code);
      const char mark = kind == OperationKind::kInsert   ? 'I'
                        : kind == OperationKind::kDelete ? 'D'
                                                         : 'U';
      accepted.push_back(filter.AcceptOperation(Operation(code)) ? mark : '-');
    }
    EXPECT_EQ(accepted, c.accepted) << c.flags;
  }
}

TEST(OperationFilter, BeginTimeReadsBackToTheSecond) {
  EXPECT_EQ(BeginTimeValue(Begin(kMay1, 13 * 3600 + 45 * 60 + 10)), At(1, 13, 45, 10));
  EXPECT_EQ(BeginTimeValue(Begin(0, 0)), DateTimeValue::Make(1900, 1, 1));
  // Milliseconds are dropped by the text: 299 ticks are still second 0.
  BeginTime almost = Begin(kMay1, 0);
  almost[0] = 43;
  almost[1] = 1;
  EXPECT_EQ(BeginTimeValue(almost), At(1, 0));
  // A date after 9999 has no text to read back.
  EXPECT_FALSE(BeginTimeValue(Begin(3000000, 0)).valid);
}

TEST(OperationFilter, DateRanges) {
  const DateTimeValue noon = At(1, 12);
  const DateTimeValue invalid;
  struct Case {
    const char* name;
    DateTimeValue value;
    std::vector<DateRange> ranges;
    bool in;
  } cases[] = {
      {"inside", noon, {{At(1, 0), At(2, 0)}}, true},
      {"on From", noon, {{noon, At(2, 0)}}, true},
      {"on To", noon, {{At(1, 0), noon}}, true},
      {"From = To at the instant", noon, {{noon, noon}}, true},
      {"From = To a second later", noon, {{At(1, 12, 0, 1), At(1, 12, 0, 1)}}, false},
      {"between two ranges", noon, {{At(1, 0), At(1, 11)}, {At(1, 13), At(2, 0)}}, false},
      {"in the second range", noon, {{At(1, 0), At(1, 11)}, {At(1, 11), At(2, 0)}}, true},
      {"invalid value", invalid, {{At(1, 0), At(2, 0)}}, false},
      {"range with an invalid bound", noon, {{invalid, At(2, 0)}}, false},
      {"no ranges", noon, {}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(InDateRanges(c.value, c.ranges), c.in) << c.name;
}

TEST(OperationFilter, RangesApplyOnlyWhenListed) {
  SaveOptions options;
  options.insert = true;
  const OperationFilter filter(options);
  const LogOperation at_noon = Operation(2);
  const LogOperation out_of_range = Operation(2, Begin(3000000, 0));
  // An empty list lets every operation of a ticked kind through.
  EXPECT_TRUE(filter.AcceptOperation(at_noon));
  EXPECT_TRUE(filter.AcceptOperation(out_of_range));
  options.date_ranges = {{At(1, 12), At(1, 12)}};
  EXPECT_TRUE(filter.AcceptOperation(at_noon));
  EXPECT_FALSE(filter.AcceptOperation(out_of_range));
  options.date_ranges = {{At(2, 0), At(3, 0)}};
  EXPECT_FALSE(filter.AcceptOperation(at_noon));
}

}  // namespace
}  // namespace tarnwick
