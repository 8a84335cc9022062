// The whole recovery scan, from the chosen files to the operations tree.
//
// RunScan is the worker procedure. It talks to its front end only through
// ScanFrontEnd (status, progress, messages, tree, end of scan), in this
// order: reset, activity log line, open and map the data file set, catalog
// (boot page: version and collation), version gate, user-table map, log
// walk, tree, end. The stages that need the catalog and the log reader are
// supplied as ScanStages so that each front end runs the same sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/database_file.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"

namespace tarnwick {

inline constexpr const char* kUnknownCollation = "Unknown Collation";
inline constexpr const char* kScanCompleted = "Scanning process completed.........";
inline constexpr const char* kInvalidOrCorrupted =
    "Whether it is not valid mdf file or highly corrupted";
inline constexpr const char* kVersionNotSupported =
    "Software does not support version below sql server 2005";

class CMetadata;

// What the front end keeps of one scan: the open data file set and its
// catalog. Both outlive the scan; the operations view and the save use them.
struct ReaderSlot {
  std::unique_ptr<CDatabaseFile> database;
  std::shared_ptr<CMetadata> metadata;
  void Reset() {
    metadata.reset();
    database.reset();
  }
};

// One item of the operations tree.
struct TreeItem {
  std::string text;
  int32_t object_id = 0;  // 0 for the root and the All item
  int64_t count = 0;
};

// The tree the front ends render: the root (the data-file path), the All
// item, and one item per table sorted by text.
struct ScanTree {
  TreeItem root;
  TreeItem all;
  std::vector<TreeItem> tables;
};

// Builds the tree from the object id of every operation in log order and
// the map of table names. Table items appear for every named table, those
// without operations with the count 0, sorted case-insensitively by text.
ScanTree BuildScanTree(const std::string& data_file_path,
                       const std::vector<int32_t>& operation_object_ids,
                       const std::map<int32_t, std::string>& table_names);

enum class MessageIcon { kInformation, kError };

class ScanFrontEnd : public ProgressSink {
 public:
  // Discards the previous scan's results (the slot is reset by the driver).
  virtual void ResetRun() = 0;
  // Appends a line to the activity log.
  virtual void LogActivity(const std::string& line) = 0;
  virtual void ShowVersion(const std::string& name) = 0;
  virtual void ShowCollation(const std::string& name) = 0;
  // A message box with the caption "Tarnwick".
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  virtual void ClearTree() = 0;
  virtual void ShowTree(const ScanTree& tree) = 0;
  // Every path ends here: Back, Save and Close become usable; the progress
  // bar and Stop are hidden.
  virtual void ScanEnded() = 0;
};

// A front end without a screen: keeps the messages (open errors and message
// boxes), the last tree and whether the scan ended; progress, activity-log
// lines and the version and collation texts are dropped. The command line,
// benchmarks and tests build on it.
class CollectingFrontEnd : public ScanFrontEnd {
 public:
  void SetStatusText(const std::string&) override {}
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  void ReportOpenError(const std::string& text) override { messages.push_back(text); }
  void ResetRun() override {}
  void LogActivity(const std::string&) override {}
  void ShowVersion(const std::string&) override {}
  void ShowCollation(const std::string&) override {}
  void ShowMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
  void ClearTree() override { tree.reset(); }
  void ShowTree(const ScanTree& shown) override { tree = shown; }
  void ScanEnded() override { ended = true; }

  std::vector<std::string> messages;
  std::optional<ScanTree> tree;
  bool ended = false;
};

// What the log walk hands back for the tree.
struct LogScanResult {
  std::vector<int32_t> operation_object_ids;
  std::map<int32_t, std::string> table_names;
};

enum class CatalogOutcome {
  kNoMetadata,  // no catalog object could be made
  kEmpty,       // the catalog holds no object at all
  kReady,
};

// The stages that later layers bring. A stage left empty does nothing; the
// catalog stage then reads only the boot page.
struct ScanStages {
  std::function<CatalogOutcome(ReaderSlot&, ScanFrontEnd&)> build_catalog;
  std::function<void(ReaderSlot&)> build_user_table_map;
  std::function<LogScanResult(ReaderSlot&, ScanFrontEnd&)> scan_log;
};

// Runs one scan over the run state's data-file path. Returns 0 on every path,
// as a thread procedure does.
int RunScan(RunState& state, ReaderSlot& slot, ScanFrontEnd& front, const ScanStages& stages);

}  // namespace tarnwick
