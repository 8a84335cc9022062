// Large values of real rows: the text, ntext and image columns of the corpus
// tables whose values live in text pages, read from the pointers in the
// rows of each table's data pages and compared with the rows an independent
// reader found (expected.json).
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>

#include "platform/text_codec.h"
#include "reader/database_file.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"
#include "records/data_page.h"
#include "records/lob_reader.h"
#include "tests/support/corpus.h"
#include "tests/support/json.h"

namespace tarnwick {
namespace {

constexpr int32_t kAllocationUnitsObject = 7;
constexpr int32_t kRowsetsObject = 5;

uint64_t AllocationUnitOf(const CPage_Header& h) {
  return (static_cast<uint64_t>(h.indexId) << 48) |
         (static_cast<uint64_t>(static_cast<uint32_t>(h.objectId)) << 16);
}

// Table object id by allocation unit id: allocation units (id at fixed
// offset 0, owning rowset at 9) and rowsets (id at 0, owning object at 9).
std::map<uint64_t, int32_t> TablesByAllocationUnit(const CDatabaseFile& file) {
  auto rows = [&](int32_t system_object, size_t min_length, auto&& take) {
    auto it = file.systemPages().find(system_object);
    if (it == file.systemPages().end()) return;
    for (const PageRef& ref : it->second) {
      const std::unique_ptr<CDataPage> page = LoadCatalogDataPage(file, ref);
      if (!page) continue;
      for (const auto& rec : page->records()) {
        if (rec && !rec->rejected && rec->fixedData.size() >= min_length)
          take(ByteReader(rec->fixedData));
      }
    }
  };
  std::map<uint64_t, int32_t> object_by_rowset;
  rows(kRowsetsObject, 13, [&](const ByteReader& r) { object_by_rowset[r.U64(0)] = r.I32(9); });
  std::map<uint64_t, int32_t> tables;
  rows(kAllocationUnitsObject, 17, [&](const ByteReader& r) {
    auto owner = object_by_rowset.find(r.U64(9));
    if (owner != object_by_rowset.end()) tables[r.U64(0)] = owner->second;
  });
  return tables;
}

// The reference reader shows 8-bit bytes 0x80-0x9F as the C1 controls
// U+0080-U+009F (as Latin-1 would); the code page gives them other
// characters (1252: 0x96 is an en dash). Its text is brought to the code
// page's reading before comparing.
std::string InCodePage(const std::string& reference, int32_t code_page) {
  std::string out;
  for (size_t i = 0; i < reference.size(); ++i) {
    const auto byte = static_cast<uint8_t>(reference[i]);
    const uint8_t next = i + 1 < reference.size() ? static_cast<uint8_t>(reference[i + 1]) : 0;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      out += DecodeCodePage(std::span<const uint8_t>(&next, 1), code_page);
      ++i;
    } else {
      out.push_back(reference[i]);
    }
  }
  return out;
}

struct LobColumn {
  const char* corpus;
  const char* table;
  const char* column;
  typeCode code;
  // Position among the table's variable-length columns.
  size_t var_index;
};

// Every column of the visible corpus whose values are kept in text pages.
// The tables' first column is an int key, the first 4 bytes of the fixed
// part, which matches a row to its expected values.
const LobColumn kColumns[] = {
    {"news-engine", "news", "photo", typeCode::kImage, 2},
    {"news-engine", "proposed", "photo", typeCode::kImage, 2},
    {"opgave-it", "film", "film_beskr", typeCode::kText, 1},
    {"opgave-it", "billeder", "bill_sti", typeCode::kText, 0},
};

TEST(LobCorpus, ValuesOfTextPagesMatchTheExpectedRows) {
  TARNWICK_REQUIRE_CORPUS();
  std::map<std::string, testing::CorpusPair> pairs;
  for (const auto& pair : testing::CorpusPairs()) pairs[pair.name] = pair;

  for (const LobColumn& c : kColumns) {
    SCOPED_TRACE(std::string(c.corpus) + " " + c.table + "." + c.column);
    ASSERT_TRUE(pairs.count(c.corpus));
    const testing::CorpusPair& pair = pairs[c.corpus];
    const auto expected = testing::ReadJsonFile(pair.expected);
    ASSERT_TRUE(expected);
    const testing::Json* table = nullptr;
    for (const auto& t : (*expected)["tables"].items)
      if (t["name"].text == c.table) table = &t;
    ASSERT_NE(table, nullptr);
    size_t column_index = 0;
    while (column_index < (*table)["columns"].size() &&
           (*table)["columns"][column_index]["name"].text != c.column)
      ++column_index;
    ASSERT_LT(column_index, (*table)["columns"].size());
    std::map<std::string, std::string> expected_by_key;
    const auto code_page = static_cast<int32_t>((*expected)["codePage"].Int());
    for (const auto& row : (*table)["rows"].items) {
      if (!row[column_index].is_null())
        expected_by_key[row[0].text] = InCodePage(row[column_index].text, code_page);
    }
    ASSERT_FALSE(expected_by_key.empty());

    RunState state;
    NullProgressSink sink;
    CDatabaseFile file(state, sink);
    ASSERT_TRUE(file.Open(pair.mdf));
    const DatabasePageSource source(file);
    const int32_t object_id = static_cast<int32_t>((*table)["objectId"].Int());
    const LobReadOptions options = LobOptionsFor(c.code, code_page);
    const std::map<uint64_t, int32_t> tables = TablesByAllocationUnit(file);

    size_t compared = 0;
    for (const auto& [key, refs] : file.dataPages()) {
      for (const PageRef& ref : refs) {
        if (ref.type != kDataPageType) continue;
        const std::unique_ptr<CDataPage> page = LoadDataPage(file, ref);
        if (!page) continue;
        auto owner = tables.find(AllocationUnitOf(page->header()));
        if (owner == tables.end() || owner->second != object_id) continue;
        for (const auto& rec : page->records()) {
          if (!rec || rec->rejected || rec->isGhost || rec->recordType != 0) continue;
          if (rec->fixedData.size() < 4 || rec->varColumns.size() <= c.var_index) continue;
          const ColumnChunk& chunk = rec->varColumns[c.var_index];
          if (!chunk.complex) continue;
          const std::string id = std::to_string(ByteReader(rec->fixedData).I32(0));
          auto want = expected_by_key.find(id);
          if (want == expected_by_key.end()) continue;
          std::string text = ComplexColumnText(chunk.bytes, source, options);
          if (options.hex && text != " ") text = "0x" + text;
          EXPECT_EQ(text.size(), want->second.size()) << "row " << id;
          EXPECT_TRUE(text == want->second) << "row " << id << ": " << text.substr(0, 80);
          ++compared;
        }
      }
    }
    EXPECT_EQ(compared, expected_by_key.size());
  }
}

}  // namespace
}  // namespace tarnwick
