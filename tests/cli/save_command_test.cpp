// tarnwick-cli save over every corpus pair: a complete script set inside the
// output folder, whose INSERT rows, read back, are the export rows of the
// operations they came from; and the command's refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "export/insert_script.h"
#include "export/sql_literal.h"
#include "export/table_script.h"
#include "logreader/row_operations.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "platform/text_codec.h"
#include "reader/collation_table.h"
#include "reader/metadata.h"
#include "tests/support/corpus.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/insert_values.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

std::string ScriptText(const fs::path& path) {
  const ByteBuffer bytes = testing::ReadFileBytes(path.string());
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return {};
  return Utf16LeToUtf8(Bytes(bytes).subspan(2));
}

std::string FileText(const fs::path& path) {
  const ByteBuffer bytes = testing::ReadFileBytes(path.string());
  return std::string(bytes.begin(), bytes.end());
}

// "Tables\A\B.sql" as a path below the folder.
fs::path Below(const fs::path& folder, std::string windows_path) {
  for (char& c : windows_path)
    if (c == '\\') c = '/';
  return folder / windows_path;
}

// The quoted paths after every `marker` in the text, in order.
std::vector<std::string> QuotedAfter(const std::string& text, const std::string& marker) {
  std::vector<std::string> paths;
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
    at += marker.size();
    const size_t end = text.find('"', at);
    paths.push_back(text.substr(at, end - at));
  }
  return paths;
}

// True when the path, resolved, lies inside the folder.
bool Inside(const fs::path& path, const fs::path& folder) {
  const std::string p = fs::weakly_canonical(path).string();
  const std::string f = fs::weakly_canonical(folder).string() + "/";
  return p.rfind(f, 0) == 0;
}

testing::CommandResult Save(const std::string& args) {
  return testing::RunCommand(testing::ShellQuote(testing::CliPath()) + " save " + args);
}

TEST(SaveCommand, EveryCorpusPairGivesACompleteScriptSetOfItsOperations) {
  TARNWICK_REQUIRE_CORPUS();
  const std::vector<testing::CorpusPair> pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  uint64_t rows_checked = 0, blobs_checked = 0;
  for (const testing::CorpusPair& pair : pairs) {
    SCOPED_TRACE(pair.name);
    testing::TempDir out;
    const testing::CommandResult r =
        Save("--ldf " + testing::ShellQuote(pair.ldf) + " --mdf " + testing::ShellQuote(pair.mdf) +
             " --out " + testing::ShellQuote(out.path()) + " --all --insert --delete --update");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(r.out.ends_with("/mainsqlscript.bat\n")) << r.out;
    const fs::path batch_path = r.out.substr(0, r.out.size() - 1);
    const fs::path d = batch_path.parent_path();
    const std::string today = TodayText();

    // Every file inside the output folder, none left half-written.
    for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
      EXPECT_TRUE(Inside(entry.path(), out.path())) << entry.path();
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
    const std::string batch = FileText(batch_path);
    EXPECT_TRUE(batch.ends_with("\r\n:end"));
    EXPECT_TRUE(fs::exists(d / "mainsqlscript.sh"));
    const std::vector<std::string> run = QuotedAfter(batch, "DIR=\"%~dp0\" -i \"");
    const std::vector<std::string> keys = QuotedAfter(batch, "-d %2 -i \"");
    for (const std::string& script : run) EXPECT_TRUE(fs::exists(Below(d, script))) << script;
    for (const std::string& script : keys) EXPECT_TRUE(fs::exists(Below(d, script))) << script;

    // The scan again, in this process.
    RunState state;
    state.collations = LoadCollationTable();
    state.data_file_path = pair.mdf;
    NullProgressSink sink;
    CDatabaseFile db(state, sink);
    ASSERT_TRUE(db.Open(pair.mdf));
    CMetadata metadata(db);
    TransactionLog log;
    ASSERT_TRUE(log.Scan(pair.ldf, BuildUserTableMap(metadata)));
    const OperationList& ops = log.operations();

    // Tables with an operation and columns: each has a script.
    std::map<std::string, int32_t> expected_tables;
    for (const LogOperation& op : ops.operations()) {
      if (expected_tables.count(ops.TableName(op))) continue;
      if (!PrepareOperationTable(metadata, op.objectId).columns.empty())
        expected_tables[ops.TableName(op)] = op.objectId;
    }

    // The tables the batch file runs, by the name their script prints.
    const std::string list_marker = "\\maintablescript.sql";
    std::set<std::string> saved_tables;
    for (const std::string& script : run) {
      if (!script.ends_with(list_marker)) continue;
      SCOPED_TRACE(script);
      const std::vector<std::string> files = QuotedAfter(ScriptText(Below(d, script)), "\r\n:r \"");
      ASSERT_FALSE(files.empty());
      std::vector<std::vector<std::string>> written;
      std::string name;
      for (const std::string& file : files) {
        ASSERT_TRUE(Inside(Below(d, file), d)) << file;
        const std::string text = ScriptText(Below(d, file));
        if (name.empty()) {
          const std::string print = "PRINT  ' Processing Table :";
          ASSERT_EQ(text.rfind(print, 0), 0u);
          name = text.substr(print.size(), text.find("' \r\n") - print.size());
          for (size_t q = name.find("''"); q != std::string::npos; q = name.find("''", q + 1))
            name.erase(q, 1);
        }
        ASSERT_TRUE(testing::InsertValuesReader(text).Read(written)) << file;
      }
      ASSERT_TRUE(expected_tables.count(name)) << name;
      saved_tables.insert(name);
      const int32_t object_id = expected_tables[name];

      // The export rows of the table's operations, as literals.
      OperationTable table = PrepareOperationTable(metadata, object_id);
      BuildCreateTable(name, table.columns, state.sql2000_mode);
      SqlLiteralContext literal{.saveRunning = true, .today = today};
      std::vector<std::vector<std::string>> expected;
      for (const LogOperation& op : ops.operations()) {
        if (op.objectId != object_id) continue;
        const OperationRows decoded =
            DecodeOperationExportRows(op, log.ReadOperationBlock(op), table, db);
        for (const Row& row : RowsToWrite(op.operation, decoded.rows)) {
          std::vector<std::string>& values = expected.emplace_back();
          for (const ColumnDescriptor& c : row) {
            if (c.computed()) continue;
            const std::string text = SqlLiteral(c, c.value, literal);
            values.push_back(text.substr(0, text.size() - 1));
          }
        }
      }
      ASSERT_EQ(written.size(), expected.size()) << name;
      for (size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(written[i].size(), expected[i].size()) << name << " row " << i;
        for (size_t k = 0; k < written[i].size(); ++k) {
          std::string got = written[i][k];
          if (const std::optional<std::string> blob = testing::BlobFileOf(got)) {
            const fs::path file = Below(d, *blob);
            EXPECT_TRUE(Inside(file, d)) << *blob;
            got = HexValue(testing::ReadFileBytes(file.string()));
            ++blobs_checked;
          }
          EXPECT_EQ(got, expected[i][k]) << name << " row " << i << " value " << k;
        }
        ++rows_checked;
      }
    }
    std::set<std::string> wanted;
    for (const auto& [name, id] : expected_tables) wanted.insert(name);
    EXPECT_EQ(saved_tables, wanted);
  }
  std::printf("rows read back: %llu, of them with blob files: %llu\n",
              static_cast<unsigned long long>(rows_checked),
              static_cast<unsigned long long>(blobs_checked));
  EXPECT_GT(rows_checked, 0u);
}

TEST(SaveCommand, RefusalsAndTheirMessages) {
  TARNWICK_REQUIRE_CORPUS();
  const testing::CorpusPair pair = testing::CorpusPairs().front();
  testing::TempDir out;
  const std::string files = "--ldf " + testing::ShellQuote(pair.ldf) + " --mdf " +
                            testing::ShellQuote(pair.mdf) + " --out " +
                            testing::ShellQuote(out.path());
  struct Case {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {files + " --all", 2, "Please select at least one operation to be saved"},
      {files + " --insert", 2, "Please select atleast one item from tree to save"},
      {files + " --all --insert --range 2024-05-02..2024-05-01", 2,
       "End date should be greater than Start date"},
      {files + " --all --insert --range 2024-05-01", 2, "--range takes FROM..TO"},
      {files + " --tables NoSuchTable --insert", 1, "no table 'NoSuchTable'"},
      {"--ldf x --mdf y", 2, "--out are required"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const testing::CommandResult r = Save(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_empty(out.path()));
}

}  // namespace
}  // namespace tarnwick
