// Parses every record of every data page of the corpus data files.
#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "reader/database_file.h"
#include "records/data_page.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

using testing::CorpusPairs;

// Catalog tables read here to tell which table a data page belongs to.
constexpr int32_t kAllocationUnitsObject = 7;
constexpr int32_t kRowsetsObject = 5;

// The allocation unit id of a page, from its header: index id in the top 16
// bits, object id below it, shifted past the low 16 bits.
uint64_t AllocationUnitOf(const CPage_Header& h) {
  return (static_cast<uint64_t>(h.indexId) << 48) |
         (static_cast<uint64_t>(static_cast<uint32_t>(h.objectId)) << 16);
}

// Table object id by allocation unit id, read with the record parser from
// the allocation units (id at fixed offset 0, owner rowset at 9) and the
// rowsets (id at 0, owning object at 9).
std::map<uint64_t, int32_t> TablesByAllocationUnit(const CDatabaseFile& file) {
  auto fixed_fields = [&](int32_t system_object, size_t min_length, auto&& take) {
    auto it = file.systemPages().find(system_object);
    if (it == file.systemPages().end()) return;
    for (const PageRef& ref : it->second) {
      const std::unique_ptr<CDataPage> page = LoadCatalogDataPage(file, ref);
      if (!page) continue;
      for (const auto& rec : page->records()) {
        if (!rec || rec->rejected || rec->fixedData.size() < min_length) continue;
        take(ByteReader(rec->fixedData));
      }
    }
  };
  std::map<uint64_t, int32_t> object_by_rowset;
  fixed_fields(kRowsetsObject, 13,
               [&](const ByteReader& r) { object_by_rowset[r.U64(0)] = r.I32(9); });
  std::map<uint64_t, int32_t> tables;
  fixed_fields(kAllocationUnitsObject, 17, [&](const ByteReader& r) {
    auto owner = object_by_rowset.find(r.U64(9));
    if (owner != object_by_rowset.end()) tables[r.U64(0)] = owner->second;
  });
  return tables;
}

struct Counts {
  int pages = 0;
  int unreadable_pages = 0;
  int empty = 0;
  int parsed = 0;
  int rejected = 0;
  int ghost = 0;
  int forwarded = 0;
  int unresolved_stubs = 0;
  int compressed = 0;
  // Parsed records that lost a part: no copy of the record, or a variable
  // column whose offsets did not fit (an empty value is not a loss).
  int incomplete = 0;
  // Rows of the table: primary records and followed stubs (the forwarded
  // bodies themselves are reached through their stubs).
  int live_rows = 0;

  Counts& operator+=(const Counts& c) {
    pages += c.pages;
    unreadable_pages += c.unreadable_pages;
    empty += c.empty;
    parsed += c.parsed;
    rejected += c.rejected;
    ghost += c.ghost;
    forwarded += c.forwarded;
    unresolved_stubs += c.unresolved_stubs;
    compressed += c.compressed;
    incomplete += c.incomplete;
    live_rows += c.live_rows;
    return *this;
  }

  void Add(const CPrimaryRecord* rec) {
    if (!rec) {
      ++empty;
      return;
    }
    if (rec->isGhost) ++ghost;
    if (rec->rejected) {
      ++rejected;
      return;
    }
    if (rec->compressedFormat) {
      ++compressed;
      return;
    }
    ++parsed;
    bool lost = rec->recordCopy.empty();
    for (const ColumnChunk& chunk : rec->varColumns) lost |= !chunk.HasBytes() && chunk.length != 0;
    if (lost) ++incomplete;
    if (rec->recordType == kForwardingStubType) {
      if (rec->fixedLength == kUnreadableForwardTarget)
        ++unresolved_stubs;
      else
        ++forwarded;
    }
    const bool row = rec->recordType == 0 || (rec->recordType == kForwardingStubType &&
                                              rec->fixedLength != kUnreadableForwardTarget);
    if (row && !rec->recordCopy.empty()) ++live_rows;
  }
};

std::ostream& operator<<(std::ostream& out, const Counts& c) {
  return out << c.pages << " pages (" << c.unreadable_pages << " unreadable), " << c.parsed
             << " parsed, " << c.rejected << " rejected, " << c.ghost << " ghost, " << c.forwarded
             << " forwarded, " << c.unresolved_stubs << " unresolved stubs, " << c.compressed
             << " compressed, " << c.empty << " empty, " << c.incomplete << " incomplete";
}

TEST(RecordCorpus, EveryDataPageRecordParses) {
  TARNWICK_REQUIRE_CORPUS();
  const auto pairs = CorpusPairs();
  ASSERT_FALSE(pairs.empty());
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    RunState state;
    NullProgressSink sink;
    CDatabaseFile file(state, sink);
    ASSERT_TRUE(file.Open(pair.mdf));

    const std::map<uint64_t, int32_t> tables = TablesByAllocationUnit(file);
    ASSERT_FALSE(tables.empty());

    Counts all;
    std::map<int32_t, Counts> by_table;
    for (const auto& [object_id, refs] : file.dataPages()) {
      for (const PageRef& ref : refs) {
        if (ref.type != kDataPageType) continue;
        const std::unique_ptr<CDataPage> page = LoadDataPage(file, ref);
        Counts page_counts;
        ++page_counts.pages;
        if (!page) {
          ++page_counts.unreadable_pages;
        } else {
          for (const auto& rec : page->records()) page_counts.Add(rec.get());
        }
        all += page_counts;
        if (!page) continue;
        auto table = tables.find(AllocationUnitOf(page->header()));
        if (table != tables.end()) by_table[table->second] += page_counts;
      }
    }

    // The user tables, with the rows an independent reader found in them.
    const auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const testing::Json& user_tables = (*expected)["tables"];
    Counts user;
    size_t expected_rows = 0;
    for (size_t i = 0; i < user_tables.size(); ++i) {
      const int32_t object_id = static_cast<int32_t>(user_tables[i]["objectId"].Int());
      expected_rows += user_tables[i]["rows"].size();
      if (auto it = by_table.find(object_id); it != by_table.end()) user += it->second;
    }

    std::cout << pair.name << ": all data pages: " << all << "\n"
              << pair.name << ": user tables:    " << user << "\n";
    ::testing::Test::RecordProperty(pair.name + ".parsed", all.parsed);
    ::testing::Test::RecordProperty(pair.name + ".rejected", all.rejected);
    ::testing::Test::RecordProperty(pair.name + ".ghost", all.ghost);
    ::testing::Test::RecordProperty(pair.name + ".forwarded", all.forwarded);

    EXPECT_EQ(all.unreadable_pages, 0);
    EXPECT_GT(all.parsed, 0);
    if (expected_rows > 0) {
      EXPECT_GT(user.parsed, 0);
    }
    EXPECT_EQ(user.rejected, 0);
    EXPECT_EQ(user.incomplete, 0);

    for (size_t i = 0; i < user_tables.size(); ++i) {
      const testing::Json& table = user_tables[i];
      const int32_t object_id = static_cast<int32_t>(table["objectId"].Int());
      const size_t rows = table["rows"].size();
      const int found = by_table.count(object_id) ? by_table[object_id].live_rows : 0;
      std::cout << "  " << table["name"].text << ": " << found << " live rows, expected " << rows
                << "\n";
      if (table["valuesReliable"].boolean) {
        EXPECT_EQ(found, static_cast<int>(rows)) << table["name"].text;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
