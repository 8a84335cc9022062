// Row-overflow pointers and in-row roots: the complex variable columns by
// which a row refers to a value kept in text pages. A row-overflow pointer
// (tag 2) stands for a varchar, nvarchar, varbinary or sql_variant value
// pushed out of a row that grew too long; an in-row root (tag 4) is the root
// of a max-type or xml value. Both share one layout (integers little-endian):
//
//   offset  width  content
//   0       1      tag: 2 row-overflow pointer, 4 in-row root
//   1       1      level of the nodes the links point at (0: data nodes)
//   2       2      not used
//   4       4      update sequence
//   8       4      timestamp
//   12      12N    links of 12 bytes, up to the end of the column:
//                    0   4  size (int32): end of the data below the link
//                           (a row-overflow pointer has one link, and this
//                           is the value's length)
//                    4   4  page number
//                    8   2  file id
//                    10  2  slot
//
// The tag is the first byte, or the first u16 when that byte is 0. A link
// whose size is below 1 is left out; a file id of 1001 or more is read as
// file 1.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "reader/byte_reader.h"
#include "records/lob_node.h"

namespace tarnwick {

inline constexpr uint16_t kRowOverflowTag = 2;
inline constexpr uint16_t kInRowRootTag = 4;
inline constexpr size_t kRootPointerLinkOffset = 12;
inline constexpr size_t kRootPointerLinkSize = 12;
// File ids from this one on are read as file 1.
inline constexpr uint16_t kFirstRemappedFileId = 1001;

struct RootPointer {
  uint16_t tag = 0;
  uint8_t level = 0;
  uint32_t timestamp = 0;
  // The links in column order, without those whose size is below 1.
  std::vector<LobLink> links;
};

// The tag of a complex column (first byte, or the first u16 when that byte
// is 0); 0 for an empty column.
uint16_t ComplexColumnTag(Bytes column);

// The pointer's fields; nothing unless the tag is 2 or 4.
std::optional<RootPointer> ParseRootPointer(Bytes column);

}  // namespace tarnwick
