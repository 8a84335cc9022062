#include "records/scsu.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"

namespace tarnwick {
namespace {

// ---- helpers: bytes are written as hex text, characters as "U+XXXX" lists ----

ByteBuffer FromHex(std::string_view hex) {
  ByteBuffer out;
  int high = -1;
  for (char c : hex) {
    int nibble = c >= '0' && c <= '9'   ? c - '0'
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                        : -1;
    if (nibble < 0) continue;
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return out;
}

std::string UPlus(uint32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
  return text;
}

// UTF-8 text as a "U+XXXX U+XXXX" list; a malformed sequence shows as "invalid".
std::string CodePoints(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    auto byte = [&](size_t k) { return static_cast<uint8_t>(utf8[k]); };
    uint8_t lead = byte(i);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    bool ok = length != 0 && i + length <= utf8.size() && lead < 0xF5;
    for (size_t k = 1; ok && k < length; ++k) {
      ok = (byte(i + k) & 0xC0) == 0x80;
      cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && cp >= kLowest[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (!out.empty()) out += ' ';
    out += ok ? UPlus(cp) : "invalid";
    i += ok ? length : 1;
  }
  return out;
}

// "U+XXXX ..." list to the UTF-16 code units it stands for, as "XXXX XXXX".
std::string UnitsOfCodePoints(std::string_view list) {
  std::string out;
  auto put = [&out](uint32_t unit) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(unit));
    if (!out.empty()) out += ' ';
    out += text;
  };
  for (size_t at = list.find("U+"); at != std::string_view::npos; at = list.find("U+", at + 2)) {
    uint32_t cp = std::stoul(std::string(list.substr(at + 2, 6)), nullptr, 16);
    if (cp > 0xFFFF) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string Units(const std::u16string& units) {
  std::string out;
  for (char16_t unit : units) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(unit));
    if (!out.empty()) out += ' ';
    out += text;
  }
  return out;
}

std::string Utf16ToLeBytes(const std::u16string& units) {
  std::string out;
  for (char16_t unit : units) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

// Both decoders must agree: the UTF-16 form, read back as UTF-16LE (pairs joined, lone
// surrogates as U+FFFD), is the UTF-8 form; and the UTF-8 form is well-formed UTF-8.
void ExpectVariantsAgree(Bytes bytes) {
  bool well_formed_8 = false;
  bool well_formed_16 = true;
  std::string utf8 = ScsuToUtf8(bytes, &well_formed_8);
  std::string le = Utf16ToLeBytes(ScsuToUtf16(bytes, &well_formed_16));
  std::string via_16 = Utf16LeToUtf8(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(le.data()), le.size()));
  ASSERT_EQ(utf8, via_16);
  ASSERT_EQ(well_formed_8, well_formed_16);
  ASSERT_EQ(CodePoints(utf8).find("invalid"), std::string::npos) << CodePoints(utf8);
}

// ---- well-formed streams ----

struct Vector {
  const char* name;
  const char* scsu;
  const char* code_points;
};

constexpr char kJapaneseScsu[] =
    "08 00 1B 4C EA 16 CA D3 94 0F 53 EF 61 1B E5 84 C4 0F 53 EF 61 1B E5 84 C4 16 CA D3 94 08 "
    "02 0F 53 4A 4E 16 7D 00 30 82 52 4D 30 6B 6D 41 88 4C E5 97 9F 08 0C 16 CA D3 94 15 AE 0E "
    "6B 4C 08 0D 8C B4 A3 9F CA 99 CB 8B C2 97 CC AA 84 08 02 0E 7C 73 E2 16 A3 B7 CB 93 D3 B4 "
    "C5 DC 9F 0E 79 3E 06 AE B1 9D 93 D3 08 0C BE A3 8F 08 88 BE A3 8D D3 A8 A3 97 C5 17 89 08 "
    "0D 15 D2 08 01 93 C8 AA 8F 0E 61 1B 99 CB 0E 4E BA 9F A1 AE 93 A8 A0 08 02 08 0C E2 16 A3 "
    "B7 CB 0F 4F E1 80 05 EC 60 8D EA 06 D3 E6 0F 8A 00 30 44 65 B9 E4 FE E7 C2 06 CB 82";
constexpr char kJapaneseCodePoints[] =
    "U+3000 U+266A U+30EA U+30F3 U+30B4 U+53EF U+611B U+3044 U+3084 U+53EF U+611B U+3044 U+3084 "
    "U+30EA U+30F3 U+30B4 U+3002 U+534A U+4E16 U+7D00 U+3082 U+524D U+306B U+6D41 U+884C U+3057 "
    "U+305F U+300C U+30EA U+30F3 U+30B4 U+306E U+6B4C U+300D U+304C U+3074 U+3063 U+305F U+308A "
    "U+3059 U+308B U+304B U+3082 U+3057 U+308C U+306A U+3044 U+3002 U+7C73 U+30A2 U+30C3 U+30D7 "
    "U+30EB U+30B3 U+30F3 U+30D4 U+30E5 U+30FC U+30BF U+793E U+306E U+30D1 U+30BD U+30B3 U+30F3 "
    "U+300C U+30DE U+30C3 U+30AF U+FF08 U+30DE U+30C3 U+30AD U+30F3 U+30C8 U+30C3 U+30B7 U+30E5 "
    "U+FF09 U+300D U+3092 U+3001 U+3053 U+3088 U+306A U+304F U+611B U+3059 U+308B U+4EBA U+305F "
    "U+3061 U+306E U+3053 U+3068 U+3060 U+3002 U+300C U+30A2 U+30C3 U+30D7 U+30EB U+4FE1 U+8005 "
    "U+300D U+306A U+3093 U+3066 U+8A00 U+3044 U+65B9 U+307E U+3067 U+3042 U+308B U+3002";

const Vector kVectors[] = {
    // The published worked examples.
    {"German", "D6 6C 20 66 6C 69 65 DF 74",
     "U+00D6 U+006C U+0020 U+0066 U+006C U+0069 U+0065 U+00DF U+0074"},
    {"Russian", "12 9C BE C1 BA B2 B0", "U+041C U+043E U+0441 U+043A U+0432 U+0430"},
    {"Japanese", kJapaneseScsu, kJapaneseCodePoints},
    {"AllFeatures",
     "41 DF 12 81 03 5F 10 DF 1B 03 DF 1C 88 80 0B BF FF FF 0D 0A 41 10 DF 12 81 03 5F 10 DF "
     "13 DF 14 80 15 FF",
     "U+0041 U+00DF U+0401 U+015F U+00DF U+01DF U+F000 U+10FFFF U+000D U+000A U+0041 U+00DF "
     "U+0401 U+015F U+00DF U+01DF U+F000 U+10FFFF"},
    // Quote tags.
    {"Sq0QuotesControl", "41 01 07 42", "U+0041 U+0007 U+0042"},
    {"Sq0HighArgumentUsesDynamicWindow", "01 C1", "U+00C1"},
    {"Sq2DynamicLeavesActiveWindow", "03 C0 E9", "U+0440 U+00E9"},
    {"Sq4Static", "05 14", "U+2014"},
    {"Sq5Static", "31 30 06 2C", "U+0031 U+0030 U+20AC"},
    {"SqOfExtendedWindow", "0B 81 EC 10 05 80 41", "U+1F600 U+0041"},
    {"E0IsTagOnlyInUnicodeMode", "E0", "U+00E0"},
    {"PassThroughSet", "00 41 09 0D 0A 7F", "U+0000 U+0041 U+0009 U+000D U+000A U+007F"},
    {"NulBytesAreData", "00 00 41 00", "U+0000 U+0000 U+0041 U+0000"},
    {"Empty", "", ""},
    // Window definitions.
    {"Sd7FixedGreek", "1F FB C1 C2 C3", "U+03B1 U+03B2 U+03B3"},
    {"FixedF9", "18 F9 80", "U+00C0"},
    {"FixedFa", "18 FA 80", "U+0250"},
    {"FixedFc", "18 FC 80", "U+0530"},
    {"FixedFd", "18 FD 80", "U+3040"},
    {"FixedFe", "18 FE 80", "U+30A0"},
    {"FixedFf", "1A FF B1", "U+FF91"},
    {"LowestHalfBlock", "18 01 C1", "U+00C1"},
    {"LastBelowGap", "18 67 80", "U+3380"},
    {"FirstAboveGap", "18 68 80", "U+E000"},
    {"LastUpper", "19 A7 80", "U+FF80"},
    {"DefinitionKeepsOtherWindows", "1D 08 80 10 80 15 80", "U+0400 U+0080 U+0400"},
    {"SdxWindow4", "0B 81 EC 80 81", "U+1F600 U+1F601"},
    {"SdxWindow0Lowest", "0B 00 00 80", "U+10000"},
    {"SdxWindow7Lowest", "0B E0 00 80 10 80", "U+10000 U+0080"},
    {"SdxHighest", "0B 1F FF FF", "U+10FFFF"},
    // Surrogates from quotes and Unicode mode.
    {"TwoSquJoined", "0E D8 3D 0E DE 00", "U+1F600"},
    {"JoinAcrossSilentTag", "0E D8 3D 12 0E DE 00", "U+1F600"},
    {"JoinSquWithUnicodeMode", "0E D8 3D 0F DE 00", "U+1F600"},
    {"PairInUnicodeMode", "0F D8 3D DE 00", "U+1F600"},
    {"Signature", "0E FE FF 41", "U+FEFF U+0041"},
    // Unicode mode switching.
    {"SecondByteOfPairLooksLikeTag", "0F 53 F1 D8 42 DF B7", "U+53F1 U+20BB7"},
    {"UnicodeThenUc0", "0F 00 41 04 1F E0 E9", "U+0041 U+041F U+00E9"},
    {"UquThenUc1", "0F F0 E0 00 E1 A4", "U+E000 U+00E4"},
    {"Ud1FixedOffset", "0F E9 FB C1", "U+03B1"},
    {"UdxReturnsToSingleByte", "0F F1 81 EC 80 81", "U+1F600 U+1F601"},
    {"LeadBytesF3ToFF", "0F F3 00 FF FD", "U+F300 U+FFFD"},
    {"UnicodeModeKeepsWindows", "1B 03 0F 00 41 E3 DF", "U+0041 U+01DF"},
    {"TrailingSwitchesEmitNothing", "41 0F E5 12", "U+0041"},
};

class ScsuVectorTest : public ::testing::TestWithParam<Vector> {};

TEST_P(ScsuVectorTest, DecodesExactly) {
  ByteBuffer bytes = FromHex(GetParam().scsu);
  bool well_formed = false;
  EXPECT_EQ(CodePoints(ScsuToUtf8(bytes, &well_formed)), GetParam().code_points);
  EXPECT_TRUE(well_formed);
  well_formed = false;
  EXPECT_EQ(Units(ScsuToUtf16(bytes, &well_formed)), UnitsOfCodePoints(GetParam().code_points));
  EXPECT_TRUE(well_formed);
}

// Every cut of a stream decodes without reading past its end; what comes out is a prefix
// of the whole stream's text followed by nothing but U+FFFD marks.
TEST_P(ScsuVectorTest, EveryTruncationDecodesToAPrefix) {
  ByteBuffer bytes = FromHex(GetParam().scsu);
  std::string whole = CodePoints(ScsuToUtf8(bytes));
  for (size_t length = 0; length < bytes.size(); ++length) {
    // A fresh allocation of exactly the cut length lets the sanitizer see any over-read.
    ByteBuffer cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    std::string part = CodePoints(ScsuToUtf8(cut));
    while (part.size() >= 6 && part.compare(part.size() - 6, 6, "U+FFFD") == 0) {
      part.erase(part.size() >= 7 ? part.size() - 7 : 0);
    }
    bool is_prefix = whole.compare(0, part.size(), part) == 0 &&
                     (part.empty() || part.size() == whole.size() || whole[part.size()] == ' ');
    EXPECT_TRUE(is_prefix) << "cut at " << length << ": " << part;
    ExpectVariantsAgree(cut);
  }
}

INSTANTIATE_TEST_SUITE_P(Scsu, ScsuVectorTest, ::testing::ValuesIn(kVectors),
                         [](const ::testing::TestParamInfo<Vector>& info) {
                           return std::string(info.param.name);
                         });

TEST(ScsuTest, PublishedExamplesGiveTheListedUtf8) {
  struct Case {
    const char* scsu;
    const char* utf8;
  };
  const Case cases[] = {
      {"D6 6C 20 66 6C 69 65 DF 74", "C3 96 6C 20 66 6C 69 65 C3 9F 74"},
      {"12 9C BE C1 BA B2 B0", "D0 9C D0 BE D1 81 D0 BA D0 B2 D0 B0"},
      {"41 DF 12 81 03 5F 10 DF 1B 03 DF 1C 88 80 0B BF FF FF 0D 0A 41 10 DF 12 81 03 5F 10 DF "
       "13 DF 14 80 15 FF",
       "41 C3 9F D0 81 C5 9F C3 9F C7 9F EF 80 80 F4 8F BF BF 0D 0A "
       "41 C3 9F D0 81 C5 9F C3 9F C7 9F EF 80 80 F4 8F BF BF"},
  };
  for (const Case& c : cases) {
    ByteBuffer utf8 = FromHex(c.utf8);
    EXPECT_EQ(ScsuToUtf8(FromHex(c.scsu)), std::string(utf8.begin(), utf8.end())) << c.scsu;
  }
}

// ---- malformed streams ----

struct BadCase {
  const char* scsu;
  const char* code_points;
  bool well_formed;  // false when the stream itself breaks the format
};

TEST(ScsuTest, MalformedInputGivesReplacementMarks) {
  const BadCase cases[] = {
      // Reserved tags; decoding goes on in the same mode.
      {"0C", "U+FFFD", false},
      {"41 0C 42", "U+0041 U+FFFD U+0042", false},
      {"0F F2", "U+FFFD", false},
      {"0F 00 41 F2 00 42", "U+0041 U+FFFD U+0042", false},
      // Reserved window bytes: the window is active but its characters are unknown until
      // it is defined again. ICU instead reads the next byte as the offset.
      {"18 00", "U+FFFD", false},
      {"18 A8", "U+FFFD", false},
      {"18 F8", "U+FFFD", false},
      {"18 A8 41 42 C1", "U+FFFD U+0041 U+0042 U+FFFD", false},
      {"1A 00 80 12 80 03 80 1A 08 80", "U+FFFD U+FFFD U+FFFD U+FFFD U+0400", false},
      {"1A 00 11 80 03 41", "U+FFFD U+00C0 U+0141", false},
      {"0F E8 00 41 80", "U+FFFD U+0041 U+FFFD", false},
      // Items cut off by the end of the value.
      {"08", "U+FFFD", false},
      {"41 18", "U+0041 U+FFFD", false},
      {"0E 41", "U+FFFD", false},
      {"0B BF", "U+FFFD", false},
      {"0F 41", "U+FFFD", false},
      {"0F E8", "U+FFFD", false},
      {"0F F0 41", "U+FFFD", false},
      {"0F F1 81", "U+FFFD", false},
      // Unpaired surrogates are content: well-formed SCSU, but no character.
      {"0E D8 3D", "U+FFFD", true},
      {"0E DE 00 41", "U+FFFD U+0041", true},
      {"0E D8 3D 41", "U+FFFD U+0041", true},
      {"0E D8 3D 0E D8 3D 0E DE 00", "U+FFFD U+1F600", true},
      {"0E D8 3D 0B 81 EC 80", "U+FFFD U+1F600", true},
      {"0F DE 00 D8 3D", "U+FFFD U+FFFD", true},
  };
  for (const BadCase& c : cases) {
    ByteBuffer bytes = FromHex(c.scsu);
    bool well_formed = !c.well_formed;
    EXPECT_EQ(CodePoints(ScsuToUtf8(bytes, &well_formed)), c.code_points) << c.scsu;
    EXPECT_EQ(well_formed, c.well_formed) << c.scsu;
    ExpectVariantsAgree(bytes);
  }
}

TEST(ScsuTest, Utf16KeepsUnpairedSurrogates) {
  EXPECT_EQ(Units(ScsuToUtf16(FromHex("0E DE 00 0F D8 3D 00 41"))), "DE00 D83D 0041");
}

// Each value starts from the initial state whatever the one before it left behind.
TEST(ScsuTest, NoStateCarriesOverBetweenValues) {
  const ByteBuffer value = FromHex("C1 41 00 42");
  const std::string fresh = CodePoints(ScsuToUtf8(value));
  EXPECT_EQ(fresh, "U+00C1 U+0041 U+0000 U+0042");
  for (const char* before : {"0F", "12", "1A 00", "0B BF FF", "0E D8 3D", "08"}) {
    ScsuToUtf8(FromHex(before));
    ScsuToUtf16(FromHex(before));
    EXPECT_EQ(CodePoints(ScsuToUtf8(value)), fresh) << before;
  }
}

// All values of up to two bytes, in single-byte mode, in Unicode mode and after a pending
// high surrogate: the two outputs agree and the UTF-8 is valid.
TEST(ScsuTest, AllShortInputsAgreeAcrossOutputs) {
  for (const char* prefix : {"", "0F", "0E D8 3D"}) {
    ByteBuffer bytes = FromHex(prefix);
    size_t base = bytes.size();
    for (unsigned first = 0; first < 256; ++first) {
      bytes.resize(base + 1);
      bytes[base] = static_cast<uint8_t>(first);
      ExpectVariantsAgree(bytes);
      bytes.push_back(0);
      for (unsigned second = 0; second < 256; ++second) {
        bytes[base + 1] = static_cast<uint8_t>(second);
        ExpectVariantsAgree(bytes);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
