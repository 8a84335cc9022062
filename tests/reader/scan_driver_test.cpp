#include "reader/scan_driver.h"

#include <gtest/gtest.h>

#include "tests/support/data_file_builder.h"

namespace tarnwick {
namespace {

using testing::DataFileBuilder;
using testing::TempDir;

// Records what a scan shows, in order.
class FakeFrontEnd : public ScanFrontEnd {
 public:
  void SetStatusText(const std::string& text) override { events.push_back("status:" + text); }
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  void ReportOpenError(const std::string& text) override { events.push_back("error:" + text); }
  void ResetRun() override { events.push_back("reset"); }
  void LogActivity(const std::string& line) override { log.push_back(line); }
  void ShowVersion(const std::string& name) override { events.push_back("version:" + name); }
  void ShowCollation(const std::string& name) override { events.push_back("collation:" + name); }
  void ShowMessage(const std::string& text, MessageIcon) override {
    events.push_back("message:" + text);
  }
  void ClearTree() override { events.push_back("clear-tree"); }
  void ShowTree(const ScanTree& t) override {
    tree = t;
    events.push_back("tree");
  }
  void ScanEnded() override { events.push_back("ended"); }

  bool Saw(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }

  std::vector<std::string> events;
  std::vector<std::string> log;
  std::optional<ScanTree> tree;
};

TEST(ScanTree, CountsPerTableSortedByNameWithEmptyTablesKept) {
  std::vector<int32_t> ops(1000, 20);
  ops.push_back(30);
  std::map<int32_t, std::string> names{{10, "zeta"}, {20, "Alpha"}, {30, "__History"}};
  ScanTree t = BuildScanTree("/data/db.mdf", ops, names);
  EXPECT_EQ(t.root.text, "/data/db.mdf");
  EXPECT_EQ(t.all.text, "All[1001]");
  ASSERT_EQ(t.tables.size(), 3u);
  EXPECT_EQ(t.tables[0].text, "__History[1]");
  EXPECT_EQ(t.tables[1].text, "Alpha[1000]");
  EXPECT_EQ(t.tables[2].text, "zeta[0]");
  EXPECT_EQ(t.tables[2].object_id, 10);
}

struct ScanRun {
  RunState state;
  ReaderSlot slot;
  FakeFrontEnd front;
};

std::unique_ptr<ScanRun> Scan(const std::string& path, int16_t version, const ScanStages& stages,
                              std::unique_ptr<ScanRun> run = nullptr) {
  if (!run) run = std::make_unique<ScanRun>();
  run->state.data_file_path = path;
  RunScan(run->state, run->slot, run->front, stages);
  return run;
}

TEST(ScanDriver, NormalPathRunsTheStagesInOrderAndBuildsTheTree) {
  TempDir dir;
  std::string path = DataFileBuilder(20).Boot(706, 53256).WriteTo(dir.File("db.mdf"));
  std::vector<std::string> order;
  ScanStages stages;
  stages.build_user_table_map = [&](ReaderSlot& slot) {
    order.push_back("map");
    EXPECT_TRUE(slot.database && slot.database->opened());
  };
  stages.scan_log = [&](ReaderSlot&, ScanFrontEnd&) {
    order.push_back("log");
    return LogScanResult{{5, 5, 6}, {{5, "B"}, {6, "a"}, {7, "c"}}};
  };
  auto run = std::make_unique<ScanRun>();
  run->state.collations = {{53256, {"Latin1_General_CI_AS", 1252}}};
  run = Scan(path, 706, stages, std::move(run));
  EXPECT_EQ(order, (std::vector<std::string>{"map", "log"}));
  ASSERT_TRUE(run->front.tree);
  EXPECT_EQ(run->front.tree->all.text, "All[3]");
  EXPECT_EQ(run->front.tree->tables.size(), 3u);
  EXPECT_TRUE(run->front.Saw("version: SQL Server 2012"));
  EXPECT_TRUE(run->front.Saw("collation:Latin1_General_CI_AS"));
  const auto& e = run->front.events;
  ASSERT_GE(e.size(), 3u);
  EXPECT_EQ(e.front(), "reset");
  EXPECT_EQ(e[e.size() - 2], std::string("status:") + kScanCompleted);
  EXPECT_EQ(e.back(), "ended");
  EXPECT_TRUE(run->slot.database) << "the data file set outlives the scan";
}

TEST(ScanDriver, LogsThePathWithDoubledBackslashes) {
  TempDir dir;
  auto run = std::make_unique<ScanRun>();
  run->state.data_file_path = "C:\\Data\\Folder\\x.mdf";
  RunScan(run->state, run->slot, run->front, {});
  ASSERT_EQ(run->front.log.size(), 1u);
  EXPECT_EQ(run->front.log[0], "Browse File Path:\tC:\\\\Data\\\\Folder\\\\x.mdf\r\n");
  EXPECT_TRUE(run->front.Saw(std::string("error:") + kFileCannotBeOpen));
  EXPECT_EQ(run->front.events.back(), "ended");
  EXPECT_FALSE(run->slot.database) << "a failed open discards the data file set";

  std::string plain = DataFileBuilder(20).WriteTo(dir.File("plain.mdf"));
  auto second = Scan(plain, 706, {});
  EXPECT_EQ(second->front.log[0], "Browse File Path:\t" + plain + "\r\n");
}

TEST(ScanDriver, VersionGateAndUnknownNames) {
  struct Case {
    int16_t version;
    bool refused;
    const char* shown;
  } cases[] = {{539, true, " SQL Server 2000"},
               {611, false, " SQL Server 2005"},
               {999, false, "Unknown SQL Version"}};
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = DataFileBuilder(20).Boot(c.version, 12345).WriteTo(dir.File("db.mdf"));
    bool log_ran = false;
    ScanStages stages;
    stages.scan_log = [&](ReaderSlot&, ScanFrontEnd&) {
      log_ran = true;
      return LogScanResult{};
    };
    auto run = Scan(path, c.version, stages);
    EXPECT_TRUE(run->front.Saw(std::string("version:") + c.shown)) << c.version;
    EXPECT_EQ(run->front.Saw(std::string("message:") + kVersionNotSupported), c.refused);
    EXPECT_EQ(log_ran, !c.refused) << c.version;
    EXPECT_EQ(run->front.Saw(std::string("collation:") + kUnknownCollation), !c.refused);
    EXPECT_TRUE(run->front.Saw(std::string("status:") + kScanCompleted));
    EXPECT_FALSE(run->front.tree) << "no operations, no tree";
    EXPECT_TRUE(run->slot.database) << "kept open after the gate";
  }
}

TEST(ScanDriver, EmptyCatalogIsReportedAndDiscarded) {
  TempDir dir;
  std::string path = DataFileBuilder(20).WriteTo(dir.File("db.mdf"));
  ScanStages stages;
  stages.build_catalog = [](ReaderSlot&, ScanFrontEnd&) { return CatalogOutcome::kEmpty; };
  auto run = Scan(path, 706, stages);
  EXPECT_TRUE(run->front.Saw(std::string("message:") + kInvalidOrCorrupted));
  EXPECT_TRUE(run->front.Saw("clear-tree"));
  EXPECT_FALSE(run->slot.database);
  EXPECT_EQ(run->front.events.back(), "ended");
}

TEST(ScanDriver, ASecondScanKeepsTheEarlierVersionWhenTheBootPageIsMissing) {
  TempDir dir;
  auto run = Scan(DataFileBuilder(20).Boot(782, 0).WriteTo(dir.File("new.mdf")), 782, {});
  // Nine pages: the boot page position is past the end of the file.
  DataFileBuilder small(9);
  small.Page(3).Type(1).ObjectId(34);
  run = Scan(small.WriteTo(dir.File("small.mdf")), 0, {}, std::move(run));
  EXPECT_EQ(run->state.version_name, " SQL Server 2014");
}

}  // namespace
}  // namespace tarnwick
