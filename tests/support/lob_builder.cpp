#include "tests/support/lob_builder.h"

#include "records/text_page.h"

namespace tarnwick::testing {
namespace {

void PutAddress(ByteBuffer& out, size_t at, NodeAddress address) {
  PutUnsigned(out, at, address.page, 4);
  PutUnsigned(out, at + 4, address.file_id, 2);
  PutUnsigned(out, at + 6, address.slot, 2);
}

ByteBuffer NodeHeader(uint16_t type, uint64_t blob_id) {
  ByteBuffer node;
  PutUnsigned(node, 0, blob_id, 8);
  PutUnsigned(node, 8, type, 2);
  return node;
}

// Maximum links, links in use, level: the three int16 after the type.
void PutLinkCounts(ByteBuffer& node, size_t count, int16_t level) {
  PutUnsigned(node, 10, count, 2);
  PutUnsigned(node, 12, count, 2);
  PutUnsigned(node, 14, static_cast<uint16_t>(level), 2);
}

}  // namespace

ByteBuffer SmallRootNode(const ByteBuffer& data, uint64_t blob_id) {
  ByteBuffer node = NodeHeader(0, blob_id);
  PutUnsigned(node, 10, data.size(), 2);
  PutUnsigned(node, 12, 0, 4);
  node.insert(node.end(), data.begin(), data.end());
  return node;
}

ByteBuffer DataNode(const ByteBuffer& data, uint64_t blob_id) {
  ByteBuffer node = NodeHeader(3, blob_id);
  node.insert(node.end(), data.begin(), data.end());
  return node;
}

ByteBuffer InternalNode(const std::vector<NodeAddress>& children, int16_t level, uint64_t blob_id) {
  ByteBuffer node = NodeHeader(2, blob_id);
  PutLinkCounts(node, children.size(), level);
  for (size_t i = 0; i < children.size(); ++i) {
    const size_t at = 16 + 16 * i;
    PutUnsigned(node, at, 1000 * (i + 1), 8);
    PutAddress(node, at + 8, children[i]);
  }
  return node;
}

ByteBuffer LargeRootNode(const std::vector<NodeAddress>& children, uint16_t type, int16_t level,
                         uint64_t blob_id) {
  ByteBuffer node = NodeHeader(type, blob_id);
  PutLinkCounts(node, children.size(), level);
  PutUnsigned(node, 16, 0, 4);
  for (size_t i = 0; i < children.size(); ++i) {
    const size_t at = 20 + 12 * i;
    PutUnsigned(node, at, 1000 * (i + 1), 4);
    PutAddress(node, at + 4, children[i]);
  }
  return node;
}

ByteBuffer RawNode(uint16_t type, const ByteBuffer& fields, uint64_t blob_id) {
  ByteBuffer node = NodeHeader(type, blob_id);
  node.insert(node.end(), fields.begin(), fields.end());
  return node;
}

ByteBuffer TextRecordBytes(const ByteBuffer& node, uint8_t status_a) {
  ByteBuffer record = {status_a, 0};
  PutUnsigned(record, 2, node.size() + 4, 2);
  record.insert(record.end(), node.begin(), node.end());
  return record;
}

ByteBuffer TextPointerBytes(NodeAddress root, uint64_t timestamp) {
  ByteBuffer pointer;
  PutUnsigned(pointer, 0, timestamp << 8, 8);  // first byte 0
  PutAddress(pointer, 8, root);
  return pointer;
}

ByteBuffer InRowRootBytes(const std::vector<RootLink>& links, uint8_t level) {
  ByteBuffer pointer = {4, level, 0, 0};
  PutUnsigned(pointer, 4, 1, 4);
  PutUnsigned(pointer, 8, 0x1d2a, 4);
  for (size_t i = 0; i < links.size(); ++i) {
    const size_t at = 12 + 12 * i;
    PutUnsigned(pointer, at, static_cast<uint32_t>(links[i].size), 4);
    PutAddress(pointer, at + 4, links[i].to);
  }
  return pointer;
}

ByteBuffer RowOverflowPointerBytes(int32_t length, NodeAddress data) {
  ByteBuffer pointer = {2, 0, 0, 0};
  PutUnsigned(pointer, 4, 1, 4);
  PutUnsigned(pointer, 8, 0x1d2a, 4);
  PutUnsigned(pointer, 12, static_cast<uint32_t>(length), 4);
  PutAddress(pointer, 16, data);
  return pointer;
}

PageBuilder& LobPages::Page(uint32_t page, uint16_t file_id) {
  auto [it, added] = pages_.try_emplace({file_id, page});
  if (added) it->second.Type(kTextMixPageType).PageId(static_cast<int32_t>(page), file_id);
  return it->second;
}

NodeAddress LobPages::AddRecord(const ByteBuffer& record, uint32_t page, uint16_t file_id) {
  const int slot = Page(page, file_id).AddRecord(record);
  return NodeAddress{file_id, page, static_cast<uint16_t>(slot)};
}

NodeAddress LobPages::Add(const ByteBuffer& node, uint32_t page, uint16_t file_id) {
  return AddRecord(TextRecordBytes(node), page, file_id);
}

MemoryPageSource LobPages::Source() const {
  MemoryPageSource source;
  for (const auto& [address, page] : pages_)
    source.Add(address.first, address.second, page.bytes());
  return source;
}

void LobPages::WriteInto(DataFileBuilder& file) const {
  for (const auto& [address, page] : pages_) {
    if (address.first == 1) file.Page(address.second) = page;
  }
}

}  // namespace tarnwick::testing
