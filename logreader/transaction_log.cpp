#include "logreader/transaction_log.h"

#include "logreader/user_table_map.h"
#include "reader/catalog_stage.h"

namespace tarnwick {

void TransactionLog::Reset() {
  file_.reset();
  operations_.Clear();
  table_names_.clear();
  scan_stats_ = {};
  decode_stats_ = {};
}

bool TransactionLog::Scan(const std::string& path, const UserTableMap& tables) {
  file_ = LogFile::Open(path);
  if (!file_) return false;
  Scan(*file_, tables);
  return true;
}

void TransactionLog::Scan(const LogSource& log, const UserTableMap& tables) {
  LogRecordDecoder decoder(tables, current_, operations_, table_names_);
  scan_stats_ = ScanLogFile(log, decoder);
  decode_stats_ = decoder.stats();
}

std::optional<LogBlock> TransactionLog::ReadLogBlock(uint64_t position) const {
  if (!file_) return std::nullopt;
  return tarnwick::ReadLogBlock(*file_, position);
}

std::optional<LogBlock> TransactionLog::ReadOperationBlock(const LogOperation& op) const {
  const std::optional<uint64_t> position = operations_.BlockPosition(op);
  if (!position) return std::nullopt;
  return ReadLogBlock(*position);
}

LogScanResult TransactionLog::TakeTreeInput() {
  LogScanResult result;
  result.operation_object_ids = operations_.ObjectIds();
  result.table_names.swap(table_names_);
  return result;
}

ScanStages RecoveryScanStages(const std::string& log_path, UserTableMap& tables,
                              TransactionLog& log) {
  ScanStages stages;
  stages.build_catalog = BuildCatalog;
  stages.build_user_table_map = [&tables](ReaderSlot& slot) {
    if (slot.metadata) tables = BuildUserTableMap(*slot.metadata);
  };
  stages.scan_log = [log_path, &tables, &log](ReaderSlot&, ScanFrontEnd& front) {
    if (!log.Scan(log_path, tables)) front.ShowMessage(kLdfCannotBeOpen, MessageIcon::kInformation);
    return log.TakeTreeInput();
  };
  return stages;
}

}  // namespace tarnwick
