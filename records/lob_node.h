// Large-object nodes: the records of text pages that make up the tree of one
// large value. A node is the fixed part of a text record (text_page.h).
//
// Every node (offsets within the node, integers little-endian):
//
//   offset  width  content
//   0       8      blob id
//   8       2      node type
//
// Type 0, SmallRoot: a whole value in one node.
//   10      2      S, the data size (int16, 1..8192)
//   12      4      not used
//   16      S      the data
//
// Type 2, Internal: links to the nodes below, in data order.
//   10      2      maximum number of links
//   12      2      N, the number of links (int16)
//   14      2      level
//   16      16N    links of 16 bytes:
//                    0   8  offset (int64): end of the data below this link
//                    8   4  page number
//                    12  2  file id
//                    14  2  slot
//
// Type 3, LobSData: a piece of the data.
//   10      L      the data, to the end of the node (L = node size - 10)
//
// Types 4, 5, 6, LargeRootYukon: the root of a value with several pieces.
//   10      2      maximum number of links
//   12      2      N, the number of links (int16)
//   14      2      level
//   16      4      not used
//   20      12N    links of 12 bytes:
//                    0   4  size (int32): end of the data below this link
//                    4   4  page number
//                    8   2  file id
//                    10  2  slot
//
// Types 1, 7, 8 and above have no layout here; their value is empty.
//
// Links are read only as far as the node holds them whole; a count larger
// than that, or negative, is damage and reads the links that are there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"
#include "reader/page_ref.h"

namespace tarnwick {

enum LobNodeType : uint16_t {
  kSmallRootNode = 0,
  kInternalNode = 2,
  kDataNode = 3,
  kLargeRootShilohNode = 4,
  kLargeRootYukonNode = 5,
  kSuperLargeRootNode = 6,
};

inline constexpr int32_t kMaxSmallRootSize = 8192;
inline constexpr size_t kSmallRootDataOffset = 16;
inline constexpr size_t kInternalLinkOffset = 16;
inline constexpr size_t kInternalLinkSize = 16;
inline constexpr size_t kLargeRootLinkOffset = 20;
inline constexpr size_t kLargeRootLinkSize = 12;

// One link from a node to the node below it: the page address (file id and
// page number) and the slot of its text record.
struct LobLink {
  // End of the data below the link, as stored.
  int64_t offset = 0;
  PageRef page;
  uint16_t slot = 0;
};

class LobStructureBase {
 public:
  LobStructureBase(uint64_t blob_id, uint16_t type) : blob_id_(blob_id), type_(type) {}
  virtual ~LobStructureBase() = default;

  // The node's own data as 8-bit text in the code page, up to its first 0
  // byte. Empty for nodes without data of their own.
  virtual std::string Text(int32_t code_page) const;
  // The first `length` bytes of the node's own data as upper-case hex
  // ("%02X" per byte). Empty for nodes without data of their own.
  virtual std::string HexText(size_t length) const;

  // The data the node holds itself (small roots and data nodes).
  virtual Bytes Data() const { return {}; }
  // The links to the nodes below (internal nodes and large roots).
  const std::vector<LobLink>& Links() const { return links_; }

  uint64_t blobId() const { return blob_id_; }
  uint16_t type() const { return type_; }

 protected:
  std::vector<LobLink> links_;

 private:
  uint64_t blob_id_;
  uint16_t type_;
};

class SmallRoot : public LobStructureBase {
 public:
  SmallRoot(uint64_t blob_id, ByteBuffer data)
      : LobStructureBase(blob_id, kSmallRootNode), data_(std::move(data)) {}
  std::string Text(int32_t code_page) const override;
  std::string HexText(size_t length) const override;
  Bytes Data() const override { return data_; }

 private:
  ByteBuffer data_;
};

class Internal : public LobStructureBase {
 public:
  Internal(uint64_t blob_id, std::vector<LobLink> links, int16_t level)
      : LobStructureBase(blob_id, kInternalNode), level_(level) {
    links_ = std::move(links);
  }
  int16_t level() const { return level_; }

 private:
  int16_t level_;
};

class LobSData : public LobStructureBase {
 public:
  LobSData(uint64_t blob_id, ByteBuffer data)
      : LobStructureBase(blob_id, kDataNode), data_(std::move(data)) {}
  std::string Text(int32_t code_page) const override;
  std::string HexText(size_t length) const override;
  Bytes Data() const override { return data_; }

 private:
  ByteBuffer data_;
};

class LargeRootYukon : public LobStructureBase {
 public:
  LargeRootYukon(uint64_t blob_id, uint16_t type, std::vector<LobLink> links, int16_t level)
      : LobStructureBase(blob_id, type), level_(level) {
    links_ = std::move(links);
  }
  int16_t level() const { return level_; }

 private:
  int16_t level_;
};

// The node held in these bytes, or null when its type has no layout or its
// data does not fit: a small root whose size is outside 1..8192 or larger
// than the node, a data node without data, a node shorter than its fields.
std::unique_ptr<LobStructureBase> ParseLobNode(Bytes node);

}  // namespace tarnwick
