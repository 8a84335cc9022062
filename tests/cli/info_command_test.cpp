#include <gtest/gtest.h>

#include "reader/database_file.h"
#include "tests/support/corpus.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::CliPath;
using testing::RunCommand;
using testing::ShellQuote;

testing::CommandResult Info(const std::string& path, bool json = true) {
  return RunCommand(ShellQuote(CliPath()) + " info --mdf " + ShellQuote(path) +
                    (json ? " --json" : ""));
}

TEST(InfoCommand, ReportsEveryCorpusFileAsItsExpectedValuesSay) {
  TARNWICK_REQUIRE_CORPUS();
  auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    auto result = Info(pair.mdf);
    ASSERT_EQ(result.status, 0) << result.err;
    auto got = testing::ParseJson(result.out);
    ASSERT_TRUE(got) << result.out;
    EXPECT_EQ((*got)["versionNumber"].Int(), (*expected)["versionNumber"].Int());
    EXPECT_EQ((*got)["versionName"].text, (*expected)["versionName"].text);
    EXPECT_EQ((*got)["collationId"].Int(), (*expected)["collationId"].Int());
    EXPECT_EQ((*got)["collationName"].text, (*expected)["collationName"].text);
    EXPECT_EQ((*got)["codePage"].Int(), (*expected)["codePage"].Int());
    EXPECT_GT((*got)["pageCount"].Int(), 0);
    EXPECT_GT((*got)["systemPages"].Int(), 0);
    EXPECT_GT((*got)["dataPages"].Int(), 0);
    EXPECT_EQ((*got)["files"].size(), 1u);
    EXPECT_EQ((*got)["files"][0]["fileId"].Int(), 1);
  }
}

TEST(InfoCommand, UsageAndFailures) {
  testing::TempDir dir;
  auto usage = RunCommand(ShellQuote(CliPath()) + " info");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("usage"), std::string::npos);
  EXPECT_EQ(RunCommand(ShellQuote(CliPath())).status, 2);
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " info --mdf").status, 2);

  auto missing = Info(dir.File("none.mdf"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, std::string(kFileCannotBeOpen) + "\n");
  EXPECT_TRUE(missing.out.empty());

  testing::WriteFileBytes(dir.File("zeros.mdf"), ByteBuffer(8192, 0));
  auto zeros = Info(dir.File("zeros.mdf"));
  EXPECT_EQ(zeros.status, 1);
  EXPECT_EQ(zeros.err, std::string(kNotValidMdf) + "\n");
}

TEST(InfoCommand, DamagedRealFilesOpenWithWhatCanBeRead) {
  TARNWICK_REQUIRE_CORPUS();
  auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  testing::TempDir dir;
  ByteBuffer real = testing::ReadFileBytes(pairs.front().mdf);
  ASSERT_GT(real.size(), 100u * 8192);

  // Cut in the middle of a page: the pages before the cut still map.
  ByteBuffer cut(real.begin(), real.begin() + 50 * 8192 + 3000);
  testing::WriteFileBytes(dir.File("cut.mdf"), cut);
  auto c = Info(dir.File("cut.mdf"));
  ASSERT_EQ(c.status, 0) << c.err;
  auto cj = testing::ParseJson(c.out);
  ASSERT_TRUE(cj);
  EXPECT_EQ((*cj)["pageCount"].Int(), 50);
  EXPECT_GT((*cj)["systemPages"].Int(), 0);

  // The first sixteen pages zeroed (boot page included): still a data file,
  // with an unknown version.
  ByteBuffer zeroed = real;
  std::fill(zeroed.begin(), zeroed.begin() + 16 * 8192, 0);
  testing::WriteFileBytes(dir.File("zeroed.mdf"), zeroed);
  auto z = Info(dir.File("zeroed.mdf"));
  ASSERT_EQ(z.status, 0) << z.err;
  auto zj = testing::ParseJson(z.out);
  ASSERT_TRUE(zj);
  EXPECT_EQ((*zj)["versionName"].text, "Unknown SQL Version");
  EXPECT_EQ((*zj)["collationName"].text, "Unknown Collation");

  // The text form names the same things.
  auto text = Info(pairs.front().mdf, false);
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("Version:"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick
