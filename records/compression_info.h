// The compression information of a page-compressed page: the block that
// follows the page header when the header's typeFlagBits have bit 7 set,
// with the anchor record (one column prefix per column) and the dictionary
// (values shared by the records of the page). All integers little-endian.
//
// Compression information block:
//
//   page offset  width  meaning
//   96           1      ciFlags: 0x02 anchor record present, 0x04 dictionary
//                       present
//   97           2      not read
//   99           2      ciDictionaryOffset: where the dictionary starts,
//                       counted from page offset 96
//   101          2      ciSize: the size of the block; 0 leaves the page
//                       without anchor and dictionary
//   103          ...    the anchor record, when both parts are present
//
// With an anchor record and no dictionary the anchor record starts at page
// offset 101. Either way it is a record in the compressed format
// (compressed_record.h) read within ciSize bytes; its column values are the
// prefixes of the page's values.
//
// Dictionary, at d = 96 + ciDictionaryOffset:
//
//   offset      width  meaning
//   d           2      c, the number of entries
//   d + 2       2c     end offset of each entry, counted from d
//   d + 2 + 2c  ...    the entry bytes, one after another
//
// Entry i runs from the end of entry i - 1 (entry 0 from d + 2 + 2c) to its
// own end offset. A compressed record names an entry by its index.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "reader/byte_reader.h"
#include "records/record.h"

namespace tarnwick {

inline constexpr size_t kCompressionInfoOffset = 96;
inline constexpr uint8_t kAnchorPresentFlag = 0x02;
inline constexpr uint8_t kDictionaryPresentFlag = 0x04;
// Where the anchor record starts, with and without a dictionary.
inline constexpr size_t kAnchorWithDictionaryOffset = 103;
inline constexpr size_t kAnchorOnlyOffset = 101;
// The block and its dictionary lie in the first half of the page: a block
// size, a dictionary start or an entry read position from here on is damage.
inline constexpr int32_t kCompressionInfoLimit = 4096;

// The lengths an anchor value has when it holds no bytes.
inline constexpr int32_t kAnchorNull = -2;
inline constexpr int32_t kAnchorEmpty = -1;

// One anchor value or dictionary entry. A length above 0 with no bytes is a
// value that did not fit the page; 0 with no bytes is no value at all.
struct CompressedValue {
  ByteBuffer bytes;
  int32_t length = 0;

  bool HasBytes() const { return !bytes.empty(); }
};

struct CompressionInfo {
  uint8_t ciFlags = 0;
  uint16_t ciDictionaryOffset = 0;
  uint16_t ciSize = 0;
  // The anchor record as parsed (it may be rejected).
  std::optional<CPrimaryRecord> anchorRecord;
  // One per column of the anchor record (record column order); empty when
  // the anchor record is missing or rejected.
  std::vector<CompressedValue> anchorValues;
  std::vector<CompressedValue> dictionary;

  // The anchor bytes of record column `column`, when it has some.
  const ByteBuffer* AnchorBytes(size_t column) const;
  // Dictionary entry `index` when a record may use it as a value: only
  // entries of 1 to 7 bytes are.
  const ByteBuffer* Symbol(size_t index) const;
};

// Reads the block of `page` (the whole page image). The caller checks the
// header's flag first. An anchor record alone is not read for SQL Server
// 2000 catalogs, and no anchor values are taken from it then. Damaged
// blocks give what could be read: no anchor values when the anchor record
// is rejected, entries without bytes for entries that do not fit.
CompressionInfo ReadCompressionInfo(const ByteReader& page, bool sql2000_catalog = false);

}  // namespace tarnwick
