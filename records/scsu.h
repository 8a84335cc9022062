// Standard Compression Scheme for Unicode (SCSU, Unicode Technical Standard #6) decoder.
//
// SQL Server 2008 R2 and later store nchar/nvarchar values of row- and page-compressed
// objects in SCSU when that is shorter than their UTF-16 form. Each value is its own
// stream: every call starts from the initial state and no state survives it. There is no
// length field, no terminator and no alignment; 00 is an ordinary byte (U+0000).
//
// State: mode (single-byte at the start, or Unicode), the active window (0 at the start)
// and 8 dynamic window offsets. A window with offset W maps byte 80-FF to W + (byte & 7F).
//
//   window  static offset  initial dynamic offset
//   0       0000           0080
//   1       0080           00C0
//   2       0100           0400
//   3       0300           0600
//   4       2000           0900
//   5       2080           3040
//   6       2100           30A0
//   7       3000           FF00
//
// Single-byte mode (n = window number taken from the tag byte)
//   00 09 0A 0D, 20-7F  the character itself
//   80-FF               dynamic[active] + (byte - 80)
//   01-08  SQn  x       x < 80: static[n] + x; x >= 80: dynamic[n] + (x - 80); no state change
//   0B     SDX  hi lo   extended window, see below; it becomes active
//   0C     Srs          reserved
//   0E     SQU  hi lo   the UTF-16 code unit hi lo (big-endian)
//   0F     SCU          switch to Unicode mode
//   10-17  SCn          active := n
//   18-1F  SDn  x       dynamic[n] := offset(x); active := n
//
// Unicode mode (only the first byte of a unit is a possible tag)
//   00-DF, F3-FF  b lo  the UTF-16 code unit b lo (big-endian)
//   E0-E7  UCn          active := n; single-byte mode
//   E8-EF  UDn  x       dynamic[n] := offset(x); active := n; single-byte mode
//   F0     UQU  hi lo   the UTF-16 code unit hi lo
//   F1     UDX  hi lo   as SDX, then single-byte mode
//   F2     Urs          reserved
//
// offset(x): 00 reserved; 01-67 x*80; 68-A7 x*80 + AC00; A8-F8 reserved;
//   F9 00C0, FA 0250, FB 0370, FC 0530, FD 3040, FE 30A0, FF FF60.
// SDX/UDX hi lo: window hi >> 5, offset 10000 + 80 * (((hi & 1F) << 8) | lo); bytes taken
//   from such a window are supplementary code points.
//
// Malformed input never stops decoding early except at its end:
//   - Srs / Urs: one U+FFFD; the mode does not change.
//   - A reserved window byte: one U+FFFD. The tag still switches the active window (and UDn
//     still leaves Unicode mode), but the window's offset becomes unknown: each byte 80-FF
//     taken from it is U+FFFD until a valid definition replaces it.
//   - An item cut off by the end of the input (tag without all its argument bytes, half a
//     Unicode-mode unit): one U+FFFD.
// A high surrogate joins the low surrogate that is the next emitted unit, whichever item
// produced each (tags that emit nothing do not separate them).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarnwick {

// SCSU bytes to UTF-8. Surrogate pairs are joined; a lone surrogate becomes U+FFFD. When
// well_formed is given it is set to false if the input held a reserved tag, a reserved
// window byte or a cut-off item (lone surrogates do not count: they are content, not a
// format error).
std::string ScsuToUtf8(std::span<const uint8_t> bytes, bool* well_formed = nullptr);

// SCSU bytes to the UTF-16 code units they stand for, as SQL Server holds them
// uncompressed. Supplementary code points of extended windows become surrogate pairs;
// surrogates from SQU, UQU and Unicode mode are passed through unchanged, even when
// unpaired. Errors are U+FFFD as above; well_formed as for ScsuToUtf8.
std::u16string ScsuToUtf16(std::span<const uint8_t> bytes, bool* well_formed = nullptr);

}  // namespace tarnwick
