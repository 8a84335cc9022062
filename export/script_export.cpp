#include "export/script_export.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <span>

#include "export/batch_script.h"
#include "export/database_script.h"
#include "export/insert_script.h"
#include "export/operation_filter.h"
#include "export/script_file.h"
#include "export/table_script.h"
#include "logreader/log_record.h"
#include "logreader/row_operations.h"
#include "platform/file_system.h"
#include "platform/text_codec.h"
#include "records/compressed_record.h"
#include "records/lob_blob_file.h"
#include "records/record_page.h"
#include "records/table_rows.h"

namespace tarnwick {
namespace {

constexpr std::string_view kTablesFolder = "Tables";
constexpr std::string_view kListScriptName = "maintablescript.sql";
constexpr std::string_view kUserTypeScriptName = "userdefinedatatype.sql";
constexpr std::string_view kPrimaryKeysFolder = "altertablecommandPrimarykeys";
constexpr std::string_view kForeignKeysFolder = "altertablecommandforeignkeys";
// Script text is converted and handed to the file in pieces of this size.
constexpr size_t kPendingText = size_t{256} << 10;

std::string Quoted(std::string_view before, const std::string& path) {
  std::string text(before);
  return text.append("\" ").append(path).append(" \"");
}

std::string Join(std::string_view folder, std::string_view name) {
  return JoinPath(std::string(folder), std::string(name));
}

// One table being written.
struct TableWrite {
  std::string name;    // the table's own name, for the statements
  std::string folder;  // its folder and file name
  std::string folder_path;
  OperationTable table;
  CreateTableText create;
  // The INSERT statement head: the same for every row of the table (the
  // rows are copies of `table.columns`).
  std::string insert_head;
  InsertTextOptions insert_options;
  std::unique_ptr<TableRecordContext> context;
  std::optional<ScriptFile> script;
  // Text for the script not yet handed to it (converted in large pieces).
  std::string pending;
  std::optional<ScriptFile> list;
  SetScript set_script;
  std::unique_ptr<BlobFolder> blobs;
  // The row counter of the table.
  uint64_t rows = 0;
  // The rows of the operation being written; kept from one operation to the
  // next so that their storage is reused.
  std::vector<Row> row_buffer;
  // Roll-over scripts handed to the committer.
  std::vector<std::pair<size_t, std::string>> rolled_over;
};

// A table whose files are being committed: its batch line is added once
// they are (and left out when its script or list file is not).
struct CommittingTable {
  std::vector<std::pair<size_t, std::string>> rolled_over;
  size_t script = 0;
  size_t list = 0;
  std::string script_path;
  std::string list_path;
  SetScript set_script;
};

class SaveRun {
 public:
  SaveRun(const SaveJob& job, SaveSink& sink, SaveResult& result)
      : job_(job),
        state_(*job.state),
        metadata_(*job.metadata),
        sink_(sink),
        result_(result),
        filter_(job.options),
        cache_(metadata_.database(), *job.log, job.cached_blocks, job.cached_pages,
               job.log_window) {
    literal_.saveRunning = true;
    literal_.today = job.today.empty() ? TodayText() : job.today;
  }

  int Run();

 private:
  bool stopped() const { return state_.StopRequested(); }
  // A message to the progress window's list and the activity log.
  void Log(const std::string& text) {
    sink_.AddListLine(text);
    sink_.LogActivity(text + "\r\n");
  }
  // The end of every save that created the batch file or tried to.
  void End() { sink_.SaveEnded(); }

  void AddScript(SetScript script);
  // Waits for the files of the tables handed to the committer and adds
  // their batch lines, in table order.
  void AddCommittedTables();
  // A script file of its own, written whole; false when it cannot be.
  bool WriteWholeScript(const std::string& folder, std::string_view file_name,
                        const std::string& text);
  void SaveTable(const SaveTreeItem& item);
  bool BeginTable(TableWrite& t, const LogOperation& first);
  void EndTable(TableWrite& t);
  void WriteOperationRows(TableWrite& t, const LogOperation& operation);
  std::span<const Row> RowsToSave(TableWrite& t, const LogOperation& operation);
  // For an insert's or delete's log record: true, with the record when its
  // row image and page can be read; false for other records.
  bool OneRecordOf(const TableWrite& t, const LogBlock& block, const LogOperation& operation,
                   std::optional<CPrimaryRecord>& record);
  void Write(TableWrite& t, std::string_view text);
  void Flush(TableWrite& t);
  bool RollOver(TableWrite& t);
  void WritePrimaryKeys2000();
  void WriteForeignKeys();

  const SaveJob& job_;
  RunState& state_;
  CMetadata& metadata_;
  SaveSink& sink_;
  SaveResult& result_;
  OperationFilter filter_;
  SaveReadCache cache_;
  SqlLiteralContext literal_;
  ScriptNames names_;
  std::string folder_;  // D
  std::optional<AtomicFile> batch_;
  std::vector<SetScript> scripts_;
  uint64_t roll_overs_ = 0;
  // Finished table scripts reach the disk while the next table is written.
  FileCommitter commits_;
  std::vector<CommittingTable> committing_;
};

void SaveRun::AddCommittedTables() {
  for (CommittingTable& table : committing_) {
    for (const auto& [ticket, path] : table.rolled_over)
      if (!commits_.Wait(ticket)) Log(Quoted("Can not open  File ", path));
    const bool written = commits_.Wait(table.script);
    const bool listed = commits_.Wait(table.list);
    if (!written || !listed) {
      Log(Quoted("Can not open  File ", written ? table.list_path : table.script_path));
      continue;
    }
    AddScript(std::move(table.set_script));
  }
  committing_.clear();
}

void SaveRun::AddScript(SetScript script) {
  batch_->Append(EncodeCodePage(WindowsBatchLine(script), kBatchCodePage));
  scripts_.push_back(std::move(script));
}

bool SaveRun::WriteWholeScript(const std::string& folder, std::string_view file_name,
                               const std::string& text) {
  return EnsureFolder(folder) && WriteScriptFile(Join(folder, file_name), text);
}

int SaveRun::Run() {
  state_.ClearStop();
  const std::string& data_file = state_.data_file_path;
  if (data_file.empty()) {
    End();
    return 0;
  }
  sink_.LogActivity("\r\n Creating Script for Database \r\n");

  const std::string database_name = DatabaseNameOf(data_file);
  folder_ =
      DatabaseFolderPath(job_.options.script_folder, ScriptNames::DatabaseFolder(database_name));
  result_.database_folder = folder_;
  EnsureFolder(folder_);
  Log(Quoted("Creating Directory ", folder_));

  const std::string script_name = names_.DatabaseScriptName(database_name) + ".sql";
  EnsureFolder(Join(folder_, kTablesFolder));
  const std::string batch_path = Join(folder_, kBatchFileName);
  result_.batch_path = batch_path;
  batch_ = AtomicFile::Create(batch_path);
  if (!batch_) {
    Log(Quoted("Can not open  File ", batch_path));
    End();
    return 0;
  }

  const std::string database_script = Join(folder_, script_name);
  WriteScriptFile(database_script, DatabaseScriptText());
  Log(Quoted("Creating File ", database_script));

  batch_->Append(EncodeCodePage(BatchHeader(), kBatchCodePage));
  AddScript({ScriptRun::kWithVariables, script_name, {script_name}});

  const std::vector<std::string> user_types = metadata_.UserTypeTexts();
  if (!user_types.empty() &&
      WriteWholeScript(folder_, kUserTypeScriptName, BuildUserTypeScript(user_types))) {
    const std::string name(kUserTypeScriptName);
    AddScript({ScriptRun::kWithVariables, name, {name}});
  }

  size_t item = 0;
  if (item < job_.checked.size() && job_.checked[item].root) ++item;
  for (; item < job_.checked.size() && !stopped(); ++item) {
    if (job_.checked[item].root) continue;
    SaveTable(job_.checked[item]);
  }

  AddCommittedTables();
  sink_.SetStatusText(kWritingObjects);
  sink_.LogActivity(std::string(kWritingObjects) + "\r\n");
  if (state_.sql2000_mode) WritePrimaryKeys2000();
  WriteForeignKeys();

  batch_->Append(EncodeCodePage(BatchEnd(scripts_), kBatchCodePage));
  const bool batch_written = batch_->Commit();
  const std::string shell_path = Join(folder_, kShellScriptName);
  std::optional<AtomicFile> shell = AtomicFile::Create(shell_path);
  if (shell && shell->Append(ShellScriptText(scripts_)) && shell->Commit()) {
    ::chmod(shell_path.c_str(), 0755);
    result_.shell_path = shell_path;
  }
  if (!batch_written) Log(Quoted("Can not open  File ", batch_path));

  state_.ClearStop();
  const std::string completed =
      "Writing script has completed and  path for saved scripts is in " + batch_path + "\r\n";
  sink_.SetStatusText(completed);
  sink_.LogActivity(completed + "\r\n");
  const std::string stars = "\r\n" + std::string(80, '*') + "\r\n";
  sink_.LogActivity(stars);
  sink_.LogActivity("Saving process completed!!!");
  sink_.LogActivity(stars);

  result_.cache = cache_.stats();
  End();
  sink_.ShowMessage(kSaveCompleted);
  return 1;
}

void SaveRun::SaveTable(const SaveTreeItem& item) {
  const uint64_t count = ItemOperationCount(item.text);
  sink_.SetProgressRange(count);
  sink_.SetProgressPos(0);
  uint64_t rows = 0;
  if (item.object_id != 0) {
    TableWrite t;
    bool has_script = false;
    uint64_t n = 0;
    for (const LogOperation& operation : job_.operations->operations()) {
      if (operation.objectId != item.object_id) continue;
      if (stopped()) break;
      ++n;
      if (n == 1) {
        has_script = BeginTable(t, operation);
        if (!has_script) break;
      }
      sink_.SetProgressPos(n);
      if (filter_.AcceptOperation(operation)) WriteOperationRows(t, operation);
    }
    if (has_script) EndTable(t);
    rows = t.rows;
  }
  sink_.AddListLine("Total Number of record Processed =  " + std::to_string(rows) + " .");
}

bool SaveRun::BeginTable(TableWrite& t, const LogOperation& first) {
  t.name = job_.operations->TableName(first);
  t.table = PrepareOperationTable(metadata_, first.objectId);
  if (!metadata_.currentTable().schema_loaded || t.table.columns.empty()) return false;
  const bool sql2000 = state_.sql2000_mode;
  t.create = BuildCreateTable(t.name, t.table.columns, sql2000);
  t.insert_head = InsertHead(t.name, t.table.columns, t.create.hasIdentity);
  t.insert_options.has_identity = t.create.hasIdentity;
  t.insert_options.literal = literal_;
  t.insert_options.stop = &state_.stop;
  t.context = std::make_unique<TableRecordContext>(t.table.columns, sql2000);

  t.folder = names_.TableName(t.name);
  t.blobs = std::make_unique<BlobFolder>(Join(folder_, BlobFolderName(t.folder)));
  t.blobs->Reset();
  t.folder_path = Join(Join(folder_, kTablesFolder), t.folder);
  const std::string script_name = t.folder + ".sql";
  if (EnsureFolder(t.folder_path)) {
    t.script = ScriptFile::Create(Join(t.folder_path, script_name));
    t.list = ScriptFile::Create(Join(t.folder_path, kListScriptName));
  }
  if (!t.script || !t.list) {
    // The table is left out with a line; the save goes on.
    Log(Quoted("Can not open  File ", Join(t.folder_path, script_name)));
    return false;
  }
  Write(t, TableScriptHeader(t.name));
  Write(t, t.create.text);
  Write(t, kCreateTableSeparator);
  t.list->Append(TableListLine(t.folder, script_name));

  const std::string line =
      "Writing script for table " + t.folder + " in file  " + script_name + "\r\n";
  Log(line);
  sink_.SetStatusText(line);

  std::string list_path(kTablesFolder);
  list_path.append("\\").append(t.folder).append("\\").append(kListScriptName);
  t.set_script = {ScriptRun::kWithVariables, list_path, {}};
  t.set_script.files.push_back(std::string(kTablesFolder) + "/" + t.folder + "/" + script_name);

  if (!sql2000 && job_.options.save_constraints) {
    const TableDefinition definition =
        DefinitionOf(metadata_.currentTable(), t.name, t.table.columns);
    for (const std::string& statement : BuildConstraintStatements(definition)) {
      Write(t, statement);
      Write(t, kStatementSeparator);
    }
    for (const std::string& statement : BuildIndexStatements(definition)) {
      Write(t, statement);
      Write(t, kStatementSeparator);
    }
  }
  ++result_.table_scripts;
  return true;
}

void SaveRun::EndTable(TableWrite& t) {
  Write(t, TableScriptEnd(t.name, t.create.hasIdentity));
  Flush(t);
  // The table before this one has had this table's writing time to reach
  // the disk: its batch line is added now, before this table's.
  AddCommittedTables();
  CommittingTable table;
  table.rolled_over = std::move(t.rolled_over);
  table.script_path = t.script->path();
  table.list_path = Join(t.folder_path, kListScriptName);
  table.script = commits_.Commit(std::move(*t.script).TakeFile());
  table.list = commits_.Commit(std::move(*t.list).TakeFile());
  // The batch line comes after the table's files are complete (the .bat
  // gets it in the same place as when it is added at the table's start:
  // nothing else is added in between).
  table.set_script = std::move(t.set_script);
  committing_.push_back(std::move(table));
}

void SaveRun::Write(TableWrite& t, std::string_view text) {
  t.pending.append(text);
  if (t.pending.size() >= kPendingText) Flush(t);
}

void SaveRun::Flush(TableWrite& t) {
  if (t.pending.empty()) return;
  t.script->Append(t.pending);
  t.pending.clear();
}

bool SaveRun::OneRecordOf(const TableWrite& t, const LogBlock& block, const LogOperation& operation,
                          std::optional<CPrimaryRecord>& record) {
  // The checks of ReadRowImageRequest, without its one-record page buffer:
  // the record is parsed straight from the row image in the block.
  const int32_t index = operation.recordIndex;
  if (index < 0 || static_cast<size_t>(index) >= block.count()) return false;
  const size_t j = static_cast<size_t>(index);
  const LogRecordFields f = ReadLogRecordFields(block.RecordBytes(j));
  if (f.operation != kOpInsertRow && f.operation != kOpDeleteRow) return false;
  if (f.allocationUnitId != operation.allocationUnitId) return true;
  const RowLogFields fields = ReadRowLogFields(block, j);
  if (fields.fields.empty()) return true;
  // The page must be readable, as for a page built from the buffer.
  if (!cache_.Page(PageRef{f.fileId, f.pageNumber, 0})) return true;
  // The buffer holds the row cut at kOneRecordLengthOffset bytes, and the
  // record reads no further than that length.
  const Bytes row = fields.fields[0];
  const size_t length = std::min(row.size(), kOneRecordLengthOffset);
  record = CPrimaryRecord::ParseOrdinaryRecord(row.first(length), static_cast<uint16_t>(length));
  record->context = t.context.get();
  return true;
}

std::span<const Row> SaveRun::RowsToSave(TableWrite& t, const LogOperation& operation) {
  const std::optional<uint64_t> position = job_.operations->BlockPosition(operation);
  if (!position) return {};
  const std::shared_ptr<const LogBlock> block = cache_.Block(*position);
  if (!block) return {};
  RowReadContext context;
  context.pages = &cache_;
  context.code_page = state_.code_page;
  context.blobs = t.blobs.get();
  context.sql2000_mode = state_.sql2000_mode;

  std::vector<Row>& buffer = t.row_buffer;
  const uint8_t code = operation.operation;
  std::optional<CPrimaryRecord> one_record;
  if (OneRecordOf(t, *block, operation, one_record)) {
    // An insert's or delete's record, read as a page built from its
    // one-record buffer would list it (ReadExportRows).
    if (!one_record) return {};
    if (buffer.empty()) buffer.emplace_back();
    const size_t count =
        ReadExportRowInto(*one_record, t.table.columns, context, buffer[0]) ? 1 : 0;
    return RowsToWrite(code, std::span<const Row>(buffer).first(count));
  }
  const RowImageRequest request =
      ReadRowImageRequest(*block, operation.recordIndex, operation.allocationUnitId);
  if (request.status != RowDecodeStatus::kDecoded) return {};
  CDataPage* const cached_page = cache_.DataPage(request.page, t.context.get());
  if (!cached_page) return {};
  cached_page->RebuildRecords(request.Source());
  const CDataPage& page = *cached_page;
  if ((code == kOpModifyRow || code == kOpModifyColumns) && page.recordCount() == 2) {
    // Of the two images the second is written when it gives a row, else the
    // first (RowsToWrite): the first is read only when needed.
    if (buffer.empty()) buffer.emplace_back();
    for (const int image : {1, 0}) {
      const CPrimaryRecord* record = page.record(image);
      if (record && ReadExportRowInto(*record, t.table.columns, context, buffer[0]))
        return std::span<const Row>(buffer).first(1);
    }
    return {};
  }
  // The export rows of the page's records (ReadExportRows), read into the
  // buffer.
  size_t count = 0;
  for (const auto& record : page.records()) {
    if (!record) continue;
    if (buffer.size() == count) buffer.emplace_back();
    if (ReadExportRowInto(*record, t.table.columns, context, buffer[count])) ++count;
  }
  return RowsToWrite(code, std::span<const Row>(buffer).first(count));
}

bool SaveRun::RollOver(TableWrite& t) {
  const uint64_t size = t.script->size();
  const RollOverScript next = BuildRollOver(t.folder, size, ++roll_overs_);
  std::optional<ScriptFile> script = ScriptFile::Create(Join(t.folder_path, next.file_name));
  if (!script) return false;
  const std::string path = t.script->path();
  t.rolled_over.emplace_back(commits_.Commit(std::move(*t.script).TakeFile()), path);
  t.script = std::move(script);
  Write(t, next.text);
  t.list->Append(next.list_line);
  t.set_script.files.push_back(std::string(kTablesFolder) + "/" + t.folder + "/" + next.file_name);
  return true;
}

void SaveRun::WriteOperationRows(TableWrite& t, const LogOperation& operation) {
  ++result_.operations_accepted;
  const std::span<const Row> rows = RowsToSave(t, operation);
  if (rows.empty()) return;
  // The exact size is needed only near the limit: UTF-16 takes at most
  // twice the bytes of the UTF-8 text still pending.
  if (t.script->size() + 2 * t.pending.size() > kRollOverSize) {
    Flush(t);
    if (NeedsRollOver(t.script->size())) RollOver(t);
  }
  // The rows go straight into the text pending for the script.
  const uint64_t written = AppendInsertRows(t.pending, t.insert_head, rows, t.insert_options);
  if (written == 0) return;
  t.rows += written;
  result_.rows_written += written;
  if (t.pending.size() >= kPendingText) Flush(t);
}

void SaveRun::WritePrimaryKeys2000() {
  const std::string folder = Join(folder_, kPrimaryKeysFolder);
  const std::vector<CatalogObject> tables = metadata_.UserTables();
  for (size_t i = 0; i < tables.size(); ++i) {
    std::vector<std::string> key_columns;
    for (const ColumnDescriptor& column :
         metadata_.PrepareObject(tables[i], metadata_.definitions()))
      if (column.primary_key) key_columns.push_back(column.name);
    const std::string file_name = std::to_string(i) + ".sql";
    if (!WriteWholeScript(folder, file_name, BuildPrimaryKey2000(tables[i].name, key_columns)))
      continue;
    std::string windows_path(kPrimaryKeysFolder);
    windows_path.append("\\").append(file_name);
    AddScript({ScriptRun::kInDatabase,
               windows_path,
               {std::string(kPrimaryKeysFolder) + "/" + file_name}});
  }
}

void SaveRun::WriteForeignKeys() {
  const std::string folder = Join(folder_, kForeignKeysFolder);
  const std::vector<ForeignKey>& keys = metadata_.foreignKeys();
  for (size_t i = 0; i < keys.size() && !stopped(); ++i) {
    const std::string file_name = std::to_string(i) + ".sql";
    if (!WriteWholeScript(folder, file_name, BuildForeignKey(keys[i]))) continue;
    std::string windows_path(kForeignKeysFolder);
    windows_path.append("\\").append(file_name);
    AddScript({ScriptRun::kInDatabase,
               windows_path,
               {std::string(kForeignKeysFolder) + "/" + file_name}});
  }
}

}  // namespace

int RunSave(const SaveJob& job, SaveSink& sink, SaveResult* result) {
  SaveResult local;
  SaveResult& out = result ? *result : local;
  out = {};
  if (!job.state || !job.metadata || !job.log || !job.operations) {
    sink.SaveEnded();
    return 0;
  }
  SaveRun run(job, sink, out);
  out.status = run.Run();
  return out.status;
}

std::string DatabaseNameOf(std::string_view data_file_path) {
  const size_t slash = data_file_path.find_last_of("\\/");
  std::string name(slash == std::string_view::npos ? data_file_path
                                                   : data_file_path.substr(slash + 1));
  for (std::string_view extension : {".mdf", ".MDF"}) {
    for (size_t at = name.find(extension); at != std::string::npos; at = name.find(extension))
      name.erase(at, extension.size());
  }
  std::string out;
  for (char c : name)
    if (c != '-' && c != ' ') out.push_back(c);
  return out;
}

std::string DatabaseFolderPath(std::string_view script_folder, std::string_view folder_name) {
  std::string parent(script_folder);
  if (!parent.empty() && parent.back() == '\\') parent.pop_back();
  while (parent.size() > 1 && (parent.back() == '/' || parent.back() == '\\')) parent.pop_back();
  if (parent.empty()) parent = ".";
  if (parent == "/") return parent + std::string(folder_name);
  return parent + "/" + std::string(folder_name);
}

uint64_t ItemOperationCount(std::string_view item_text) {
  const size_t open = item_text.rfind('[');
  if (open == std::string_view::npos) return 0;
  std::string_view digits = item_text.substr(open + 1);
  if (!digits.empty() && digits.back() == ']') digits.remove_suffix(1);
  uint64_t count = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    count = count * 10 + static_cast<uint64_t>(c - '0');
  }
  return count;
}

}  // namespace tarnwick
