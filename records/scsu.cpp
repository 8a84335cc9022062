#include "records/scsu.h"

#include <array>
#include <optional>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"

namespace tarnwick {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;
// Offset of a window whose last definition used a reserved offset byte.
constexpr uint32_t kUnknownOffset = 0xFFFFFFFF;

constexpr std::array<uint32_t, 8> kStaticOffsets = {0x0000, 0x0080, 0x0100, 0x0300,
                                                    0x2000, 0x2080, 0x2100, 0x3000};
constexpr std::array<uint32_t, 8> kInitialDynamicOffsets = {0x0080, 0x00C0, 0x0400, 0x0600,
                                                            0x0900, 0x3040, 0x30A0, 0xFF00};
// Offsets of the window bytes F9-FF.
constexpr std::array<uint32_t, 7> kFixedOffsets = {0x00C0, 0x0250, 0x0370, 0x0530,
                                                   0x3040, 0x30A0, 0xFF60};

// Single-byte mode tags.
constexpr uint8_t kSq0 = 0x01;
constexpr uint8_t kSq7 = 0x08;
constexpr uint8_t kSdx = 0x0B;
constexpr uint8_t kSrs = 0x0C;
constexpr uint8_t kSqu = 0x0E;
constexpr uint8_t kScu = 0x0F;
constexpr uint8_t kSc0 = 0x10;
constexpr uint8_t kSc7 = 0x17;
constexpr uint8_t kSd0 = 0x18;
constexpr uint8_t kSd7 = 0x1F;
// Unicode mode tags.
constexpr uint8_t kUc0 = 0xE0;
constexpr uint8_t kUc7 = 0xE7;
constexpr uint8_t kUd0 = 0xE8;
constexpr uint8_t kUd7 = 0xEF;
constexpr uint8_t kUqu = 0xF0;
constexpr uint8_t kUdx = 0xF1;
constexpr uint8_t kUrs = 0xF2;

// The window offset named by the argument of SDn / UDn; nothing for a reserved byte.
std::optional<uint32_t> WindowOffset(uint8_t x) {
  if (x >= 0x01 && x <= 0x67) return x * 0x80u;
  if (x >= 0x68 && x <= 0xA7) return x * 0x80u + 0xAC00u;
  if (x >= 0xF9) return kFixedOffsets[x - 0xF9];
  return std::nullopt;  // 00 and A8-F8
}

// Runs one SCSU stream and hands each produced value to emit: a value up to FFFF is one
// UTF-16 code unit (possibly a surrogate), a larger one is a supplementary code point
// from an extended window. Errors are emitted as U+FFFD. Returns false when any error
// was met.
template <typename Emit>
bool Decode(std::span<const uint8_t> bytes, Emit&& emit) {
  const ByteReader in(bytes);
  std::array<uint32_t, 8> dynamic = kInitialDynamicOffsets;
  size_t active = 0;
  bool unicode_mode = false;
  bool well_formed = true;

  auto fail = [&] {
    emit(kReplacement);
    well_formed = false;
  };
  auto from_window = [&](uint32_t offset, uint8_t b) {
    if (offset == kUnknownOffset) {
      emit(kReplacement);
    } else {
      emit(offset + (b & 0x7Fu));
    }
  };
  // SDn / UDn: the window becomes active even when its offset byte is reserved.
  auto define = [&](size_t window, uint8_t x) {
    std::optional<uint32_t> offset = WindowOffset(x);
    if (offset) {
      dynamic[window] = *offset;
    } else {
      dynamic[window] = kUnknownOffset;
      fail();
    }
    active = window;
  };
  // SDX / UDX.
  auto define_extended = [&](uint8_t hi, uint8_t lo) {
    size_t window = hi >> 5;
    dynamic[window] = 0x10000u + 0x80u * ((static_cast<uint32_t>(hi & 0x1F) << 8) | lo);
    active = window;
  };

  size_t pos = 0;
  while (pos < in.size()) {
    uint8_t b = in.U8(pos);
    // Number of argument bytes (or, in Unicode mode, the rest of the unit) after b.
    size_t arguments = 0;
    if (!unicode_mode) {
      if ((b >= kSq0 && b <= kSq7) || (b >= kSd0 && b <= kSd7)) {
        arguments = 1;
      } else if (b == kSdx || b == kSqu) {
        arguments = 2;
      }
    } else if (b >= kUd0 && b <= kUd7) {
      arguments = 1;
    } else if (b == kUqu || b == kUdx) {
      arguments = 2;
    } else if (b < kUc0 || b > kUrs) {
      arguments = 1;
    }
    if (!in.Has(pos + 1, arguments)) {
      fail();  // cut off by the end of the value
      break;
    }
    uint8_t a1 = in.U8(pos + 1);
    uint8_t a2 = in.U8(pos + 2);
    pos += 1 + arguments;

    if (!unicode_mode) {
      if (b >= 0x80) {
        from_window(dynamic[active], b);
      } else if (b >= 0x20 || b == 0x00 || b == 0x09 || b == 0x0A || b == 0x0D) {
        emit(b);
      } else if (b >= kSq0 && b <= kSq7) {
        size_t window = b - kSq0;
        if (a1 < 0x80) {
          emit(kStaticOffsets[window] + a1);
        } else {
          from_window(dynamic[window], a1);
        }
      } else if (b == kSdx) {
        define_extended(a1, a2);
      } else if (b == kSrs) {
        fail();
      } else if (b == kSqu) {
        emit(static_cast<uint32_t>(a1) << 8 | a2);
      } else if (b == kScu) {
        unicode_mode = true;
      } else if (b >= kSc0 && b <= kSc7) {
        active = b - kSc0;
      } else {  // kSd0 .. kSd7
        define(b - kSd0, a1);
      }
    } else {
      if (b >= kUc0 && b <= kUc7) {
        active = b - kUc0;
        unicode_mode = false;
      } else if (b >= kUd0 && b <= kUd7) {
        define(b - kUd0, a1);
        unicode_mode = false;
      } else if (b == kUqu) {
        emit(static_cast<uint32_t>(a1) << 8 | a2);
      } else if (b == kUdx) {
        define_extended(a1, a2);
        unicode_mode = false;
      } else if (b == kUrs) {
        fail();
      } else {
        emit(static_cast<uint32_t>(b) << 8 | a1);
      }
    }
  }
  return well_formed;
}

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string ScsuToUtf8(std::span<const uint8_t> bytes, bool* well_formed) {
  std::string out;
  out.reserve(bytes.size() * 2);
  uint32_t pending_high = 0;  // a high surrogate waiting for its low half, or 0
  bool ok = Decode(bytes, [&](uint32_t value) {
    if (pending_high != 0 && IsLowSurrogate(value)) {
      AppendUtf8(out, 0x10000 + ((pending_high - 0xD800) << 10) + (value - 0xDC00));
      pending_high = 0;
      return;
    }
    if (pending_high != 0) AppendUtf8(out, kReplacement);
    pending_high = 0;
    if (IsHighSurrogate(value)) {
      pending_high = value;
    } else {
      AppendUtf8(out, value);  // a lone low surrogate becomes U+FFFD here
    }
  });
  if (pending_high != 0) AppendUtf8(out, kReplacement);
  if (well_formed != nullptr) *well_formed = ok;
  return out;
}

std::u16string ScsuToUtf16(std::span<const uint8_t> bytes, bool* well_formed) {
  std::u16string out;
  out.reserve(bytes.size());
  bool ok = Decode(bytes, [&](uint32_t value) {
    if (value > 0xFFFF) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
  });
  if (well_formed != nullptr) *well_formed = ok;
  return out;
}

}  // namespace tarnwick
