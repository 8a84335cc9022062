// The choices a save is made with, as the save-options dialog stores them in
// the run state, the dialog's checks with their messages, and the date-time
// values of the date ranges.
//
// The dialog itself belongs to the desktop program; what it does with its
// input is here, so that the command line makes the same checks with the
// same messages. The dialog's range list and the stored range list are one
// list: the dialog shows the stored ranges when it opens, and Remove takes
// out the entry of the selected row.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Messages (caption "Tarnwick", information icon).
inline constexpr const char* kSelectTreeItem = "Please select atleast one item from tree to save";
inline constexpr const char* kSelectOperation = "Please select at least one operation to be saved";
inline constexpr const char* kTestConnectionFirst =
    "Please test your database connection successfully before proceeding";
inline constexpr const char* kBrowseScriptFolder = "Please browse save location for script file";
inline constexpr const char* kEndBeforeStart = "End date should be greater than Start date";
inline constexpr const char* kEnterUserName = "Please enter username";
inline constexpr const char* kEnterPassword = "Please enter password";
inline constexpr const char* kWaitForTest = "Please wait until current process is running.";

// A date and time of day to the second, with its validity status. Invalid
// values compare as nothing in particular; the date filter tests validity
// first.
struct DateTimeValue {
  bool valid = false;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

  // Nothing valid when a field is out of range (years 1..9999).
  static DateTimeValue Make(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0);
  // Seconds since 0001-01-01 00:00:00.
  int64_t Seconds() const;

  friend bool operator==(const DateTimeValue& a, const DateTimeValue& b) {
    return a.valid == b.valid && a.Seconds() == b.Seconds();
  }
  friend auto operator<=>(const DateTimeValue& a, const DateTimeValue& b) {
    return a.Seconds() <=> b.Seconds();
  }
};

// "2024-05-01", "2024-05-01T13:45", "2024-05-01T13:45:10" (a blank may
// stand for the "T"). Invalid for anything else.
DateTimeValue ParseIsoDateTime(std::string_view text);
// The text of the "%m/%d/%Y %X" pattern as the datetime text gives it,
// "05/31/2024 13:45:10", or the date alone (midnight). Invalid otherwise.
DateTimeValue ParseMonthFirstDateTime(std::string_view text);
// "2024-05-01T13:45:10".
std::string IsoText(const DateTimeValue& value);
// The "%A, %B %d, %Y" text of the range list: "Wednesday, May 01, 2024".
std::string LongDateText(const DateTimeValue& value);

struct DateRange {
  DateTimeValue from;
  DateTimeValue to;
};

// The choices stored on OK, and the range list that Add and Remove keep.
struct SaveOptions {
  bool insert = false;
  bool del = false;
  bool update = false;
  // True when the server destination is not chosen.
  bool script_destination = false;
  // The folder edit's text followed by "\\" (the dialog's form, whatever
  // separator the path itself uses).
  std::string script_folder;
  bool save_constraints = false;
  std::vector<DateRange> date_ranges;

  bool AnyOperation() const { return insert || del || update; }
};

// What the dialog holds when OK is pressed.
struct SaveDialogInput {
  bool insert = false;
  bool del = false;
  bool update = false;
  // The "Save in Sql Server Database:" radio button is set.
  bool server_destination = true;
  bool connection_tested = false;
  std::string folder_text{};
  bool save_constraints = false;
};

// The OK command: stores the choices in order and stops at the first
// failed check, returning its message (the dialog stays open); nothing when
// every choice is stored. A failed OK stores at most the operation flags.
std::optional<std::string> ConfirmSaveOptions(const SaveDialogInput& input, SaveOptions& stored);

// The Test command's checks with SQL Server authentication.
std::optional<std::string> CheckConnectionInput(bool sql_authentication, std::string_view user_name,
                                                std::string_view password);

// The Save command's check: at least one checked tree item.
std::optional<std::string> CheckSaveCommand(size_t checked_items);

enum class AddRangeResult {
  kAdded,
  kEndBeforeStart,  // show kEndBeforeStart; nothing added
  kDuplicate,       // a row with the same two texts exists; nothing added
};

// The Add command: To earlier than From is refused; a range whose From and
// To texts (LongDateText) equal those of a listed range is not added again.
AddRangeResult AddDateRange(std::vector<DateRange>& ranges, const DateTimeValue& from,
                            const DateTimeValue& to);
// The Remove command with the list's selection mark (-1: none). False when
// nothing was removed.
bool RemoveDateRange(std::vector<DateRange>& ranges, int selection);

}  // namespace tarnwick
