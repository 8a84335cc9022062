// What the main window keeps of the transaction log between scans: the open
// log file, the operation list, the table-name map and the current
// transaction.
//
// Scan runs on the scan worker. Afterwards the operation list is read-only
// and ReadLogBlock may be called from several threads at once (positioned
// reads on the one open file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "logreader/log_block.h"
#include "logreader/log_file.h"
#include "logreader/log_operation.h"
#include "logreader/log_scan.h"
#include "logreader/record_decoder.h"
#include "reader/scan_driver.h"

namespace tarnwick {

class TransactionLog {
 public:
  // Run reset (new scan, Back): closes the log file and empties the
  // operation list and the table-name map. The current transaction stays.
  void Reset();

  // Opens the log at path and scans it with the user-table map, appending to
  // the operation list. False when the file cannot be opened: nothing of the
  // log is recovered and the caller shows kLdfCannotBeOpen.
  bool Scan(const std::string& path, const UserTableMap& tables);
  // The same over a source the caller keeps open.
  void Scan(const LogSource& log, const UserTableMap& tables);

  // The block of one operation read again, or nothing when no log is open
  // or the block cannot be read.
  std::optional<LogBlock> ReadLogBlock(uint64_t position) const;
  // The block that holds an operation's record; nullopt where it cannot be
  // read (or the operation's VLF is not one of the scan's).
  std::optional<LogBlock> ReadOperationBlock(const LogOperation& op) const;

  const OperationList& operations() const { return operations_; }
  const TableNameMap& tableNames() const { return table_names_; }
  const CurrentTransaction& current() const { return current_; }
  const LogScanStats& scanStats() const { return scan_stats_; }
  const DecodeStats& decodeStats() const { return decode_stats_; }
  bool isOpen() const { return file_.has_value(); }

  // What the tree is built from: the object id of every operation in log
  // order and the table-name map, which is emptied (the tree step is its
  // only reader).
  LogScanResult TakeTreeInput();

 private:
  std::optional<LogFile> file_;
  OperationList operations_;
  TableNameMap table_names_;
  CurrentTransaction current_;
  LogScanStats scan_stats_;
  DecodeStats decode_stats_;
};

// The stages of a whole recovery scan: the catalog, the user-table map of
// its metadata (into `tables`) and the walk of the log at log_path (into
// `log`; a log that cannot be opened shows kLdfCannotBeOpen). Both must
// outlive the scan.
ScanStages RecoveryScanStages(const std::string& log_path, UserTableMap& tables,
                              TransactionLog& log);

}  // namespace tarnwick
