// The rows of every user table of every corpus file, against the rows that
// the reference reader saw (expected.json), after the normalisation the
// corpus README gives for values that the two render differently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/text_codec.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::AsCodePage1252;
using testing::Json;

std::string BaseType(const std::string& type) { return type.substr(0, type.find('(')); }

// One value as a comparable text: ours and the reference's, per SQL type.
std::string Normalise(const std::string& type, const Json& value, bool ours) {
  if (value.is_null()) return "<NULL>";
  std::string text = value.text;
  const std::string base = BaseType(type);
  if (base == "datetime" || base == "smalldatetime") return text.substr(0, 19);
  if (base == "bit") {
    if (ours) return text == "True" ? "1" : text == "False" ? "0" : text;
    return text;
  }
  if (base == "money" || base == "smallmoney" || base == "float" || base == "real") {
    char buf[64];
    std::snprintf(buf, sizeof buf, base == "real" ? "%.6g" : "%.15g", std::strtod(text.c_str(), nullptr));
    return buf;
  }
  if (!ours && (base == "varchar" || base == "char" || base == "text")) return AsCodePage1252(text);
  return text;
}

std::vector<std::string> RowKeys(const Json& rows, const Json& columns, bool ours) {
  std::vector<std::string> keys;
  for (const Json& row : rows.items) {
    std::string key;
    for (size_t i = 0; i < row.size(); ++i)
      key += Normalise(columns[i]["type"].text, row[i], ours) + "\x1F";
    keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

TEST(RowsCommand, EveryCorpusTableHasTheRowsOfTheReference) {
  TARNWICK_REQUIRE_CORPUS();
  auto pairs = testing::CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  int tables = 0, compared_rows = 0;
  for (const auto& pair : pairs) {
    auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected) << pair.name;
    for (const Json& table : (*expected)["tables"].items) {
      const std::string name = table["name"].text;
      SCOPED_TRACE(pair.name + " " + name);
      auto result = testing::RunCommand(testing::ShellQuote(testing::CliPath()) + " rows --mdf " +
                                        testing::ShellQuote(pair.mdf) + " --table " +
                                        testing::ShellQuote(name) + " --json");
      ASSERT_EQ(result.status, 0) << result.err;
      auto got = testing::ParseJson(result.out);
      ASSERT_TRUE(got) << result.out.substr(0, 200);
      EXPECT_EQ((*got)["table"].text, name);
      ASSERT_EQ((*got)["columns"].size(), table["columns"].size());
      for (size_t i = 0; i < table["columns"].size(); ++i)
        EXPECT_EQ((*got)["columns"][i].text, table["columns"][i]["name"].text);
      if (!table["valuesReliable"].boolean) {
        // The reference doubts its own rows here; only the count is held to.
        EXPECT_EQ((*got)["rows"].size(), table["rows"].size());
        continue;
      }
      EXPECT_EQ(RowKeys((*got)["rows"], table["columns"], true),
                RowKeys(table["rows"], table["columns"], false));
      ++tables;
      compared_rows += static_cast<int>(table["rows"].size());
    }
  }
  std::printf("compared %d tables, %d rows\n", tables, compared_rows);
}

}  // namespace
}  // namespace tarnwick
