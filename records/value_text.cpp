#include "records/value_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "records/binxml.h"

namespace tarnwick {
namespace {

// The text of a date or time whose fields are out of range.
constexpr std::string_view kOutOfRange = " ";

// Days from 0001-01-01 to 1900-01-01, the epoch of datetime and smalldatetime.
constexpr int64_t kDaysTo1900 = 693595;
// datetime shows no year before the first year it can hold.
constexpr int64_t kFirstDateTimeYear = 1753;
constexpr int64_t kLastYear = 9999;

constexpr std::array<int, 13> kMonthStarts = {0,   31,  59,  90,  120, 151, 181,
                                              212, 243, 273, 304, 334, 365};
constexpr std::array<int, 13> kLeapMonthStarts = {0,   31,  60,  91,  121, 152, 182,
                                                  213, 244, 274, 305, 335, 366};

template <typename Int>
void AppendInt(std::string& out, Int value) {
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

template <typename Int>
std::string IntText(Int value) {
  std::string out;
  AppendInt(out, value);
  return out;
}

// A non-negative number with at least `width` digits.
void AppendPadded(std::string& out, int64_t value, size_t width) {
  std::string digits = IntText(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

std::string HexText(Bytes bytes, bool prefix) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2 + 2);
  if (prefix) out = "0x";
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

// 8-bit character data up to its first 0 byte (the stored value is read as
// a terminated string). Bytes the code page lacks become U+FFFD; should the
// conversion itself fail, each byte is taken as the character of its value.
std::string AnsiText(Bytes bytes, int32_t code_page) {
  Bytes text = bytes.first(
      static_cast<size_t>(std::find(bytes.begin(), bytes.end(), uint8_t{0}) - bytes.begin()));
  try {
    return DecodeCodePage(text, code_page);
  } catch (...) {
    std::string out;
    for (uint8_t b : text) AppendUtf8(out, b);
    return out;
  }
}

// UTF-16LE character data up to its first 0 code unit.
std::string Utf16Text(Bytes bytes) {
  size_t length = bytes.size();
  // Only whole units inside the span are looked at; four at a time while
  // none of them is 0 (a 16-bit lane is 0 exactly when the test below sets
  // its top bit).
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, bytes.data() + i, sizeof w);
    if (((w - 0x0001000100010001ull) & ~w & 0x8000800080008000ull) != 0) break;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    if ((bytes[i] | bytes[i + 1]) == 0) {
      length = i;
      break;
    }
  }
  return Utf16LeToUtf8(bytes.first(length));
}

// ntext and the data of a sql_variant: UTF-16 when exactly half of the bytes
// are 0 (the high bytes of Latin text), else 8-bit text.
std::string HalfZeroText(Bytes bytes, int32_t code_page) {
  size_t zeros = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), uint8_t{0}));
  if (zeros * 2 == bytes.size()) return Utf16Text(bytes);
  return AnsiText(bytes, code_page);
}

std::string GuidText(Bytes bytes) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 16)) return {};
  // The first three groups are a little-endian uint32 and two uint16s.
  static constexpr std::array<int, 16> kOrder = {3, 2, 1,  0,  5,  4,  7,  6,
                                                 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out;
  for (size_t i = 0; i < kOrder.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    uint8_t b = reader.U8(static_cast<size_t>(kOrder[i]));
    out += HexText(Bytes(&b, 1), false);
  }
  return out;
}

std::string MoneyText(int64_t value) {
  // Four implied decimals.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string out;
  if (value < 0) out.push_back('-');
  AppendInt(out, magnitude / 10000);
  out.push_back('.');
  AppendPadded(out, static_cast<int64_t>(magnitude % 10000), 4);
  return out;
}

// Fixed notation with 15 - ceil(log10(x)) decimals, about 15 significant
// digits (six decimals when the value is not positive or above 1e15), then
// trailing zeros and a trailing point removed. Infinities and not-a-number
// give 0.
std::string FloatText(double value) {
  if (!std::isfinite(value)) return "0";
  int decimals = 6;
  if (value > 0) {
    double wanted = 15 - std::ceil(std::log10(value));
    if (wanted >= 0) decimals = static_cast<int>(wanted);
  }
  // The widest text: 309 integer digits, or "0." and 338 decimals of the
  // smallest subnormal.
  char buffer[1024];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "0";
  std::string out(buffer, result.ptr);
  if (out.find('.') != std::string::npos) {
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
  }
  return out;
}

// Six significant digits, general notation (the default stream form). A
// value that needs a negative exponent is shown as 0.
std::string RealText(float value) {
  double widened = value;
  if (!std::isfinite(widened)) return "0";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, widened, std::chars_format::general, 6);
  if (result.ec != std::errc()) return "0";
  std::string out(buffer, result.ptr);
  if (out.find("e-") != std::string::npos) return "0";
  return out;
}

// Byte 0 the sign (0 negative), then an unsigned little-endian magnitude of
// 4, 8, 12 or 16 bytes by precision. Bytes beyond the value count as 0.
std::string DecimalText(Bytes bytes, int precision, int scale) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 1)) return {};
  bool negative = reader.U8(0) == 0;
  size_t width = precision <= 9 ? 4 : precision <= 19 ? 8 : precision <= 28 ? 12 : 16;
  unsigned __int128 magnitude = 0;
  for (size_t i = width; i-- > 0;) magnitude = (magnitude << 8) | reader.U8(1 + i);

  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  std::reverse(digits.begin(), digits.end());

  size_t fraction_digits = static_cast<size_t>(scale);
  std::string whole;
  std::string fraction;
  if (fraction_digits == 0) {
    whole = digits;
  } else if (digits.size() <= fraction_digits) {
    whole = "0";
    fraction = std::string(fraction_digits - digits.size(), '0') + digits;
  } else {
    whole = digits.substr(0, digits.size() - fraction_digits);
    fraction = digits.substr(digits.size() - fraction_digits);
  }
  // The digits that count against the precision: a lone leading 0 of a pure
  // fraction does not.
  size_t counted = std::max(digits.size(), fraction_digits);
  size_t allowed = static_cast<size_t>(std::max(precision, 0));
  while (counted > allowed && !fraction.empty()) {
    fraction.pop_back();
    --counted;
  }
  if (counted > allowed) return {};

  std::string out;
  if (negative) out.push_back('-');
  out += whole;
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

// ---- Calendar ----

struct CivilDate {
  int64_t year = 0;
  int64_t month = 0;  // 1..12
  int64_t day = 0;    // 1..31
};

struct Clock {
  int64_t hour = 0;
  int64_t minute = 0;
  int64_t second = 0;
};

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days since 0001-01-01 (proleptic Gregorian; negative before it) through the
// 400-, 100-, 4- and 1-year cycles.
CivilDate DateFromDays(int64_t days) {
  int64_t cycles400 = days / 146097;
  days %= 146097;
  if (days < 0) {
    days += 146097;
    --cycles400;
  }
  int64_t cycles100 = std::min<int64_t>(days / 36524, 3);
  days -= cycles100 * 36524;
  int64_t cycles4 = days / 1461;
  days -= cycles4 * 1461;
  int64_t years = std::min<int64_t>(days / 365, 3);
  days -= years * 365;

  CivilDate date;
  date.year = cycles400 * 400 + cycles100 * 100 + cycles4 * 4 + years + 1;
  const auto& starts = IsLeapYear(date.year) ? kLeapMonthStarts : kMonthStarts;
  int month = 0;
  while (month < 11 && days >= starts[static_cast<size_t>(month) + 1]) ++month;
  date.month = month + 1;
  date.day = days - starts[static_cast<size_t>(month)] + 1;
  return date;
}

// C division: a negative count of seconds gives negative fields.
Clock ClockFromSeconds(int64_t seconds) {
  return Clock{seconds / 3600, seconds / 60 % 60, seconds % 60};
}

bool YearInRange(const CivilDate& date) { return date.year >= 0 && date.year <= kLastYear; }

bool ClockInRange(const Clock& clock) {
  return clock.hour >= 0 && clock.hour <= 23 && clock.minute >= 0 && clock.minute <= 59 &&
         clock.second >= 0 && clock.second <= 59;
}

void AppendDate(std::string& out, const CivilDate& date, DateTimePattern pattern) {
  if (pattern == DateTimePattern::kYearFirst) {
    AppendPadded(out, date.year, 4);
    out.push_back('-');
    AppendPadded(out, date.month, 2);
    out.push_back('-');
    AppendPadded(out, date.day, 2);
  } else {
    AppendPadded(out, date.month, 2);
    out.push_back('/');
    AppendPadded(out, date.day, 2);
    out.push_back('/');
    AppendPadded(out, date.year, 4);
  }
}

void AppendClock(std::string& out, const Clock& clock) {
  AppendPadded(out, clock.hour, 2);
  out.push_back(':');
  AppendPadded(out, clock.minute, 2);
  out.push_back(':');
  AppendPadded(out, clock.second, 2);
}

// The time part of time, datetime2 and datetimeoffset: an unsigned count of
// 10^-scale seconds since midnight.
struct TimeOfDay {
  Clock clock;
  uint64_t fraction = 0;
};

TimeOfDay TimeFromUnits(Bytes bytes, int scale) {
  ByteReader reader(bytes);
  uint64_t units = reader.Unsigned(0, std::min<size_t>(bytes.size(), 8));
  uint64_t seconds = 0;
  TimeOfDay time;
  if (scale >= 20) {
    // 10^scale exceeds every 64-bit count: all of it is fraction.
    time.fraction = units;
  } else {
    uint64_t unit = 1;
    for (int i = 0; i < scale; ++i) unit *= 10;
    time.fraction = units % unit;
    seconds = units / unit;
  }
  int64_t signed_seconds = static_cast<int64_t>(
      std::min<uint64_t>(seconds, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())));
  time.clock = ClockFromSeconds(signed_seconds);
  return time;
}

void AppendFraction(std::string& out, const TimeOfDay& time, int scale) {
  if (scale <= 0) return;
  out.push_back('.');
  AppendInt(out, time.fraction);
}

std::string DateText(Bytes bytes) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 3)) return {};
  CivilDate date = DateFromDays(static_cast<int64_t>(reader.Unsigned(0, 3)));
  if (!YearInRange(date)) return std::string(kOutOfRange);
  std::string out;
  AppendDate(out, date, DateTimePattern::kYearFirst);
  return out;
}

std::string TimeText(Bytes bytes, int scale) {
  if (bytes.empty()) return {};
  TimeOfDay time = TimeFromUnits(bytes, scale);
  if (!ClockInRange(time.clock)) return std::string(kOutOfRange);
  std::string out;
  AppendClock(out, time.clock);
  AppendFraction(out, time, scale);
  return out;
}

// Time (L - 3 bytes), then a 24-bit day count since 0001-01-01.
std::string DateTime2Text(Bytes bytes, int scale) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 3)) return {};
  size_t time_width = bytes.size() - 3;
  TimeOfDay time = TimeFromUnits(reader.Span(0, time_width), scale);
  CivilDate date = DateFromDays(static_cast<int64_t>(reader.Unsigned(time_width, 3)));
  if (!YearInRange(date) || !ClockInRange(time.clock)) return std::string(kOutOfRange);
  std::string out;
  AppendDate(out, date, DateTimePattern::kYearFirst);
  out.push_back(' ');
  AppendClock(out, time.clock);
  AppendFraction(out, time, scale);
  return out;
}

// Time (L - 5 bytes), a 24-bit day count, then an int16 offset in minutes.
// The offset moves the clock but never the day.
std::string DateTimeOffsetText(Bytes bytes, int scale) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 5)) return {};
  size_t time_width = bytes.size() - 5;
  TimeOfDay time = TimeFromUnits(reader.Span(0, time_width), scale);
  CivilDate date = DateFromDays(static_cast<int64_t>(reader.Unsigned(time_width, 3)));
  int64_t offset = reader.I16(time_width + 3);
  int64_t minutes = time.clock.minute + offset;
  time.clock.hour += minutes / 60;
  time.clock.minute = minutes % 60;
  if (!YearInRange(date) || !ClockInRange(time.clock)) return std::string(kOutOfRange);
  std::string out;
  AppendDate(out, date, DateTimePattern::kYearFirst);
  out.push_back(' ');
  AppendClock(out, time.clock);
  if (scale > 0) {
    AppendFraction(out, time, scale);
    out += "  +";
  } else {
    out += " +";
  }
  AppendInt(out, offset / 60);
  out.push_back(':');
  AppendInt(out, offset % 60);
  return out;
}

// int16 minutes since midnight, then uint16 days since 1900-01-01.
std::string SmallDateTimeText(Bytes bytes) {
  ByteReader reader(bytes);
  if (!reader.Has(0, 4)) return {};
  Clock clock = ClockFromSeconds(int64_t{reader.I16(0)} * 60);
  CivilDate date = DateFromDays(kDaysTo1900 + reader.U16(2));
  if (!YearInRange(date) || !ClockInRange(clock)) return std::string(kOutOfRange);
  std::string out;
  AppendDate(out, date, DateTimePattern::kYearFirst);
  out.push_back(' ');
  AppendClock(out, clock);
  return out;
}

std::string BitText(bool set) { return set ? "True" : "False"; }

// The value length of a fixed column: the type table's storage length, the
// declared length for the datetime2 family (it depends on the scale), and
// for numeric the declared length when there is one (its 19 is the widest).
int64_t FixedValueLength(const ColumnTypeInfo& column) {
  switch (column.code) {
    case typeCode::kTime:
    case typeCode::kDateTime2:
    case typeCode::kDateTimeOffset:
    case typeCode::kNumeric:
      if (column.declared_length > 0) return column.declared_length;
      break;
    default:
      break;
  }
  return StorageLength(column.code, column.declared_length);
}

std::string BitValueText(const ColumnTypeInfo& column, const ByteReader& available,
                         int64_t& occupied) {
  if (column.variable) {
    // A chunk of its own (sparse entry): exactly one byte, bit 0.
    occupied = static_cast<int64_t>(available.size());
    if (available.size() != 1) return {};
    return BitText((available.U8(0) & 1) != 0);
  }
  BitReader fresh;
  BitReader& bits = column.bits != nullptr ? *column.bits : fresh;
  if (bits.index < 0 || bits.index >= 8) bits.loaded = false;
  occupied = 0;
  if (!bits.loaded) {
    // The first bit column of a group of eight takes the byte.
    occupied = 1;
    if (!available.Has(0, 1)) return {};
    bits.current = available.U8(0);
    bits.index = 0;
    bits.loaded = true;
  }
  bool set = ((bits.current >> bits.index) & 1) != 0;
  ++bits.index;
  return BitText(set);
}

std::string RenderValue(const ColumnTypeInfo& column, Bytes available, int64_t& occupied) {
  occupied = 0;
  if (!IsTypeCode(static_cast<int32_t>(column.code))) return {};
  ByteReader all(available);
  if (column.code == typeCode::kBit) return BitValueText(column, all, occupied);

  int64_t length =
      column.variable ? static_cast<int64_t>(available.size()) : FixedValueLength(column);
  occupied = length;
  if (length < 0 || !all.Has(0, static_cast<size_t>(length))) return {};
  ByteReader value = all.Sub(0, static_cast<size_t>(length));
  Bytes bytes = value.bytes();
  int scale = column.scale;

  switch (column.code) {
    case typeCode::kBigInt:
      return IntText(value.I64(0));
    case typeCode::kBinary:
    case typeCode::kTimestamp:
    case typeCode::kHierarchyId:
    case typeCode::kClr:
      return HexText(bytes, true);
    case typeCode::kChar:
    case typeCode::kVarChar:
    case typeCode::kText:
      return AnsiText(bytes, column.code_page);
    case typeCode::kDateTime:
      return DateTimeText(bytes);
    case typeCode::kDate:
      return DateText(bytes);
    case typeCode::kTime:
      return TimeText(bytes, scale);
    case typeCode::kDateTime2:
      return DateTime2Text(bytes, scale);
    case typeCode::kDateTimeOffset:
      return DateTimeOffsetText(bytes, scale);
    case typeCode::kInt:
      return IntText(value.I32(0));
    case typeCode::kNChar:
    case typeCode::kNVarChar:
      return Utf16Text(bytes);
    case typeCode::kRowId: {
      // page int32, file id int16, slot int16; shown page/file/slot.
      std::string out = IntText(value.I32(0));
      out.push_back('/');
      AppendInt(out, value.I16(4));
      out.push_back('/');
      AppendInt(out, value.I16(6));
      return out;
    }
    case typeCode::kSmallInt:
      return IntText(value.I16(0));
    case typeCode::kTinyInt:
      return IntText(value.U8(0));
    case typeCode::kUniqueIdentifier:
      return GuidText(bytes);
    case typeCode::kVarBinary:
    case typeCode::kGeometry:
      return HexText(bytes, false);
    case typeCode::kNText:
      return HalfZeroText(bytes, column.code_page);
    case typeCode::kSqlVariant:
      // Past the 8-byte header of a character variant (base type, version,
      // maximum length, collation).
      if (bytes.size() <= 8) return {};
      return HalfZeroText(bytes.subspan(8), column.code_page);
    case typeCode::kMoney:
      return MoneyText(value.I64(0));
    case typeCode::kFloat:
      return FloatText(std::bit_cast<double>(value.U64(0)));
    case typeCode::kNumeric:
    case typeCode::kDecimal:
      return DecimalText(bytes, column.precision, scale);
    case typeCode::kSmallDateTime:
      return SmallDateTimeText(bytes);
    case typeCode::kReal:
      return RealText(std::bit_cast<float>(value.U32(0)));
    case typeCode::kSmallMoney:
      return MoneyText(value.I32(0));
    case typeCode::kXml: {
      std::string text = BinaryXmlToText(bytes);
      return text.empty() ? std::string(kOutOfRange) : text;
    }
    case typeCode::kSysName:
    case typeCode::kImage:
    case typeCode::kBit:
      return {};
  }
  return {};
}

std::string RenderVariant(Bytes value, int32_t code_page) {
  ByteReader reader(value);
  size_t total = value.size();
  if (total < 1) return {};
  switch (reader.U8(0)) {
    case 36:  // uniqueidentifier
      return total == 18 ? GuidText(reader.Span(2, 16)) : std::string();
    case 40:  // date
      return total == 5 ? DateText(reader.Span(2, 3)) : std::string();
    case 41:  // time: byte 2 the scale, then the time
      return total >= 3 ? TimeText(reader.From(3).bytes(), reader.U8(2)) : std::string();
    case 42:  // datetime2
      return total >= 3 ? DateTime2Text(reader.From(3).bytes(), reader.U8(2)) : std::string();
    case 43:  // datetimeoffset
      return total >= 3 ? DateTimeOffsetText(reader.From(3).bytes(), reader.U8(2)) : std::string();
    case 48:  // tinyint
      return total == 3 ? IntText(reader.U8(2)) : std::string();
    case 52:  // smallint
      return total == 4 ? IntText(reader.I16(2)) : std::string();
    case 56:  // int
      return total == 6 ? IntText(reader.I32(2)) : std::string();
    case 58:  // smalldatetime
      return total == 6 ? SmallDateTimeText(reader.Span(2, 4)) : std::string();
    case 59:  // real
      return total == 6 ? RealText(std::bit_cast<float>(reader.U32(2))) : std::string();
    case 60:  // money
      return total == 10 ? MoneyText(reader.I64(2)) : std::string();
    case 61:  // datetime
      return total == 10 ? DateTimeText(reader.Span(2, 8)) : std::string();
    case 62:  // float
      return total == 10 ? FloatText(std::bit_cast<double>(reader.U64(2))) : std::string();
    case 104:  // bit
      return total == 3 ? BitText(reader.U8(2) != 0) : std::string();
    case 106:  // decimal, numeric: precision, scale, then sign and magnitude
    case 108:
      return total >= 5 ? DecimalText(reader.From(4).bytes(), reader.U8(2), reader.U8(3))
                        : std::string();
    case 122:  // smallmoney
      return total == 6 ? MoneyText(reader.I32(2)) : std::string();
    case 127:  // bigint
      return total == 10 ? IntText(reader.I64(2)) : std::string();
    case 165:  // varbinary, binary: maximum length, then the data
    case 173:
      return HexText(reader.From(4).bytes(), true);
    case 167:  // varchar, char: maximum length, collation, then the data
    case 175:
      return AnsiText(reader.From(8).bytes(), code_page);
    case 231:  // nvarchar, nchar
    case 239:
      return Utf16Text(reader.From(8).bytes());
    case 240:  // CLR types
      return HexText(reader.From(2).bytes(), true);
    default:
      return {};
  }
}

}  // namespace

int32_t DeclaredLength(std::string_view type_text) {
  size_t open = type_text.rfind('(');
  if (open == std::string_view::npos) return 0;
  size_t close = type_text.find(')', open);
  if (close == std::string_view::npos) return 0;
  std::string_view inside = type_text.substr(open + 1, close - open - 1);
  if (inside == "max" || inside == "MAX") return -1;
  int32_t value = 0;
  auto result = std::from_chars(inside.data(), inside.data() + inside.size(), value);
  if (result.ec != std::errc() || result.ptr != inside.data() + inside.size()) return 0;
  return value;
}

std::string ValueText(const ColumnTypeInfo& column, Bytes available, int64_t* occupied) {
  int64_t used = 0;
  std::string text;
  try {
    text = RenderValue(column, available, used);
  } catch (...) {
    text.clear();
  }
  if (occupied != nullptr) *occupied = used;
  return text;
}

std::string SqlVariantText(Bytes value, int32_t code_page) {
  try {
    return RenderVariant(value, code_page);
  } catch (...) {
    return {};
  }
}

std::string DateTimeText(Bytes value, DateTimePattern pattern) {
  ByteReader reader(value);
  if (!reader.Has(0, 8)) return {};
  // Ticks of 1/300 s, scaled by 0.00333333335 and truncated toward zero: the
  // factor rounds up just enough that 300 ticks make a whole second.
  int64_t seconds = static_cast<int64_t>(reader.I32(0) * 0.00333333335);
  CivilDate date = DateFromDays(kDaysTo1900 + reader.I32(4));
  if (date.year < kFirstDateTimeYear) date.year = kFirstDateTimeYear;
  Clock clock = ClockFromSeconds(seconds);
  bool date_only = clock.hour < 0 || clock.hour > 23;
  if (!YearInRange(date) || (!date_only && !ClockInRange(clock))) {
    return std::string(kOutOfRange);
  }
  std::string out;
  AppendDate(out, date, pattern);
  if (!date_only) {
    out.push_back(' ');
    AppendClock(out, clock);
  }
  return out;
}

}  // namespace tarnwick
