// Text pages (page types 3 "text mix" and 4 "text tree") and their records.
//
// Every slot of a text page holds one large-object node wrapped in a record
// that has the row record's status bytes and nothing but a fixed part:
//
//   offset  width  content
//   0       1      status byte A: bits 1-3 record type (4 = blob fragment),
//                  bit 4 NULL bitmap, bit 5 variable columns, bit 6 version tag
//   1       1      status byte B (1: ghost forwarded record)
//   2       2      F + 4, the end of the fixed part
//   4       F      the node (layouts in records/lob_node.h): 8-byte blob id,
//                  u16 node type at node byte 8, then the type's fields
//
// The node is taken only when 0 < F and the whole fixed part lies inside the
// record's limit (the bytes from the record to the end of the page). A node
// of fewer than 10 bytes cannot hold its type and counts as type 8, which has
// no layout.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/page.h"
#include "records/record.h"

namespace tarnwick {

inline constexpr uint32_t kTextMixPageType = 3;
inline constexpr uint32_t kTextTreePageType = 4;

// Node type given to a node too short to hold its own type.
inline constexpr uint16_t kShortNodeType = 8;
// Bytes of every node before its type's fields: blob id and type.
inline constexpr size_t kNodeHeaderSize = 10;

class TextRecord : public CRecord {
 public:
  TextRecord() = default;
  // Parses the record at the start of `record`, reading only its first
  // length_limit bytes. Copies what it keeps.
  TextRecord(Bytes record, uint16_t length_limit);

  // The node bytes (the fixed part); empty when there is no node.
  Bytes node() const { return Bytes(fixedData); }
  bool HasNode() const { return !fixedData.empty(); }

  // (u16 at byte 2) - 4, as stored.
  int32_t fixedLength = 0;
  bool hasVersionTag = false;
  // Status byte B is 1.
  bool ghostForwarded = false;
  // Of the node: bytes 0-7 and the u16 at byte 8 (kShortNodeType for a node
  // shorter than 10 bytes; 0 without a node).
  uint64_t blobId = 0;
  uint16_t nodeType = 0;
  // The bytes after the blob id and type: F - 10 (0 for a short node).
  int32_t nodeLength = 0;
};

// A text page with one record per slot, in slot order. A record is parsed
// when it is first asked for: the large-object reader wants one slot of
// each page it reads, and a damaged tree may send it to pages of thousands
// of slots again and again.
class TextMixPage : public RecordPage {
 public:
  TextMixPage(ByteBuffer page, const CDatabaseFile* file);

  // True for the page types that hold large-object nodes.
  bool IsTextPage() const;
  // The record of a slot, or null: no such slot, or an offset inside the
  // page header or past the page.
  const TextRecord* record(int slot) const;
  // Every slot's entry in slot order (null entries as for record()).
  std::vector<const TextRecord*> records() const;

 private:
  mutable std::vector<std::unique_ptr<TextRecord>> records_;
  mutable std::vector<bool> parsed_;
};

}  // namespace tarnwick
