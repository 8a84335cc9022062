// What the system-table scans take from one row record of a catalog page.
//
// A catalog row is an ordinary row record (records/record.h). Offsets in the
// row layouts of the catalog headers are offsets into the record's fixed-
// length data, which begins 4 bytes into the record; its length is the u16
// at record offset 2 minus 4. "Name" is the first variable-length column,
// UTF-16LE text without terminator. A page reference stored in a row is 4
// bytes of page number followed by 2 bytes of file id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reader/byte_reader.h"
#include "reader/page_ref.h"
#include "records/record.h"

namespace tarnwick {

// A read-only view of one parsed catalog record.
class CatalogRecord {
 public:
  explicit CatalogRecord(const CPrimaryRecord& record)
      : record_(record), fixed_(record.fixedData) {}

  // The fixed-length data. A record whose fixed part could not be copied
  // whole has none.
  const ByteReader& fixed() const { return fixed_; }
  size_t fixedLength() const { return fixed_.size(); }

  // Variable-length column i when it carries bytes; null otherwise.
  const ColumnChunk* Var(size_t i) const;
  // The number of variable-length columns whose end offset was read.
  size_t VarCount() const { return record_.varColumns.size(); }

  // Variable column i as UTF-16 text cut at the first zero unit; nothing
  // when the column is missing or has no bytes.
  std::optional<std::string> VarText(size_t i) const;

  // The 6-byte page reference at a fixed-data offset: page (4), file id (2).
  PageRef PageAt(size_t offset) const;

 private:
  const CPrimaryRecord& record_;
  ByteReader fixed_;
};

// UTF-16LE bytes as text, cut at the first zero unit.
std::string Utf16TextToZero(Bytes bytes);

// The text without trailing blanks, tabs, CR and LF.
std::string TrimRight(std::string text);

}  // namespace tarnwick
