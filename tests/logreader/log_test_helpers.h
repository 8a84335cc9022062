// Small helpers shared by the log reader tests.
#pragma once

#include <string>
#include <vector>

#include "logreader/log_file.h"
#include "logreader/log_record.h"
#include "logreader/log_scan.h"

namespace tarnwick::testing {

// What the walk handed over of one record.
struct SeenRecord {
  uint32_t vlfSequence = 0;
  uint32_t blockOffset = 0;
  uint64_t blockPosition = 0;
  int32_t recordIndex = 0;
  uint16_t endBound = 0;
  uint8_t operation = 0;
  std::string name;  // begin-transaction records: the name read
};

inline std::vector<SeenRecord> WalkRecords(const ByteBuffer& log, LogScanStats* stats = nullptr) {
  std::vector<SeenRecord> seen;
  MemoryLogSource source(log);
  LogScanStats s = WalkLogRecords(source, [&seen](const LogRecordWindow& w) {
    SeenRecord r;
    r.vlfSequence = w.vlfSequence;
    r.blockOffset = w.blockOffset;
    r.blockPosition = w.block->position;
    r.recordIndex = w.recordIndex;
    r.endBound = w.endBound;
    r.operation = w.fixed.U8(22);
    if (r.operation == kOpBeginTransaction) {
      auto begin = ReadBeginTransaction(w.block->reader(), w.offset);
      if (begin) r.name = begin->name;
    }
    seen.push_back(r);
  });
  if (stats) *stats = s;
  return seen;
}

// The names of the begin-transaction records the walk handed over, in order.
inline std::vector<std::string> WalkNames(const ByteBuffer& log) {
  std::vector<std::string> names;
  for (const SeenRecord& r : WalkRecords(log))
    if (r.operation == kOpBeginTransaction) names.push_back(r.name);
  return names;
}

}  // namespace tarnwick::testing
