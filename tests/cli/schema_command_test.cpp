// tarnwick-cli schema over the corpus and over built catalogs.
//
// Types are compared after normalising both sides the obvious way: lower
// case, blanks removed ("DECIMAL (10, 2)" and "decimal(10,2)" are equal).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/catalog_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::CliPath;
using testing::Json;
using testing::RunCommand;
using testing::ShellQuote;

testing::CommandResult Schema(const std::string& path, const std::string& options = " --json") {
  return RunCommand(ShellQuote(CliPath()) + " schema --mdf " + ShellQuote(path) + options);
}

std::string NormalType(std::string type) {
  std::string out;
  for (char c : type)
    if (c != ' ') out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return out;
}

struct ColumnFacts {
  std::string name;
  long long column_id = 0;
  std::string type;
  bool nullable = false;
  bool identity = false;
  bool operator==(const ColumnFacts&) const = default;
};

std::vector<ColumnFacts> Columns(const Json& table, bool with_ids) {
  std::vector<ColumnFacts> out;
  for (const Json& c : table["columns"].items)
    out.push_back({c["name"].text, with_ids ? c["columnId"].Int() : 0, NormalType(c["type"].text),
                   c["nullable"].boolean, c["identity"].boolean});
  return out;
}

std::ostream& operator<<(std::ostream& os, const ColumnFacts& c) {
  return os << c.name << " #" << c.column_id << " " << c.type << (c.nullable ? " null" : "")
            << (c.identity ? " identity" : "");
}

TEST(SchemaCommand, ListsTheUserTablesAndColumnsOfEveryCorpusFile) {
  TARNWICK_REQUIRE_CORPUS();
  auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    auto result = Schema(pair.mdf);
    ASSERT_EQ(result.status, 0) << result.err;
    auto got = testing::ParseJson(result.out);
    ASSERT_TRUE(got) << result.out;
    const Json& want_tables = (*expected)["tables"];
    const Json& got_tables = (*got)["tables"];
    ASSERT_EQ(got_tables.size(), want_tables.size());
    for (size_t i = 0; i < want_tables.size(); ++i) {
      const Json& want = want_tables[i];
      const Json& table = got_tables[i];
      SCOPED_TRACE(want["name"].text);
      EXPECT_EQ(table["name"].text, want["name"].text);
      EXPECT_EQ(table["objectId"].Int(), want["objectId"].Int());
      EXPECT_EQ(Columns(table, true), Columns(want, true));
    }
    EXPECT_FALSE((*got)["sql2000"].boolean);
  }
}

// What a CREATE TABLE script of the oracle folder declares.
struct ScriptTable {
  std::string name;
  struct Column {
    std::string name;
    std::string type;
    bool nullable = false;
    std::optional<std::pair<long long, long long>> identity;
  };
  std::vector<Column> columns;
  std::string primary_key;
  std::vector<std::string> primary_key_columns;
  struct ForeignKey {
    std::string name;
    std::vector<std::string> columns;
    std::string referenced_table;
    std::vector<std::string> referenced_columns;
    bool delete_cascade = false;
  };
  std::vector<ForeignKey> foreign_keys;
  struct Index {
    std::string name;
    bool unique = false;
    std::vector<std::string> columns;
  };
  std::vector<Index> indexes;
};

std::vector<std::string> BracketedNames(const std::string& list) {
  std::vector<std::string> names;
  static const std::regex kName(R"(\[([^\]]+)\])");
  for (std::sregex_iterator it(list.begin(), list.end(), kName), end; it != end; ++it)
    names.push_back((*it)[1]);
  return names;
}

ScriptTable ParseScript(const std::string& text) {
  static const std::regex kTable(R"(CREATE TABLE \[dbo\]\.\[([^\]]+)\])");
  static const std::regex kColumn(
      R"(^\s*\[([^\]]+)\]\s+([A-Z0-9]+(?:\s*\([^)]*\))?)\s*(?:IDENTITY\s*\((\d+),\s*(\d+)\))?\s*(NOT NULL|NULL),?\s*$)");
  static const std::regex kPrimaryKey(
      R"(CONSTRAINT \[([^\]]+)\] PRIMARY KEY CLUSTERED \(([^)]*)\))");
  static const std::regex kForeignKey(
      R"(CONSTRAINT \[([^\]]+)\] FOREIGN KEY \(([^)]*)\) REFERENCES \[dbo\]\.\[([^\]]+)\] \(([^)]*)\)( ON DELETE CASCADE)?)");
  static const std::regex kIndex(
      R"(CREATE (UNIQUE )?NONCLUSTERED INDEX \[([^\]]+)\]\s+ON \[dbo\]\.\[[^\]]+\]\(([^)]*)\))");
  ScriptTable t;
  std::smatch m;
  if (std::regex_search(text, m, kTable)) t.name = m[1];
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (std::regex_match(line, m, kColumn)) {
      ScriptTable::Column c{m[1], NormalType(m[2]), m[5] == "NULL", std::nullopt};
      if (m[3].matched) c.identity = std::make_pair(std::stoll(m[3]), std::stoll(m[4]));
      t.columns.push_back(c);
    } else if (std::regex_search(line, m, kPrimaryKey)) {
      t.primary_key = m[1];
      t.primary_key_columns = BracketedNames(m[2]);
    } else if (std::regex_search(line, m, kForeignKey)) {
      t.foreign_keys.push_back(
          {m[1], BracketedNames(m[2]), m[3], BracketedNames(m[4]), m[5].matched});
    }
  }
  for (std::sregex_iterator it(text.begin(), text.end(), kIndex), end; it != end; ++it)
    t.indexes.push_back({(*it)[2], (*it)[1].matched, BracketedNames((*it)[3])});
  return t;
}

std::vector<std::string> Names(const Json& list) {
  std::vector<std::string> names;
  for (const Json& item : list.items)
    names.push_back(item.kind == Json::Kind::kString ? item.text : item["name"].text);
  return names;
}

const Json* Member(const Json& list, const std::string& name) {
  for (const Json& item : list.items)
    if (item["name"].text == name) return &item;
  return nullptr;
}

TEST(SchemaCommand, AgreesWithTheCreateTableScriptsOfTheSourceRepository) {
  TARNWICK_REQUIRE_CORPUS();
  const std::string folder = testing::CorpusFolder() + "/taskforroi-2";
  auto pairs = testing::CorpusPairs();
  auto pair = std::find_if(pairs.begin(), pairs.end(),
                           [](const testing::CorpusPair& p) { return p.name == "taskforroi-2"; });
  ASSERT_NE(pair, pairs.end());
  auto result = Schema(pair->mdf);
  ASSERT_EQ(result.status, 0) << result.err;
  auto got = testing::ParseJson(result.out);
  ASSERT_TRUE(got);

  size_t scripts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/oracle")) {
    if (entry.path().extension() != ".sql") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const ScriptTable script = ParseScript(text.str());
    SCOPED_TRACE(script.name);
    ASSERT_FALSE(script.columns.empty());
    ++scripts;
    const Json* table = Member((*got)["tables"], script.name);
    ASSERT_NE(table, nullptr);

    const Json& columns = (*table)["columns"];
    ASSERT_EQ(columns.size(), script.columns.size());
    for (size_t i = 0; i < script.columns.size(); ++i) {
      const auto& want = script.columns[i];
      const Json& c = columns[i];
      EXPECT_EQ(c["name"].text, want.name);
      EXPECT_EQ(NormalType(c["type"].text), want.type);
      EXPECT_EQ(c["nullable"].boolean, want.nullable) << want.name;
      EXPECT_EQ(c["identity"].boolean, want.identity.has_value()) << want.name;
      if (want.identity) {
        EXPECT_EQ(c["identitySeed"].Int(), want.identity->first);
        EXPECT_EQ(c["identityIncrement"].Int(), want.identity->second);
      }
    }

    const Json* pk = Member((*table)["constraints"], script.primary_key);
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ((*pk)["type"].text, "PK");
    const Json* pk_index = Member((*table)["indexes"], script.primary_key);
    ASSERT_NE(pk_index, nullptr);
    EXPECT_TRUE((*pk_index)["primaryKey"].boolean);
    EXPECT_TRUE((*pk_index)["clustered"].boolean);
    EXPECT_EQ(Names((*pk_index)["columns"]), script.primary_key_columns);

    EXPECT_EQ((*table)["indexes"].size(), script.indexes.size() + 1);
    for (const auto& want : script.indexes) {
      const Json* index = Member((*table)["indexes"], want.name);
      ASSERT_NE(index, nullptr) << want.name;
      EXPECT_EQ((*index)["unique"].boolean, want.unique);
      EXPECT_FALSE((*index)["clustered"].boolean);
      EXPECT_EQ(Names((*index)["columns"]), want.columns);
    }

    ASSERT_EQ((*table)["foreignKeys"].size(), script.foreign_keys.size());
    for (const auto& want : script.foreign_keys) {
      const Json* fk = Member((*table)["foreignKeys"], want.name);
      ASSERT_NE(fk, nullptr) << want.name;
      EXPECT_EQ(Names((*fk)["columns"]), want.columns);
      EXPECT_EQ((*fk)["referencedTable"].text, want.referenced_table);
      EXPECT_EQ(Names((*fk)["referencedColumns"]), want.referenced_columns);
      EXPECT_EQ((*fk)["onDelete"].text, want.delete_cascade ? "CASCADE" : "NO ACTION");
      EXPECT_EQ((*fk)["onUpdate"].text, "NO ACTION");
      const Json* constraint = Member((*table)["constraints"], want.name);
      ASSERT_NE(constraint, nullptr);
      EXPECT_EQ((*constraint)["type"].text, "F ");
    }
  }
  EXPECT_EQ(scripts, 7u);
}

TEST(SchemaCommand, BuiltCatalogTextAndJson) {
  using namespace testing;
  CatalogBuilder b;
  TableIds t =
      b.Table("Orders", {{.name = "Id", .nullable = false, .identity = std::make_pair(10, 2)},
                         {.name = "Note", .system_type = 231, .length = -1},
                         {.name = "Twice", .computed = "([Id]*(2))"}});
  b.Add(ObjectFields{.id = 8000,
                     .name = "DF_Orders_Note",
                     .type = "D ",
                     .parent = t.object_id,
                     .int_property = 2});
  b.Add(ObjectValueFields{.object_id = 8000, .image = Utf16("(N'none')")});
  b.Add(ScalarTypeFields{.type_id = 300, .name = "Phone", .system_type = 231, .length = 40});
  b.Add(ObjectFields{.id = 8100, .name = "v", .type = "V "});
  TempDir dir;
  b.Build().WriteTo(dir.File("db.mdf"));

  auto json_result = Schema(dir.File("db.mdf"));
  ASSERT_EQ(json_result.status, 0) << json_result.err;
  auto got = ParseJson(json_result.out);
  ASSERT_TRUE(got);
  ASSERT_EQ((*got)["tables"].size(), 1u);
  const Json& table = (*got)["tables"][0];
  EXPECT_EQ(Columns(table, true),
            (std::vector<ColumnFacts>{{"Id", 1, "int", false, true},
                                      {"Note", 2, "nvarchar(max)", true, false},
                                      {"Twice", 3, "int", true, false}}));
  EXPECT_EQ(table["columns"][0]["identitySeed"].Int(), 10);
  EXPECT_EQ(table["columns"][2]["computed"].text, "([Id]*(2))");
  ASSERT_EQ(table["constraints"].size(), 1u);
  EXPECT_EQ(table["constraints"][0]["definition"].text, "(N'none')");
  EXPECT_EQ(table["constraints"][0]["column"].text, "Note");
  ASSERT_EQ((*got)["userTypeTexts"].size(), 1u);
  EXPECT_EQ((*got)["userTypeTexts"][0].text, "Create type Phone from NVarchar(20)");

  auto text = Schema(dir.File("db.mdf"), " --table Orders");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("Table Orders"), std::string::npos);
  EXPECT_NE(text.out.find("IDENTITY(10,2)"), std::string::npos);
  EXPECT_NE(text.out.find("AS ([Id]*(2))"), std::string::npos);
  EXPECT_NE(text.out.find("Create type Phone from NVarchar(20)"), std::string::npos);

  struct Failure {
    std::string options;
    int status;
  } failures[] = {{" --table v", 1}, {" --table missing", 1}, {" --table", 2}};
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.options);
    EXPECT_EQ(Schema(dir.File("db.mdf"), f.options).status, f.status);
  }
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " schema").status, 2);
  EXPECT_EQ(Schema(dir.File("none.mdf")).status, 1);
}

TEST(SchemaCommand, ACatalogWithoutObjectsIsRefused) {
  using namespace testing;
  CatalogBuilder b;
  b.Add(RowsetFields{.rowset_id = 1, .object_id = 5});
  TempDir dir;
  b.Build().WriteTo(dir.File("db.mdf"));
  auto result = Schema(dir.File("db.mdf"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Whether it is not valid mdf file or highly corrupted"),
            std::string::npos);
}

TEST(InfoCommand, ListsTheSecondaryFilesNamedByTheFileList) {
  using namespace testing;
  CatalogBuilder b;
  b.Add(ObjectFields{.id = 100, .name = "t"});
  b.Add(FileFields{.file_id = 1, .logical = "p", .physical = "C:\\Data\\db.mdf"});
  b.Add(FileFields{.file_id = 3, .logical = "s", .physical = "C:\\Data\\Part.NDF"});
  TempDir dir;
  b.Build().WriteTo(dir.File("db.mdf"));
  DataFileBuilder ndf(12);
  for (uint32_t i = 0; i < 12; ++i) ndf.Page(i).PageId(static_cast<int32_t>(i), 3);
  ndf.WriteTo(dir.File("Part.ndf"));
  // Not named by the file list: not opened.
  ndf.WriteTo(dir.File("Stray.ndf"));
  auto result =
      RunCommand(ShellQuote(CliPath()) + " info --json --mdf " + ShellQuote(dir.File("db.mdf")));
  ASSERT_EQ(result.status, 0) << result.err;
  auto got = ParseJson(result.out);
  ASSERT_TRUE(got);
  const Json& files = (*got)["files"];
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1]["fileId"].Int(), 3);
  EXPECT_EQ(files[1]["path"].text, dir.File("Part.ndf"));
  EXPECT_EQ(files[1]["pageCount"].Int(), 12);
}

}  // namespace
}  // namespace tarnwick
