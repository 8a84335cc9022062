#include "logreader/vlf_header.h"

#include <algorithm>

#include "platform/two_threads.h"

namespace tarnwick {

bool HasVlfSignature(Bytes bytes) {
  ByteReader r(bytes);
  return r.Has(0, 2) && r.U8(0) == 0xAB && (r.U8(1) == 0x40 || r.U8(1) == 0x80);
}

std::optional<VlfHeader> ParseVlfHeader(Bytes bytes, uint64_t file_position) {
  if (!HasVlfSignature(bytes)) return std::nullopt;
  VlfHeader header;
  std::copy_n(bytes.begin(), std::min(bytes.size(), kVlfHeaderSize), header.bytes.begin());
  header.filePosition = file_position;
  return header;
}

namespace {

// The probes are read a chunk of many 8192-byte steps at a time: one read
// call per probe costs far more than the bytes in between. A chunk starts
// on a probe position and holds whole steps, so every header lies inside
// one chunk (or is cut by the end of the data read, as a single probe read
// would be).
constexpr size_t kChunk = 128 * kVlfAlignment;
// A log at least this long is probed by two threads, a half each.
constexpr uint64_t kTwoThreadsFrom = uint64_t{64} << 20;

// The probes of [from, to), from a multiple of kChunk, into table.
void ProbeRange(const LogSource& log, uint64_t from, uint64_t to, VlfTable& table) {
  ByteBuffer chunk(static_cast<size_t>(std::min<uint64_t>(kChunk, to - from)));
  for (uint64_t start = from; start < to; start += kChunk) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, to - start));
    const size_t n = log.ReadAt(start, std::span<uint8_t>(chunk.data(), want));
    for (size_t at = 0; at < want; at += kVlfAlignment) {
      const uint64_t p = start + at;
      const size_t available = at < n ? std::min(n - at, kVlfHeaderSize) : 0;
      if (available >= 2) {
        std::optional<VlfHeader> header = ParseVlfHeader(Bytes(chunk.data() + at, available), p);
        if (header && header->sequence() != 0)
          table.emplace(header->sequence(), *header);  // the lower position stays
      }
    }
  }
}

// The probes of a log in memory: only the headers' bytes are read, and the
// pages behind are let go as the probes move on (a mapped log would
// otherwise stay resident as a whole).
void ProbeInMemory(const LogSource& log, Bytes bytes, VlfTable& table) {
  uint64_t done = 0;
  for (uint64_t p = 0; p < bytes.size(); p += kVlfAlignment) {
    const Bytes head = bytes.subspan(p, std::min<uint64_t>(kVlfHeaderSize, bytes.size() - p));
    if (head.size() >= 2) {
      std::optional<VlfHeader> header = ParseVlfHeader(head, p);
      if (header && header->sequence() != 0) table.emplace(header->sequence(), *header);
    }
    if (p - done >= kLogDoneWithStep) {
      log.DoneWith(done, p);
      done = p;
    }
  }
  log.DoneWith(done, bytes.size());
}

}  // namespace

VlfTable DiscoverVlfs(const LogSource& log) {
  VlfTable table;
  const uint64_t length = log.size();
  const Bytes in_memory = log.InMemory();
  if (!in_memory.empty() && in_memory.size() == length) {
    ProbeInMemory(log, in_memory, table);
    return table;
  }
  if (length < kTwoThreadsFrom) {
    ProbeRange(log, 0, length, table);
    return table;
  }
  // The upper half on a thread of its own (each thread reads only its own
  // bytes); its headers are added after the lower half's, so of two
  // headers with one sequence number the lower position still stays.
  const uint64_t middle = length / 2 / kChunk * kChunk;
  VlfTable upper;
  RunBeside([&] { ProbeRange(log, 0, middle, table); },
            [&] { ProbeRange(log, middle, length, upper); });
  for (const auto& [sequence, header] : upper) table.emplace(sequence, header);
  return table;
}

}  // namespace tarnwick
