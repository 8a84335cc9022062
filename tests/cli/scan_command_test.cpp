// The scan of every corpus pair against its expected.json: operation count,
// tree texts, per-table counts by kind, and the attribution of operations
// to their own transactions.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/corpus.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::Json;

std::optional<Json> Cli(const std::string& args) {
  auto r = testing::RunCommand(testing::ShellQuote(testing::CliPath()) + " " + args);
  EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
  return testing::ParseJson(r.out);
}

std::string Files(const testing::CorpusPair& pair) {
  return "--ldf " + testing::ShellQuote(pair.ldf) + " --mdf " + testing::ShellQuote(pair.mdf);
}

TEST(ScanCommand, EveryCorpusPairGivesItsExpectedTreeAndCounts) {
  TARNWICK_REQUIRE_CORPUS();
  auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const Json& want = (*expected)["scan"];
    auto got = Cli("scan " + Files(pair) + " --json");
    ASSERT_TRUE(got);
    EXPECT_EQ((*got)["versionName"].text, (*expected)["versionName"].text);
    EXPECT_EQ((*got)["operations"].Int(), want["operations"].Int());
    EXPECT_EQ((*got)["beginTransactionRecords"].Int(), want["beginTransactionRecords"].Int());
    const Json& tree = (*got)["tree"];
    ASSERT_EQ(tree.size(), want["treeItemsBelowRoot"].size() + 1);
    EXPECT_EQ(tree[0].text, pair.mdf) << "the root is the data file path";
    for (size_t i = 0; i < want["treeItemsBelowRoot"].size(); ++i)
      EXPECT_EQ(tree[i + 1].text, want["treeItemsBelowRoot"][i].text);
    std::map<long long, const Json*> tables;
    for (const Json& t : (*got)["tables"].items) tables[t["objectId"].Int()] = &t;
    for (const Json& t : want["tables"].items) {
      SCOPED_TRACE(t["name"].text);
      ASSERT_TRUE(tables.count(t["objectId"].Int()));
      const Json& g = *tables[t["objectId"].Int()];
      EXPECT_EQ(g["name"].text, t["name"].text);
      for (const char* key : {"operations", "insert", "delete", "modify_row", "modify_columns", "other"})
        EXPECT_EQ(g[key].Int(), t[key].Int()) << key;
    }
  }
}

TEST(ListCommand, OperationsBelongToTheirOwnTransactions) {
  TARNWICK_REQUIRE_CORPUS();
  for (const auto& pair : testing::CorpusPairs()) {
    SCOPED_TRACE(pair.name);
    auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const Json& want = (*expected)["scan"];
    std::map<std::string, long long> pairs_seen;
    long long not_last = 0, without_own = 0, rows = 0;
    for (uint64_t page = 1;; ++page) {
      auto got = Cli("list " + Files(pair) + " --page " + std::to_string(page) + " --json");
      ASSERT_TRUE(got);
      for (const Json& row : (*got)["rows"].items) {
        ++rows;
        // Operations whose own begin record is not in the log fall back to
        // the last begin before them; the figures count the others.
        if (!row["ownBeginFound"].boolean) {
          ++without_own;
          continue;
        }
        if (!row["ownBeginIsLastBefore"].boolean) ++not_last;
        ++pairs_seen[row["lastBeginBeforeName"].text + " -> " + row["transactionName"].text];
      }
      if (page >= static_cast<uint64_t>((*got)["pages"].Int())) break;
    }
    EXPECT_EQ(rows, want["operations"].Int());
    EXPECT_EQ(not_last, want["operationsWhoseOwnBeginIsNotTheLastBeginBefore"].Int());
    EXPECT_EQ(without_own, want["operationsWithoutOwnBeginInLog"].Int());
    std::map<std::string, long long> want_pairs;
    for (const auto& [key, count] : want["lastBeginBeforeNameToOwnTransactionName"].members)
      want_pairs[key] = count.Int();
    EXPECT_EQ(pairs_seen, want_pairs);
  }
}

TEST(ScanCommand, RefusalsAndUsage) {
  testing::TempDir dir;
  const std::string cli = testing::ShellQuote(testing::CliPath());
  EXPECT_EQ(testing::RunCommand(cli + " scan --mdf x.mdf").status, 2);
  EXPECT_EQ(testing::RunCommand(cli + " list --ldf a --mdf b --page 0").status, 2);
  auto missing = testing::RunCommand(cli + " scan --ldf " + dir.File("a.ldf") + " --mdf " +
                                     dir.File("a.mdf"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("File cannot be open"), std::string::npos) << missing.err;
  TARNWICK_REQUIRE_CORPUS();
  auto pair = testing::CorpusPairs().front();
  auto no_log = testing::RunCommand(cli + " scan --ldf " + dir.File("none.ldf") + " --mdf " +
                                    testing::ShellQuote(pair.mdf));
  EXPECT_EQ(no_log.status, 1);
  EXPECT_NE(no_log.err.find("LDF File Cannot be open..."), std::string::npos) << no_log.err;
}

}  // namespace
}  // namespace tarnwick
