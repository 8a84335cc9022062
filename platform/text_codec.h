// Text conversions. Internal text is UTF-8 in std::string.
//
// 8-bit character data of a database is decoded with the Windows code page of
// its collation through iconv; UTF-16LE data (nchar, nvarchar, ntext, names
// in the catalog) is decoded as full Unicode. Bytes that do not convert
// become U+FFFD; conversion never throws and never returns less than what
// could be read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

inline constexpr int kDefaultCodePage = 1252;

// 8-bit bytes in the given Windows code page to UTF-8.
std::string DecodeCodePage(std::span<const uint8_t> bytes, int code_page);

// UTF-8 to the given Windows code page; characters the code page lacks become '?'.
std::string EncodeCodePage(std::string_view utf8, int code_page);

// UTF-16LE bytes to UTF-8; surrogate pairs are joined, lone surrogates and an
// odd trailing byte become U+FFFD.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);

// UTF-8 to UTF-16LE bytes (no byte order mark); invalid UTF-8 becomes U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);
// The same, appended to `out`.
void AppendUtf8AsUtf16Le(std::string& out, std::string_view utf8);

// Appends the UTF-8 form of a code point (invalid ones as U+FFFD).
void AppendUtf8(std::string& out, uint32_t code_point);

// The iconv name of a Windows code page ("CP1252", "CP932", ...).
std::string IconvName(int code_page);

}  // namespace tarnwick
