#include "records/record_page.h"

#include <algorithm>

#include "reader/page_header.h"
#include "reader/page_ref.h"
#include "records/compressed_record.h"

namespace tarnwick {
namespace {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace

ByteBuffer MakeOneRecordBuffer(Bytes row) {
  ByteBuffer buffer(kPageSize, 0);
  const size_t length = std::min(row.size(), kOneRecordLengthOffset);
  std::copy_n(row.begin(), length, buffer.begin());
  PutUnsigned(buffer, kOneRecordLengthOffset, length, 2);
  return buffer;
}

PrimaryRecordPage::PrimaryRecordPage(ByteBuffer bytes, const CDatabaseFile* file,
                                     const RecordSource& source, const RecordContext* context)
    : RecordPage(std::move(bytes), file), context_(context) {
  if (header().HasCompressionInfo())
    compression_ = ReadCompressionInfo(reader(), context_ && context_->Sql2000Catalog());
  Build(source);
}

void PrimaryRecordPage::RebuildRecords(const RecordSource& source) {
  records_.clear();
  if (std::holds_alternative<OneRecord>(source)) return;
  Build(source);
}

void PrimaryRecordPage::Build(const RecordSource& source) {
  std::visit(Overloaded{
                 [this](const AllSlots&) { BuildAllSlots(); },
                 [this](const SingleSlot& s) { BuildSingleSlot(s); },
                 [this](const OneRecord& s) { BuildOneRecord(s); },
                 [this](const ModifyRowImage& s) { BuildModifyRow(s); },
                 [this](const ModifyColumnsImage& s) { BuildModifyColumns(s); },
             },
             source);
}

const CPrimaryRecord* PrimaryRecordPage::record(int i) const {
  if (i < 0 || i >= recordCount()) return nullptr;
  return records_[static_cast<size_t>(i)].get();
}

PageParseContext PrimaryRecordPage::ParseContext() const {
  PageParseContext page;
  page.header = &header();
  page.file = file();
  page.context = context_;
  return page;
}

std::unique_ptr<CPrimaryRecord> PrimaryRecordPage::RecordAt(uint16_t offset,
                                                            const PageParseContext& page) const {
  const uint16_t limit = static_cast<uint16_t>(kPageSize - offset);
  return Finish(CPrimaryRecord::ParsePageRecord(bytes().subspan(offset), limit, page));
}

std::unique_ptr<CPrimaryRecord> PrimaryRecordPage::Finish(CPrimaryRecord rec) const {
  if (rec.compressedFormat && context_ && !context_->Sql2000Catalog() &&
      !context_->TableColumns().empty())
    DecodeCompressedRecord(&compression_, rec, context_->TableColumns());
  return std::make_unique<CPrimaryRecord>(std::move(rec));
}

// Header fields that are never negative on a page the server wrote; one that
// is marks the page as too damaged to take records from.
bool PrimaryRecordPage::HeaderAllowsRecords() const {
  const CPage_Header& h = header();
  return static_cast<int16_t>(h.freeCount) >= 0 && static_cast<int16_t>(h.ghostRecordCount) >= 0 &&
         static_cast<int32_t>(h.nextPage) >= 0 && static_cast<int16_t>(h.nextFile) >= 0 &&
         h.pageId >= 0 && static_cast<int16_t>(h.pageFileId) >= 0 &&
         static_cast<int32_t>(h.prevPage) >= 0 && static_cast<int16_t>(h.prevFile) >= 0;
}

void PrimaryRecordPage::BuildAllSlots() {
  if (!HeaderAllowsRecords()) return;
  const CPage_Header& h = header();
  const int count = slotCount();
  // Index pages above the leaf level hold no rows, and a page whose every
  // slot is a ghost has none left.
  const bool no_rows = (h.pageType == kIndexPageType && h.level != 0) ||
                       static_cast<int16_t>(h.ghostRecordCount) >= count;
  const PageParseContext page = ParseContext();
  records_.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const uint16_t offset = SlotOffset(i);
    if (no_rows || offset < kMinRecordOffset || offset > kPageSize)
      records_.push_back(nullptr);
    else
      records_.push_back(RecordAt(offset, page));
  }
}

void PrimaryRecordPage::BuildSingleSlot(const SingleSlot& source) {
  if (source.slot < 0 || source.slot >= slotCount()) return;
  const uint16_t offset = SlotOffset(source.slot);
  if (offset == 0 || offset > kMaxSingleSlotOffset) {
    records_.push_back(nullptr);
    return;
  }
  PageParseContext page = ParseContext();
  page.trail = source.trail;
  records_.push_back(RecordAt(offset, page));
}

void PrimaryRecordPage::BuildOneRecord(const OneRecord& source) {
  const ByteReader buffer(source.buffer);
  const uint16_t length = buffer.U16(kOneRecordLengthOffset);
  ReplaceSlots({0});
  auto rec =
      std::make_unique<CPrimaryRecord>(CPrimaryRecord::ParseOrdinaryRecord(source.buffer, length));
  rec->context = context_;
  records_.push_back(std::move(rec));
}

void PrimaryRecordPage::BuildModifyRow(const ModifyRowImage& change) {
  if (change.slot < 0 || change.slot >= slotCount()) return;
  const uint16_t offset = SlotOffset(change.slot);
  if (offset < kMinRecordOffset || offset > kPageSize) {
    records_.push_back(nullptr);
    records_.push_back(nullptr);
    return;
  }
  const PageParseContext page = ParseContext();
  records_.push_back(RecordAt(offset, page));
  const ByteBuffer image = ModifyRowRecordImage(bytes().subspan(offset), change);
  records_.push_back(
      Finish(CPrimaryRecord::ParsePageRecord(image, static_cast<uint16_t>(image.size()), page)));
}

void PrimaryRecordPage::BuildModifyColumns(const ModifyColumnsImage& change) {
  if (change.slot < 0 || change.slot >= slotCount()) return;
  const uint16_t offset = SlotOffset(change.slot);
  if (offset < kMinRecordOffset || offset > kPageSize) {
    records_.push_back(nullptr);
    records_.push_back(nullptr);
    return;
  }
  PageParseContext page = ParseContext();
  page.follow_forwarding = false;
  records_.push_back(RecordAt(offset, page));
  const ByteBuffer image = ModifyColumnsRecordImage(bytes().subspan(offset), change);
  records_.push_back(
      Finish(CPrimaryRecord::ParsePageRecord(image, static_cast<uint16_t>(image.size()), page)));
}

}  // namespace tarnwick
