#include "records/record_page.h"

#include <gtest/gtest.h>

#include <string>

#include "reader/database_file.h"
#include "records/data_page.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::DataFileBuilder;
using testing::ForwardingStub;
using testing::PageBuilder;
using testing::RowBuilder;
using testing::TempDir;

ByteBuffer Text(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }
std::string AsText(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

ByteBuffer Row(uint8_t tag) { return RowBuilder().Fixed({tag, tag}).Columns(1).Build(); }

PageBuilder DataPage(int rows) {
  PageBuilder p;
  p.Type(1).ObjectId(200).PageId(11);
  for (int i = 0; i < rows; ++i) p.AddRecord(Row(static_cast<uint8_t>(0xA0 + i)));
  return p;
}

TEST(RecordPage, AllSlotsGivesOneRecordPerSlotInOrder) {
  const PrimaryRecordPage page(DataPage(3).bytes(), nullptr);
  ASSERT_EQ(page.recordCount(), 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(page.record(i), nullptr);
    EXPECT_EQ(page.record(i)->fixedData, ByteBuffer(2, static_cast<uint8_t>(0xA0 + i)));
  }
  EXPECT_EQ(page.record(3), nullptr);
  EXPECT_EQ(page.record(-1), nullptr);
}

TEST(RecordPage, SlotOffsetsOutsideTheRecordArea) {
  struct Case {
    uint16_t offset;
    bool record;
  } cases[] = {{0, false},   {95, false},   {96, true},     {4000, true},
               {8192, true}, {8193, false}, {0xFFFF, false}};
  for (const Case& c : cases) {
    PageBuilder p = DataPage(2);
    p.SetSlot(1, c.offset);
    const PrimaryRecordPage page(p.bytes(), nullptr);
    SCOPED_TRACE(c.offset);
    ASSERT_EQ(page.recordCount(), 2);
    EXPECT_NE(page.record(0), nullptr);
    EXPECT_EQ(page.record(1) != nullptr, c.record);
  }
}

TEST(RecordPage, PagesThatHoldNoRows) {
  struct Case {
    const char* name;
    uint8_t type;
    uint8_t level;
    uint16_t ghosts;
    bool records;
  } cases[] = {
      {"data page", 1, 0, 0, true},
      {"ghost count below slot count", 1, 0, 2, true},
      {"ghost count equals slot count", 1, 0, 3, false},
      {"ghost count above slot count", 1, 0, 7, false},
      {"index page, leaf level", 2, 0, 0, true},
      {"index page, level 1", 2, 1, 0, false},
      {"data page, level 1", 1, 1, 0, true},
  };
  for (const Case& c : cases) {
    PageBuilder p = DataPage(3);
    p.Type(c.type).Level(c.level).Set16(58, c.ghosts);
    const PrimaryRecordPage page(p.bytes(), nullptr);
    SCOPED_TRACE(c.name);
    ASSERT_EQ(page.recordCount(), 3) << "every slot keeps its entry";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(page.record(i) != nullptr, c.records);
  }
}

TEST(RecordPage, NegativeHeaderFieldsGiveNoRecords) {
  struct Case {
    const char* name;
    size_t offset;
    int width;
  } cases[] = {{"free count", 28, 2},   {"ghost record count", 58, 2},
               {"next page", 16, 4},    {"next file", 20, 2},
               {"page id", 32, 4},      {"page file id", 36, 2},
               {"previous page", 8, 4}, {"previous file", 12, 2}};
  for (const Case& c : cases) {
    PageBuilder p = DataPage(2);
    if (c.width == 2)
      p.Set16(c.offset, 0x8000);
    else
      p.Set32(c.offset, 0x80000000u);
    const PrimaryRecordPage page(p.bytes(), nullptr);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(page.recordCount(), 0);
  }
}

TEST(RecordPage, PageTypeAboveSeventeenRejectsEveryRecord) {
  PageBuilder p = DataPage(2);
  p.Type(18);
  const PrimaryRecordPage page(p.bytes(), nullptr);
  ASSERT_EQ(page.recordCount(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(page.record(i), nullptr);
    EXPECT_TRUE(page.record(i)->rejected);
    EXPECT_FALSE(page.record(i)->HasFixedData());
  }
}

TEST(RecordPage, GhostRecordsAreRejected) {
  PageBuilder p = DataPage(1);
  p.AddRecord(RowBuilder().Type(6).Fixed({1, 2}).Columns(1).Build());
  p.AddRecord(Row(0xB0));
  const PrimaryRecordPage page(p.bytes(), nullptr);
  ASSERT_EQ(page.recordCount(), 3);
  const CPrimaryRecord* ghost = page.record(1);
  ASSERT_NE(ghost, nullptr);
  EXPECT_TRUE(ghost->isGhost);
  EXPECT_TRUE(ghost->rejected);
  EXPECT_FALSE(ghost->HasFixedData());
  EXPECT_FALSE(page.record(2)->rejected);
}

TEST(RecordPage, SingleSlot) {
  struct Case {
    const char* name;
    int slot;
    int set_slot_offset;  // -1: keep
    int entries;
    bool record;
  } cases[] = {
      {"first slot", 0, -1, 1, true},         {"last slot", 2, -1, 1, true},
      {"slot = slot count", 3, -1, 0, false}, {"negative slot", -1, -1, 0, false},
      {"offset 0", 1, 0, 1, false},           {"offset 8097", 1, 8097, 1, false},
      {"offset 8096", 1, 8096, 1, true},      {"offset inside the header", 1, 50, 1, true},
  };
  for (const Case& c : cases) {
    PageBuilder p = DataPage(3);
    if (c.set_slot_offset >= 0) p.SetSlot(1, static_cast<uint16_t>(c.set_slot_offset));
    const PrimaryRecordPage page(p.bytes(), nullptr, SingleSlot{c.slot});
    SCOPED_TRACE(c.name);
    ASSERT_EQ(page.recordCount(), c.entries);
    if (c.entries) {
      EXPECT_EQ(page.record(0) != nullptr, c.record);
    }
  }
  const PrimaryRecordPage page(DataPage(3).bytes(), nullptr, SingleSlot{2});
  EXPECT_EQ(page.record(0)->fixedData, ByteBuffer(2, 0xA2));
}

TEST(RecordPage, OneRecordFromACallersBuffer) {
  // The page itself is empty; the row comes from the buffer, parsed in the
  // ordinary form (so a compressed bit does not matter) and cut at the
  // length stored at byte 8190.
  const ByteBuffer row =
      RowBuilder().StatusBits(0x01).Fixed({5, 6, 7}).Columns(2).Var(Text("hello")).Build();
  PageBuilder p;
  p.Type(1).PageId(11);
  struct Case {
    uint16_t length;
    const char* var_text;
  } cases[] = {{static_cast<uint16_t>(row.size()), "hello"},
               {static_cast<uint16_t>(row.size() - 1), ""}};
  for (const Case& c : cases) {
    ByteBuffer buffer = MakeOneRecordBuffer(row);
    PutUnsigned(buffer, 8190, c.length, 2);
    const PrimaryRecordPage page(p.bytes(), nullptr, OneRecord{buffer});
    SCOPED_TRACE(c.length);
    EXPECT_EQ(page.slotCount(), 1);
    ASSERT_EQ(page.recordCount(), 1);
    const CPrimaryRecord* rec = page.record(0);
    ASSERT_NE(rec, nullptr);
    EXPECT_FALSE(rec->compressedFormat);
    EXPECT_EQ(rec->lengthLimit, c.length);
    EXPECT_EQ(rec->fixedData, ByteBuffer({5, 6, 7}));
    ASSERT_EQ(rec->varColumns.size(), 1u);
    EXPECT_EQ(AsText(rec->varColumns[0].bytes), c.var_text);
  }
}

TEST(RecordPage, RebuiltListsMatchFreshPages) {
  // One page object kept for many record lists (as the save keeps its
  // pages) must list what a page built for each source lists, whatever
  // list it held before.
  const ByteBuffer bytes = DataPage(3).bytes();
  ModifyRowImage row_change;
  row_change.slot = 1;
  row_change.offset = 4;
  row_change.replacement = {0x11, 0x22};
  row_change.prior = {0xA1, 0xA1};
  ModifyColumnsImage columns_change;
  columns_change.slot = 2;
  columns_change.changes.push_back({4, 2, ByteBuffer{0x33, 0x44}});
  ModifyRowImage outside = row_change;
  outside.slot = 3;
  const RecordSource sources[] = {AllSlots{}, SingleSlot{1},  row_change, columns_change,
                                  outside,    SingleSlot{-1}, AllSlots{}, row_change};
  PrimaryRecordPage kept(bytes, nullptr, SingleSlot{-1});
  EXPECT_EQ(kept.recordCount(), 0);
  for (size_t i = 0; i < std::size(sources); ++i) {
    SCOPED_TRACE(i);
    kept.RebuildRecords(sources[i]);
    const PrimaryRecordPage fresh(bytes, nullptr, sources[i]);
    ASSERT_EQ(kept.recordCount(), fresh.recordCount());
    for (int r = 0; r < fresh.recordCount(); ++r) {
      ASSERT_EQ(kept.record(r) != nullptr, fresh.record(r) != nullptr);
      if (!fresh.record(r)) continue;
      EXPECT_EQ(kept.record(r)->fixedData, fresh.record(r)->fixedData);
      EXPECT_EQ(kept.record(r)->recordCopy, fresh.record(r)->recordCopy);
      EXPECT_EQ(kept.record(r)->rejected, fresh.record(r)->rejected);
    }
  }
  EXPECT_EQ(kept.record(1)->fixedData, ByteBuffer({0x11, 0x22})) << "the patched image";

  // A one-record list would replace the slot array: it is refused, and the
  // page keeps its slots for the next list.
  kept.RebuildRecords(OneRecord{MakeOneRecordBuffer(Row(0xB0))});
  EXPECT_EQ(kept.recordCount(), 0);
  EXPECT_EQ(kept.slotCount(), 3);
  kept.RebuildRecords(AllSlots{});
  ASSERT_EQ(kept.recordCount(), 3);
  EXPECT_EQ(kept.record(2)->fixedData, ByteBuffer(2, 0xA2));
}

TEST(RecordPage, MakeOneRecordBufferStoresTheLength) {
  const ByteBuffer row(120, 0x33);
  const ByteBuffer buffer = MakeOneRecordBuffer(row);
  ASSERT_EQ(buffer.size(), 8192u);
  EXPECT_EQ(ByteReader(buffer).U16(8190), 120);
  EXPECT_TRUE(std::equal(row.begin(), row.end(), buffer.begin()));
  EXPECT_EQ(buffer[120], 0);
  const ByteBuffer long_row = MakeOneRecordBuffer(ByteBuffer(9000, 1));
  EXPECT_EQ(ByteReader(long_row).U16(8190), 8190)
      << "a row longer than the buffer is cut before the length field";
}

// Every record field that holds bytes stays within what the record could
// read.
void ExpectWithinLimits(const CPrimaryRecord& rec) {
  EXPECT_LE(rec.recordCopy.size(), rec.lengthLimit);
  EXPECT_LE(rec.compressedBytes.size(), rec.lengthLimit);
  EXPECT_LE(rec.fixedData.size(), static_cast<size_t>(kMaxFixedLength));
  EXPECT_LE(rec.varColumns.size(), static_cast<size_t>(kMaxColumnCount));
  for (const ColumnChunk& c : rec.varColumns) {
    if (c.HasBytes()) {
      EXPECT_EQ(c.bytes.size(), static_cast<size_t>(c.length));
      EXPECT_LE(c.bytes.size(), rec.lengthLimit);
    }
  }
  if (rec.sparseVector) {
    EXPECT_EQ(rec.sparseVector->columns.size(), static_cast<size_t>(rec.sparseVector->count));
  }
}

TEST(RecordPage, GarbagePagesStayInBounds) {
  // Pages of pseudo-random bytes under a plausible header, with slots
  // pointing anywhere; every list form is built on each.
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<uint8_t>(state >> 16);
  };
  int records = 0;
  for (int round = 0; round < 300; ++round) {
    PageBuilder p;
    for (size_t i = 96; i < kPageSize; ++i) p.Set8(i, next());
    const int slots = 1 + next() % 40;
    p.Type(round % 3 == 0 ? 2 : 1).PageId(11).SlotCount(static_cast<int16_t>(slots));
    for (int i = 0; i < slots; ++i) {
      const uint16_t offset = static_cast<uint16_t>(96 + (next() << 5 | next() % 32) % 8100);
      p.SetSlot(i, round % 7 == 0 ? static_cast<uint16_t>(next() << 8 | next()) : offset);
    }
    ModifyRowImage row_change;
    row_change.slot = next() % slots;
    row_change.offset = next();
    row_change.replacement.assign(next() % 64, 0xAB);
    row_change.prior.assign(next() % 64, 0xCD);
    ModifyColumnsImage columns_change;
    columns_change.slot = next() % slots;
    for (int j = 0; j < 3; ++j) {
      columns_change.ranges.push_back({static_cast<uint16_t>(next() << 4 | next()),
                                       static_cast<uint16_t>(next() << 4 | next())});
      columns_change.new_lengths.push_back(next());
    }
    columns_change.values.assign(next(), 0xEF);
    const ByteBuffer one = MakeOneRecordBuffer(
        ByteBuffer(p.bytes().begin() + 96, p.bytes().begin() + 96 + next() * 8));
    const RecordSource sources[] = {AllSlots{}, SingleSlot{next() % slots}, OneRecord{one},
                                    row_change, columns_change};
    for (const RecordSource& source : sources) {
      const PrimaryRecordPage page(p.bytes(), nullptr, source);
      for (const auto& rec : page.records()) {
        if (!rec) continue;
        ++records;
        ExpectWithinLimits(*rec);
      }
    }
  }
  EXPECT_GT(records, 1000) << "the pages must give records to look at";
}

// A data file whose page 11 holds forwarding stubs:
//   page 12: slot 0 a forwarded row, slot 1 a ghost
//   page 13: slots 0..7 stubs to the next slot, slot 8 a stub to page 12/0
//   page 14: slots 0 and 1 point at each other
class ForwardingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DataFileBuilder b(20);
    for (uint32_t p = 11; p <= 14; ++p) b.Page(p).Type(1).ObjectId(300);
    b.Page(12).AddRecord(
        RowBuilder().Type(1).Fixed(Text("FWD1")).Columns(2).Var(Text("xyz")).Build());
    b.Page(12).AddRecord(RowBuilder().Type(6).Fixed(Text("GONE")).Columns(1).Build());
    for (int16_t i = 0; i < 8; ++i) b.Page(13).AddRecord(ForwardingStub(13, 1, i + 1));
    b.Page(13).AddRecord(ForwardingStub(12, 1, 0));
    b.Page(14).AddRecord(ForwardingStub(14, 1, 1));
    b.Page(14).AddRecord(ForwardingStub(14, 1, 0));
    PageBuilder& stubs = b.Page(11);
    stubs.AddRecord(ForwardingStub(12, 1, 0));   // 0: the row
    stubs.AddRecord(ForwardingStub(12, 1, -1));  // 1: slot -1
    stubs.AddRecord(ForwardingStub(12, 1, 7));   // 2: no such slot
    stubs.AddRecord(ForwardingStub(900, 1, 0));  // 3: outside the file
    stubs.AddRecord(ForwardingStub(12, 0, 0));   // 4: file id 0
    stubs.AddRecord(ForwardingStub(12, 3, 0));   // 5: unknown file
    stubs.AddRecord(ForwardingStub(12, 1, 1));   // 6: a ghost
    stubs.AddRecord(ForwardingStub(13, 1, 1));   // 7: 9 stubs to the row
    stubs.AddRecord(ForwardingStub(13, 1, 2));   // 8: 8 stubs to the row
    stubs.AddRecord(ForwardingStub(14, 1, 0));   // 9: a cycle
    stubs.AddRecord(ForwardingStub(11, 1, 10));  // 10: itself
    stubs.AddRecord(ForwardingStub(-2, 1, 0));   // 11: negative page
    path_ = b.WriteTo(dir_.File("forward.mdf"));
    ASSERT_TRUE(file_.Open(path_));
  }

  TempDir dir_;
  std::string path_;
  RunState state_;
  NullProgressSink sink_;
  CDatabaseFile file_{state_, sink_};
};

TEST_F(ForwardingTest, StubsTakeTheForwardedRowOrStayUnreadable) {
  const std::unique_ptr<CDataPage> page = LoadDataPage(file_, PageRef{1, 11, 1});
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->recordCount(), 12);
  const bool resolved[] = {true,  false, false, false, false, false,
                           false, false, true,  false, false, false};
  for (int slot = 0; slot < 12; ++slot) {
    const CPrimaryRecord* rec = page->record(slot);
    SCOPED_TRACE(slot);
    ASSERT_NE(rec, nullptr);
    EXPECT_FALSE(rec->rejected);
    EXPECT_EQ(rec->recordType, kForwardingStubType);
    ASSERT_TRUE(rec->forwardTarget);
    if (resolved[slot]) {
      EXPECT_EQ(rec->fixedLength, 4);
      EXPECT_EQ(AsText(rec->fixedData), "FWD1");
      EXPECT_EQ(rec->columnCount, 2);
      ASSERT_EQ(rec->varColumns.size(), 1u);
      EXPECT_EQ(AsText(rec->varColumns[0].bytes), "xyz");
    } else {
      EXPECT_EQ(rec->fixedLength, kUnreadableForwardTarget);
      EXPECT_FALSE(rec->HasFixedData());
      EXPECT_TRUE(rec->varColumns.empty());
    }
  }
  EXPECT_EQ(page->record(0)->forwardTarget, (RecordAddress{1, 12, 0}));
  EXPECT_EQ(page->record(1)->forwardTarget->slot, -1);
}

TEST_F(ForwardingTest, ChainsAreCutAfterTheBound) {
  // Slot k of page 13 reaches the row after 9 - k stubs (its own included).
  for (int slot = 0; slot <= 8; ++slot) {
    const std::unique_ptr<CDataPage> page =
        LoadDataPage(file_, PageRef{1, 13, 1}, SingleSlot{slot});
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->recordCount(), 1);
    const int hops = 9 - slot;
    SCOPED_TRACE(hops);
    EXPECT_EQ(page->record(0)->fixedLength, hops <= 8 ? 4 : kUnreadableForwardTarget);
  }
}

TEST_F(ForwardingTest, ModifyColumnsImagesDoNotFollowStubs) {
  ModifyColumnsImage change;
  change.slot = 0;
  const std::unique_ptr<CDataPage> page = LoadDataPage(file_, PageRef{1, 11, 1}, change);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->recordCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const CPrimaryRecord* rec = page->record(i);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->recordType, kForwardingStubType);
    EXPECT_FALSE(rec->forwardTarget);
    EXPECT_NE(rec->fixedLength, kUnreadableForwardTarget);
  }
}

TEST_F(ForwardingTest, LoadDataPageForms) {
  struct Probe : RecordContext {};
  Probe probe;
  EXPECT_EQ(LoadDataPage(file_, PageRef{1, 0, 0}), nullptr) << "page 0";
  EXPECT_EQ(LoadDataPage(file_, PageRef{1, 5000, 1}), nullptr) << "outside the file";
  EXPECT_EQ(LoadDataPage(file_, PageRef{2, 12, 1}), nullptr) << "unknown file";
  EXPECT_NE(LoadCatalogDataPage(file_, PageRef{1, 0, 0}), nullptr);

  const std::unique_ptr<CDataPage> plain = LoadDataPage(file_, PageRef{1, 12, 1});
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->context(), nullptr);
  EXPECT_EQ(plain->record(0)->context, nullptr);
  const std::unique_ptr<CDataPage> with = LoadDataPage(file_, PageRef{1, 12, 1}, probe);
  ASSERT_NE(with, nullptr);
  EXPECT_EQ(with->context(), &probe);
  EXPECT_EQ(with->record(0)->context, &probe);
  EXPECT_EQ(AsText(with->record(0)->fixedData), "FWD1");
  EXPECT_EQ(with->header().pageId, 12);
}

}  // namespace
}  // namespace tarnwick
