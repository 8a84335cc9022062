// One piece of column bytes taken out of a record: a variable-length column,
// a long data item of a compressed record, or a value of a sparse column
// vector.
#pragma once

#include <cstdint>
#include <string>

#include "reader/byte_reader.h"

namespace tarnwick {

struct ColumnChunk {
  // The column id the chunk belongs to; -1 when the chunk is not tied to one
  // (variable columns are matched by position instead).
  int32_t columnId = -1;
  // The bytes, copied out of the record. Empty means "no bytes": the chunk is
  // a placeholder that keeps the positions of the chunks after it. A chunk
  // that carries bytes always has at least one.
  ByteBuffer bytes;
  // The chunk's length. For placeholders this is the length the offsets
  // claimed (which may be 0 or negative), not bytes.size().
  int32_t length = 0;
  // Filled by the row readers with the chunk's value text.
  std::string text;
  uint8_t spare = 0;
  // Bit 15 of the variable column's end offset: the bytes are a complex
  // column (text pointer, in-row large-object root, sparse vector).
  bool complex = false;

  bool HasBytes() const { return !bytes.empty(); }
};

}  // namespace tarnwick
