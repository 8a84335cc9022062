#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

std::vector<uint8_t> B(std::initializer_list<int> bytes) {
  std::vector<uint8_t> out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

TEST(TextCodec, DecodesCodePages) {
  struct Case {
    int code_page;
    std::vector<uint8_t> bytes;
    const char* utf8;
  } cases[] = {
      {1252, B({'a', 0xE9, 0x80}), "a\xC3\xA9\xE2\x82\xAC"},          // é €
      {1250, B({0x8A, 0xE8}), "\xC5\xA0\xC4\x8D"},                    // Š č
      {1251, B({0xC6}), "\xD0\x96"},                                   // Ж
      {932, B({0x82, 0xA0}), "\xE3\x81\x82"},                          // あ
      {1252, B({0x81}), "\xEF\xBF\xBD"},                               // unassigned in 1252
      {932, B({'x', 0x82}), "x\xEF\xBF\xBD"},                          // cut multi-byte char
      {0, B({'o', 'k', 0xE9}), "ok\xC3\xA9"},                          // unknown: 1252
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeCodePage(c.bytes, c.code_page), c.utf8) << c.code_page;
  EXPECT_EQ(DecodeCodePage({}, 1252), "");
}

TEST(TextCodec, Utf16KeepsFullUnicode) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* utf8;
  } cases[] = {
      {B({'A', 0, 0xE9, 0}), "A\xC3\xA9"},
      {B({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80"},  // U+1F600 from a surrogate pair
      {B({0x3D, 0xD8, 'A', 0}), "\xEF\xBF\xBD" "A"},      // lone high surrogate
      {B({'A', 0, 'B'}), "A\xEF\xBF\xBD"},                // odd trailing byte
  };
  for (const Case& c : cases) EXPECT_EQ(Utf16LeToUtf8(c.bytes), c.utf8);
}

TEST(TextCodec, RoundTrips) {
  const std::string text = "Grüße \xF0\x9F\x98\x80 ok";
  std::string utf16 = Utf8ToUtf16Le(text);
  EXPECT_EQ(Utf16LeToUtf8(std::vector<uint8_t>(utf16.begin(), utf16.end())), text);
  EXPECT_EQ(EncodeCodePage("caf\xC3\xA9 \xE2\x82\xAC", 1252), "caf\xE9 \x80");
  EXPECT_EQ(EncodeCodePage("\xD0\x96", 1252), "?") << "no such character in 1252";
}

// Texts of every length up to 40 with one character outside ASCII (two-byte,
// three-byte or a surrogate pair) at every position: the ASCII runs are
// converted several bytes at a time, so each cut of a run must give the
// same units as one character at a time.
TEST(TextCodec, AsciiRunsOfEveryLengthAroundOtherCharacters) {
  auto utf8_of = [](uint32_t cp) {
    std::string out;
    AppendUtf8(out, cp);
    return out;
  };
  auto utf16_of = [](uint32_t cp) {
    std::string out;
    auto unit = [&out](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp < 0x10000) {
      unit(cp);
    } else {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
    return out;
  };
  for (const uint32_t other : {0xE9u, 0x20ACu, 0x1F600u, 0u}) {
    for (size_t length = 0; length <= 40; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        std::string utf8, utf16;
        for (size_t i = 0; i < length; ++i) {
          const uint32_t cp = i == at && other != 0 ? other : 'a' + static_cast<uint32_t>(i % 26);
          utf8 += utf8_of(cp);
          utf16 += utf16_of(cp);
        }
        SCOPED_TRACE(::testing::Message() << "length " << length << ", U+" << std::hex << other
                                          << " at " << std::dec << at);
        ASSERT_EQ(Utf8ToUtf16Le(utf8), utf16);
        ASSERT_EQ(Utf16LeToUtf8(std::vector<uint8_t>(utf16.begin(), utf16.end())), utf8);
        if (other < 0x100) {
          // 8-bit text: ASCII alone needs no converter; é comes from it.
          std::string latin;
          for (size_t i = 0; i < length; ++i)
            latin.push_back(i == at && other != 0 ? static_cast<char>(0xE9)
                                                  : static_cast<char>('a' + i % 26));
          ASSERT_EQ(DecodeCodePage(std::vector<uint8_t>(latin.begin(), latin.end()), 1252), utf8);
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
