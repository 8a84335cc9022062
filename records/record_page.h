// Pages whose slots hold row records, and the record list built from the
// slot array.
//
// A page builds its record list once, in its constructor, in one of five
// ways (RecordSource):
//
//   AllSlots            one entry per slot (the normal case)
//   SingleSlot          the entry of one slot (following a forwarding stub)
//   OneRecord           one record from a caller's buffer instead of the
//                       page's slots: the buffer holds the record at its start
//                       and the record length in the u16 at byte 8190
//   ModifyRowImage      two entries for one slot: the record as the page
//   ModifyColumnsImage  holds it, then the patched image (log_image.h)
//
// An entry may be empty (no record). Records copy what they need; the page
// bytes stay as they were read.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "reader/byte_reader.h"
#include "reader/page.h"
#include "records/compression_info.h"
#include "records/log_image.h"
#include "records/record.h"

namespace tarnwick {

class CDatabaseFile;

// Record offsets of the all-slots list must lie in [96, 8192].
inline constexpr uint16_t kMinRecordOffset = 96;
// The single-slot list takes offsets 1..8096.
inline constexpr uint16_t kMaxSingleSlotOffset = 8096;
// Where a one-record buffer keeps the record length.
inline constexpr size_t kOneRecordLengthOffset = 8190;

struct AllSlots {};
struct SingleSlot {
  int slot = 0;
  // The forwarding stubs followed to reach this slot; null for a fresh read.
  ForwardTrail* trail = nullptr;
};
struct OneRecord {
  // Read only while the page is built.
  Bytes buffer;
};

using RecordSource =
    std::variant<AllSlots, SingleSlot, OneRecord, ModifyRowImage, ModifyColumnsImage>;

// A one-record buffer for OneRecord: 8192 bytes, the row at the start (cut
// at 8190 bytes) and its length at byte 8190.
ByteBuffer MakeOneRecordBuffer(Bytes row);

class PrimaryRecordPage : public RecordPage {
 public:
  PrimaryRecordPage(ByteBuffer bytes, const CDatabaseFile* file,
                    const RecordSource& source = AllSlots{},
                    const RecordContext* context = nullptr);

  // One entry per list position; null entries are empty.
  const std::vector<std::unique_ptr<CPrimaryRecord>>& records() const { return records_; }
  int recordCount() const { return static_cast<int>(records_.size()); }
  // The record at list position i, or null for an empty entry or a position
  // past the end.
  const CPrimaryRecord* record(int i) const;
  // Builds the record list again from another source over the same bytes,
  // header and slot array, for a caller that keeps one page for many record
  // lists. A OneRecord source is refused (its list replaces the slot array):
  // the list is then left empty.
  void RebuildRecords(const RecordSource& source);
  const RecordContext* context() const { return context_; }
  // The page's compression information (empty unless the header flags it),
  // read before the records are built.
  const CompressionInfo& compressionInfo() const { return compression_; }

 private:
  PageParseContext ParseContext() const;
  std::unique_ptr<CPrimaryRecord> RecordAt(uint16_t offset, const PageParseContext& page) const;
  // Decodes a compressed record with the context's table columns.
  std::unique_ptr<CPrimaryRecord> Finish(CPrimaryRecord rec) const;
  bool HeaderAllowsRecords() const;
  void Build(const RecordSource& source);
  void BuildAllSlots();
  void BuildSingleSlot(const SingleSlot& source);
  void BuildOneRecord(const OneRecord& source);
  void BuildModifyRow(const ModifyRowImage& change);
  void BuildModifyColumns(const ModifyColumnsImage& change);

  const RecordContext* context_;
  CompressionInfo compression_;
  std::vector<std::unique_ptr<CPrimaryRecord>> records_;
};

// The page object of a data page, as the page loaders hand it out.
class CDataPage : public PrimaryRecordPage {
 public:
  using PrimaryRecordPage::PrimaryRecordPage;
};

}  // namespace tarnwick
