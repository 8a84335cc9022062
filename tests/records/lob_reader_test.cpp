// Reading large values: tree walks from every pointer kind, the reading
// options, failures and the limits of the walk, blob files, hex decoding.
#include "records/lob_reader.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "reader/database_file.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"
#include "records/text_page.h"
#include "records/text_pointer.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/lob_builder.h"
#include "tests/support/record_builder.h"

namespace tarnwick {
namespace {

using testing::DataFileBuilder;
using testing::DataNode;
using testing::InRowRootBytes;
using testing::InternalNode;
using testing::LargeRootNode;
using testing::LobPages;
using testing::NodeAddress;
using testing::RawNode;
using testing::RootLink;
using testing::RowOverflowPointerBytes;
using testing::SmallRootNode;
using testing::TempDir;
using testing::TextPointerBytes;

ByteBuffer Text(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }

// UTF-16LE bytes of a UTF-8 string.
ByteBuffer Utf16(const std::string& utf8) { return Text(Utf8ToUtf16Le(utf8)); }

LobReadOptions Plain(int32_t code_page = 1252) {
  LobReadOptions options;
  options.code_page = code_page;
  return options;
}
LobReadOptions Hex() {
  LobReadOptions options;
  options.hex = true;
  return options;
}
LobReadOptions Unicode() {
  LobReadOptions options;
  options.unicode = true;
  return options;
}

std::string ViaTextPointer(const LobPages& pages, NodeAddress root,
                           const LobReadOptions& options = Plain()) {
  const MemoryPageSource source = pages.Source();
  return ReadTextPointer(TextPointerBytes(root), source, options, nullptr);
}

// Pages with each piece in a data node of its own (all on page 100) and a
// large root on page 101 linking them in order.
NodeAddress RootOverPieces(LobPages& pages, const std::vector<ByteBuffer>& pieces) {
  std::vector<NodeAddress> children;
  for (const ByteBuffer& piece : pieces) children.push_back(pages.Add(DataNode(piece), 100));
  return pages.Add(LargeRootNode(children), 101);
}

// ---- node types ----

TEST(LobTree, EveryNodeTypeThroughATextPointer) {
  LobPages pages;
  const NodeAddress small = pages.Add(SmallRootNode(Text("small value")));
  const NodeAddress d1 = pages.Add(DataNode(Text("lar")), 100);
  const NodeAddress d2 = pages.Add(DataNode(Text("ge ")), 102);
  const NodeAddress d3 = pages.Add(DataNode(Text("value")), 100);
  const NodeAddress inner = pages.Add(InternalNode({d2, d3}), 103);
  const NodeAddress root4 = pages.Add(LargeRootNode({d1, inner}, 4, 1), 104);
  const NodeAddress root5 = pages.Add(LargeRootNode({d1, inner}, 5, 1), 104);
  const NodeAddress root6 = pages.Add(LargeRootNode({d1, inner}, 6, 1), 104);
  const NodeAddress internal_root = pages.Add(InternalNode({d1, d2, d3}), 105);
  const NodeAddress type1 = pages.Add(RawNode(1, ByteBuffer(20, 'q')), 106);
  const NodeAddress type7 = pages.Add(RawNode(7, ByteBuffer(20, 'q')), 106);
  const NodeAddress type8 = pages.Add(RawNode(8, ByteBuffer(20, 'q')), 106);

  struct Case {
    const char* name;
    NodeAddress root;
    std::string text;
  };
  const Case cases[] = {
      {"small root", small, "small value"},
      {"data node", d3, "value"},
      {"large root type 4 over data and internal", root4, "large value"},
      {"large root type 5", root5, "large value"},
      {"large root type 6", root6, "large value"},
      {"internal node", internal_root, "large value"},
      {"type 1 has no layout", type1, " "},
      {"type 7 has no layout", type7, " "},
      {"type 8 has no layout", type8, " "},
  };
  for (const Case& c : cases) EXPECT_EQ(ViaTextPointer(pages, c.root), c.text) << c.name;
}

TEST(LobTree, InRowRootAndRowOverflowPointer) {
  LobPages pages;
  const NodeAddress d1 = pages.Add(DataNode(Text("in-row ")));
  const NodeAddress d2 = pages.Add(DataNode(Text("root")), 101);
  const NodeAddress d3 = pages.Add(DataNode(Text("!")), 101);
  const NodeAddress inner = pages.Add(InternalNode({d2, d3}), 102);
  const MemoryPageSource source = pages.Source();
  const LobReadOptions options = Plain();

  EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{d1, 7}, {d2, 11}}), source, options, nullptr),
            "in-row root");
  // Level 1: the links point at internal nodes.
  EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{d1, 7}, {inner, 12}}, 1), source, options, nullptr),
            "in-row root!");
  // A link with a size below 1 is skipped.
  EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{d1, 7}, {d2, 0}, {d3, 8}}), source, options, nullptr),
            "in-row !");
  EXPECT_EQ(ReadInRowRoot(RowOverflowPointerBytes(4, d2), source, options, nullptr), "root");
  // Not a root pointer: nothing, and no " " as for text pointers.
  EXPECT_EQ(ReadInRowRoot(ByteBuffer{5, 0, 0, 0}, source, options, nullptr), "");
  EXPECT_EQ(ReadInRowRoot({}, source, options, nullptr), "");
}

TEST(LobTree, InRowRootFileIdFrom1001IsFile1) {
  LobPages pages;
  const NodeAddress data = pages.Add(DataNode(Text("file one")), 300, 1);
  const MemoryPageSource source = pages.Source();
  NodeAddress far = data;
  far.file_id = 1500;
  EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{far, 8}}), source, Plain(), nullptr), "file one");
  far.file_id = 2;  // a file the source does not have
  EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{far, 8}}), source, Plain(), nullptr), "");
}

TEST(LobTree, ReadLobNodeStartsFromNodeBytes) {
  LobPages pages;
  const NodeAddress d1 = pages.Add(DataNode(Text("node ")));
  const NodeAddress d2 = pages.Add(DataNode(Text("bytes")));
  const MemoryPageSource source = pages.Source();
  EXPECT_EQ(ReadLobNode(LargeRootNode({d1, d2}), source, Plain(), nullptr), "node bytes");
  EXPECT_EQ(ReadLobNode(SmallRootNode(Text("here")), source, Plain(), nullptr), "here");
  EXPECT_EQ(ReadLobNode(RawNode(9, ByteBuffer(8, 1)), source, Plain(), nullptr), "");
}

// ---- options ----

TEST(LobOptions, FromTypeCode) {
  struct Expect {
    bool hex, variant, unicode, collect;
  };
  for (int code = 0; code < kTypeCodeCount; ++code) {
    const typeCode c = static_cast<typeCode>(code);
    Expect e{false, false, false, false};
    if (code == 16 || code == 25 || code == 31 || code == 32 || code == 33) e.hex = true;
    if (code == 20) e.variant = true;
    if (code == 11 || code == 19) e.unicode = true;
    if (code == 34) e.collect = true;
    const LobReadOptions o = LobOptionsFor(c, 1250);
    SCOPED_TRACE(code);
    EXPECT_EQ(o.hex, e.hex);
    EXPECT_EQ(o.variant, e.variant);
    EXPECT_EQ(o.unicode, e.unicode);
    EXPECT_EQ(o.collect, e.collect);
    EXPECT_EQ(o.code_page, 1250);
    EXPECT_EQ(o.blobs, nullptr);
  }
}

TEST(LobOptions, ValueText) {
  LobReadOptions variant;
  variant.variant = true;
  LobReadOptions collect;
  collect.collect = true;
  struct Case {
    const char* name;
    ByteBuffer value;
    LobReadOptions options;
    std::string text;
  };
  const Case cases[] = {
      {"hex", {0x00, 0xAB, 0x10}, Hex(), "00AB10"},
      // Exactly half zero bytes: binary data stays binary.
      {"hex keeps half-zero data", {0x68, 0x00, 0x69, 0x00}, Hex(), "68006900"},
      {"8-bit in the code page", Text("caf\xE9"), Plain(1252), "caf\xC3\xA9"},
      {"8-bit in another code page", {0xC4, 0xE0}, Plain(1251), "\xD0\x94\xD0\xB0"},
      {"8-bit up to the first 0 byte", {'a', 'b', 0, 'c'}, Plain(), "ab"},
      {"8-bit half zero reads as UTF-16", {0x68, 0x00, 0x69, 0x00}, Plain(), "hi"},
      {"unicode ASCII", Utf16("hi"), Unicode(), "hi"},
      {"unicode Latin", Utf16("G\xC3\xB3recki"), Unicode(), "G\xC3\xB3recki"},
      {"unicode Romanian", Utf16("Dac\xC4\x83 \xC8\x9B"), Unicode(), "Dac\xC4\x83 \xC8\x9B"},
      {"unicode CJK", Utf16("\xE6\x97\xA5\xE6\x9C\xAC"), Unicode(), "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"unicode up to the first 0 unit", {'a', 0, 0, 0, 'b', 0}, Unicode(), "a"},
      {"variant int", {56, 1, 42, 0, 0, 0}, variant, "42"},
      {"variant nvarchar", {231, 1, 8, 0, 0, 0, 0, 0, 'o', 0, 'k', 0}, variant, "ok"},
      {"collect has no text", Text("abc"), collect, ""},
      {"empty value", {}, Plain(), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LobValueText(c.value, c.options), c.text) << c.name;
}

// What keeping only the low byte of every UTF-16 unit would show.
std::string Narrowed(const ByteBuffer& utf16) {
  ByteBuffer low;
  for (size_t i = 0; i < utf16.size(); i += 2) low.push_back(utf16[i]);
  return LobValueText(low, Plain());
}

// UTF-16 of ASCII text reads the same whether narrowed to its low bytes or
// not; any other text must come out as the characters stored.
TEST(LobOptions, UnicodeIsNotNarrowed) {
  const std::string cases[] = {
      "Classical",
      "\xCE\xA9mega",              // U+03A9
      "Dac\xC4\x83",               // U+0103
      "\xE2\x82\xAC 5",            // U+20AC
      "\xE6\x97\xA5\xE6\x9C\xAC",  // CJK
      "\xF0\x9F\x98\x80",          // a surrogate pair
  };
  LobPages pages;
  std::vector<NodeAddress> roots;
  for (const std::string& utf8 : cases) roots.push_back(pages.Add(SmallRootNode(Utf16(utf8))));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i]);
    const std::string text = ViaTextPointer(pages, roots[i], Unicode());
    EXPECT_EQ(text, cases[i]);
    const std::string narrowed = Narrowed(Utf16(cases[i]));
    if (i == 0) {
      EXPECT_EQ(text, narrowed);
    } else {
      EXPECT_NE(text, narrowed);
    }
  }
}

TEST(LobOptions, CharactersSplitBetweenDataNodesAreReadWhole) {
  struct Case {
    const char* name;
    std::vector<ByteBuffer> pieces;
    LobReadOptions options;
    std::string text;
  };
  const Case cases[] = {
      {"UTF-16 unit split",
       {{'a', 0, 0xE9}, {0x00, 'b', 0}},
       Unicode(),
       "a\xC3\xA9"
       "b"},
      {"surrogate pair split", {{0x3D, 0xD8}, {0x00, 0xDE}}, Unicode(), "\xF0\x9F\x98\x80"},
      {"double-byte code page split", {{'x', 0x93}, {0xFA}}, Plain(932), "x\xE6\x97\xA5"},
      {"hex over three pieces", {{0x01}, {0x02, 0x03}, {0xFF}}, Hex(), "010203FF"},
  };
  for (const Case& c : cases) {
    LobPages pages;
    const NodeAddress root = RootOverPieces(pages, c.pieces);
    EXPECT_EQ(ViaTextPointer(pages, root, c.options), c.text) << c.name;
  }
}

TEST(LobOptions, SmallRootOfTwoZeroBytesGivesHi) {
  LobPages pages;
  const NodeAddress root = pages.Add(SmallRootNode({0x68, 0x00, 0x69, 0x00}));
  EXPECT_EQ(ViaTextPointer(pages, root, Plain()), "hi");
  EXPECT_EQ(ViaTextPointer(pages, root, Unicode()), "hi");
}

// <a>x</a>
ByteBuffer XmlDocument() {
  return {0xDF, 0xFF, 0x01, 0xB0, 0x04, 0xF0, 0x01, 0x61, 0x00, 0xEF,
          0x00, 0x00, 0x01, 0xF8, 0x01, 0x11, 0x01, 0x78, 0x00, 0xF7};
}

TEST(LobOptions, XmlInThreeDataNodesIsJoinedInLinkOrder) {
  const ByteBuffer xml = XmlDocument();
  const ByteBuffer p1(xml.begin(), xml.begin() + 7);
  const ByteBuffer p2(xml.begin() + 7, xml.begin() + 14);
  const ByteBuffer p3(xml.begin() + 14, xml.end());
  LobPages pages;
  // Stored out of order on the page; the links give the order.
  const NodeAddress a3 = pages.Add(DataNode(p3));
  const NodeAddress a1 = pages.Add(DataNode(p1));
  const NodeAddress a2 = pages.Add(DataNode(p2));
  const MemoryPageSource source = pages.Source();
  const LobReadOptions xml_options = LobOptionsFor(typeCode::kXml, 1252);

  LobPieces pieces;
  const ByteBuffer root = InRowRootBytes({{a1, 7}, {a2, 14}, {a3, 20}});
  EXPECT_EQ(ReadInRowRoot(root, source, xml_options, &pieces), "");
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], p1);
  EXPECT_EQ(pieces[1], p2);
  EXPECT_EQ(pieces[2], p3);
  EXPECT_EQ(XmlText(pieces), "<a>x</a>");
  EXPECT_TRUE(pieces.empty());

  EXPECT_EQ(ComplexColumnText(root, source, xml_options), "<a>x</a>");
  // Pieces in another order are not a document.
  EXPECT_EQ(ComplexColumnText(InRowRootBytes({{a2, 7}, {a1, 14}, {a3, 20}}), source, xml_options),
            " ");
  LobPieces none;
  EXPECT_EQ(XmlText(none), "");
}

// ---- failures ----

TEST(LobFailures, ABadBranchReadsNothingAndItsSiblingsAreRead) {
  LobPages pages;
  const NodeAddress before = pages.Add(DataNode(Text("[")));
  const NodeAddress after = pages.Add(DataNode(Text("]")));
  const NodeAddress empty_record = pages.AddRecord({0x08, 0x00, 0x04, 0x00});
  const NodeAddress short_record = pages.AddRecord({0x08});
  const NodeAddress bad_small_root = pages.Add(RawNode(0, {0x00, 0x30, 0, 0, 0, 0, 'x'}));
  const NodeAddress no_layout = pages.Add(RawNode(7, ByteBuffer(12, 'q')));
  testing::PageBuilder& data_page = pages.Page(200);
  data_page.Type(1);
  const NodeAddress on_data_page = pages.Add(DataNode(Text("not here")), 200);

  struct Case {
    const char* name;
    NodeAddress bad;
  };
  const Case cases[] = {
      {"missing page", {1, 999, 0}},
      {"missing file", {7, 100, 0}},
      {"page 0", {1, 0, 0}},
      {"slot past the page's slots", {1, 100, 40}},
      {"record without a node", empty_record},
      {"record shorter than its head", short_record},
      {"small root size out of range", bad_small_root},
      {"node type without layout", no_layout},
      {"page that is not a text page", on_data_page},
  };
  // Page 0 of file 1 exists and holds a node: it is still not read.
  pages.Page(0).AddRecord(testing::TextRecordBytes(DataNode(Text("page zero"))));
  for (const Case& c : cases) {
    LobPages copy = pages;
    const NodeAddress root = copy.Add(LargeRootNode({before, c.bad, after}), 101);
    EXPECT_EQ(ViaTextPointer(copy, root), "[]") << c.name;
    EXPECT_EQ(ViaTextPointer(copy, c.bad), " ") << c.name;
  }
}

TEST(LobFailures, TextPointerWithoutTextGivesSpace) {
  LobPages pages;
  const MemoryPageSource source = pages.Source();
  EXPECT_EQ(ReadTextPointer(TextPointerBytes({1, 5, 0}), source, Plain(), nullptr), " ");
  EXPECT_EQ(ReadTextPointer(TextPointerBytes({1, 5, 0}), source, Hex(), nullptr), " ");
  // Not a text pointer at all.
  EXPECT_EQ(ReadTextPointer(ByteBuffer(15, 0), source, Plain(), nullptr), " ");
}

// ---- limits ----

TEST(LobLimitsTest, ANodeIsReadOncePerValue) {
  LobPages pages;
  // Slots are known before the nodes are written: 0 the root, 1 the
  // internal node, 2 the data.
  const NodeAddress root{1, 100, 0};
  const NodeAddress inner{1, 100, 1};
  const NodeAddress data{1, 100, 2};
  struct Case {
    const char* name;
    ByteBuffer root_node;
    ByteBuffer inner_node;
    std::string text;
  };
  const Case cases[] = {
      {"root links to itself", LargeRootNode({data, root, data}), InternalNode({data}), "d"},
      {"internal node links back to the root", LargeRootNode({inner}), InternalNode({data, root}),
       "d"},
      {"internal node links to itself", LargeRootNode({inner}), InternalNode({inner, data}), "d"},
      {"two links to one data node", LargeRootNode({data, data}), InternalNode({}), "d"},
      {"two parents share a node", LargeRootNode({inner, data}), InternalNode({data}), "d"},
  };
  for (const Case& c : cases) {
    LobPages p;
    p.Add(c.root_node);
    p.Add(c.inner_node);
    p.Add(DataNode(Text("d")));
    EXPECT_EQ(ViaTextPointer(p, root), c.text) << c.name;
  }
}

TEST(LobLimitsTest, ANodeLinkingToItselfReadsNothing) {
  LobPages pages;
  const NodeAddress self{1, 100, 0};
  pages.Add(InternalNode(std::vector<NodeAddress>(400, self)));
  const MemoryPageSource source = pages.Source();
  LobReader reader(source, LobLimits{});
  reader.ReadLink(LobLink{0, PageRef{1, 100, 0}, 0});
  EXPECT_TRUE(reader.bytes().empty());
  // Every link is looked at once and none is followed into the node again.
  EXPECT_EQ(reader.linksFollowed(), 401u);
  EXPECT_FALSE(reader.limited());
  EXPECT_EQ(ViaTextPointer(pages, self), " ");
}

TEST(LobLimitsTest, APointerToItsOwnRowReadsNothing) {
  // A data page whose row holds, as its complex column, a pointer to the
  // row itself (page 100, slot 0).
  for (const ByteBuffer& pointer :
       {TextPointerBytes({1, 100, 0}), InRowRootBytes({{{1, 100, 0}, 30}})}) {
    LobPages pages;
    testing::PageBuilder& page = pages.Page(100);
    page.Type(1);
    page.AddRecord(testing::RowBuilder().Fixed({1, 0, 0, 0}).Var(pointer, true).Build());
    const MemoryPageSource source = pages.Source();
    const std::string text =
        ComplexColumnText(pointer, source, LobOptionsFor(typeCode::kText, 1252));
    EXPECT_EQ(text, IsTextPointer(pointer) ? " " : "");
    // The same bytes on a text page are read as a node and still give nothing.
    page.Type(3);
    const MemoryPageSource as_text = pages.Source();
    EXPECT_EQ(ComplexColumnText(pointer, as_text, LobOptionsFor(typeCode::kText, 1252)), text);
  }
}

// A chain of `internal` internal nodes, each on its own page, ending in a
// data node: the data is the (internal + 1)-th node of the path.
NodeAddress Chain(LobPages& pages, int internal) {
  NodeAddress next = pages.Add(DataNode(Text("deep")), 1000);
  for (int i = 0; i < internal; ++i)
    next = pages.Add(InternalNode({next}), 1001 + static_cast<uint32_t>(i));
  return next;
}

TEST(LobLimitsTest, PathsLongerThanTheDepthLimitReadNothing) {
  struct Case {
    int internal;
    int max_depth;
    bool read;
  };
  const Case cases[] = {
      {kMaxLobDepth - 1, kMaxLobDepth, true},
      {kMaxLobDepth, kMaxLobDepth, false},
      {40, kMaxLobDepth, false},
      {2, 3, true},
      {3, 3, false},
  };
  for (const Case& c : cases) {
    LobPages pages;
    const NodeAddress top = Chain(pages, c.internal);
    LobReadOptions options = Plain();
    options.limits.max_depth = c.max_depth;
    SCOPED_TRACE(c.internal);
    EXPECT_EQ(ViaTextPointer(pages, top, options), c.read ? "deep" : " ");
    // Through an in-row root the path is as long.
    const MemoryPageSource source = pages.Source();
    EXPECT_EQ(ReadInRowRoot(InRowRootBytes({{top, 4}}), source, options, nullptr),
              c.read ? "deep" : "");
    LobReader reader(source, options.limits);
    reader.ReadLink(LobLink{0, PageRef{top.file_id, top.page, 0}, top.slot});
    EXPECT_EQ(reader.limited(), !c.read);
  }
}

TEST(LobLimitsTest, NodeCountAndSizeLimitsKeepThePiecesBefore) {
  LobPages pages;
  const NodeAddress root = RootOverPieces(pages, {Text("abc"), Text("de"), Text("f")});
  struct Case {
    const char* name;
    size_t max_nodes;
    size_t max_bytes;
    std::string text;
    bool limited;
  };
  const Case cases[] = {
      {"no limit reached", kMaxLobNodes, kMaxLobBytes, "abcdef", false},
      {"exactly enough", 4, 6, "abcdef", false},
      {"three nodes: root and two pieces", 3, kMaxLobBytes, "abcde", true},
      {"one node: the root alone", 1, kMaxLobBytes, " ", true},
      {"five bytes", kMaxLobNodes, 5, "abcde", true},
      {"four bytes stop inside the second piece", kMaxLobNodes, 4, "abc", true},
      {"no bytes", kMaxLobNodes, 0, " ", true},
  };
  const MemoryPageSource source = pages.Source();
  for (const Case& c : cases) {
    LobReadOptions options = Plain();
    options.limits.max_nodes = c.max_nodes;
    options.limits.max_bytes = c.max_bytes;
    EXPECT_EQ(ReadTextPointer(TextPointerBytes(root), source, options, nullptr), c.text) << c.name;
    LobReader reader(source, options.limits);
    reader.ReadLink(LobLink{0, PageRef{1, root.page, 0}, root.slot});
    EXPECT_EQ(reader.limited(), c.limited) << c.name;
  }
}

TEST(LobLimitsTest, ManyLinksToAMissingPageEndAtTheNodeLimit) {
  LobPages pages;
  const NodeAddress root = pages.Add(LargeRootNode(std::vector<NodeAddress>(600, {1, 999, 0})));
  const MemoryPageSource source = pages.Source();
  LobLimits limits;
  limits.max_nodes = 50;
  LobReader reader(source, limits);
  reader.ReadLink(LobLink{0, PageRef{1, root.page, 0}, root.slot});
  EXPECT_EQ(reader.linksFollowed(), 50u);
  EXPECT_TRUE(reader.limited());
}

// ---- blob files ----

class RecordingBlobSink : public BlobSink {
 public:
  explicit RecordingBlobSink(bool accept) : accept_(accept) {}
  std::optional<std::string> Store(Bytes value) override {
    stored.emplace_back(value.begin(), value.end());
    if (!accept_) return std::nullopt;
    return "\\Blob_T\\" + std::to_string(stored.size()) + "_blob";
  }
  std::vector<ByteBuffer> stored;

 private:
  bool accept_;
};

TEST(LobBlobs, BinaryValuesThroughRootPointersGoToTheSink) {
  LobPages pages;
  const NodeAddress d1 = pages.Add(DataNode({0x01, 0x02}));
  const NodeAddress d2 = pages.Add(DataNode({0xFE}));
  const NodeAddress root = pages.Add(LargeRootNode({d1, d2}));
  const MemoryPageSource source = pages.Source();
  const ByteBuffer in_row = InRowRootBytes({{d1, 2}, {d2, 3}});
  const ByteBuffer overflow = RowOverflowPointerBytes(2, d1);
  const ByteBuffer text_pointer = TextPointerBytes(root);

  struct Case {
    const char* name;
    typeCode code;
    ByteBuffer column;
    bool accept;
    std::string text;
    size_t stored;
  };
  const Case cases[] = {
      {"in-row root varbinary", typeCode::kVarBinary, in_row, true, "\\Blob_T\\1_blob", 1},
      {"row-overflow varbinary", typeCode::kVarBinary, overflow, true, "\\Blob_T\\1_blob", 1},
      {"in-row root image", typeCode::kImage, in_row, true, "\\Blob_T\\1_blob", 1},
      {"sink refuses: hex text stays", typeCode::kVarBinary, in_row, false, "0102FE", 1},
      {"text pointer never", typeCode::kImage, text_pointer, true, "0102FE", 0},
      {"character value never", typeCode::kVarChar, in_row, true, "\x01\x02\xC3\xBE", 0},
      {"nothing read, nothing stored", typeCode::kVarBinary, InRowRootBytes({{{1, 999, 0}, 1}}),
       true, "", 0},
  };
  for (const Case& c : cases) {
    RecordingBlobSink sink(c.accept);
    LobReadOptions options = LobOptionsFor(c.code, 1252);
    options.blobs = &sink;
    EXPECT_EQ(ComplexColumnText(c.column, source, options), c.text) << c.name;
    ASSERT_EQ(sink.stored.size(), c.stored) << c.name;
    if (c.stored == 1) {
      const ByteBuffer expected =
          c.column == overflow ? ByteBuffer{0x01, 0x02} : ByteBuffer{0x01, 0x02, 0xFE};
      EXPECT_EQ(sink.stored[0], expected) << c.name;
    }
  }
}

TEST(LobBlobs, CollectedValuesNeverGoToTheSink) {
  LobPages pages;
  const NodeAddress d = pages.Add(DataNode(XmlDocument()));
  const MemoryPageSource source = pages.Source();
  RecordingBlobSink sink(true);
  LobReadOptions options = LobOptionsFor(typeCode::kXml, 1252);
  options.hex = true;  // even with hex set
  options.blobs = &sink;
  EXPECT_EQ(ComplexColumnText(InRowRootBytes({{d, 20}}), source, options), "<a>x</a>");
  EXPECT_TRUE(sink.stored.empty());
}

TEST(BlobFolderTest, NumberedFilesAndReferences) {
  TempDir dir;
  BlobFolder folder(dir.File("D") + "/Blob_Photos");
  EXPECT_EQ(folder.counter(), 0);
  EXPECT_EQ(folder.Store(ByteBuffer{1, 2, 3}), "\\Blob_Photos\\1_blob");
  EXPECT_EQ(folder.Store(ByteBuffer{}), "\\Blob_Photos\\2_blob");
  EXPECT_EQ(folder.Store(ByteBuffer{0xFF}), "\\Blob_Photos\\3_blob");
  EXPECT_EQ(folder.counter(), 3);
  EXPECT_EQ(testing::ReadFileBytes(dir.File("D/Blob_Photos/1_blob")), ByteBuffer({1, 2, 3}));
  EXPECT_EQ(testing::ReadFileBytes(dir.File("D/Blob_Photos/2_blob")), ByteBuffer{});
  EXPECT_EQ(testing::ReadFileBytes(dir.File("D/Blob_Photos/3_blob")), ByteBuffer({0xFF}));
  // The export starts every table at 1 again; files are overwritten.
  folder.Reset();
  EXPECT_EQ(folder.Store(ByteBuffer{9}), "\\Blob_Photos\\1_blob");
  EXPECT_EQ(testing::ReadFileBytes(dir.File("D/Blob_Photos/1_blob")), ByteBuffer({9}));
}

TEST(BlobFolderTest, ReferenceUsesTheLastPathComponent) {
  struct Case {
    std::string folder;
    int n;
    std::string reference;
  };
  const Case cases[] = {
      {"/tmp/x/Blob_T", 3, "\\Blob_T\\3_blob"},
      {"/tmp/x/Blob_T/", 1, "\\Blob_T\\1_blob"},
      {"C:\\out\\db\\Blob_Albums", 12, "\\Blob_Albums\\12_blob"},
      {"Blob_A", 2, "\\Blob_A\\2_blob"},
  };
  for (const Case& c : cases) EXPECT_EQ(BlobFolder(c.folder).Reference(c.n), c.reference);
  EXPECT_EQ(BlobFolder::FileName(7), "7_blob");
}

TEST(BlobFolderTest, AFileThatCannotBeCreatedKeepsTheValueAsHex) {
  TempDir dir;
  // The folder's place is taken by a file.
  testing::WriteFileBytes(dir.File("Blob_T"), {0});
  BlobFolder folder(dir.File("Blob_T"));
  EXPECT_EQ(folder.Store(ByteBuffer{1}), std::nullopt);
  EXPECT_EQ(folder.counter(), 1);  // counted before the attempt

  LobPages pages;
  const NodeAddress d = pages.Add(DataNode({0xCA, 0xFE}));
  const MemoryPageSource source = pages.Source();
  LobReadOptions options = LobOptionsFor(typeCode::kVarBinary, 1252);
  options.blobs = &folder;
  EXPECT_EQ(ComplexColumnText(InRowRootBytes({{d, 2}}), source, options), "CAFE");
  EXPECT_EQ(folder.counter(), 2);
}

TEST(BlobFolderTest, ThirdValueOfAnExportIsThirdBlob) {
  TempDir dir;
  LobPages pages;
  std::vector<ByteBuffer> columns;
  for (uint8_t i = 1; i <= 3; ++i)
    columns.push_back(InRowRootBytes({{pages.Add(DataNode({i, i})), 2}}));
  const MemoryPageSource source = pages.Source();
  BlobFolder folder(dir.File("Blob_Pictures"));
  LobReadOptions options = LobOptionsFor(typeCode::kVarBinary, 1252);
  options.blobs = &folder;
  std::vector<std::string> texts;
  for (const ByteBuffer& column : columns)
    texts.push_back(ComplexColumnText(column, source, options));
  EXPECT_EQ(texts, (std::vector<std::string>{"\\Blob_Pictures\\1_blob", "\\Blob_Pictures\\2_blob",
                                             "\\Blob_Pictures\\3_blob"}));
  EXPECT_EQ(testing::ReadFileBytes(dir.File("Blob_Pictures/3_blob")), ByteBuffer({3, 3}));
}

// ---- column dispatch ----

TEST(ComplexColumn, DispatchByPointerKind) {
  LobPages pages;
  const NodeAddress small = pages.Add(SmallRootNode(Utf16("Jazz")));
  const NodeAddress data = pages.Add(DataNode(Utf16("Rock")));
  const MemoryPageSource source = pages.Source();
  const LobReadOptions nvarchar = LobOptionsFor(typeCode::kNVarChar, 1252);
  ByteBuffer sixteen_tag4 = InRowRootBytes({});
  sixteen_tag4.resize(16);
  struct Case {
    const char* name;
    ByteBuffer column;
    std::string text;
  };
  const Case cases[] = {
      {"text pointer", TextPointerBytes(small), "Jazz"},
      {"text pointer to nothing", TextPointerBytes({1, 999, 0}), " "},
      {"in-row root", InRowRootBytes({{data, 8}}), "Rock"},
      {"row-overflow pointer", RowOverflowPointerBytes(8, data), "Rock"},
      {"16 bytes with tag 4 is an in-row root", sixteen_tag4, ""},
      {"sparse vector tag", {5, 0, 1, 0, 2, 0, 9, 0}, ""},
      {"unknown tag", {9, 9, 9, 9}, ""},
      {"no bytes", {}, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComplexColumnText(c.column, source, nvarchar), c.text) << c.name;
}

// ---- pages from the data file ----

TEST(DatabasePageSourceTest, ReadsTextPagesOfTheFile) {
  LobPages pages;
  const NodeAddress d1 = pages.Add(DataNode(Text("from ")), 20);
  const NodeAddress d2 = pages.Add(DataNode(Text("the file")), 21);
  const NodeAddress root = pages.Add(LargeRootNode({d1, d2}), 22);
  DataFileBuilder builder(24);
  pages.WriteInto(builder);
  TempDir dir;
  const std::string path = builder.WriteTo(dir.File("lob.mdf"));

  RunState state;
  NullProgressSink sink;
  CDatabaseFile file(state, sink);
  ASSERT_TRUE(file.Open(path));
  const DatabasePageSource source(file);
  EXPECT_EQ(source.file(), &file);
  EXPECT_EQ(ReadTextPointer(TextPointerBytes(root), source, Plain(), nullptr), "from the file");
  // Past the end of the file, and page 0.
  EXPECT_EQ(ReadTextPointer(TextPointerBytes({1, 500, 0}), source, Plain(), nullptr), " ");
  EXPECT_FALSE(source.LoadPage(PageRef{1, 0, 0}));
  EXPECT_TRUE(source.LoadPage(PageRef{1, 22, 0}));
}

// ---- hex text ----

TEST(HexToBytesTest, Cases) {
  struct Case {
    std::string text;
    ByteBuffer bytes;
  };
  const Case cases[] = {
      {"0x0102FF", {0x01, 0x02, 0xFF}},
      {"0xABCDEF", {0xAB, 0xCD, 0xEF}},
      {"0x", {}},
      {"", {}},
      {"0x123", {0x12}},  // odd last character ignored
      {"0xab", {0x00}},   // lower case is not a digit
      {"0xG1", {0x01}},   // neither is G
      {"0X10", {0x10}},
      {"1020", {0x10, 0x20}},  // no prefix
  };
  for (const Case& c : cases) EXPECT_EQ(HexToBytes(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace tarnwick
