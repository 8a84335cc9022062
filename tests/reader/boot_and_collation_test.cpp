#include <gtest/gtest.h>

#include <sstream>

#include "reader/boot_page.h"
#include "reader/collation_table.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick {
namespace {

TEST(CollationTable, ParsesLinesAsTheFileFormatSays) {
  std::istringstream in(
      "Latin1_General_CI_AS\t53256\t1252\n"
      "Minus\t-1\t1250\r\n"
      "OneTab\t77\n"
      "NoTab\n"
      "Blanks\t  42xyz\t 936 trailing\n"
      "NoDigits\tabc\tdef\n"
      "Unsigned\t3070283781\t1252\n"
      "Latin1_General_CI_AS again\t53256\t1250\n");
  CollationTable t = ParseCollationTable(in);
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t.at(53256).name, "Latin1_General_CI_AS again") << "a later line replaces";
  EXPECT_EQ(t.at(53256).code_page, 1250);
  EXPECT_EQ(t.at(-1).name, "Minus");
  EXPECT_EQ(t.at(42).code_page, 936);
  EXPECT_EQ(t.at(0).name, "NoDigits");
  EXPECT_EQ(t.count(77), 0u);
  // Ids with the top bit set are stored unsigned and mean the signed value
  // the boot page holds.
  EXPECT_EQ(t.at(-1224683515).name, "Unsigned");
}

TEST(CollationTable, ShippedFileMapsTheIdsSeenInRealFiles) {
  CollationTable t = LoadCollationTableFrom(std::string(TARNWICK_SOURCE_DIR) + "/data/collation.txt");
  ASSERT_GT(t.size(), 1000u);
  struct Case {
    int32_t raw;
    const char* name;
    int code_page;
  } cases[] = {{872468488, "SQL_Latin1_General_CP1_CI_AS", 1252},
               {53256, "Latin1_General_CI_AS", 1252},
               {53268, "Romanian_CI_AS", 1250}};
  for (const Case& c : cases) {
    auto match = LookupCollation(t, c.raw);
    ASSERT_TRUE(match) << c.raw;
    EXPECT_EQ(match->entry.name, c.name);
    EXPECT_EQ(match->entry.code_page, c.code_page);
  }
}

TEST(BootPage, VersionNames) {
  struct Case {
    int number;
    const char* name;
  } cases[] = {{782, " SQL Server 2014"},
               {706, " SQL Server 2012"},
               {684, " SQL Server 2012 CTP1"},
               {660, " SQL Server 2008 R2"},
               {661, " SQL Server 2008 R2"},
               {662, "Unknown SQL Version"},
               {655, " SQL Server 2008"},
               {612, " SQL Server 2005 SP2+ with VarDecimal enabled"},
               {611, " SQL Server 2005"},
               {539, " SQL Server 2000"},
               {515, " SQL Server 7.0"},
               {408, " SQL Server 6.5"},
               {0, "Unknown SQL Version"},
               {-706, "Unknown SQL Version"}};
  for (const Case& c : cases) EXPECT_EQ(VersionName(c.number), c.name) << c.number;
  EXPECT_TRUE(IsVersionBefore2005(" SQL Server 2000"));
  EXPECT_TRUE(IsVersionBefore2005(" SQL Server 6.5"));
  EXPECT_FALSE(IsVersionBefore2005("SQL Server 2000")) << "the name carries a leading blank";
  EXPECT_FALSE(IsVersionBefore2005(kUnknownVersion));
}

TEST(BootPage, CollationLookupFallsBackToTheLowHalf) {
  CollationTable table{{1033, {"Low", 1252}}, {872468488, {"Full", 1252}}, {-5, {"Neg", 874}}};
  struct Case {
    int32_t raw;
    bool found;
    int64_t id;
    const char* name;
  } cases[] = {{872468488, true, 872468488, "Full"},
               {65536 + 1033, true, 1033, "Low"},
               {-5, true, -5, "Neg"},
               {65536 + 7, false, 0, ""}};
  for (const Case& c : cases) {
    auto m = LookupCollation(table, c.raw);
    ASSERT_EQ(m.has_value(), c.found) << c.raw;
    if (!c.found) continue;
    EXPECT_EQ(m->id, c.id);
    EXPECT_EQ(m->entry.name, c.name);
  }
}

TEST(BootPage, WritesVersionAlwaysAndCollationOnlyWhenFound) {
  testing::PageBuilder boot;
  boot.Set16(100, 655).Set32(488, 65536 + 1033);
  RunState state;
  state.collations = {{1033, {"Found", 1250}}};
  CBootPage(boot.bytes()).ApplyTo(state);
  EXPECT_EQ(state.version_name, " SQL Server 2008");
  EXPECT_TRUE(state.collation_found);
  EXPECT_EQ(state.collation_id, 1033);
  EXPECT_EQ(state.code_page, 1250);
  EXPECT_EQ(state.collation_name, "Found");

  // A second boot page with an unknown collation keeps the earlier values.
  testing::PageBuilder other;
  other.Set16(100, 662).Set32(488, 9999);
  CBootPage(other.bytes()).ApplyTo(state);
  EXPECT_EQ(state.version_name, kUnknownVersion);
  EXPECT_EQ(state.collation_name, "Found");
  EXPECT_EQ(state.code_page, 1250);
}

}  // namespace
}  // namespace tarnwick
