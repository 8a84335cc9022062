// The save worker over builder-made pairs: the batch file and the shell
// script of a two-table save compared byte for byte with hand-written files,
// the progress and activity-log lines, the filter as the save applies it,
// Stop, substitute names and the early ends; and the helpers it builds on.
#include "export/script_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "export/save_cache.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "platform/text_codec.h"
#include "reader/scan_driver.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/lob_builder.h"
#include "tests/support/log_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::CatalogBuilder;
using testing::LogFileBuilder;
using testing::LogRecordBuilder;
using testing::ObjectFields;
using testing::ReadFileBytes;
using testing::ReferenceFields;
using testing::RowBuilder;
using testing::ScalarTypeFields;
using testing::TableIds;
using testing::TempDir;

constexpr uint32_t kDayA = 45411;  // 2024-05-01
constexpr uint32_t kDayB = 45413;  // 2024-05-03
constexpr uint32_t kNoonTicks = 12 * 3600 * 300;

ByteBuffer Le(uint64_t value, size_t width) {
  ByteBuffer b;
  PutUnsigned(b, 0, value, width);
  return b;
}

ByteBuffer Text(std::string_view s) { return ByteBuffer(s.begin(), s.end()); }

// Id int, then one variable column.
ByteBuffer Row(uint32_t id, ByteBuffer value) {
  return RowBuilder().Fixed(Le(id, 4)).Columns(2).Var(std::move(value)).Build();
}

std::string FileText(const std::string& path) {
  const ByteBuffer bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string ScriptText(const std::string& path) {
  const ByteBuffer bytes = ReadFileBytes(path);
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return "<no byte order mark>";
  return Utf16LeToUtf8(Bytes(bytes).subspan(2));
}

std::string GoldenPath(const std::string& name) {
  return std::string(TARNWICK_SOURCE_DIR) + "/tests/export/golden/" + name;
}

// Every file below the folder, relative, "/" between parts, sorted.
std::set<std::string> FilesBelow(const std::string& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).string());
  return files;
}

class RecordingSaveSink : public SaveSink {
 public:
  void SetStatusText(const std::string& text) override { statuses.push_back(text); }
  void SetProgressRange(uint64_t maximum) override { ranges.push_back(maximum); }
  void SetProgressPos(uint64_t position) override { last_position = position; }
  void AddListLine(const std::string& line) override {
    list.push_back(line);
    if (on_line) on_line(line);
  }
  void LogActivity(const std::string& text) override { activity += text; }
  void SaveEnded() override { ++ended; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> statuses, list, messages;
  std::vector<uint64_t> ranges;
  uint64_t last_position = 0;
  std::string activity;
  int ended = 0;
  std::function<void(const std::string&)> on_line;
};

// A table of the pair and the row changes the log holds for it.
struct TableShape {
  std::string name;
  std::vector<testing::ColumnDef> columns;
  // (operation code, transaction 1 or 2, row); 2 and 3 only.
  std::vector<std::tuple<uint8_t, int, ByteBuffer>> changes;
};

// A data file and log written by the builders, scanned, with the tree the
// main window would show (every table of `tables` as an item).
struct Pair {
  std::unique_ptr<testing::OpenedCatalog> open;
  TransactionLog log;
  std::optional<LogFile> log_file;
  std::vector<TableIds> ids;
  ScanTree tree;
  std::string mdf;
  TempDir out;

  // Root, All and every table, in tree order.
  std::vector<SaveTreeItem> WholeTree() const {
    std::vector<SaveTreeItem> items = {{tree.root.text, 0, true}, {tree.all.text, 0, false}};
    for (const TreeItem& t : tree.tables) items.push_back({t.text, t.object_id, false});
    return items;
  }

  SaveJob Job(const SaveOptions& options) {
    SaveJob job;
    job.state = &open->state;
    job.metadata = open->metadata.get();
    job.log = &*log_file;
    job.operations = &log.operations();
    job.options = options;
    job.options.script_folder = out.path() + "\\";
    job.checked = WholeTree();
    job.today = "2024-06-01";
    return job;
  }
};

// Transaction 1 begins on day A at noon, transaction 2 on day B at noon.
// `prepare` may add pages to the catalog and finish the rows first.
std::unique_ptr<Pair> BuildPair(
    const std::string& mdf_name, std::vector<TableShape> shapes, bool with_extras,
    const std::function<void(CatalogBuilder&, std::vector<TableShape>&)>& prepare = {}) {
  auto pair = std::make_unique<Pair>();
  CatalogBuilder b;
  if (prepare) prepare(b, shapes);
  std::vector<uint32_t> pages;
  for (const TableShape& shape : shapes) {
    pair->ids.push_back(b.Table(shape.name, shape.columns));
    pages.push_back(b.Page(pair->ids.back().page_key, 1));
  }
  if (with_extras) {
    // Beta(Id) references Alpha(Id); one user-defined type.
    const int32_t alpha = pair->ids[0].object_id, beta = pair->ids[1].object_id;
    b.Add(ObjectFields{.id = 7000, .name = "FK_Beta_Alpha", .type = "F ", .parent = beta});
    b.Add(ReferenceFields{.ref_class = 27, .v1 = 7000, .v9 = alpha, .v13 = 1});
    b.Add(ReferenceFields{.ref_class = 29, .v1 = 7000, .v5 = 1, .v9 = alpha, .v13 = 1});
    b.Add(ReferenceFields{.ref_class = 28, .v1 = 7000, .v5 = 1, .v9 = beta, .v13 = 1});
    b.Add(ScalarTypeFields{
        .type_id = 257, .name = "PhoneNumber", .system_type = 167, .schema = 1, .length = 20});
  }
  pair->open = testing::OpenCatalog(b.Build(), mdf_name);
  if (!pair->open->metadata) return nullptr;
  pair->mdf = pair->open->dir.File(mdf_name);
  pair->open->state.data_file_path = pair->mdf;

  LogFileBuilder builder;
  auto& block = builder.Vlf(5).Block();
  for (int transaction : {1, 2}) {
    block.Add(LogRecordBuilder::Begin(transaction, "T" + std::to_string(transaction), kNoonTicks,
                                      transaction == 1 ? kDayA : kDayB));
    for (size_t t = 0; t < shapes.size(); ++t) {
      for (const auto& [code, in, row] : shapes[t].changes) {
        if (in != transaction) continue;
        const uint64_t rowset = pair->ids[t].rowset_id;
        LogRecordBuilder record = code == 2 ? LogRecordBuilder::Insert(rowset, in, row)
                                            : LogRecordBuilder::Delete(rowset, in, row);
        block.Add(record.Page(1, pages[t], 0));
      }
    }
  }
  const std::string ldf = builder.WriteTo(pair->open->dir.File("pair_log.ldf"));
  if (!pair->log.Scan(ldf, BuildUserTableMap(*pair->open->metadata))) return nullptr;
  pair->log_file = LogFile::Open(ldf);
  std::map<int32_t, std::string> names;
  for (size_t t = 0; t < shapes.size(); ++t) names[pair->ids[t].object_id] = shapes[t].name;
  pair->tree = BuildScanTree(pair->mdf, pair->log.operations().ObjectIds(), names);
  return pair;
}

// Alpha (identity) with two inserts, Beta with an insert and a delete, Gamma
// without operations.
std::unique_ptr<Pair> ShopPair() {
  return BuildPair(
      "Shop-Data.mdf",
      {{"Alpha",
        {{.name = "Id", .nullable = false, .identity = {{1, 1}}},
         {.name = "Name", .system_type = 167, .length = 20}},
        {{2, 1, Row(1, Text("one"))}, {2, 2, Row(2, Text("two"))}}},
       {"Beta",
        {{.name = "Id", .nullable = false}, {.name = "Note", .system_type = 231, .length = 20}},
        {{2, 1, Row(10, testing::Utf16("n'10"))}, {3, 2, Row(11, testing::Utf16("gone"))}}},
       {"Gamma", {{.name = "x"}}, {}}},
      true);
}

SaveOptions AllKinds() {
  SaveOptions options;
  options.insert = options.del = options.update = true;
  options.script_destination = true;
  return options;
}

TEST(ScriptExport, TwoTablesGiveTheBatchFileAndShellScript) {
  std::unique_ptr<Pair> pair = ShopPair();
  ASSERT_TRUE(pair);
  RecordingSaveSink sink;
  SaveResult result;
  ASSERT_EQ(RunSave(pair->Job(AllKinds()), sink, &result), 1);
  const std::string d = pair->out.path() + "/ShopData";
  EXPECT_EQ(result.database_folder, d);
  EXPECT_EQ(result.batch_path, d + "/mainsqlscript.bat");
  EXPECT_EQ(result.rows_written, 4u);

  EXPECT_EQ(FileText(result.batch_path), FileText(GoldenPath("save_two_tables_mainsqlscript.bat")));
  EXPECT_EQ(FileText(result.shell_path), FileText(GoldenPath("save_two_tables_mainsqlscript.sh")));
  EXPECT_NE(fs::status(result.shell_path).permissions() & fs::perms::owner_exec, fs::perms::none);

  EXPECT_EQ(FilesBelow(d), (std::set<std::string>{
                               "ShopData.sql",
                               "mainsqlscript.bat",
                               "mainsqlscript.sh",
                               "userdefinedatatype.sql",
                               "Tables/Alpha/Alpha.sql",
                               "Tables/Alpha/maintablescript.sql",
                               "Tables/Beta/Beta.sql",
                               "Tables/Beta/maintablescript.sql",
                               "altertablecommandforeignkeys/0.sql",
                           }));
  EXPECT_EQ(ScriptText(d + "/Tables/Beta/maintablescript.sql"),
            "\r\n:r \"Tables\\Beta\\Beta.sql\"");
  // One statement per operation; a delete is saved as the statement that
  // puts the row back.
  const std::string beta = ScriptText(d + "/Tables/Beta/Beta.sql");
  EXPECT_TRUE(
      beta.ends_with(" GO\r\n\r\n insert into [Beta] values( 10,'n''10')\r\n"
                     "\r\n insert into [Beta] values( 11,'gone')\r\n\r\nGO"))
      << beta;

  const std::string created = "Creating File \" " + d + "/ShopData.sql \"";
  EXPECT_EQ(sink.list, (std::vector<std::string>{
                           "Creating Directory \" " + d + " \"",
                           created,
                           "Total Number of record Processed =  0 .",
                           "Writing script for table Alpha in file  Alpha.sql\r\n",
                           "Total Number of record Processed =  2 .",
                           "Writing script for table Beta in file  Beta.sql\r\n",
                           "Total Number of record Processed =  2 .",
                           "Total Number of record Processed =  0 .",
                       }));
  const std::string stars = "\r\n" + std::string(80, '*') + "\r\n";
  EXPECT_EQ(sink.activity,
            "\r\n Creating Script for Database \r\nCreating Directory \" " + d + " \"\r\n" +
                created + "\r\nWriting script for table Alpha in file  Alpha.sql\r\n\r\n" +
                "Writing script for table Beta in file  Beta.sql\r\n\r\n" + kWritingObjects +
                "\r\nWriting script has completed and  path for saved scripts is in " +
                result.batch_path + "\r\n\r\n" + stars + "Saving process completed!!!" + stars);
  EXPECT_EQ(sink.statuses.back(),
            "Writing script has completed and  path for saved scripts is in " + result.batch_path +
                "\r\n");
  EXPECT_EQ(sink.ranges, (std::vector<uint64_t>{2 + 2, 2, 2, 0}));
  EXPECT_EQ(sink.messages, std::vector<std::string>{kSaveCompleted});
  EXPECT_EQ(sink.ended, 1);
}

// The rows each table gets under the save's filter; every operation is
// counted for the progress bar whether it is saved or not.
TEST(ScriptExport, FilterDecidesWhichRowsAreWritten) {
  std::unique_ptr<Pair> pair = ShopPair();
  ASSERT_TRUE(pair);
  const DateTimeValue day_a = DateTimeValue::Make(2024, 5, 1);
  const DateTimeValue day_a_end = DateTimeValue::Make(2024, 5, 1, 23, 59, 59);
  const DateTimeValue noon_b = DateTimeValue::Make(2024, 5, 3, 12);
  struct Case {
    const char* name;
    bool insert, del, update;
    std::vector<DateRange> ranges;
    std::string alpha_rows, beta_rows;
  } cases[] = {
      {"every kind", true, true, true, {}, "2", "2"},
      {"delete only", false, true, false, {}, "0", "1"},
      {"update only", false, false, true, {}, "0", "0"},
      {"inserts of day A", true, false, false, {{day_a, day_a_end}}, "1", "1"},
      {"on a range boundary", true, true, false, {{noon_b, noon_b}}, "1", "1"},
      {"between two ranges",
       true,
       true,
       true,
       {{day_a, DateTimeValue::Make(2024, 5, 1, 11, 59, 59)},
        {DateTimeValue::Make(2024, 5, 3, 12, 0, 1), DateTimeValue::Make(2024, 5, 4)}},
       "0",
       "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveOptions options;
    options.insert = c.insert;
    options.del = c.del;
    options.update = c.update;
    options.date_ranges = c.ranges;
    RecordingSaveSink sink;
    std::vector<uint64_t> positions;
    sink.on_line = [&](const std::string& line) {
      if (line.rfind("Total", 0) == 0) positions.push_back(sink.last_position);
    };
    ASSERT_EQ(RunSave(pair->Job(options), sink), 1);
    const std::string prefix = "Total Number of record Processed =  ";
    EXPECT_EQ(sink.list[4], prefix + c.alpha_rows + " .");
    EXPECT_EQ(sink.list[6], prefix + c.beta_rows + " .");
    EXPECT_EQ(positions, (std::vector<uint64_t>{0, 2, 2, 0}));
  }
}

// Stop pressed while the first table is written: the batch file still ends
// complete and runs the database script, the user types and that table.
TEST(ScriptExport, StopAfterTheFirstTableLeavesACompleteBatchFile) {
  std::unique_ptr<Pair> pair = ShopPair();
  ASSERT_TRUE(pair);
  RecordingSaveSink sink;
  sink.on_line = [&](const std::string& line) {
    if (line.rfind("Writing script for table Alpha", 0) == 0) pair->open->state.stop = true;
  };
  SaveResult result;
  ASSERT_EQ(RunSave(pair->Job(AllKinds()), sink, &result), 1);
  EXPECT_FALSE(pair->open->state.StopRequested());
  EXPECT_EQ(result.rows_written, 0u);
  const std::string batch = FileText(result.batch_path);
  EXPECT_NE(batch.find("-i \"Tables\\Alpha\\maintablescript.sql\""), std::string::npos);
  EXPECT_EQ(batch.find("Beta"), std::string::npos);
  EXPECT_EQ(batch.find("altertablecommandforeignkeys"), std::string::npos);
  EXPECT_EQ(batch.substr(batch.size() - 6), "\r\n:end");
  // The table that was begun is closed.
  const std::string alpha = ScriptText(result.database_folder + "/Tables/Alpha/Alpha.sql");
  EXPECT_TRUE(alpha.ends_with(" GO\r\n\r\n GO\r\nSET IDENTITY_INSERT Alpha OFF\r\nGO")) << alpha;
  EXPECT_FALSE(fs::exists(result.database_folder + "/Tables/Beta"));
  EXPECT_EQ(sink.messages, std::vector<std::string>{kSaveCompleted});
}

TEST(ScriptExport, NamesAboveLatin1GetSubstitutes) {
  std::unique_ptr<Pair> pair =
      BuildPair("Продажи.mdf",
                {{"Клиенты",
                  {{.name = "Id"}, {.name = "Имя", .system_type = 231, .length = 20}},
                  {{2, 1, Row(1, testing::Utf16("Анна"))}}},
                 {"a/../b",
                  {{.name = "Id"}, {.name = "v", .system_type = 167, .length = 5}},
                  {{2, 1, Row(2, Text("x"))}}}},
                false);
  ASSERT_TRUE(pair);
  RecordingSaveSink sink;
  SaveResult result;
  ASSERT_EQ(RunSave(pair->Job(AllKinds()), sink, &result), 1);
  const std::string d = pair->out.path() + "/Продажи";
  EXPECT_EQ(result.database_folder, d);
  EXPECT_EQ(FilesBelow(d), (std::set<std::string>{
                               "UnicodeDatabase_1.sql",
                               "mainsqlscript.bat",
                               "mainsqlscript.sh",
                               "Tables/Unicodetable_2/Unicodetable_2.sql",
                               "Tables/Unicodetable_2/maintablescript.sql",
                               "Tables/a____b/a____b.sql",
                               "Tables/a____b/maintablescript.sql",
                           }));
  // The statements keep the real names.
  const std::string script = ScriptText(d + "/Tables/Unicodetable_2/Unicodetable_2.sql");
  EXPECT_NE(script.find("Create TABLE  [Клиенты]"), std::string::npos) << script;
  EXPECT_NE(script.find("insert into [Клиенты] values( 1,'Анна')"), std::string::npos) << script;
  EXPECT_NE(ScriptText(d + "/Tables/a____b/a____b.sql").find("insert into [a/../b]"),
            std::string::npos);
  EXPECT_NE(FileText(result.batch_path).find("-i \"Tables\\Unicodetable_2\\maintablescript.sql\""),
            std::string::npos);
}

// A large binary value goes to a numbered file of the table's blob folder,
// which the row loads with OPENROWSET relative to the batch file's folder.
TEST(ScriptExport, LargeBinaryValuesGoToBlobFiles) {
  const ByteBuffer photo = {0x89, 'P', 'N', 'G', 0x00, 0xFF};
  std::unique_ptr<Pair> pair = BuildPair(
      "Pics.mdf",
      {{"Photo Album", {{.name = "Id"}, {.name = "Data", .system_type = 165, .length = -1}}, {}}},
      false, [&](CatalogBuilder& b, std::vector<TableShape>& shapes) {
        const uint32_t text_page =
            b.Page(900000, 3, {testing::TextRecordBytes(testing::DataNode(photo))});
        const ByteBuffer root = testing::InRowRootBytes(
            {{{.page = text_page, .slot = 0}, static_cast<int32_t>(photo.size())}});
        shapes[0].changes.push_back(
            {2, 1, RowBuilder().Fixed(Le(1, 4)).Columns(2).Var(root, true).Build()});
      });
  ASSERT_TRUE(pair);
  NullSaveSink sink;
  SaveResult result;
  ASSERT_EQ(RunSave(pair->Job(AllKinds()), sink, &result), 1);
  const std::string d = result.database_folder;
  EXPECT_EQ(ReadFileBytes(d + "/Blob_Photo Album/1_blob"), photo);
  EXPECT_NE(ScriptText(d + "/Tables/Photo Album/Photo Album.sql")
                .find("values( 1,(Select * from OPENROWSET(BULK N'$(DIR)\\Blob_Photo "
                      "Album\\1_blob',SINGLE_BLOB) as Image))"),
            std::string::npos);
}

TEST(ScriptExport, EarlyEndsWriteNothingMore) {
  std::unique_ptr<Pair> pair = ShopPair();
  ASSERT_TRUE(pair);
  // A file where the script folder should be: no folder can be made in it.
  const std::string blocker = pair->out.File("file");
  testing::WriteFileBytes(blocker, {1});
  struct Case {
    const char* name;
    bool metadata;
    std::string data_file;
    std::string script_folder;
    std::vector<std::string> list;
  } cases[] = {
      {"no catalog", false, pair->mdf, pair->out.path() + "\\", {}},
      {"no data file path", true, "", pair->out.path() + "\\", {}},
      {"batch file not creatable",
       true,
       pair->mdf,
       blocker + "\\",
       {"Creating Directory \" " + blocker + "/ShopData \"",
        "Can not open  File \" " + blocker + "/ShopData/mainsqlscript.bat \""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveJob job = pair->Job(AllKinds());
    if (!c.metadata) job.metadata = nullptr;
    pair->open->state.data_file_path = c.data_file;
    job.options.script_folder = c.script_folder;
    RecordingSaveSink sink;
    EXPECT_EQ(RunSave(job, sink), 0);
    EXPECT_EQ(sink.list, c.list);
    EXPECT_EQ(sink.ended, 1);
    EXPECT_TRUE(sink.messages.empty());
  }
  EXPECT_EQ(FilesBelow(pair->out.path()), std::set<std::string>{"file"});
}

TEST(ScriptExport, DatabaseNameAndFolder) {
  struct Case {
    std::string data_file, script_folder, name, folder;
  } cases[] = {
      {"C:\\data\\Sales-2019 Old.mdf", "C:\\out\\", "Sales2019Old", "C:\\out/Sales2019Old"},
      {"/srv/db/Shop.MDF", "/tmp/out\\", "Shop", "/tmp/out/Shop"},
      {"/srv/db/a.mdf.mdf", "/tmp/out/\\", "a", "/tmp/out/a"},
      {"C:/mixed\\x - y.Mdf", "/\\", "xy.Mdf", "/xy.Mdf"},
      {"plain", "", "plain", "./plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data_file);
    EXPECT_EQ(DatabaseNameOf(c.data_file), c.name);
    EXPECT_EQ(DatabaseFolderPath(c.script_folder, DatabaseNameOf(c.data_file)), c.folder);
  }
}

TEST(ScriptExport, ItemOperationCount) {
  const std::pair<const char*, uint64_t> cases[] = {
      {"Orders[12]", 12}, {"All[0]", 0}, {"a[1]b[345]", 345}, {"NoCount", 0}, {"x[7", 7}};
  for (const auto& [text, count] : cases) EXPECT_EQ(ItemOperationCount(text), count) << text;
}

TEST(LruCache, ForgetsTheLeastRecentlyUsed) {
  LruCache<int, std::string> cache(2);
  cache.Put(1, "a");
  cache.Put(2, "b");
  ASSERT_NE(cache.Find(1), nullptr);  // 2 is now the oldest
  cache.Put(3, "c");
  EXPECT_EQ(cache.Find(2), nullptr);
  EXPECT_EQ(*cache.Find(1), "a");
  EXPECT_EQ(*cache.Find(3), "c");
  cache.Put(1, "A");  // replacing keeps the size
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(*cache.Find(1), "A");
}

// Many operations on one block and one page: each is read once; a log
// window smaller than a block and caches of one entry give the same files.
TEST(SaveReadCache, ReadsEachBlockAndPageOnce) {
  std::unique_ptr<Pair> pair = ShopPair();
  ASSERT_TRUE(pair);
  NullSaveSink sink;
  SaveResult result;
  ASSERT_EQ(RunSave(pair->Job(AllKinds()), sink, &result), 1);
  EXPECT_EQ(result.cache.window_reads, 1u);
  EXPECT_EQ(result.cache.block_reads, 1u);
  EXPECT_EQ(result.cache.block_hits, 3u);
  EXPECT_EQ(result.cache.page_reads, 2u);
  EXPECT_EQ(result.cache.page_hits, 2u);

  SaveJob small = pair->Job(AllKinds());
  small.log_window = 100;
  small.cached_blocks = small.cached_pages = 1;
  TempDir other;
  small.options.script_folder = other.path() + "\\";
  SaveResult small_result;
  ASSERT_EQ(RunSave(small, sink, &small_result), 1);
  // The header's window, then one from the block's start that holds it.
  EXPECT_EQ(small_result.cache.window_reads, 2u);
  EXPECT_EQ(small_result.cache.page_reads, 2u);
  const std::set<std::string> files = FilesBelow(result.database_folder);
  ASSERT_EQ(FilesBelow(small_result.database_folder), files);
  for (const std::string& f : files) {
    EXPECT_EQ(FileText(small_result.database_folder + "/" + f),
              FileText(result.database_folder + "/" + f))
        << f;
  }
}

}  // namespace
}  // namespace tarnwick
