// Data and log file pairs for the desktop program's tests: the sample shop
// database, and a one-table pair with a given number of inserts.
#pragma once

#include <string>

#include "reader/byte_reader.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/log_file_builder.h"
#include "tests/support/record_builder.h"
#include "tools/sample_database.h"

namespace tarnwick::app::testing {

struct PairPaths {
  std::string mdf;
  std::string ldf;
};

// Table "Parts" (Id int, Label varchar(10)) and `inserts` inserts in its log.
inline PairPaths WriteInsertsPair(const tarnwick::testing::TempDir& dir, int inserts) {
  tarnwick::testing::CatalogBuilder b;
  const tarnwick::testing::TableIds t = b.Table(
      "Parts",
      {{.name = "Id", .nullable = false}, {.name = "Label", .system_type = 167, .length = 10}});
  const uint32_t page = b.Page(t.page_key, 1);
  PairPaths paths;
  paths.mdf = b.Build().WriteTo(dir.File("parts.mdf"));
  tarnwick::testing::LogFileBuilder log;
  auto& vlf = log.Vlf(3);
  constexpr int kPerBlock = 100;
  for (int first = 0; first < inserts; first += kPerBlock) {
    auto& block = vlf.Block();
    if (first == 0) block.Add(tarnwick::testing::LogRecordBuilder::Begin(1, "LoadParts"));
    for (int i = first; i < inserts && i < first + kPerBlock; ++i) {
      ByteBuffer id;
      PutUnsigned(id, 0, static_cast<uint64_t>(i + 1), 4);
      block.Add(tarnwick::testing::LogRecordBuilder::Insert(
                    t.rowset_id, 1,
                    tarnwick::testing::RowBuilder().Fixed(id).Columns(2).Var({'a', 'b'}).Build())
                    .Page(1, page, 0));
    }
  }
  paths.ldf = log.WriteTo(dir.File("parts_log.ldf"));
  return paths;
}

inline PairPaths WriteSamplePair(const tarnwick::testing::TempDir& dir,
                                 tarnwick::sample::SampleReport* report = nullptr) {
  PairPaths paths{dir.File("sample.mdf"), dir.File("sample_log.ldf")};
  tarnwick::sample::SampleReport r = tarnwick::sample::WriteSampleDatabase(paths.mdf, paths.ldf);
  if (report) *report = r;
  return paths;
}

}  // namespace tarnwick::app::testing
