// The save options: what OK stores and refuses, the connection-test and Save
// command checks, the date-range list and the date-time texts.
#include "export/save_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

TEST(SaveOptions, ConfirmStoresOrRefuses) {
  struct Case {
    const char* name;
    SaveDialogInput input;
    std::optional<std::string> message;
    // What is stored afterwards: the three flags, the destination, folder
    // and constraints flag.
    bool insert, del, update, script_destination;
    std::string folder;
    bool constraints;
  } cases[] = {
      {"only UPDATE to a script folder",
       {.update = true,
        .server_destination = false,
        .folder_text = "C:\\out",
        .save_constraints = true},
       std::nullopt,
       false,
       false,
       true,
       true,
       "C:\\out\\",
       true},
      {"no operation",
       {.server_destination = false, .folder_text = "C:\\out"},
       kSelectOperation,
       false,
       false,
       false,
       false,
       "",
       false},
      {"server before a successful test",
       {.insert = true, .del = true},
       kTestConnectionFirst,
       true,
       true,
       false,
       false,
       "",
       false},
      {"server after a test",
       {.insert = true, .connection_tested = true, .save_constraints = true},
       std::nullopt,
       true,
       false,
       false,
       false,
       "",
       true},
      {"script folder empty",
       {.del = true, .server_destination = false},
       kBrowseScriptFolder,
       false,
       true,
       false,
       true,
       "",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveOptions stored;
    EXPECT_EQ(ConfirmSaveOptions(c.input, stored), c.message);
    EXPECT_EQ(stored.insert, c.insert);
    EXPECT_EQ(stored.del, c.del);
    EXPECT_EQ(stored.update, c.update);
    EXPECT_EQ(stored.script_destination, c.script_destination);
    EXPECT_EQ(stored.script_folder, c.folder);
    EXPECT_EQ(stored.save_constraints, c.constraints);
  }
}

TEST(SaveOptions, CommandChecks) {
  EXPECT_EQ(CheckConnectionInput(true, "", "pw"), kEnterUserName);
  EXPECT_EQ(CheckConnectionInput(true, "sa", ""), kEnterPassword);
  EXPECT_EQ(CheckConnectionInput(true, "sa", "pw"), std::nullopt);
  EXPECT_EQ(CheckConnectionInput(false, "", ""), std::nullopt);
  EXPECT_EQ(CheckSaveCommand(0), kSelectTreeItem);
  EXPECT_EQ(CheckSaveCommand(1), std::nullopt);
}

TEST(SaveOptions, AddAndRemoveRanges) {
  const DateTimeValue may1 = DateTimeValue::Make(2024, 5, 1, 9);
  const DateTimeValue may1_later = DateTimeValue::Make(2024, 5, 1, 17);
  const DateTimeValue may2 = DateTimeValue::Make(2024, 5, 2, 9);
  std::vector<DateRange> ranges;
  struct Step {
    const char* name;
    DateTimeValue from, to;
    AddRangeResult result;
    size_t size_after;
  } steps[] = {
      {"a range", may1, may2, AddRangeResult::kAdded, 1},
      {"the same pair again", may1, may2, AddRangeResult::kDuplicate, 1},
      {"the same dates at other times", may1_later, may2, AddRangeResult::kDuplicate, 1},
      {"From = To", may1, may1, AddRangeResult::kAdded, 2},
      {"To before From", may2, may1, AddRangeResult::kEndBeforeStart, 2},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(AddDateRange(ranges, s.from, s.to), s.result);
    EXPECT_EQ(ranges.size(), s.size_after);
  }
  EXPECT_FALSE(RemoveDateRange(ranges, -1));
  EXPECT_FALSE(RemoveDateRange(ranges, 2));
  EXPECT_EQ(ranges.size(), 2u);
  EXPECT_TRUE(RemoveDateRange(ranges, 0));
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].to, may1);
}

TEST(SaveOptions, DateTimeTexts) {
  struct Case {
    const char* text;
    bool month_first;
    bool valid;
    const char* iso;
    const char* long_date;
  } cases[] = {
      {"2024-05-01T00:00:00", false, true, "2024-05-01T00:00:00", "Wednesday, May 01, 2024"},
      {"2024-05-01", false, true, "2024-05-01T00:00:00", "Wednesday, May 01, 2024"},
      {"2024-02-29 23:59", false, true, "2024-02-29T23:59:00", "Thursday, February 29, 2024"},
      {"0001-01-01T00:00:00", false, true, "0001-01-01T00:00:00", "Monday, January 01, 0001"},
      {"2023-02-29", false, false, "", ""},
      {"2024-05-01T24:00:00", false, false, "", ""},
      {"2024-5-1", false, false, "", ""},
      {"2024-05-01T10:00:00Z", false, false, "", ""},
      {"12/31/9999 23:59:59", true, true, "9999-12-31T23:59:59", "Friday, December 31, 9999"},
      {"05/31/2024", true, true, "2024-05-31T00:00:00", "Friday, May 31, 2024"},
      {" ", true, false, "", ""},
      {"", true, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const DateTimeValue value =
        c.month_first ? ParseMonthFirstDateTime(c.text) : ParseIsoDateTime(c.text);
    EXPECT_EQ(value.valid, c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(IsoText(value), c.iso);
    EXPECT_EQ(LongDateText(value), c.long_date);
  }
}

}  // namespace
}  // namespace tarnwick
