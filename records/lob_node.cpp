#include "records/lob_node.h"

#include <algorithm>

#include "records/text_page.h"

namespace tarnwick {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string EightBitText(Bytes data, int32_t code_page) {
  const auto end = std::find(data.begin(), data.end(), uint8_t{0});
  return DecodeCodePage(data.first(static_cast<size_t>(end - data.begin())), code_page);
}

std::string Hex(Bytes data, size_t length) {
  data = data.first(std::min(length, data.size()));
  std::string out;
  out.reserve(2 * data.size());
  for (uint8_t b : data) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 15]);
  }
  return out;
}

// The links of an internal node or large root: `count` links of `size`
// bytes from `first`, as many as the node holds whole.
std::vector<LobLink> ReadLinks(const ByteReader& node, size_t first, size_t size, int16_t count,
                               bool wide_offset) {
  std::vector<LobLink> links;
  for (size_t i = 0; i < static_cast<size_t>(std::max<int16_t>(count, 0)); ++i) {
    const size_t at = first + i * size;
    if (!node.Has(at, size)) break;
    LobLink link;
    link.offset = wide_offset ? node.I64(at) : node.I32(at);
    const size_t address = at + (wide_offset ? 8 : 4);
    link.page.page = node.U32(address);
    link.page.file_id = node.U16(address + 4);
    link.slot = node.U16(address + 6);
    links.push_back(link);
  }
  return links;
}

}  // namespace

std::string LobStructureBase::Text(int32_t) const { return {}; }
std::string LobStructureBase::HexText(size_t) const { return {}; }

std::string SmallRoot::Text(int32_t code_page) const { return EightBitText(data_, code_page); }
std::string SmallRoot::HexText(size_t length) const { return Hex(data_, length); }
std::string LobSData::Text(int32_t code_page) const { return EightBitText(data_, code_page); }
std::string LobSData::HexText(size_t length) const { return Hex(data_, length); }

std::unique_ptr<LobStructureBase> ParseLobNode(Bytes bytes) {
  const ByteReader node(bytes);
  if (!node.Has(0, kNodeHeaderSize)) return nullptr;
  const uint64_t blob_id = node.U64(0);
  const uint16_t type = node.U16(8);
  switch (type) {
    case kSmallRootNode: {
      const int16_t size = node.I16(10);
      if (size < 1 || size > kMaxSmallRootSize) return nullptr;
      if (!node.Has(kSmallRootDataOffset, static_cast<size_t>(size))) return nullptr;
      return std::make_unique<SmallRoot>(
          blob_id, node.Copy(kSmallRootDataOffset, static_cast<size_t>(size)));
    }
    case kInternalNode: {
      if (!node.Has(0, kInternalLinkOffset)) return nullptr;
      return std::make_unique<Internal>(
          blob_id, ReadLinks(node, kInternalLinkOffset, kInternalLinkSize, node.I16(12), true),
          node.I16(14));
    }
    case kDataNode: {
      const size_t length = node.size() - kNodeHeaderSize;
      if (length < 1 || length > kPageSize) return nullptr;
      return std::make_unique<LobSData>(blob_id, node.Copy(kNodeHeaderSize, length));
    }
    case kLargeRootShilohNode:
    case kLargeRootYukonNode:
    case kSuperLargeRootNode: {
      if (!node.Has(0, kLargeRootLinkOffset)) return nullptr;
      return std::make_unique<LargeRootYukon>(
          blob_id, type,
          ReadLinks(node, kLargeRootLinkOffset, kLargeRootLinkSize, node.I16(12), false),
          node.I16(14));
    }
    default:
      return nullptr;
  }
}

}  // namespace tarnwick
