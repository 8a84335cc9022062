#include "reader/page_header.h"

#include <gtest/gtest.h>

#include "reader/page.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick {
namespace {

using testing::PageBuilder;

TEST(PageHeader, ReadsFieldsAndTexts) {
  PageBuilder p;
  p.Type(0x0A).TypeFlagBits(0x80).Level(2).ObjectId(-7).PageId(1234, 3).SlotCount(-1);
  p.Set32(40, 34).Set32(44, 336).Set16(48, 1);
  p.Set32(52, 99).Set16(56, 7);
  CPage_Header h(p.bytes());
  EXPECT_EQ(h.pageType, 10u);
  EXPECT_TRUE(h.HasCompressionInfo());
  EXPECT_EQ(h.level, 2);
  EXPECT_EQ(h.objectId, -7);
  EXPECT_EQ(h.pageId, 1234);
  EXPECT_EQ(h.pageFileId, 3);
  EXPECT_EQ(h.slotCount, -1);
  EXPECT_EQ(h.lsn, "( 34 : 336 : 1 )");
  EXPECT_EQ(h.xdesId, "( 7 : 99 )");
}

TEST(PageHeader, RestoresTornBitsOfSectorsOneToFifteen) {
  PageBuilder p;
  p.FlagBits(kTornBitsFlag).TornBits(0xFFFFFFFC);
  for (int s = 0; s < 16; ++s) p.Set8(512 * s + 511, 0xA0);
  CPage_Header h(p.bytes());
  EXPECT_EQ(p.bytes()[511], 0xA0) << "sector 0 is left alone";
  for (int s = 1; s < 16; ++s) EXPECT_EQ(p.bytes()[512 * s + 511], 0xA3) << "sector " << s;
}

TEST(PageHeader, WithoutTornFlagBytesStay) {
  PageBuilder p;
  p.TornBits(0xFFFFFFFF);
  p.Set8(1023, 0x10);
  CPage_Header h(p.bytes());
  EXPECT_EQ(p.bytes()[1023], 0x10);
}

TEST(PageHeader, ShortBufferReadsAsZeros) {
  ByteBuffer bytes(20, 0xFF);
  CPage_Header h(bytes);
  EXPECT_EQ(h.pageType, 0xFFu);
  EXPECT_EQ(h.objectId, 0);
  EXPECT_EQ(h.tornBits, 0u);
}

TEST(SlotArray, BoundsOfTheSlotCount) {
  struct Case {
    int16_t count;
    size_t expected;
  } cases[] = {{0, 0}, {-5, 0}, {1, 1}, {3999, 3999}, {4000, 0}, {32767, 0}};
  for (const Case& c : cases) {
    PageBuilder p;
    p.SlotCount(c.count).Set16(194, 0x1234).Set16(8190, 96);
    RecordPage page(p.bytes(), nullptr);
    ASSERT_EQ(page.slots().size(), c.expected) << c.count;
    if (c.expected > 0) {
      EXPECT_EQ(page.SlotOffset(0), 96);
    }
    if (c.expected == 3999) {
      EXPECT_EQ(page.SlotOffset(3998), 0x1234) << "last entry at 194";
    }
    EXPECT_EQ(page.SlotOffset(static_cast<int>(c.expected)), 0) << "past the array";
  }
}

}  // namespace
}  // namespace tarnwick
