// The script export: what the Save command does after the save options are
// confirmed. Writes, for the database read from the data file, a folder of
// T-SQL scripts that re-create it and its checked tables, load the rows of
// the accepted operations and add the keys, and the files that run them.
//
// Folder layout (on disk the parts are joined with "/"; inside the scripts
// and the batch file the paths keep "\", since sqlcmd on Windows runs them):
//
//   D = <script folder>/<database name>
//   D/<database script name>.sql              database statement block
//   D/mainsqlscript.bat, D/mainsqlscript.sh   run every script in order
//   D/userdefinedatatype.sql                  when the schema has any
//   D/Tables/<t>/<t>.sql                      CREATE TABLE, constraints,
//                                             indexes, rows
//   D/Tables/<t>/<t><size><n>.sql             after a roll-over
//   D/Tables/<t>/maintablescript.sql          ":r" lines of the table's scripts
//   D/Blob_<t>/<n>_blob                       large binary values
//   D/altertablecommandPrimarykeys/<i>.sql    SQL Server 2000 catalogs only
//   D/altertablecommandforeignkeys/<i>.sql    foreign key i, from 0
//
// Names from the database reach the paths only through SafePathComponent
// and the substitute names of ScriptNames; the statements keep the real
// names. Every script file is written under a temporary name and renamed
// when complete.
//
// Order of the steps (RunSave):
//   1. no catalog, or 2. no data file path: return 0 without writing
//   3. activity log "\r\n Creating Script for Database \r\n"
//   4. create D; "Creating Directory \" D \""
//   5.-6. create D/Tables and the batch file; when the batch file cannot be
//      created: "Can not open  File \" path \"", end of save, return 0
//   7. the database script; "Creating File \" path \""
//   8. the batch header and the database script's line
//   9. userdefinedatatype.sql when the schema has user-defined types
//  10. every checked table item in tree order (the root skipped) while the
//      stop flag is clear: progress range 0..the item's count, the table's
//      script (first operation: CREATE TABLE, list script, batch line,
//      constraints and indexes when chosen), then the rows of each accepted
//      operation; "Total Number of record Processed =  n ."
//  11. status "Writing script for Store Procedures ,functions,views and
//      triggers "
//  12. SQL Server 2000 catalogs: the primary key of every table
//  13. every foreign key while the stop flag is clear
//  14. the rest of the batch file (and the shell script); both committed
//  15. the stop flag cleared
//  16. the completion status and activity log lines
//  17. the end of the save, "Saving process completed.", return 1
//
// The stop flag ends the table loop, the walk over a table's operations,
// the rows of an operation and the foreign-key loop; a table that was begun
// still gets its closing text, and the batch file is still completed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/save_cache.h"
#include "export/save_options.h"
#include "logreader/log_file.h"
#include "logreader/log_operation.h"
#include "reader/metadata.h"
#include "reader/run_state.h"

namespace tarnwick {

inline constexpr const char* kSaveCompleted = "Saving process completed.";
inline constexpr const char* kWritingObjects =
    "Writing script for Store Procedures ,functions,views and triggers ";
// The batch file's code page. Names above U+00FF get substitutes, so every
// name the batch file holds is Latin-1, which this code page covers.
inline constexpr int kBatchCodePage = 1252;

// Where the save reports. A front end implements it: the desktop program
// with its save progress window and status box, the command line on its
// terminal. Calls are synchronous and come from the save's thread.
class SaveSink {
 public:
  virtual ~SaveSink() = default;
  // The main window's status box.
  virtual void SetStatusText(const std::string& text) = 0;
  // The save progress window's bar: range 0..maximum, position 0.
  virtual void SetProgressRange(uint64_t maximum) = 0;
  virtual void SetProgressPos(uint64_t position) = 0;
  // A line of the save progress window's list.
  virtual void AddListLine(const std::string& line) = 0;
  // Appended to the activity log as it stands (the texts carry their CR LF).
  virtual void LogActivity(const std::string& text) = 0;
  // The save has ended, on every path: Close enabled, progress bar and Stop
  // hidden.
  virtual void SaveEnded() = 0;
  // A message box (caption "Tarnwick", information icon).
  virtual void ShowMessage(const std::string& text) = 0;
};

class NullSaveSink : public SaveSink {
 public:
  void SetStatusText(const std::string&) override {}
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  void AddListLine(const std::string&) override {}
  void LogActivity(const std::string&) override {}
  void SaveEnded() override {}
  void ShowMessage(const std::string&) override {}
};

// A checked item of the operations tree.
struct SaveTreeItem {
  // "name[count]"; the All item "All[count]".
  std::string text;
  // The table's object id; 0 for the All item and the root.
  int32_t object_id = 0;
  bool root = false;
};

// Everything one save reads. The pointers must outlive RunSave.
struct SaveJob {
  // Stop flag, data file path, SQL Server 2000 mode, code page.
  RunState* state = nullptr;
  // The catalog of the scan; null when no data file has been read. Its
  // current table changes while the save runs.
  CMetadata* metadata = nullptr;
  // The log the operations came from (read again for every accepted
  // operation) and the operation list.
  const LogSource* log = nullptr;
  const OperationList* operations = nullptr;
  SaveOptions options;
  // The checked items in tree order.
  std::vector<SaveTreeItem> checked;
  // The date a NULL primary-key date column gets ("YYYY-MM-DD"); empty: the
  // local date when the save starts.
  std::string today;
  size_t cached_blocks = SaveReadCache::kDefaultBlocks;
  size_t cached_pages = SaveReadCache::kDefaultPages;
  size_t log_window = SaveReadCache::kLogWindow;
};

struct SaveResult {
  // RunSave's return value: 1 completed, 0 ended early.
  int status = 0;
  std::string database_folder;
  std::string batch_path;
  std::string shell_path;
  // Over all tables.
  uint64_t operations_accepted = 0;
  uint64_t rows_written = 0;
  uint64_t table_scripts = 0;
  SaveCacheStats cache;
};

// The save worker. Returns 1 on a completed save, 0 when it ends early.
int RunSave(const SaveJob& job, SaveSink& sink, SaveResult* result = nullptr);

// The database name: the data file name after its last "\" or "/", every
// ".mdf" and ".MDF" removed, then every "-" and blank.
std::string DatabaseNameOf(std::string_view data_file_path);
// D on disk: the script folder without the "\" the options store after it
// (and without trailing separators), "/", the database folder name. An
// empty script folder (the server destination before any script save)
// stands for the current folder.
std::string DatabaseFolderPath(std::string_view script_folder, std::string_view folder_name);
// The operation count of a tree item: the number after the last "[" of its
// text, the trailing "]" removed; 0 when there is none.
uint64_t ItemOperationCount(std::string_view item_text);

}  // namespace tarnwick
