#include "export/save_options.h"

#include <array>
#include <cstdio>

namespace tarnwick {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Days since 0001-01-01 of a date in the proleptic Gregorian calendar.
int64_t DayNumber(int year, int month, int day) {
  const int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// Reads exactly `width` digits at `at`; advances it.
std::optional<int> Digits(std::string_view text, size_t& at, size_t width) {
  if (at + width > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += width;
  return value;
}

bool Take(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// "HH:MM" or "HH:MM:SS" from `at` to the end of the text.
bool ParseClock(std::string_view text, size_t at, int& hour, int& minute, int& second) {
  const auto h = Digits(text, at, 2);
  if (!h || !Take(text, at, ':')) return false;
  const auto m = Digits(text, at, 2);
  if (!m) return false;
  second = 0;
  if (at < text.size()) {
    if (!Take(text, at, ':')) return false;
    const auto s = Digits(text, at, 2);
    if (!s) return false;
    second = *s;
  }
  hour = *h;
  minute = *m;
  return at == text.size();
}

}  // namespace

DateTimeValue DateTimeValue::Make(int year, int month, int day, int hour, int minute, int second) {
  DateTimeValue value;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return value;
  value = {true, year, month, day, hour, minute, second};
  return value;
}

int64_t DateTimeValue::Seconds() const {
  if (!valid) return 0;
  return DayNumber(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

DateTimeValue ParseIsoDateTime(std::string_view text) {
  size_t at = 0;
  const auto year = Digits(text, at, 4);
  if (!year || !Take(text, at, '-')) return {};
  const auto month = Digits(text, at, 2);
  if (!month || !Take(text, at, '-')) return {};
  const auto day = Digits(text, at, 2);
  if (!day) return {};
  int hour = 0, minute = 0, second = 0;
  if (at < text.size()) {
    if (!Take(text, at, 'T') && !Take(text, at, ' ')) return {};
    if (!ParseClock(text, at, hour, minute, second)) return {};
  }
  return DateTimeValue::Make(*year, *month, *day, hour, minute, second);
}

DateTimeValue ParseMonthFirstDateTime(std::string_view text) {
  size_t at = 0;
  const auto month = Digits(text, at, 2);
  if (!month || !Take(text, at, '/')) return {};
  const auto day = Digits(text, at, 2);
  if (!day || !Take(text, at, '/')) return {};
  const auto year = Digits(text, at, 4);
  if (!year) return {};
  int hour = 0, minute = 0, second = 0;
  if (at < text.size()) {
    if (!Take(text, at, ' ')) return {};
    if (!ParseClock(text, at, hour, minute, second)) return {};
  }
  return DateTimeValue::Make(*year, *month, *day, hour, minute, second);
}

std::string IsoText(const DateTimeValue& value) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", value.year, value.month,
                value.day, value.hour, value.minute, value.second);
  return text;
}

std::string LongDateText(const DateTimeValue& value) {
  static constexpr std::array<const char*, 7> kWeekdays = {
      "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
  static constexpr std::array<const char*, 12> kMonths = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  if (!value.valid) return {};
  // 0001-01-01 was a Monday.
  const int64_t weekday = DayNumber(value.year, value.month, value.day) % 7;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %s %02d, %04d", kWeekdays[static_cast<size_t>(weekday)],
                kMonths[static_cast<size_t>(value.month - 1)], value.day, value.year);
  return text;
}

std::optional<std::string> ConfirmSaveOptions(const SaveDialogInput& input, SaveOptions& stored) {
  if (!input.insert && !input.del && !input.update) return std::string(kSelectOperation);
  stored.insert = input.insert;
  stored.del = input.del;
  stored.update = input.update;
  if (input.server_destination && !input.connection_tested)
    return std::string(kTestConnectionFirst);
  stored.script_destination = !input.server_destination;
  if (!input.server_destination) {
    if (input.folder_text.empty()) return std::string(kBrowseScriptFolder);
    stored.script_folder = input.folder_text + "\\";
  }
  stored.save_constraints = input.save_constraints;
  return std::nullopt;
}

std::optional<std::string> CheckConnectionInput(bool sql_authentication, std::string_view user_name,
                                                std::string_view password) {
  if (!sql_authentication) return std::nullopt;
  if (user_name.empty()) return std::string(kEnterUserName);
  if (password.empty()) return std::string(kEnterPassword);
  return std::nullopt;
}

std::optional<std::string> CheckSaveCommand(size_t checked_items) {
  if (checked_items == 0) return std::string(kSelectTreeItem);
  return std::nullopt;
}

AddRangeResult AddDateRange(std::vector<DateRange>& ranges, const DateTimeValue& from,
                            const DateTimeValue& to) {
  if (to < from) return AddRangeResult::kEndBeforeStart;
  const std::string from_text = LongDateText(from);
  const std::string to_text = LongDateText(to);
  for (const DateRange& range : ranges)
    if (LongDateText(range.from) == from_text && LongDateText(range.to) == to_text)
      return AddRangeResult::kDuplicate;
  ranges.push_back({from, to});
  return AddRangeResult::kAdded;
}

bool RemoveDateRange(std::vector<DateRange>& ranges, int selection) {
  if (selection < 0 || static_cast<size_t>(selection) >= ranges.size()) return false;
  ranges.erase(ranges.begin() + selection);
  return true;
}

}  // namespace tarnwick
