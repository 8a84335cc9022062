// One whole scan for the command line: the data file set and its catalog,
// the user-table map and the transaction log, run through the same scan
// driver as the desktop program, with a front end that prints messages on
// stderr and progress on a terminal.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_sink.h"
#include "logreader/record_decoder.h"
#include "logreader/transaction_log.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"

namespace tarnwick::cli {

class CliFrontEnd : public CollectingFrontEnd {
 public:
  void SetStatusText(const std::string& text) override { console_.SetStatusText(text); }
  void SetProgressRange(uint64_t maximum) override { console_.SetProgressRange(maximum); }
  void SetProgressPos(uint64_t position) override { console_.SetProgressPos(position); }
  void ReportOpenError(const std::string& text) override {
    console_.ReportOpenError(text);
    messages.push_back(text);
  }

 private:
  ConsoleSink console_;
};

struct ScanSession {
  RunState state;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  CliFrontEnd front;
  // Object id, name and per-kind counts of every table of the tree (taken
  // before the tree step empties the log's table-name map).
  std::map<int32_t, std::string> table_names;
  bool log_opened = false;
};

// Runs the scan of a log and data file pair. Returns nothing, after
// printing the messages of the scan on stderr, when the scan could not
// recover anything because a file could not be read or the version is
// refused.
std::unique_ptr<ScanSession> RunCliScan(const std::string& ldf, const std::string& mdf);

}  // namespace tarnwick::cli
