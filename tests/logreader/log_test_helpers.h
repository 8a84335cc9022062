// Small helpers shared by the log reader tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "logreader/log_file.h"
#include "logreader/log_operation.h"
#include "logreader/log_record.h"
#include "logreader/log_scan.h"

namespace tarnwick::testing {

// A log source that offers positioned reads only, like a log file that
// could not be mapped: the walk then reads it in pieces of its own.
class PositionedReadsOnly final : public LogSource {
 public:
  explicit PositionedReadsOnly(const LogSource& inner) : inner_(inner) {}
  uint64_t size() const override { return inner_.size(); }
  size_t ReadAt(uint64_t position, std::span<uint8_t> out) const override {
    return inner_.ReadAt(position, out);
  }

 private:
  const LogSource& inner_;
};

// The differences between two operation lists, entry by entry and field by
// field (names compared as text), as readable lines; empty when they agree.
inline std::vector<std::string> OperationDifferences(const OperationList& a,
                                                     const OperationList& b) {
  std::vector<std::string> out;
  if (a.size() != b.size())
    out.push_back("sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()));
  for (size_t i = 0; i < std::min(a.size(), b.size()) && out.size() < 20; ++i) {
    const LogOperation& x = a[i];
    const LogOperation& y = b[i];
    const bool same = x.allocationUnitId == y.allocationUnitId &&
                      a.BlockPosition(x) == b.BlockPosition(y) && x.beginTime == y.beginTime &&
                      x.transactionId == y.transactionId && x.operation == y.operation &&
                      x.flags == y.flags && x.objectId == y.objectId &&
                      x.recordIndex == y.recordIndex && x.vlfSequence == y.vlfSequence &&
                      x.blockOffset == y.blockOffset && a.TableName(x) == b.TableName(y) &&
                      a.TransactionName(x) == b.TransactionName(y) &&
                      a.LastBeginBeforeName(x) == b.LastBeginBeforeName(y);
    if (!same)
      out.push_back("operation " + std::to_string(i) + ": " + a.TransactionName(x) + "/" +
                    a.LastBeginBeforeName(x) + " flags " + std::to_string(x.flags) + " and " +
                    b.TransactionName(y) + "/" + b.LastBeginBeforeName(y) + " flags " +
                    std::to_string(y.flags));
  }
  return out;
}

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
