// Virtual log file (VLF) headers and their discovery.
//
// A log file is cut into VLFs. Each starts with a 48-byte header at a file
// position that is a multiple of 8192; its first log block lies 8192 bytes
// after the VLF's position.
//
//   offset width meaning
//   0      2     signature: byte 0 is 0xAB, byte 1 is 0x40 or 0x80 (it
//                alternates from one use of the VLF to the next)
//   2      2     format (04 00 in SQL Server 2008 files, 05 00 later); kept
//   4      4     VLF sequence number, unsigned; 0: the VLF is not in use
//   8      8     kept, not interpreted
//   16     8     VLF size in bytes; kept, not interpreted by the walk
//   24     8     file position of the VLF
//   32     16    kept, not interpreted
//
// The server writes the VLFs of a wrapped log in a file order that differs
// from the order of their sequence numbers; the walk follows the numbers.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>

#include "logreader/log_file.h"
#include "reader/byte_reader.h"

namespace tarnwick {

inline constexpr uint64_t kVlfAlignment = 8192;
inline constexpr size_t kVlfHeaderSize = 48;
// The first log block of a VLF starts this many bytes after its position.
inline constexpr uint64_t kVlfFirstBlockOffset = 8192;

struct VlfHeader {
  std::array<uint8_t, kVlfHeaderSize> bytes{};
  // Where the header was found (not necessarily its position field).
  uint64_t filePosition = 0;

  uint8_t signature() const { return bytes[1]; }
  uint32_t sequence() const { return ByteReader(bytes.data(), bytes.size()).U32(4); }
  uint64_t vlfSize() const { return ByteReader(bytes.data(), bytes.size()).U64(16); }
  uint64_t position() const { return ByteReader(bytes.data(), bytes.size()).U64(24); }
};

// True when the first two bytes are 0xAB followed by 0x40 or 0x80.
bool HasVlfSignature(Bytes bytes);

// The header in the first 48 bytes (missing bytes read as zeros), or nothing
// when the signature does not match.
std::optional<VlfHeader> ParseVlfHeader(Bytes bytes, uint64_t file_position);

// VLFs in use by sequence number (compared as unsigned).
using VlfTable = std::map<uint32_t, VlfHeader>;

// Probes every multiple of 8192 below the log's length (64-bit positions, so
// a log of 4 GiB or more is probed to its end). Headers with sequence number
// 0 are left out; of two headers with one sequence number the one at the
// lower file position stays.
VlfTable DiscoverVlfs(const LogSource& log);

}  // namespace tarnwick
