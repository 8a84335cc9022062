// Text records, text pages, node layouts and the pointers rows keep.
#include "records/lob_node.h"

#include <gtest/gtest.h>

#include <string>

#include "records/row_overflow_pointer.h"
#include "records/text_page.h"
#include "records/text_pointer.h"
#include "tests/support/lob_builder.h"

namespace tarnwick {
namespace {

using testing::DataNode;
using testing::InRowRootBytes;
using testing::InternalNode;
using testing::LargeRootNode;
using testing::NodeAddress;
using testing::PageBuilder;
using testing::RawNode;
using testing::RowOverflowPointerBytes;
using testing::SmallRootNode;
using testing::TextPointerBytes;
using testing::TextRecordBytes;

ByteBuffer Text(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }

TEST(TextRecord, TakesTheFixedPartAsTheNode) {
  const ByteBuffer node = DataNode(Text("abc"), 0x1122334455667788);
  const ByteBuffer record = TextRecordBytes(node, 0x48);  // type 4, version tag
  const TextRecord rec(record, static_cast<uint16_t>(record.size()));
  EXPECT_EQ(rec.recordType, 4);
  EXPECT_TRUE(rec.hasVersionTag);
  EXPECT_FALSE(rec.isGhost);
  EXPECT_EQ(rec.fixedLength, 13);
  ASSERT_TRUE(rec.HasNode());
  EXPECT_EQ(ByteBuffer(rec.node().begin(), rec.node().end()), node);
  EXPECT_EQ(rec.blobId, 0x1122334455667788u);
  EXPECT_EQ(rec.nodeType, kDataNode);
  EXPECT_EQ(rec.nodeLength, 3);
}

TEST(TextRecord, NodeFieldsByFixedLengthAndLimit) {
  struct Case {
    const char* name;
    uint16_t stored_end;  // u16 at byte 2
    size_t node_bytes;    // bytes after the 4-byte head
    uint16_t limit;
    bool has_node;
    uint16_t type;
    int32_t node_length;
  };
  const Case cases[] = {
      {"whole node", 24, 20, 100, true, kDataNode, 10},
      {"exactly at the limit", 24, 20, 24, true, kDataNode, 10},
      {"one byte past the limit", 24, 20, 23, false, 0, 0},
      {"past the bytes given", 40, 20, 100, false, 0, 0},
      {"fixed length 0", 4, 20, 100, false, 0, 0},
      {"end below the head", 2, 20, 100, false, 0, 0},
      {"nine-byte node is short", 13, 9, 100, true, kShortNodeType, 0},
      {"ten-byte node has its type", 14, 10, 100, true, kDataNode, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteBuffer record = {0x08, 0x01};
    PutUnsigned(record, 2, c.stored_end, 2);
    ByteBuffer node = DataNode(ByteBuffer(c.node_bytes - std::min<size_t>(c.node_bytes, 10), 'x'));
    node.resize(c.node_bytes);
    record.insert(record.end(), node.begin(), node.end());
    const TextRecord rec(record, c.limit);
    EXPECT_TRUE(rec.ghostForwarded);
    EXPECT_EQ(rec.HasNode(), c.has_node);
    EXPECT_EQ(rec.nodeType, c.type);
    EXPECT_EQ(rec.nodeLength, c.node_length);
  }
}

TEST(TextMixPage, OneRecordPerSlotAndEmptyEntriesForBadOffsets) {
  PageBuilder page;
  page.Type(kTextMixPageType).PageId(100);
  page.AddRecord(TextRecordBytes(DataNode(Text("first"))));
  page.AddRecord(TextRecordBytes(DataNode(Text("second"))));
  page.SetSlot(2, 8193);  // past the page
  page.SetSlot(3, 40);    // inside the header
  page.SetSlot(4, 8192);  // at the very end: a record without bytes
  page.SlotCount(5);
  const TextMixPage text(page.bytes(), nullptr);
  EXPECT_TRUE(text.IsTextPage());
  ASSERT_EQ(text.records().size(), 5u);
  ASSERT_NE(text.record(0), nullptr);
  EXPECT_EQ(text.record(0)->nodeLength, 5);
  ASSERT_NE(text.record(1), nullptr);
  EXPECT_EQ(text.record(1)->nodeLength, 6);
  EXPECT_EQ(text.record(2), nullptr);
  EXPECT_EQ(text.record(3), nullptr);
  ASSERT_NE(text.record(4), nullptr);
  EXPECT_FALSE(text.record(4)->HasNode());
  EXPECT_EQ(text.record(5), nullptr);
  EXPECT_EQ(text.record(-1), nullptr);
}

TEST(TextMixPage, TellsTextPagesByType) {
  for (uint8_t type : {1, 2, 3, 4, 10}) {
    PageBuilder page;
    page.Type(type);
    EXPECT_EQ(TextMixPage(page.bytes(), nullptr).IsTextPage(), type == 3 || type == 4) << +type;
  }
}

TEST(LobNode, ParsesEveryLayout) {
  const NodeAddress a{1, 200, 3};
  const NodeAddress b{2, 70000, 9};
  {
    auto node = ParseLobNode(SmallRootNode(Text("hello"), 77));
    ASSERT_NE(node, nullptr);
    EXPECT_NE(dynamic_cast<SmallRoot*>(node.get()), nullptr);
    EXPECT_EQ(node->blobId(), 77u);
    EXPECT_EQ(node->type(), kSmallRootNode);
    EXPECT_EQ(ByteBuffer(node->Data().begin(), node->Data().end()), Text("hello"));
    EXPECT_TRUE(node->Links().empty());
  }
  {
    auto node = ParseLobNode(DataNode(Text("piece")));
    ASSERT_NE(node, nullptr);
    EXPECT_NE(dynamic_cast<LobSData*>(node.get()), nullptr);
    EXPECT_EQ(ByteBuffer(node->Data().begin(), node->Data().end()), Text("piece"));
  }
  {
    auto node = ParseLobNode(InternalNode({a, b}, 2));
    auto* internal = dynamic_cast<Internal*>(node.get());
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(internal->level(), 2);
    EXPECT_TRUE(node->Data().empty());
    ASSERT_EQ(node->Links().size(), 2u);
    EXPECT_EQ(node->Links()[0].offset, 1000);
    EXPECT_EQ(node->Links()[1].page.file_id, 2);
    EXPECT_EQ(node->Links()[1].page.page, 70000u);
    EXPECT_EQ(node->Links()[1].slot, 9);
  }
  for (uint16_t type : {4, 5, 6}) {
    auto node = ParseLobNode(LargeRootNode({a, b}, type, 1));
    auto* root = dynamic_cast<LargeRootYukon*>(node.get());
    ASSERT_NE(root, nullptr) << type;
    EXPECT_EQ(root->type(), type);
    EXPECT_EQ(root->level(), 1);
    ASSERT_EQ(node->Links().size(), 2u);
    EXPECT_EQ(node->Links()[1].offset, 2000);
    EXPECT_EQ(node->Links()[0].page.page, 200u);
    EXPECT_EQ(node->Links()[0].slot, 3);
  }
}

TEST(LobNode, RefusesNodesWithoutLayoutOrWithBadSizes) {
  auto small_root_claiming = [](int16_t size, size_t held) {
    ByteBuffer node = SmallRootNode(ByteBuffer(held, 'z'));
    PutUnsigned(node, 10, static_cast<uint16_t>(size), 2);
    return node;
  };
  struct Case {
    const char* name;
    ByteBuffer node;
  };
  const Case cases[] = {
      {"type 1", RawNode(1, ByteBuffer(20, 1))},
      {"type 7", RawNode(7, ByteBuffer(20, 1))},
      {"type 8", RawNode(8, ByteBuffer(20, 1))},
      {"type 300", RawNode(300, ByteBuffer(20, 1))},
      {"shorter than blob id and type", ByteBuffer(9, 0)},
      {"small root size 0", small_root_claiming(0, 4)},
      {"small root size negative", small_root_claiming(-3, 4)},
      {"small root larger than its bytes", small_root_claiming(5, 4)},
      {"small root without its size", RawNode(0, {1})},
      {"data node without data", DataNode({})},
      {"internal node without counts", RawNode(2, {1, 0, 1, 0})},
      {"large root without counts", RawNode(5, ByteBuffer(8, 1))},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLobNode(c.node), nullptr) << c.name;
}

TEST(LobNode, ReadsOnlyTheLinksTheNodeHoldsWhole) {
  const NodeAddress a{1, 200, 0};
  struct Case {
    const char* name;
    ByteBuffer node;
    int16_t count;
    size_t expected;
  };
  ByteBuffer root = LargeRootNode({a, a, a}, 5);
  ByteBuffer cut_root(root.begin(), root.end() - 1);
  ByteBuffer internal = InternalNode({a, a});
  const Case cases[] = {
      {"root count as stored", root, 3, 3},
      {"root count larger than held", root, 9, 3},
      {"root count negative", root, -1, 0},
      {"root count smaller than held", root, 1, 1},
      {"root whose last link is cut", cut_root, 3, 2},
      {"internal count larger than held", internal, 4000, 2},
      {"internal count 0", internal, 0, 0},
  };
  for (const Case& c : cases) {
    ByteBuffer node = c.node;
    PutUnsigned(node, 12, static_cast<uint16_t>(c.count), 2);
    auto parsed = ParseLobNode(node);
    ASSERT_NE(parsed, nullptr) << c.name;
    EXPECT_EQ(parsed->Links().size(), c.expected) << c.name;
  }
}

TEST(LobNode, DataTextAndHexText) {
  const ByteBuffer data = {'A', 0xE9, 0x00, 'B'};
  for (const ByteBuffer& bytes : {SmallRootNode(data), DataNode(data)}) {
    auto node = ParseLobNode(bytes);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Text(1252), "A\xC3\xA9");  // up to the first 0 byte
    EXPECT_EQ(node->HexText(4), "41E90042");
    EXPECT_EQ(node->HexText(2), "41E9");
    EXPECT_EQ(node->HexText(100), "41E90042");
  }
  auto root = ParseLobNode(LargeRootNode({NodeAddress{}}));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Text(1252), "");
  EXPECT_EQ(root->HexText(4), "");
}

TEST(TextPointer, RecognisedByLengthAndFirstByte) {
  const ByteBuffer pointer = TextPointerBytes({3, 0x01020304, 7}, 0xAABB);
  ASSERT_TRUE(IsTextPointer(pointer));
  const auto parsed = ParseTextPointer(pointer);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->timestamp, 0xAABB00u);
  EXPECT_EQ(parsed->page.page, 0x01020304u);
  EXPECT_EQ(parsed->page.file_id, 3);
  EXPECT_EQ(parsed->slot, 7);

  ByteBuffer first_byte_set = pointer;
  first_byte_set[0] = 4;
  ByteBuffer longer = pointer;
  longer.push_back(0);
  for (const ByteBuffer& other : {first_byte_set, longer, ByteBuffer(15, 0), ByteBuffer{}}) {
    EXPECT_FALSE(IsTextPointer(other));
    EXPECT_FALSE(ParseTextPointer(other));
  }
}

TEST(RootPointer, TagFromFirstByteOrFirstWord) {
  struct Case {
    ByteBuffer column;
    uint16_t tag;
  };
  const Case cases[] = {
      {{4, 0, 0}, 4}, {{2, 9}, 2}, {{0, 4}, 0x0400}, {{0, 0}, 0}, {{5, 0}, 5}, {{}, 0}, {{0}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ComplexColumnTag(c.column), c.tag);
  EXPECT_FALSE(ParseRootPointer(ByteBuffer{0, 4, 0, 0}));
  EXPECT_FALSE(ParseRootPointer(ByteBuffer{5, 0, 0, 0}));
}

TEST(RootPointer, InRowRootLinks) {
  const ByteBuffer column = InRowRootBytes(
      {{{1, 10, 0}, 8040}, {{1, 11, 2}, 0}, {{1500, 12, 3}, 9000}, {{3, 13, 4}, -5}}, 1);
  const auto root = ParseRootPointer(column);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->tag, kInRowRootTag);
  EXPECT_EQ(root->level, 1);
  EXPECT_EQ(root->timestamp, 0x1d2au);
  ASSERT_EQ(root->links.size(), 2u);  // sizes 0 and -5 are left out
  EXPECT_EQ(root->links[0].offset, 8040);
  EXPECT_EQ(root->links[0].page.page, 10u);
  // File id 1500 is read as file 1.
  EXPECT_EQ(root->links[1].page.file_id, 1);
  EXPECT_EQ(root->links[1].page.page, 12u);
  EXPECT_EQ(root->links[1].slot, 3);

  // A link cut by the end of the column is not read.
  ByteBuffer cut(column.begin(), column.begin() + 12 + 12 + 11);
  EXPECT_EQ(ParseRootPointer(cut)->links.size(), 1u);
}

TEST(RootPointer, RowOverflowPointerAndFileIdRemap) {
  struct Case {
    uint16_t file_id;
    uint16_t read_as;
  };
  for (const Case c : {Case{1, 1}, Case{2, 2}, Case{1000, 1000}, Case{1001, 1}, Case{65535, 1}}) {
    const auto root = ParseRootPointer(RowOverflowPointerBytes(5000, {c.file_id, 321, 6}));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->tag, kRowOverflowTag);
    ASSERT_EQ(root->links.size(), 1u);
    EXPECT_EQ(root->links[0].offset, 5000);
    EXPECT_EQ(root->links[0].page.file_id, c.read_as) << c.file_id;
    EXPECT_EQ(root->links[0].page.page, 321u);
    EXPECT_EQ(root->links[0].slot, 6);
  }
}

}  // namespace
}  // namespace tarnwick
