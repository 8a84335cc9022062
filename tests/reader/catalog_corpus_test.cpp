// The catalog of every corpus file, read in process.
#include <gtest/gtest.h>

#include <cctype>

#include "reader/metadata.h"
#include "tests/support/corpus.h"
#include "tests/support/recording_sink.h"

namespace tarnwick {
namespace {

TEST(CatalogCorpus, TablesOwnTheirDataPagesAndNoRowComesFromOtherUnits) {
  TARNWICK_REQUIRE_CORPUS();
  for (const auto& pair : testing::CorpusPairs()) {
    SCOPED_TRACE(pair.name);
    RunState state;
    testing::RecordingSink sink;
    CDatabaseFile db(state, sink);
    ASSERT_TRUE(db.Open(pair.mdf));
    CMetadata m(db);
    EXPECT_FALSE(m.sql2000());
    for (const CatalogObject& o : m.objects()) {
      ASSERT_EQ(o.type_code.size(), 2u);
      for (char c : o.type_code)
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c)) || c == ' ') << o.name;
    }
    const std::vector<CatalogObject> tables = m.UserTables();
    ASSERT_FALSE(tables.empty());
    for (const CatalogObject& table : tables) {
      SCOPED_TRACE(table.name);
      m.PrepareObject(table, m.definitions());
      const CurrentTable& current = m.currentTable();
      EXPECT_FALSE(current.rebuilt_from_indexes);
      EXPECT_EQ(current.first_stored_index, 0);
      EXPECT_FALSE(current.rowset_columns.empty());
      for (const ColumnDescriptor& c : current.columns) {
        EXPECT_TRUE(c.stored) << c.name;
        EXPECT_GT(c.leaf_null_bit, 0) << c.name;
      }
      const uint16_t index_id =
          static_cast<uint16_t>(current.allocation_unit.allocation_unit_id >> 48);
      const int32_t key = CMetadata::DataPageKey(current.allocation_unit);
      for (const PageRef& ref : current.data_pages) {
        std::optional<CPage_Header> header = db.ReadPageHeader(ref);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->pageType, 1u);
        EXPECT_EQ(header->indexId, index_id) << ref.page;
        EXPECT_EQ(header->objectId, key) << ref.page;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
