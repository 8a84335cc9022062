#include "records/binxml.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"

namespace tarnwick {
namespace {

// Token bytes.
constexpr uint8_t kSqlSmallInt = 0x01;
constexpr uint8_t kSqlInt = 0x02;
constexpr uint8_t kSqlReal = 0x03;
constexpr uint8_t kSqlFloat = 0x04;
constexpr uint8_t kSqlMoney = 0x05;
constexpr uint8_t kSqlBit = 0x06;
constexpr uint8_t kSqlTinyInt = 0x07;
constexpr uint8_t kSqlBigInt = 0x08;
constexpr uint8_t kSqlUuid = 0x09;
constexpr uint8_t kSqlDecimal = 0x0A;
constexpr uint8_t kSqlNumeric = 0x0B;
constexpr uint8_t kSqlBinary = 0x0C;
constexpr uint8_t kSqlChar = 0x0D;
constexpr uint8_t kSqlNChar = 0x0E;
constexpr uint8_t kSqlVarBinary = 0x0F;
constexpr uint8_t kSqlVarChar = 0x10;
constexpr uint8_t kSqlNVarChar = 0x11;
constexpr uint8_t kSqlDateTime = 0x12;
constexpr uint8_t kSqlSmallDateTime = 0x13;
constexpr uint8_t kSqlSmallMoney = 0x14;
constexpr uint8_t kSqlText = 0x16;
constexpr uint8_t kSqlImage = 0x17;
constexpr uint8_t kSqlNText = 0x18;
constexpr uint8_t kSqlUdt = 0x1B;
constexpr uint8_t kXsdTimeOffset = 0x7A;
constexpr uint8_t kXsdDateTimeOffset = 0x7B;
constexpr uint8_t kXsdDateOffset = 0x7C;
constexpr uint8_t kXsdTime2 = 0x7D;
constexpr uint8_t kXsdDateTime2 = 0x7E;
constexpr uint8_t kXsdDate2 = 0x7F;
constexpr uint8_t kXsdTime = 0x81;
constexpr uint8_t kXsdDateTime = 0x82;
constexpr uint8_t kXsdDate = 0x83;
constexpr uint8_t kXsdBinHex = 0x84;
constexpr uint8_t kXsdBase64 = 0x85;
constexpr uint8_t kXsdBoolean = 0x86;
constexpr uint8_t kXsdDecimal = 0x87;
constexpr uint8_t kXsdByte = 0x88;
constexpr uint8_t kXsdUnsignedShort = 0x89;
constexpr uint8_t kXsdUnsignedInt = 0x8A;
constexpr uint8_t kXsdUnsignedLong = 0x8B;
constexpr uint8_t kXsdQName = 0x8C;
constexpr uint8_t kFlush = 0xE9;
constexpr uint8_t kExtension = 0xEA;
constexpr uint8_t kEndNest = 0xEB;
constexpr uint8_t kNest = 0xEC;
constexpr uint8_t kQNameDef = 0xEF;
constexpr uint8_t kNameDef = 0xF0;
constexpr uint8_t kCdataEnd = 0xF1;
constexpr uint8_t kCdata = 0xF2;
constexpr uint8_t kComment = 0xF3;
constexpr uint8_t kPi = 0xF4;
constexpr uint8_t kEndAttributes = 0xF5;
constexpr uint8_t kAttribute = 0xF6;
constexpr uint8_t kEndElement = 0xF7;
constexpr uint8_t kElement = 0xF8;
constexpr uint8_t kSubset = 0xF9;
constexpr uint8_t kPublic = 0xFA;
constexpr uint8_t kSystem = 0xFB;
constexpr uint8_t kDocType = 0xFC;
constexpr uint8_t kEncoding = 0xFD;
constexpr uint8_t kXmlDecl = 0xFE;

constexpr uint16_t kSignature = 0xFFDF;  // DF FF read little-endian
constexpr uint16_t kUtf16CodePage = 1200;
constexpr uint64_t kMaxMb32 = 0x7FFFFFFF;
constexpr uint64_t kMaxMb64 = 0x7FFFFFFFFFFFFFFF;
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

// Names are stored once and referenced by index, so a short input can repeat a long name many
// times. The text may grow this much beyond the input before conversion stops, which legitimate
// values (names a few dozen characters long) stay far below.
constexpr size_t kTextLimitFloor = size_t{1} << 20;
constexpr size_t kTextLimitPerInputByte = 64;

// Calendar constants: day numbers count from 0001-01-01 in the proleptic Gregorian calendar.
constexpr int64_t kDay1900 = 693595;                 // 1900-01-01, day 0 of datetime
constexpr int64_t kMinDateTimeDay = -53690;          // 1753-01-01, the first datetime day
constexpr int64_t kMaxDateTimeDay = 2958463;         // 9999-12-31 counted from 1900-01-01
constexpr int64_t kMaxDate2Day = 3652058;            // 9999-12-31
constexpr uint64_t kDateTimeTicksPerDay = 25920000;  // 300 a second
constexpr int64_t kTicksPerSecond = 10000000;        // 100 ns units of the date/time2 tokens
constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int kMaxZoneMinutes = 840;
constexpr int kMaxXsdYear = 9999;

bool IsMetadata(uint8_t token) {
  return token == kNameDef || token == kQNameDef || token == kFlush || token == kExtension;
}

bool IsAtomic(uint8_t token) {
  return (token >= kSqlSmallInt && token <= kSqlSmallMoney) || token == kSqlText ||
         token == kSqlImage || token == kSqlNText || token == kSqlUdt ||
         (token >= kXsdTimeOffset && token <= kXsdDate2) ||
         (token >= kXsdTime && token <= kXsdQName);
}

// ---- text helpers ----

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += attribute ? "&quot;" : "\"";
        break;
      case '\t':
        out += attribute ? "&#x9;" : "\t";
        break;
      case '\n':
        out += attribute ? "&#xA;" : "\n";
        break;
      case '\r':
        out += "&#xD;";
        break;
      default:
        out.push_back(c);
    }
  }
}

// A DOCTYPE literal, quoted with " unless it contains one.
std::string QuoteLiteral(std::string_view text) {
  char quote = text.find('"') == std::string_view::npos ? '"' : '\'';
  std::string out(1, quote);
  out += text;
  out.push_back(quote);
  return out;
}

void AppendDigits(std::string& out, uint64_t value, int width) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  size_t length = static_cast<size_t>(result.ptr - buffer);
  if (length < static_cast<size_t>(width)) out.append(width - length, '0');
  out.append(buffer, length);
}

std::string Base64(Bytes bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (rest == 2) v |= uint32_t{bytes[i + 1]} << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

void AppendHexByte(std::string& out, uint8_t byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

std::string Hex(Bytes bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) AppendHexByte(out, b);
  return out;
}

// The string form XQuery gives a cast of xs:float / xs:double to xs:string: plain decimal
// notation for 1e-6 <= |v| < 1e6, otherwise one digit, a point, at least one more digit, `E`
// and the exponent; the digits are the shortest that read back as the same value.
template <typename Float>
std::string FormatFloat(Float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return std::signbit(value) ? "-0.0E0" : "0.0E0";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
  std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));  // -d.ddde+XX
  std::string out;
  if (sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::string_view exp_text = sci.substr(e + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
  if (exponent >= -6 && exponent < 6) {
    if (exponent >= 0) {
      size_t whole = static_cast<size_t>(exponent) + 1;
      if (digits.size() < whole) digits.append(whole - digits.size(), '0');
      out += digits.substr(0, whole);
      if (digits.size() > whole) out += "." + digits.substr(whole);
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits[0];
    out += '.';
    out += digits.size() > 1 ? digits.substr(1) : "0";
    out += 'E';
    out += std::to_string(exponent);
  }
  return out;
}

// Four fraction digits, as SQL Server writes money in XML.
std::string FormatMoney(int64_t scaled) {
  uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : scaled;
  std::string out = scaled < 0 ? "-" : "";
  AppendDigits(out, magnitude / 10000, 1);
  out += '.';
  AppendDigits(out, magnitude % 10000, 4);
  return out;
}

// Decimal digits of an unsigned little-endian integer of 32-bit limbs.
std::string LimbsToDigits(std::vector<uint32_t> limbs) {
  std::string reversed;
  auto is_zero = [&] {
    for (uint32_t limb : limbs) {
      if (limb != 0) return false;
    }
    return true;
  };
  while (!is_zero()) {
    uint64_t remainder = 0;
    for (size_t i = limbs.size(); i-- > 0;) {
      uint64_t current = (remainder << 32) | limbs[i];
      limbs[i] = static_cast<uint32_t>(current / 1000000000);
      remainder = current % 1000000000;
    }
    for (int k = 0; k < 9; ++k) {
      reversed += static_cast<char>('0' + remainder % 10);
      remainder /= 10;
    }
  }
  while (reversed.size() > 1 && reversed.back() == '0') reversed.pop_back();
  if (reversed.empty()) reversed = "0";
  return std::string(reversed.rbegin(), reversed.rend());
}

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

// Proleptic Gregorian date of a day number counted from 0001-01-01 (which is day 0).
CivilDate CivilFromDays(int64_t days) {
  int64_t z = days - 719162 + 719468;  // to days since 0000-03-01
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

void AppendDate(std::string& out, int64_t year, int month, int day) {
  if (year < 0) out += '-';
  AppendDigits(out, year < 0 ? 0 - static_cast<uint64_t>(year) : year, 4);
  out += '-';
  AppendDigits(out, month, 2);
  out += '-';
  AppendDigits(out, day, 2);
}

void AppendDate(std::string& out, int64_t day_number) {
  CivilDate date = CivilFromDays(day_number);
  AppendDate(out, date.year, date.month, date.day);
}

void AppendClock(std::string& out, uint64_t hour, uint64_t minute, uint64_t second) {
  AppendDigits(out, hour, 2);
  out += ':';
  AppendDigits(out, minute, 2);
  out += ':';
  AppendDigits(out, second, 2);
}

// A fraction of `width` digits after a point; trailing zeros dropped when `trim`, and nothing
// at all when the fraction is zero.
void AppendFraction(std::string& out, uint64_t fraction, int width, bool trim) {
  if (fraction == 0) return;
  std::string digits;
  AppendDigits(digits, fraction, width);
  if (trim) {
    while (digits.back() == '0') digits.pop_back();
  }
  out += '.';
  out += digits;
}

// Time of day in 100 ns ticks (0 .. one day), seven fraction digits trimmed.
void AppendTimeOfDay(std::string& out, int64_t ticks) {
  uint64_t t = static_cast<uint64_t>(ticks);
  uint64_t seconds = t / kTicksPerSecond;
  AppendClock(out, seconds / 3600, seconds / 60 % 60, seconds % 60);
  AppendFraction(out, t % kTicksPerSecond, 7, true);
}

// `Z` for UTC, otherwise +hh:mm or -hh:mm.
void AppendZone(std::string& out, int64_t minutes_east) {
  if (minutes_east == 0) {
    out += 'Z';
    return;
  }
  out += minutes_east < 0 ? '-' : '+';
  uint64_t magnitude = minutes_east < 0 ? -minutes_east : minutes_east;
  AppendDigits(out, magnitude / 60, 2);
  out += ':';
  AppendDigits(out, magnitude % 60, 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && a < 0) ? 1 : 0); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

enum class ValueKind { kNone, kString, kTyped };

// Adjacent atomic values: strings join directly, anything else is an xs:list item separated by
// one space.
bool ListSeparator(ValueKind last, ValueKind kind) {
  return last != ValueKind::kNone && (last == ValueKind::kTyped || kind == ValueKind::kTyped);
}

// ---- decoder ----

// A qname's parts point into the decoder's name store, which never moves or frees a string.
struct QName {
  const std::string* uri;
  const std::string* prefix;
  const std::string* local;
};

struct NameTables {
  std::vector<const std::string*> names;  // index 0 is ""
  std::vector<QName> qnames;              // index 0 is never valid
};

// One document level: the top document, or a nested one.
struct Frame {
  size_t element_base;  // elements open when the document began
  bool declaration_allowed = true;
  bool doctype_allowed = true;
};

struct OpenElement {
  std::string name;
  std::vector<std::string> declared;  // prefixes this element binds
};

struct Binding {
  std::string uri;
  size_t depth;  // number of open elements when bound; 0 for the built-in bindings
};

class Decoder {
 public:
  // The text goes to `out`, so that it survives an exception thrown by the decoder.
  Decoder(Bytes bytes, std::string& out) : in_(bytes), out_(out) {
    size_t per_byte_room =
        (std::numeric_limits<size_t>::max() - kTextLimitFloor) / kTextLimitPerInputByte;
    text_limit_ = kTextLimitFloor + std::min(bytes.size(), per_byte_room) * kTextLimitPerInputByte;
    empty_ = &store_.emplace_back();
    scope_[""].push_back({"", 0});
    scope_["xml"].push_back({std::string(kXmlNamespace), 0});
  }

  void Run() {
    if (!Header()) return;
    PushDocument();
    while (!AtEnd() && Room() && Step()) {
    }
  }

 private:
  // ---- primitives ----
  bool AtEnd() const { return pos_ >= in_.size(); }
  bool Room() const { return out_.size() <= text_limit_; }
  uint8_t PeekByte() const { return in_.U8(pos_); }

  bool Byte(uint8_t& value) {
    if (AtEnd()) return false;
    value = in_.U8(pos_++);
    return true;
  }

  bool Fixed(size_t width, uint64_t& value) {
    if (!in_.Has(pos_, width)) return false;
    value = in_.Unsigned(pos_, width);
    pos_ += width;
    return true;
  }

  bool Mb(uint64_t max, int max_bytes, uint64_t& value) {
    value = 0;
    for (int i = 0; i < max_bytes; ++i) {
      uint8_t byte;
      if (!Byte(byte)) return false;
      int shift = 7 * i;
      uint64_t group = byte & 0x7F;
      // Bits the field cannot hold mean corrupt data (for mb32, a 5th byte above 07).
      if (group > (max >> shift)) return false;
      value |= group << shift;
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }
  bool Mb32(uint64_t& value) { return Mb(kMaxMb32, 5, value); }
  bool Length(bool wide, uint64_t& value) { return wide ? Mb(kMaxMb64, 10, value) : Mb32(value); }

  bool Take(uint64_t length, Bytes& out) {
    if (length > in_.size() || !in_.Has(pos_, static_cast<size_t>(length))) return false;
    out = in_.Span(pos_, static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return true;
  }

  // textdata: a count of UTF-16 code units, then the units.
  bool Text(bool wide, std::string& out) {
    uint64_t units;
    Bytes bytes;
    if (!Length(wide, units) || units > in_.size() / 2 || !Take(units * 2, bytes)) return false;
    out = Utf16LeToUtf8(bytes);
    return true;
  }

  bool Blob(bool wide, Bytes& out) {
    uint64_t length;
    return Length(wide, length) && Take(length, out);
  }

  // codepagetext: a byte length that counts the 4-byte code page, the code page, the text.
  bool CodePageText(bool wide, std::string& out) {
    Bytes bytes;
    if (!Blob(wide, bytes) || bytes.size() < 4) return false;
    ByteReader reader(bytes);
    uint32_t code_page = reader.U32(0);
    Bytes text = reader.Span(4, bytes.size() - 4);
    out = code_page == kUtf16CodePage ? Utf16LeToUtf8(text)
                                      : DecodeCodePage(text, static_cast<int>(code_page));
    return true;
  }

  // decimal: length 7/11/15/19, precision, scale, sign, magnitude in 32-bit limbs.
  bool Decimal(bool canonical, std::string& out) {
    uint64_t length;
    Bytes bytes;
    if (!Mb32(length) || (length != 7 && length != 11 && length != 15 && length != 19) ||
        !Take(length, bytes)) {
      return false;
    }
    ByteReader reader(bytes);
    uint8_t precision = reader.U8(0);
    uint8_t scale = reader.U8(1);
    uint8_t sign = reader.U8(2);
    if (precision > 38 || scale > precision || sign > 1) return false;
    std::vector<uint32_t> limbs;
    for (size_t offset = 3; offset < bytes.size(); offset += 4) limbs.push_back(reader.U32(offset));
    std::string digits = LimbsToDigits(std::move(limbs));
    bool zero = digits == "0";
    if (digits.size() < size_t{scale} + 1) digits.insert(0, scale + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - scale);
    std::string fraction = digits.substr(digits.size() - scale);
    if (canonical) {
      while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    }
    out = sign == 0 && !zero ? "-" : "";
    out += whole;
    if (!fraction.empty()) out += "." + fraction;
    return true;
  }

  // sqltime: scale, then a count of 10^-scale seconds in 3, 4 or 5 bytes; as 100 ns ticks.
  bool SqlTime(int64_t& ticks) {
    uint8_t scale;
    uint64_t count;
    if (!Byte(scale) || scale > 7) return false;
    size_t width = scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
    if (!Fixed(width, count)) return false;
    int64_t unit = 1;
    for (int i = scale; i < 7; ++i) unit *= 10;
    ticks = static_cast<int64_t>(count) * unit;
    return true;
  }

  bool SqlDate(int64_t& days) {
    uint64_t value;
    if (!Fixed(3, value) || value > kMaxDate2Day) return false;
    days = static_cast<int64_t>(value);
    return true;
  }

  bool SqlZone(int64_t& minutes) {
    uint64_t value;
    if (!Fixed(2, value)) return false;
    minutes = static_cast<int16_t>(value);
    return minutes >= -kMaxZoneMinutes && minutes <= kMaxZoneMinutes;
  }

  // The 1900-based datetime: days, then ticks of 1/300 s rounded to milliseconds.
  bool SqlDateTime(std::string& out) {
    uint64_t days_raw, ticks;
    if (!Fixed(4, days_raw) || !Fixed(4, ticks)) return false;
    int64_t days = static_cast<int32_t>(days_raw);
    if (days < kMinDateTimeDay || days > kMaxDateTimeDay || ticks >= kDateTimeTicksPerDay) {
      return false;
    }
    uint64_t ms = (ticks * 10 + 1) / 3;  // round(ticks / 0.3)
    AppendDate(out, kDay1900 + days);
    out += 'T';
    AppendClock(out, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    AppendFraction(out, ms % 1000, 3, false);
    return true;
  }

  bool SqlSmallDateTime(std::string& out) {
    uint64_t days, minutes;
    if (!Fixed(2, days) || !Fixed(2, minutes) || minutes >= 24 * 60) return false;
    AppendDate(out, kDay1900 + static_cast<int64_t>(days));
    out += 'T';
    AppendClock(out, minutes / 60, minutes % 60, 0);
    return true;
  }

  // xs:time (tag 0), xs:date (1) and xs:dateTime (2): a mixed-radix int64 above a 2-bit tag.
  bool XsdDateTimeValue(uint8_t token, std::string& out) {
    uint64_t v;
    if (!Fixed(8, v)) return false;
    uint64_t tag = token == kXsdTime ? 0 : token == kXsdDate ? 1 : 2;
    if ((v & 3) != tag) return false;
    v >>= 2;
    uint64_t ms = 0, second = 0, minute = 0, hour = 0;
    int64_t zone_adjust = 0;
    if (token == kXsdDate) {
      zone_adjust = static_cast<int64_t>(v % 1740) - kMaxZoneMinutes;  // minutes west of UTC
      v /= 1740;
    } else {
      ms = v % 1000;
      v /= 1000;
      second = v % 60;
      v /= 60;
      minute = v % 60;
      v /= 60;
      if (token == kXsdTime) {
        if (v >= 24) return false;
        AppendClock(out, v, minute, second);
        AppendFraction(out, ms, 3, true);
        out += 'Z';
        return true;
      }
      hour = v % 24;
      v /= 24;
    }
    int day = static_cast<int>(v % 31) + 1;
    v /= 31;
    int month = static_cast<int>(v % 12) + 1;
    v /= 12;
    if (v > 2 * kMaxXsdYear) return false;
    AppendDate(out, static_cast<int64_t>(v) - kMaxXsdYear, month, day);
    if (token == kXsdDate) {
      AppendZone(out, -zone_adjust);
      return true;
    }
    out += 'T';
    AppendClock(out, hour, minute, second);
    AppendFraction(out, ms, 3, true);
    out += 'Z';
    return true;
  }

  // The date/time tokens of version 2: sqltime, sqldate and sqltimezone in various sets.
  bool Time2Value(uint8_t token, std::string& out) {
    int64_t ticks = 0, days = 0, zone = 0;
    if (token == kXsdDate2) {
      if (!SqlDate(days)) return false;
      AppendDate(out, days);
      return true;
    }
    if (!SqlTime(ticks) || !SqlDate(days)) return false;
    bool has_zone =
        token == kXsdTimeOffset || token == kXsdDateTimeOffset || token == kXsdDateOffset;
    if (has_zone && !SqlZone(zone)) return false;
    // The stored time is UTC for the zoned tokens; the text shows local time and the zone.
    int64_t local = days * kTicksPerDay + ticks + zone * kTicksPerMinute;
    int64_t local_day = FloorDiv(local, kTicksPerDay);
    int64_t local_time = FloorMod(local, kTicksPerDay);
    if (token != kXsdTime2 && token != kXsdTimeOffset) {
      AppendDate(out, local_day);
      if (token == kXsdDateOffset) {
        AppendZone(out, zone);
        return true;
      }
      out += 'T';
    }
    AppendTimeOfDay(out, local_time);
    if (has_zone) AppendZone(out, zone);
    return true;
  }

  bool Guid(std::string& out) {
    Bytes bytes;
    if (!Take(16, bytes)) return false;
    ByteReader reader(bytes);
    char buffer[40];
    std::snprintf(buffer, sizeof(buffer), "%08X-%04X-%04X-", reader.U32(0), reader.U16(4),
                  reader.U16(6));
    out = buffer;
    for (size_t i = 8; i < 16; ++i) {
      if (i == 10) out += '-';
      AppendHexByte(out, bytes[i]);
    }
    return true;
  }

  // ---- names ----

  const std::string* NameAt(uint64_t index) const {
    const auto& names = tables_.back().names;
    return index < names.size() ? names[index] : nullptr;
  }

  bool QNameAt(uint64_t index, QName& out) const {
    const auto& qnames = tables_.back().qnames;
    if (index == 0 || index >= qnames.size()) return false;
    out = qnames[index];
    return true;
  }

  static std::string Display(const QName& q) {
    return q.prefix->empty() ? *q.local : *q.prefix + ":" + *q.local;
  }

  // A prefix used by an element, attribute or qname value must name a real namespace.
  static bool UsablePrefix(const QName& q) {
    if (q.prefix->empty()) return true;
    if (q.uri->empty() || *q.prefix == "xmlns") return false;
    return *q.prefix != "xml" || *q.uri == kXmlNamespace;
  }

  bool Metadata(uint8_t token) {
    NameTables& tables = tables_.back();
    switch (token) {
      case kNameDef: {
        std::string name;
        if (!Text(false, name)) return false;
        tables.names.push_back(&store_.emplace_back(std::move(name)));
        return true;
      }
      case kQNameDef: {
        uint64_t uri, prefix, local;
        if (!Mb32(uri) || !Mb32(prefix) || !Mb32(local)) return false;
        const std::string* parts[] = {NameAt(uri), NameAt(prefix), NameAt(local)};
        if (!parts[0] || !parts[1] || !parts[2]) return false;
        // All three 0 is written by SQL Server at times: it takes its index and is never used.
        tables.qnames.push_back({parts[0], parts[1], parts[2]});
        return true;
      }
      case kFlush:
        tables = FreshTables();
        return true;
      case kExtension: {
        Bytes skipped;
        return Blob(false, skipped);
      }
    }
    return false;
  }

  bool SkipMetadata() {
    while (!AtEnd() && IsMetadata(PeekByte())) {
      ++pos_;
      if (!Metadata(in_.U8(pos_ - 1))) return false;
    }
    return true;
  }

  NameTables FreshTables() const {
    NameTables tables;
    tables.names.push_back(empty_);
    tables.qnames.push_back({empty_, empty_, empty_});
    return tables;
  }

  // ---- documents ----

  bool Header() {
    uint64_t signature, encoding;
    uint8_t version;
    return Fixed(2, signature) && signature == kSignature && Byte(version) && version <= 2 &&
           Fixed(2, encoding) && encoding == kUtf16CodePage;
  }

  void PushDocument() {
    tables_.push_back(FreshTables());
    frames_.push_back({elements_.size()});
  }

  bool Step() {
    uint8_t token = in_.U8(pos_++);
    if (IsMetadata(token)) return Metadata(token);
    // The declaration may only open a document; the DOCTYPE may follow comments and PIs.
    Frame& frame = frames_.back();
    bool declaration_allowed = std::exchange(frame.declaration_allowed, false);
    if (token == kXmlDecl) return declaration_allowed && XmlDeclaration();
    bool doctype_allowed = frame.doctype_allowed;
    if (token != kComment && token != kPi) frame.doctype_allowed = false;
    if (token == kDocType) return doctype_allowed && DocType();
    if (IsAtomic(token)) return ContentValue(token);
    last_value_ = ValueKind::kNone;
    switch (token) {
      case kElement:
        return StartElement();
      case kEndElement:
        return EndElement();
      case kCdata:
        return Cdata();
      case kComment:
        return Comment();
      case kPi:
        return ProcessingInstruction();
      case kNest:
        return BeginNest();
      case kEndNest:
        return EndNest();
    }
    return false;
  }

  bool BeginNest() {
    if (!Header()) return false;
    PushDocument();
    return true;
  }

  // A nested document must close every element it opened, and none of its parent's.
  bool EndNest() {
    if (frames_.size() < 2 || elements_.size() != frames_.back().element_base) return false;
    frames_.pop_back();
    tables_.pop_back();
    return true;
  }

  // Only the top document's declaration and DOCTYPE are written: a nested document is inlined.
  bool Shown() const { return frames_.size() == 1; }

  bool XmlDeclaration() {
    std::string version, encoding;
    bool has_encoding;
    uint8_t standalone;  // 0 absent, 1 yes, 2 no; present even without an encoding
    if (!Text(false, version) || !OptionalText(kEncoding, has_encoding, encoding) ||
        !Byte(standalone) || standalone > 2) {
      return false;
    }
    if (!Shown()) return true;
    out_ += "<?xml version=\"";
    AppendEscaped(out_, version, true);
    out_ += '"';
    if (has_encoding) {
      out_ += " encoding=\"";
      AppendEscaped(out_, encoding, true);
      out_ += '"';
    }
    if (standalone != 0) out_ += standalone == 1 ? " standalone=\"yes\"" : " standalone=\"no\"";
    out_ += "?>";
    return true;
  }

  // Reads an optional `token textdata` part.
  bool OptionalText(uint8_t token, bool& present, std::string& out) {
    present = !AtEnd() && PeekByte() == token;
    if (!present) return true;
    ++pos_;
    return Text(false, out);
  }

  // DOCTYPE parts are optional, so it is complete only once a following token is seen.
  bool DocType() {
    std::string name, system, public_id, subset;
    bool has_system, has_public, has_subset;
    if (!Text(false, name) || !OptionalText(kSystem, has_system, system) ||
        !OptionalText(kPublic, has_public, public_id) ||
        !OptionalText(kSubset, has_subset, subset) || AtEnd()) {
      return false;
    }
    if (!Shown()) return true;
    out_ += "<!DOCTYPE " + name;
    // XML requires a system literal after a public one; an absent one is written empty.
    if (has_public) {
      out_ += " PUBLIC " + QuoteLiteral(public_id) + " " + QuoteLiteral(system);
    } else if (has_system) {
      out_ += " SYSTEM " + QuoteLiteral(system);
    }
    if (has_subset) out_ += " [" + subset + "]";
    out_ += '>';
    return true;
  }

  // ---- content ----

  bool Comment() {
    std::string text;
    if (!Text(false, text) || !CloseStartTag(false)) return false;
    out_ += "<!--" + text + "-->";
    return true;
  }

  // PI: the target is a name-table index, then the data.
  bool ProcessingInstruction() {
    uint64_t index;
    std::string data;
    if (!Mb32(index)) return false;
    const std::string* target = NameAt(index);
    if (!target || target->empty()) return false;
    std::string target_text = *target;
    if (!Text(false, data) || !CloseStartTag(false)) return false;
    out_ += "<?" + target_text;
    if (!data.empty()) out_ += " " + data;
    out_ += "?>";
    return true;
  }

  // CDATA chunks are joined into one section, which must end with CDATAEND.
  bool Cdata() {
    std::string chunk;
    if (!Text(false, chunk) || !CloseStartTag(false)) return false;
    out_ += "<![CDATA[" + chunk;
    while (Room()) {
      uint8_t token;
      if (!Byte(token)) return false;
      if (token == kCdataEnd) {
        out_ += "]]>";
        return true;
      }
      if (token != kCdata || !Text(false, chunk)) return false;
      out_ += chunk;
    }
    return false;
  }

  bool ContentValue(uint8_t token) {
    std::string text;
    ValueKind kind;
    if (!Value(token, text, kind) || !CloseStartTag(false)) return false;
    if (ListSeparator(last_value_, kind)) out_ += ' ';
    AppendEscaped(out_, text, false);
    last_value_ = kind;
    return true;
  }

  // One atomic value as text.
  bool Value(uint8_t token, std::string& text, ValueKind& kind) {
    kind = ValueKind::kTyped;
    uint64_t u = 0;
    Bytes bytes;
    switch (token) {
      case kSqlSmallInt:
        if (!Fixed(2, u)) return false;
        text = std::to_string(static_cast<int16_t>(u));
        return true;
      case kSqlInt:
        if (!Fixed(4, u)) return false;
        text = std::to_string(static_cast<int32_t>(u));
        return true;
      case kSqlBigInt:
        if (!Fixed(8, u)) return false;
        text = std::to_string(static_cast<int64_t>(u));
        return true;
      case kSqlReal: {
        if (!Fixed(4, u)) return false;
        uint32_t bits = static_cast<uint32_t>(u);
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        text = FormatFloat(value);
        return true;
      }
      case kSqlFloat: {
        if (!Fixed(8, u)) return false;
        double value;
        std::memcpy(&value, &u, sizeof(value));
        text = FormatFloat(value);
        return true;
      }
      case kSqlMoney:
        if (!Fixed(8, u)) return false;
        text = FormatMoney(static_cast<int64_t>(u));
        return true;
      case kSqlSmallMoney:
        if (!Fixed(4, u)) return false;
        text = FormatMoney(static_cast<int32_t>(u));
        return true;
      // tinyint is SQL Server's 0..255; xs:byte is XML Schema's signed byte.
      case kSqlBit:
      case kSqlTinyInt:
        if (!Fixed(1, u)) return false;
        text = std::to_string(u);
        return true;
      case kXsdByte:
        if (!Fixed(1, u)) return false;
        text = std::to_string(static_cast<int8_t>(u));
        return true;
      case kXsdBoolean:
        if (!Fixed(1, u)) return false;
        text = u != 0 ? "true" : "false";
        return true;
      case kXsdUnsignedShort:
      case kXsdUnsignedInt:
      case kXsdUnsignedLong: {
        size_t width = token == kXsdUnsignedShort ? 2 : token == kXsdUnsignedInt ? 4 : 8;
        if (!Fixed(width, u)) return false;
        text = std::to_string(u);
        return true;
      }
      case kSqlUuid:
        return Guid(text);
      case kSqlDecimal:
      case kSqlNumeric:
        return Decimal(false, text);
      case kXsdDecimal:
        return Decimal(true, text);
      case kSqlBinary:
      case kSqlUdt:
      case kXsdBase64:
      case kSqlVarBinary:
      case kSqlImage:
        if (!Blob(token == kSqlVarBinary || token == kSqlImage, bytes)) return false;
        text = Base64(bytes);
        return true;
      case kXsdBinHex:
        if (!Blob(false, bytes)) return false;
        text = Hex(bytes);
        return true;
      case kSqlChar:
      case kSqlVarChar:
      case kSqlText:
        kind = ValueKind::kString;
        return CodePageText(token != kSqlChar, text);
      case kSqlNChar:
      case kSqlNVarChar:
      case kSqlNText:
        kind = ValueKind::kString;
        return Text(token != kSqlNChar, text);
      case kSqlDateTime:
        return SqlDateTime(text);
      case kSqlSmallDateTime:
        return SqlSmallDateTime(text);
      case kXsdTime:
      case kXsdDate:
      case kXsdDateTime:
        return XsdDateTimeValue(token, text);
      case kXsdQName:
        return QNameValue(text);
    }
    if (token >= kXsdTimeOffset && token <= kXsdDate2) return Time2Value(token, text);
    return false;
  }

  // An xs:QName value; its prefix is declared on the start tag when that is still open.
  bool QNameValue(std::string& text) {
    uint64_t index;
    QName q;
    if (!Mb32(index) || !QNameAt(index, q) || q.local->empty() || !UsablePrefix(q)) return false;
    if (open_tag_ && !q.prefix->empty()) needs_.push_back(q);
    text = Display(q);
    return true;
  }

  bool StartElement() {
    uint64_t index;
    QName q;
    if (!Mb32(index) || !QNameAt(index, q) || q.local->empty() || !UsablePrefix(q)) return false;
    if (!CloseStartTag(false)) return false;
    std::string name = Display(q);
    out_ += '<' + name;
    elements_.push_back({std::move(name), {}});
    open_tag_ = true;
    needs_.assign(1, q);
    // Metadata may come before each attribute; attributes end with ENDATTRIBUTES.
    if (!SkipMetadata()) return false;
    if (AtEnd()) return true;
    if (PeekByte() == kAttribute) return Attributes();
    if (PeekByte() == kEndAttributes) ++pos_;  // an empty attribute list, tolerated
    return true;
  }

  // ATTRIBUTE qname, values mixed with metadata; up to the next ATTRIBUTE or ENDATTRIBUTES.
  bool Attributes() {
    while (Room()) {
      ++pos_;  // ATTRIBUTE
      uint64_t index;
      QName q;
      if (!Mb32(index) || !QNameAt(index, q)) return false;
      bool declaration = q.local->empty();
      if (declaration) {
        const std::string& prefix = *q.prefix;
        bool named = prefix == "xmlns" || (prefix.size() > 6 && prefix.starts_with("xmlns:"));
        if (!named || !q.uri->empty()) return false;
      } else if (!UsablePrefix(q) || (q.prefix->empty() && !q.uri->empty())) {
        // An unprefixed attribute is in no namespace.
        return false;
      } else if (!q.prefix->empty()) {
        needs_.push_back(q);
      }
      std::string name = declaration ? *q.prefix : Display(q);
      std::string value;
      ValueKind last = ValueKind::kNone;
      uint8_t next = 0;
      while (true) {
        if (AtEnd() || out_.size() + value.size() > text_limit_) return false;
        next = PeekByte();
        if (!IsMetadata(next) && !IsAtomic(next)) break;
        ++pos_;
        if (IsMetadata(next)) {
          if (!Metadata(next)) return false;
          continue;
        }
        std::string text;
        ValueKind kind;
        if (!Value(next, text, kind)) return false;
        if (ListSeparator(last, kind)) value += ' ';
        value += text;  // escaped once, when written
        last = kind;
      }
      if (next != kAttribute && next != kEndAttributes) return false;
      if (declaration && !Declare(name.size() > 6 ? name.substr(6) : "", value)) return false;
      out_ += ' ' + name + "=\"";
      AppendEscaped(out_, value, true);
      out_ += '"';
      if (next == kEndAttributes) {
        ++pos_;
        return true;
      }
    }
    return false;
  }

  // An explicit xmlns / xmlns:p attribute of the element being started.
  bool Declare(const std::string& prefix, const std::string& uri) {
    if (!prefix.empty() && uri.empty()) return false;  // only the default may be undeclared
    // The xml prefix and its namespace belong to each other and are bound from the start.
    if (prefix == "xmlns" || (prefix == "xml") != (uri == kXmlNamespace)) return false;
    if (prefix == "xml") return true;
    const Binding* current = Lookup(prefix);
    if (current && current->depth == elements_.size()) return false;  // declared twice
    Bind(prefix, uri);
    return true;
  }

  const Binding* Lookup(const std::string& prefix) const {
    auto it = scope_.find(prefix);
    return it == scope_.end() || it->second.empty() ? nullptr : &it->second.back();
  }

  void Bind(const std::string& prefix, const std::string& uri) {
    scope_[prefix].push_back({uri, elements_.size()});
    elements_.back().declared.push_back(prefix);
  }

  // Ends the open start tag: declarations the element, its attributes or qname values need
  // but the scope lacks are added after the stored attributes, then `>` or `/>`.
  bool CloseStartTag(bool empty) {
    if (!open_tag_) return true;
    std::string implied;
    for (const QName& need : needs_) {
      const Binding* current = Lookup(*need.prefix);
      if (current && current->uri == *need.uri) continue;
      // The prefix is already bound on this element to another namespace.
      if (current && current->depth == elements_.size()) return false;
      if (out_.size() + implied.size() > text_limit_) return false;
      Bind(*need.prefix, *need.uri);
      implied += need.prefix->empty() ? " xmlns=\"" : " xmlns:" + *need.prefix + "=\"";
      AppendEscaped(implied, *need.uri, true);
      implied += '"';
    }
    out_ += implied;
    out_ += empty ? "/>" : ">";
    open_tag_ = false;
    needs_.clear();
    return true;
  }

  bool EndElement() {
    if (elements_.size() <= frames_.back().element_base) return false;
    if (open_tag_) {
      if (!CloseStartTag(true)) return false;
    } else {
      out_ += "</" + elements_.back().name + ">";
    }
    for (const std::string& prefix : elements_.back().declared) scope_[prefix].pop_back();
    elements_.pop_back();
    return true;
  }

  ByteReader in_;
  size_t pos_ = 0;
  std::string& out_;
  size_t text_limit_ = 0;

  std::deque<std::string> store_;  // every name ever defined; qnames point here
  const std::string* empty_ = nullptr;
  std::vector<NameTables> tables_;  // one per document level
  std::vector<Frame> frames_;

  std::vector<OpenElement> elements_;
  std::unordered_map<std::string, std::vector<Binding>> scope_;
  bool open_tag_ = false;     // the last start tag still lacks its `>` or `/>`
  std::vector<QName> needs_;  // (prefix, namespace) pairs the open start tag relies on
  ValueKind last_value_ = ValueKind::kNone;
};

}  // namespace

std::string BinaryXmlToText(std::span<const uint8_t> bytes) {
  std::string text;
  try {
    Decoder decoder(bytes, text);
    decoder.Run();
  } catch (...) {
    // Out of memory: keep what was written.
  }
  return text;
}

}  // namespace tarnwick
