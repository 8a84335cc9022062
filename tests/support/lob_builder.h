// Builders for large-object storage in tests: the nodes of a value's tree,
// the text records that hold them, text pages in memory, and the pointers a
// row keeps (text pointer, in-row root, row-overflow pointer), in the
// layouts of records/lob_node.h, records/text_page.h, records/text_pointer.h
// and records/row_overflow_pointer.h.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "reader/byte_reader.h"
#include "records/page_source.h"
#include "tests/support/data_file_builder.h"

namespace tarnwick::testing {

// Where a node lives: file id, page number, slot.
struct NodeAddress {
  uint16_t file_id = 1;
  uint32_t page = 0;
  uint16_t slot = 0;
};

// A link of an in-row root or row-overflow pointer.
struct RootLink {
  NodeAddress to;
  int32_t size = 1;
};

// Nodes. Links get increasing offsets (the reader does not use them).
ByteBuffer SmallRootNode(const ByteBuffer& data, uint64_t blob_id = 1);
ByteBuffer DataNode(const ByteBuffer& data, uint64_t blob_id = 1);
ByteBuffer InternalNode(const std::vector<NodeAddress>& children, int16_t level = 1,
                        uint64_t blob_id = 1);
// type 4, 5 or 6.
ByteBuffer LargeRootNode(const std::vector<NodeAddress>& children, uint16_t type = 5,
                         int16_t level = 0, uint64_t blob_id = 1);
// Any node type with these bytes after the blob id and type.
ByteBuffer RawNode(uint16_t type, const ByteBuffer& fields, uint64_t blob_id = 1);

// A text record around a node: status A 0x08 (blob fragment), status B 0,
// the end of the fixed part, the node.
ByteBuffer TextRecordBytes(const ByteBuffer& node, uint8_t status_a = 0x08);

// Pointers a row holds.
ByteBuffer TextPointerBytes(NodeAddress root, uint64_t timestamp = 0x1234);
ByteBuffer InRowRootBytes(const std::vector<RootLink>& links, uint8_t level = 0);
ByteBuffer RowOverflowPointerBytes(int32_t length, NodeAddress data);

// Text pages (type 3) built record by record, served from memory.
class LobPages {
 public:
  // Appends a text record holding the node to the page (created on first
  // use) and returns its address.
  NodeAddress Add(const ByteBuffer& node, uint32_t page = 100, uint16_t file_id = 1);
  // A record of any bytes (damaged records).
  NodeAddress AddRecord(const ByteBuffer& record, uint32_t page = 100, uint16_t file_id = 1);
  PageBuilder& Page(uint32_t page, uint16_t file_id = 1);

  // The pages as they stand now.
  MemoryPageSource Source() const;
  // Writes the pages of file 1 into a data file builder.
  void WriteInto(DataFileBuilder& file) const;

 private:
  std::map<std::pair<uint16_t, uint32_t>, PageBuilder> pages_;
};

}  // namespace tarnwick::testing
