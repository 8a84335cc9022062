// The save of every corpus pair, held to what the pair is known to hold
// (expected.json) rather than to the save's own decoding: the script set's
// layout and encoding, an INSERT row for every insert the scan counts, and
// for the inserts whose row is still unchanged in the data file the values
// that the reference reader found in that row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "export/script_export.h"
#include "logreader/log_file.h"
#include "logreader/row_operations.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "platform/text_codec.h"
#include "reader/collation_table.h"
#include "reader/metadata.h"
#include "reader/scan_driver.h"
#include "tests/support/corpus.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/insert_values.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::AsCodePage1252;
using testing::Json;

// One pair scanned in this process.
struct ScannedPair {
  RunState state;
  std::unique_ptr<CDatabaseFile> db;
  std::unique_ptr<CMetadata> metadata;
  TransactionLog log;
  std::optional<LogFile> log_file;
  ScanTree tree;
};

std::unique_ptr<ScannedPair> ScanPair(const testing::CorpusPair& pair) {
  auto s = std::make_unique<ScannedPair>();
  s->state.collations = LoadCollationTable();
  s->state.data_file_path = pair.mdf;
  static NullProgressSink progress;
  s->db = std::make_unique<CDatabaseFile>(s->state, progress);
  if (!s->db->Open(pair.mdf)) return nullptr;
  s->metadata = std::make_unique<CMetadata>(*s->db);
  if (!s->log.Scan(pair.ldf, BuildUserTableMap(*s->metadata))) return nullptr;
  s->log_file = LogFile::Open(pair.ldf);
  if (!s->log_file) return nullptr;
  s->tree = BuildScanTree(pair.mdf, s->log.operations().ObjectIds(), s->log.tableNames());
  return s;
}

// Saves every table of the tree with the given kinds into `out`.
SaveResult Save(ScannedPair& s, const std::string& out, bool insert, bool del, bool update) {
  SaveJob job;
  job.state = &s.state;
  job.metadata = s.metadata.get();
  job.log = &*s.log_file;
  job.operations = &s.log.operations();
  job.options.insert = insert;
  job.options.del = del;
  job.options.update = update;
  job.options.script_destination = true;
  job.options.script_folder = out + "\\";
  job.checked.push_back({s.tree.root.text, 0, true});
  job.checked.push_back({s.tree.all.text, 0, false});
  for (const TreeItem& item : s.tree.tables) job.checked.push_back({item.text, item.object_id, false});
  NullSaveSink sink;
  SaveResult result;
  RunSave(job, sink, &result);
  return result;
}

std::string FileBytes(const fs::path& path) {
  const ByteBuffer bytes = testing::ReadFileBytes(path.string());
  return std::string(bytes.begin(), bytes.end());
}

// What is wrong with a script file's bytes: FF FE, then whole UTF-16LE
// units with every surrogate paired, and outside string literals every line
// break CR LF (a value may carry a bare LF inside its quotes). Empty when
// nothing is.
std::string ScriptFault(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return "no byte order mark";
  if (bytes.size() % 2 != 0) return "an odd number of bytes";
  std::vector<uint16_t> units;
  for (size_t i = 2; i < bytes.size(); i += 2)
    units.push_back(static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) |
                                          (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  bool quoted = false;
  for (size_t i = 0; i < units.size(); ++i) {
    const uint16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
        return "an unpaired high surrogate at unit " + std::to_string(i);
      ++i;
      continue;
    }
    if (u >= 0xDC00 && u <= 0xDFFF) return "an unpaired low surrogate at unit " + std::to_string(i);
    if (u == '\'') quoted = !quoted;  // a doubled quote toggles twice
    if (quoted) continue;
    if (u == '\r' && (i + 1 >= units.size() || units[i + 1] != '\n'))
      return "a CR without LF at unit " + std::to_string(i);
    if (u == '\n' && (i == 0 || units[i - 1] != '\r'))
      return "an LF without CR at unit " + std::to_string(i);
  }
  if (quoted) return "an unterminated string literal";
  return {};
}

std::string ScriptText(const fs::path& path) {
  const std::string bytes = FileBytes(path);
  if (bytes.size() < 2) return {};
  return Utf16LeToUtf8(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2));
}

// The name in brackets at `at` ("]]" standing for "]"), or nothing.
std::optional<std::string> BracketedAt(const std::string& text, size_t at) {
  if (at >= text.size() || text[at] != '[') return std::nullopt;
  std::string name;
  for (size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] != ']') {
      name.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == ']') {
      name.push_back(']');
      ++i;
    } else {
      return name;
    }
  }
  return std::nullopt;
}

// The table's rows written, in order, from its list script's files.
std::vector<std::vector<std::string>> WrittenRows(const fs::path& d, const std::string& table,
                                                  bool& parsed) {
  std::vector<std::vector<std::string>> rows;
  parsed = true;
  const std::string list = ScriptText(d / "Tables" / table / "maintablescript.sql");
  const std::string marker = "\r\n:r \"";
  for (size_t at = list.find(marker); at != std::string::npos; at = list.find(marker, at)) {
    at += marker.size();
    std::string file = list.substr(at, list.find('"', at) - at);
    std::replace(file.begin(), file.end(), '\\', '/');
    parsed = testing::InsertValuesReader(ScriptText(d / file)).Read(rows) && parsed;
  }
  return rows;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// A value as a comparable text for its SQL type: `literal` as the save wrote
// it (blob references already read), or the reference's value text.
std::string Comparable(const std::string& type, const std::optional<std::string>& value) {
  if (!value) return "<NULL>";
  const std::string base = type.substr(0, type.find('('));
  std::string text = *value;
  if (base == "datetime" || base == "smalldatetime") return text.substr(0, 19);
  if (base == "bit") return text == "True" ? "1" : text == "False" ? "0" : text;
  if (base == "money" || base == "smallmoney" || base == "float" || base == "real") {
    char buf[64];
    std::snprintf(buf, sizeof buf, base == "real" ? "%.6g" : "%.15g",
                  std::strtod(text.c_str(), nullptr));
    return buf;
  }
  if (base == "varbinary" || base == "binary" || base == "image") return Upper(text);
  // The literal of a string is trimmed; the reference keeps char padding.
  return Trim(text);
}

// A literal of the save as the value it stands for (nothing for NULL).
std::optional<std::string> LiteralValue(const std::string& literal, const fs::path& d) {
  if (literal == "NULL") return std::nullopt;
  if (const std::optional<std::string> blob = testing::BlobFileOf(literal)) {
    std::string file = *blob;
    std::replace(file.begin(), file.end(), '\\', '/');
    return HexValue(testing::ReadFileBytes((d / file.substr(file.find_first_not_of('/'))).string()));
  }
  if (literal.size() >= 2 && literal.front() == '\'' && literal.back() == '\'') {
    std::string inner;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
      inner.push_back(literal[i]);
      if (literal[i] == '\'') ++i;  // "''" stands for "'"
    }
    return inner;
  }
  return literal;
}

// For a failure message: the columns in which a key differs from the row
// of `rows` that has the same first value.
std::string Differences(const std::string& key, const std::multiset<std::string>& rows) {
  auto split = [](const std::string& k) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end = k.find('\x1F'); end != std::string::npos; end = k.find('\x1F', start)) {
      parts.push_back(k.substr(start, end - start));
      start = end + 1;
    }
    return parts;
  };
  const std::vector<std::string> ours = split(key);
  for (const std::string& row : rows) {
    const std::vector<std::string> theirs = split(row);
    if (theirs.empty() || ours.empty() || theirs[0] != ours[0] || theirs.size() != ours.size())
      continue;
    std::string text;
    for (size_t c = 0; c < ours.size(); ++c)
      if (ours[c] != theirs[c])
        text += "\n  column " + std::to_string(c) + ": saved '" + ours[c].substr(0, 80) +
                "', reference '" + theirs[c].substr(0, 80) + "'";
    return text;
  }
  return "no row with the first value " + (ours.empty() ? std::string() : ours[0]);
}

TEST(SaveCorpus, EveryPairSavesItsInsertsAsWellFormedScripts) {
  TARNWICK_REQUIRE_CORPUS();
  const std::vector<testing::CorpusPair> pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  size_t files_checked = 0, rows_counted = 0, rows_compared = 0;
  for (const testing::CorpusPair& pair : pairs) {
    SCOPED_TRACE(pair.name);
    const std::optional<Json> expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    std::unique_ptr<ScannedPair> s = ScanPair(pair);
    ASSERT_TRUE(s);
    const OperationList& ops = s->log.operations();

    // The tables the save must write: those of the scan with operations.
    struct Expected {
      int32_t object_id = 0;
      uint64_t inserts = 0, deletes = 0, updates = 0;
      const Json* table = nullptr;  // columns and current rows, when listed
    };
    std::map<std::string, Expected> tables;
    for (const Json& t : (*expected)["scan"]["tables"].items) {
      Expected& e = tables[t["name"].text];
      e.object_id = static_cast<int32_t>(t["objectId"].Int());
      e.inserts = static_cast<uint64_t>(t["insert"].Int());
      e.deletes = static_cast<uint64_t>(t["delete"].Int());
      e.updates = static_cast<uint64_t>(t["modify_row"].Int() + t["modify_columns"].Int());
    }
    for (const Json& t : (*expected)["tables"].items)
      if (tables.count(t["name"].text)) tables[t["name"].text].table = &t;

    // All three kinds: the layout, every file's encoding, the names.
    testing::TempDir all;
    const SaveResult a = Save(*s, all.path(), true, true, true);
    ASSERT_EQ(a.status, 1);
    const fs::path d = a.database_folder;
    EXPECT_TRUE(fs::is_regular_file(d / "mainsqlscript.bat"));
    EXPECT_TRUE(fs::is_regular_file(d / "mainsqlscript.sh"));
    EXPECT_TRUE(fs::is_regular_file(d / (DatabaseNameOf(pair.mdf) + ".sql")));
    const std::string batch = FileBytes(d / "mainsqlscript.bat");
    EXPECT_TRUE(batch.ends_with("\r\n:end"));
    for (size_t i = batch.find('\n'); i != std::string::npos; i = batch.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && batch[i - 1] == '\r') << "the batch file has an LF without CR at " << i;
    for (const auto& entry : fs::recursive_directory_iterator(all.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << entry.path();
      if (!entry.is_regular_file() || !name.ends_with(".sql")) continue;
      EXPECT_EQ(ScriptFault(FileBytes(entry.path())), "") << entry.path();
      ++files_checked;
    }
    uint64_t rows_a = 0;
    for (const auto& [name, e] : tables) {
      SCOPED_TRACE(name);
      const fs::path folder = d / "Tables" / name;
      ASSERT_TRUE(fs::is_regular_file(folder / (name + ".sql")));
      ASSERT_TRUE(fs::is_regular_file(folder / "maintablescript.sql"));
      const std::string script = ScriptText(folder / (name + ".sql"));
      EXPECT_EQ(BracketedAt(script, script.find("Create TABLE  [") + 14), name);
      const std::string head = "\r\n insert into ";
      for (size_t at = script.find(head); at != std::string::npos; at = script.find(head, at + 1))
        ASSERT_EQ(BracketedAt(script, at + head.size()), name) << "at " << at;
      bool parsed = false;
      const uint64_t written = WrittenRows(d, name, parsed).size();
      EXPECT_TRUE(parsed);
      // Every insert and delete gives its row; an update gives one when its
      // slot is still on the page.
      EXPECT_GE(written, e.inserts + e.deletes);
      EXPECT_LE(written, e.inserts + e.deletes + e.updates);
      rows_a += written;
    }
    EXPECT_EQ(rows_a, a.rows_written);

    // Inserts only: one row per insert of the scan, in log order, and the
    // values of those whose row is unchanged in the data file against the
    // reference's rows.
    testing::TempDir inserts_only;
    const SaveResult b = Save(*s, inserts_only.path(), true, false, false);
    ASSERT_EQ(b.status, 1);
    for (const auto& [name, e] : tables) {
      SCOPED_TRACE(name);
      bool parsed = false;
      const std::vector<std::vector<std::string>> written =
          WrittenRows(b.database_folder, name, parsed);
      EXPECT_TRUE(parsed);
      ASSERT_EQ(written.size(), e.inserts);
      rows_counted += written.size();
      if (!e.table || !(*e.table)["valuesReliable"].boolean) continue;
      const Json& columns = (*e.table)["columns"];
      std::multiset<std::string> current;
      for (const Json& row : (*e.table)["rows"].items) {
        std::string key;
        for (size_t c = 0; c < row.size(); ++c) {
          const std::string type = columns[c]["type"].text;
          std::optional<std::string> v;
          if (!row[c].is_null()) {
            const std::string base = type.substr(0, type.find('('));
            const bool eight_bit = base == "varchar" || base == "char" || base == "text";
            v = eight_bit ? AsCodePage1252(row[c].text) : row[c].text;
          }
          key += Comparable(type, v) + "\x1F";
        }
        current.insert(key);
      }
      const OperationTable table = PrepareOperationTable(*s->metadata, e.object_id);
      const std::vector<PageRef> pages = s->metadata->currentTable().data_pages;
      size_t n = 0;
      for (const LogOperation& op : ops.operations()) {
        if (op.objectId != e.object_id || op.operation != kOpInsertRow) continue;
        const std::vector<std::string>& literals = written[n++];
        const std::optional<LogBlock> block = s->log.ReadOperationBlock(op);
        ASSERT_TRUE(block);
        const RowImageRequest request =
            ReadRowImageRequest(*block, op.recordIndex, op.allocationUnitId);
        ASSERT_TRUE(request.oneRecord);
        const ByteBuffer& buffer = *request.oneRecord;
        const Bytes logged(buffer.data(), ByteReader(buffer).U16(kOneRecordLengthOffset));
        if (!testing::FindUnchangedRow(*s->db, pages, logged)) continue;  // deleted or changed since
        ASSERT_EQ(literals.size(), columns.size()) << "row " << n - 1;
        std::string key;
        for (size_t c = 0; c < literals.size(); ++c)
          key += Comparable(columns[c]["type"].text, LiteralValue(literals[c], b.database_folder)) +
                 "\x1F";
        EXPECT_GE(current.count(key), 1u) << "the INSERT of insert " << n - 1
                                          << " is not a row of the table: " << Differences(key, current);
        ++rows_compared;
      }
    }
  }
  std::printf("script files checked: %zu; INSERT rows counted: %zu, compared with the "
              "reference's rows: %zu\n",
              files_checked, rows_counted, rows_compared);
  EXPECT_GT(rows_compared, 0u);
}

}  // namespace
}  // namespace tarnwick
