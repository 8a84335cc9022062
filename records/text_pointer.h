// Text pointer: how a row refers to the value of a text, ntext or image
// column kept outside the row. It is the 16-byte complex variable column of
// the row (integers little-endian):
//
//   offset  width  content
//   0       8      timestamp (first byte 0)
//   8       4      page number of the value's root node
//   12      2      file id
//   14      2      slot of the root node's text record
#pragma once

#include <cstdint>
#include <optional>

#include "reader/byte_reader.h"
#include "reader/page_ref.h"

namespace tarnwick {

inline constexpr size_t kTextPointerLength = 16;

struct TextPointer {
  uint64_t timestamp = 0;
  PageRef page;
  uint16_t slot = 0;
};

// A complex column is a text pointer when it has exactly 16 bytes and its
// first byte is 0.
bool IsTextPointer(Bytes column);

// The pointer's fields; nothing when the column is not a text pointer.
std::optional<TextPointer> ParseTextPointer(Bytes column);

}  // namespace tarnwick
