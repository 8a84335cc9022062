// Feeds arbitrary bytes to the log reader, either as one log block (first
// byte even) or as a whole small log (first byte odd). Every record is
// decoded as the scan and the later re-read of one operation do it: fixed
// fields, begin-transaction variable part, row-log fields; every row change
// is mapped to a table so that the operation list is filled.
#include <cstddef>
#include <cstdint>

#include "logreader/log_block.h"
#include "logreader/log_file.h"
#include "logreader/log_record.h"
#include "logreader/log_scan.h"
#include "logreader/record_decoder.h"

namespace {

using namespace tarnwick;

// Maps the rowset id of every record the walk hands over, so that the
// decoder makes operations of all row changes.
UserTableMap MapEveryRowset(const LogSource& log) {
  UserTableMap map;
  WalkLogRecords(log, [&map](const LogRecordWindow& w) {
    map.Add(w.fixed.U64(48), static_cast<int32_t>(map.size()), "t");
  });
  return map;
}

// What the statement builder does with one operation: read its block again
// and cut its record's fields.
size_t Reread(const LogSource& log, const OperationList& ops) {
  size_t seen = 0;
  for (const LogOperation& op : ops.operations()) {
    // Every operation of a scan lies in one of the scan's VLFs.
    const std::optional<uint64_t> position = ops.BlockPosition(op);
    if (!position) __builtin_trap();
    std::optional<LogBlock> block = ReadLogBlock(log, *position);
    if (!block) continue;
    RowLogFields fields = ReadRowLogFields(*block, static_cast<size_t>(op.recordIndex));
    for (Bytes f : fields.fields) seen += f.size();
    seen += ReadLogRecordFields(block->RecordBytes(static_cast<size_t>(op.recordIndex))).fieldCount;
  }
  return seen;
}

void FuzzBlock(Bytes bytes) {
  std::optional<LogBlock> block = DecodeLogBlock(bytes, 8192);
  if (!block) return;
  UserTableMap map;
  VisitBlockRecords(*block, 1, 16,
                    [&map](const LogRecordWindow& w) { map.Add(w.fixed.U64(48), 1, "t"); });
  CurrentTransaction current;
  OperationList ops;
  TableNameMap names;
  LogRecordDecoder decoder(map, current, ops, names);
  VisitBlockRecords(*block, 1, 16, [&](const LogRecordWindow& w) {
    decoder.DecodeLogRecord(w);
    ReadRowLogFields(block->reader(), w.offset, w.endBound);
  });
  decoder.Finish();
  for (size_t j = 0; j < block->count(); ++j) {
    ReadRowLogFields(*block, j);
    ReadBeginTransaction(block->reader(), block->offsets[j]);
  }
  // The same block left as stored, as a scan over a mapped log reads it.
  LogBlock stored;
  FillLogBlockAsStored(bytes, 8192, block->header, stored);
  CurrentTransaction stored_current;
  OperationList stored_ops;
  TableNameMap stored_names;
  LogRecordDecoder stored_decoder(map, stored_current, stored_ops, stored_names);
  VisitBlockRecords(stored, 1, 16,
                    [&](const LogRecordWindow& w) { stored_decoder.DecodeLogRecord(w); });
  stored_decoder.Finish();
  if (stored_ops.size() != ops.size()) __builtin_trap();
}

void FuzzLog(Bytes bytes) {
  // The first 48 bytes are the VLF header at position 0; the rest starts at
  // 8192, where that VLF's first block lies when its position field is 0.
  ByteBuffer file(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 48));
  if (bytes.size() > 48) {
    file.resize(8192, 0);
    file.insert(file.end(), bytes.begin() + 48, bytes.end());
  }
  MemoryLogSource log(file);
  UserTableMap map = MapEveryRowset(log);
  CurrentTransaction current;
  OperationList ops;
  TableNameMap names;
  LogRecordDecoder decoder(map, current, ops, names);
  ScanLogFile(log, decoder, /*two_parts_from=*/UINT64_MAX);
  Reread(log, ops);

  // The same log in two parts on two threads attributes alike.
  CurrentTransaction split_current;
  OperationList split_ops;
  TableNameMap split_names;
  LogRecordDecoder split(map, split_current, split_ops, split_names);
  ScanLogFile(log, split, /*two_parts_from=*/0);
  if (split_ops.size() != ops.size() || split_current.name != current.name) __builtin_trap();
  for (size_t i = 0; i < ops.size(); ++i) {
    const LogOperation& a = ops[i];
    const LogOperation& b = split_ops[i];
    if (a.flags != b.flags || ops.BlockPosition(a) != split_ops.BlockPosition(b) ||
        ops.TableName(a) != split_ops.TableName(b) ||
        ops.TransactionName(a) != split_ops.TransactionName(b) ||
        ops.LastBeginBeforeName(a) != split_ops.LastBeginBeforeName(b) ||
        a.beginTime != b.beginTime)
      __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Bytes bytes(data + 1, size - 1);
  if (data[0] % 2 == 0)
    FuzzBlock(bytes);
  else
    FuzzLog(bytes);
  return 0;
}
