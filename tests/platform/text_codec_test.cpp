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

}  // namespace
}  // namespace tarnwick
