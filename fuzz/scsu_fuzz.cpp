// Fuzz target for the SCSU decoder: any byte string must decode without a memory error,
// the UTF-8 output must be valid UTF-8, and it must equal the UTF-16 output read back as
// UTF-16LE (same replacement policy for lone surrogates).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/text_codec.h"
#include "records/scsu.h"

namespace {

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = static_cast<uint8_t>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() - i < length) return false;
    uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      uint8_t next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = cp << 6 | (next & 0x3F);
    }
    static constexpr uint32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLowest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  bool well_formed_8 = false;
  bool well_formed_16 = false;
  std::string utf8 = tarnwick::ScsuToUtf8(bytes, &well_formed_8);
  std::u16string utf16 = tarnwick::ScsuToUtf16(bytes, &well_formed_16);

  std::string le;
  le.reserve(utf16.size() * 2);
  for (char16_t unit : utf16) {
    le.push_back(static_cast<char>(unit & 0xFF));
    le.push_back(static_cast<char>(unit >> 8));
  }
  std::string via_16 = tarnwick::Utf16LeToUtf8(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(le.data()), le.size()));

  if (!IsValidUtf8(utf8) || utf8 != via_16 || well_formed_8 != well_formed_16) std::abort();
  // Each item yields at most two UTF-16 units per byte it spans.
  if (utf16.size() > 2 * size) std::abort();
  return 0;
}
