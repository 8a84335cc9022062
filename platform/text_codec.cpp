#include "platform/text_codec.h"

#include <iconv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace tarnwick {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Words of eight bytes at a time: the ASCII runs below are found and copied
// without a test per character.
constexpr uint64_t kHighBits = 0x8080808080808080ull;
// Four UTF-16LE units are ASCII when no high byte is set and no low byte
// has bit 7.
constexpr uint64_t kUnitsNotAscii = 0xFF80FF80FF80FF80ull;

uint64_t Word(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The end of the ASCII run of `data` starting at `i`.
size_t AsciiRunEnd(const uint8_t* data, size_t i, size_t size) {
  while (i + 8 <= size && (Word(data + i) & kHighBits) == 0) i += 8;
  while (i < size && data[i] < 0x80) ++i;
  return i;
}

// ASCII bytes as UTF-16LE units (the high bytes 0).
void WidenAscii(const uint8_t* from, size_t count, char* to) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; k + 16 <= count; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * k), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * k + 16), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; k < count; ++k) {
    to[2 * k] = static_cast<char>(from[k]);
    to[2 * k + 1] = 0;
  }
}

// ASCII UTF-16LE units (each below 0x80) as bytes.
void NarrowAscii(const uint8_t* from, size_t count, char* to) {
  size_t k = 0;
#if defined(__SSE2__)
  for (; k + 16 <= count; k += 16) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * k));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * k + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_packus_epi16(low, high));
  }
#endif
  for (; k < count; ++k) to[k] = static_cast<char>(from[2 * k]);
}

// The end (in units) of the run of ASCII UTF-16LE units starting at unit i.
size_t AsciiUnitsEnd(const uint8_t* data, size_t i, size_t units) {
  while (i + 4 <= units && (Word(data + 2 * i) & kUnitsNotAscii) == 0) i += 4;
  while (i < units && data[2 * i + 1] == 0 && data[2 * i] < 0x80) ++i;
  return i;
}

// One iconv descriptor per (direction, code page) and thread: opening a
// descriptor costs far more than converting a short value.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto& [key, cd] : handles_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  iconv_t Get(bool to_utf8, int code_page) {
    auto key = std::make_pair(to_utf8, code_page);
    auto it = handles_.find(key);
    if (it != handles_.end()) return it->second;
    std::string name = IconvName(code_page);
    iconv_t cd = to_utf8 ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
    handles_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<bool, int>, iconv_t> handles_;
};

iconv_t Descriptor(bool to_utf8, int code_page) {
  thread_local IconvCache cache;
  return cache.Get(to_utf8, code_page);
}

bool IsValid(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string IconvName(int code_page) {
  switch (code_page) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(code_page);
  }
}

// Code pages whose bytes below 0x80 are ASCII, whichever converter serves
// them (the default one included).
bool AsciiCompatible(int code_page) {
  return code_page == 874 || (code_page >= 1250 && code_page <= 1258) || code_page == 28591 ||
         code_page == 20127 || code_page == 65001;
}

std::string DecodeCodePage(std::span<const uint8_t> bytes, int code_page) {
  std::string out;
  if (bytes.empty()) return out;
  // Text of ASCII only, the common case, is its own UTF-8: no converter call.
  if (AsciiCompatible(code_page) && AsciiRunEnd(bytes.data(), 0, bytes.size()) == bytes.size())
    return std::string(bytes.begin(), bytes.end());
  iconv_t cd = Descriptor(true, code_page);
  if (!IsValid(cd)) cd = Descriptor(true, kDefaultCodePage);
  if (!IsValid(cd)) {
    // No converter at all: keep ASCII, replace the rest.
    for (uint8_t b : bytes) AppendUtf8(out, b < 0x80 ? b : kReplacement);
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()));
  size_t in_left = bytes.size();
  char buffer[1024];
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ: a byte that has no character; EINVAL: an incomplete multi-byte
    // sequence at the end. Either way one byte becomes U+FFFD.
    AppendUtf8(out, kReplacement);
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string EncodeCodePage(std::string_view utf8, int code_page) {
  std::string out;
  if (utf8.empty()) return out;
  iconv_t cd = Descriptor(false, code_page);
  if (!IsValid(cd)) cd = Descriptor(false, kDefaultCodePage);
  if (!IsValid(cd)) {
    for (unsigned char c : utf8) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char buffer[1024];
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // Skip the whole UTF-8 sequence that could not be written.
    out.push_back('?');
    size_t skip = 1;
    while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    in += skip;
    in_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t n = bytes.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    // A run of ASCII units, the common case, copied without the checks below.
    const size_t end = AsciiUnitsEnd(bytes.data(), i, n);
    if (end > i) {
      const size_t at = out.size();
      out.resize(at + (end - i));
      NarrowAscii(bytes.data() + 2 * i, end - i, out.data() + at);
      i = end - 1;
      continue;
    }
    uint32_t u = bytes[2 * i] | (bytes[2 * i + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      uint32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, u);
  }
  if (bytes.size() % 2) AppendUtf8(out, kReplacement);
  return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  AppendUtf8AsUtf16Le(out, utf8);
  return out;
}

void AppendUtf8AsUtf16Le(std::string& out, std::string_view utf8) {
  out.reserve(out.size() + utf8.size() * 2);
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  size_t i = 0;
  while (i < utf8.size()) {
    // A run of ASCII, the common case, copied without the checks below.
    const uint8_t* data = reinterpret_cast<const uint8_t*>(utf8.data());
    const size_t end = AsciiRunEnd(data, i, utf8.size());
    if (end > i) {
      // Widened through a small buffer: growing the string first would fill
      // it with zeros only to overwrite them.
      char wide[512];
      while (i < end) {
        const size_t n = std::min(end - i, sizeof wide / 2);
        WidenAscii(data + i, n, wide);
        out.append(wide, 2 * n);
        i += n;
      }
      continue;
    }
    unsigned char c = utf8[i];
    uint32_t cp = kReplacement;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      len = 0;
    }
    bool ok = len > 0 && i + len <= utf8.size();
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char d = utf8[i + k];
      if ((d & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok) {
      cp = kReplacement;
      len = 1;
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp > 0x10FFFF ? kReplacement : cp);
    }
    i += len;
  }
}

}  // namespace tarnwick
