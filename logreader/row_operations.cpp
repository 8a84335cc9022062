#include "logreader/row_operations.h"

#include <algorithm>

#include "records/compressed_record.h"
#include "records/data_page.h"
#include "records/page_source.h"

namespace tarnwick {
namespace {

constexpr size_t kFieldLengthsOffset = 64;
constexpr size_t kFieldCountOffset = 62;
// Modify columns: fields 0 to 3 come before the values of the ranges.
constexpr size_t kModifyColumnsValueField = 4;

size_t RoundUpTo4(size_t n) { return (n + 3) / 4 * 4; }

// The record's bytes from its offset to its end bound, inside the block.
ByteReader RecordBetween(const ByteReader& block, uint16_t record_offset, uint16_t end_bound) {
  if (end_bound <= record_offset) return {};
  const size_t begin = std::min<size_t>(record_offset, block.size());
  const size_t end = std::min<size_t>(end_bound, block.size());
  return block.Sub(begin, end - begin);
}

}  // namespace

const char* RowDecodeStatusName(RowDecodeStatus status) {
  switch (status) {
    case RowDecodeStatus::kDecoded:
      return "decoded";
    case RowDecodeStatus::kNoBlock:
      return "the log block cannot be read";
    case RowDecodeStatus::kNoRecord:
      return "the block has no such record";
    case RowDecodeStatus::kOtherRowset:
      return "the record carries another rowset id";
    case RowDecodeStatus::kNotRowChange:
      return "the operation has no row images";
    case RowDecodeStatus::kFieldsMissing:
      return "a row-log field lies outside the record";
    case RowDecodeStatus::kTooFewFields:
      return "the record has fewer fields than its ranges need";
    case RowDecodeStatus::kNoTable:
      return "the table is not in the catalog";
    case RowDecodeStatus::kNoPage:
      return "the data page cannot be read";
  }
  return "";
}

RecordSource RowImageRequest::Source() const {
  if (oneRecord) return OneRecord{Bytes(*oneRecord)};
  if (modifyRow) return *modifyRow;
  if (modifyColumns) return *modifyColumns;
  return AllSlots{};
}

ModifyColumnsFields ReadModifyColumnsFields(const ByteReader& block, uint16_t record_offset,
                                            uint16_t end_bound) {
  ModifyColumnsFields out;
  const ByteReader record = RecordBetween(block, record_offset, end_bound);
  const size_t count = record.U16(kFieldCountOffset);
  if (count == 0 || !record.Has(kFieldLengthsOffset, 2 * count)) return out;
  std::vector<uint16_t> lengths(count);
  for (size_t k = 0; k < count; ++k) lengths[k] = record.U16(kFieldLengthsOffset + 2 * k);

  const size_t length0 = lengths[0];
  out.rangeCount = length0 < 4 ? 1 : length0 / 4;
  const size_t needed = kModifyColumnsValueField + 2 * out.rangeCount;
  if (count < needed) {
    out.status = RowDecodeStatus::kTooFewFields;
    return out;
  }
  // A range is a pair of offsets: field 0 must hold at least one.
  if (length0 < 4) return out;

  // The fields, each padded to a multiple of 4 bytes; only the ones needed.
  std::vector<Bytes> fields;
  size_t start = kFieldLengthsOffset + 2 * count;
  for (size_t k = 0; k < needed; ++k) {
    if (!record.Has(start, lengths[k])) return out;
    fields.push_back(record.Span(start, lengths[k]));
    start = RoundUpTo4(start + lengths[k]);
  }

  const ByteReader pairs(fields[0]);
  const ByteReader before_lengths(fields[1]);
  ModifyColumnsImage& image = out.image;
  for (size_t j = 0; j < out.rangeCount; ++j) {
    const uint16_t before_offset = pairs.U16(4 * j);
    const uint16_t after_offset = pairs.U16(4 * j + 2);
    image.ranges.push_back({before_offset, after_offset});
    if (before_lengths.Has(2 * j, 2)) image.new_lengths.push_back(before_lengths.U16(2 * j));
    const Bytes before = fields[kModifyColumnsValueField + 2 * j];
    const Bytes after = fields[kModifyColumnsValueField + 2 * j + 1];
    image.changes.push_back({after_offset, static_cast<uint16_t>(after.size()),
                             ByteBuffer(before.begin(), before.end())});
  }
  out.status = RowDecodeStatus::kDecoded;
  return out;
}

RowImageRequest ReadRowImageRequest(const LogBlock& block, int32_t record_index,
                                    uint64_t allocation_unit_id) {
  RowImageRequest request;
  if (record_index < 0 || static_cast<size_t>(record_index) >= block.count()) return request;
  const size_t j = static_cast<size_t>(record_index);
  request.fields = ReadLogRecordFields(block.RecordBytes(j));
  const LogRecordFields& f = request.fields;
  if (f.allocationUnitId != allocation_unit_id) {
    request.status = RowDecodeStatus::kOtherRowset;
    return request;
  }
  request.page = PageRef{f.fileId, f.pageNumber, 0};
  request.status = RowDecodeStatus::kFieldsMissing;

  switch (f.operation) {
    case kOpInsertRow:
    case kOpDeleteRow: {
      const RowLogFields fields = ReadRowLogFields(block, j);
      if (fields.fields.empty()) return request;
      request.oneRecord = MakeOneRecordBuffer(fields.fields[0]);
      break;
    }
    case kOpModifyRow: {
      const RowLogFields fields = ReadRowLogFields(block, j);
      const bool has_prior = fields.fieldCount >= 2;
      if (fields.fields.empty() || (has_prior && fields.fields.size() < 2)) return request;
      ModifyRowImage change;
      change.replacement.assign(fields.fields[0].begin(), fields.fields[0].end());
      if (has_prior) change.prior.assign(fields.fields[1].begin(), fields.fields[1].end());
      change.offset = f.rowOffset;
      change.slot = f.slot;
      request.modifyRow = std::move(change);
      break;
    }
    case kOpModifyColumns: {
      ModifyColumnsFields columns =
          ReadModifyColumnsFields(block.reader(), block.offsets[j], block.EndBound(j));
      if (columns.status != RowDecodeStatus::kDecoded) {
        request.status = columns.status;
        return request;
      }
      columns.image.slot = f.slot;
      request.modifyColumns = std::move(columns.image);
      break;
    }
    default:
      request.status = RowDecodeStatus::kNotRowChange;
      return request;
  }
  request.status = RowDecodeStatus::kDecoded;
  return request;
}

OperationTable PrepareOperationTable(CMetadata& metadata, int32_t object_id) {
  OperationTable table;
  for (const CatalogObject& object : metadata.objects()) {
    if (object.object_id != object_id) continue;
    table.object = object;
    break;
  }
  if (!table.object.found()) return table;
  table.columns = metadata.PrepareObject(table.object, metadata.definitions());
  table.rowsetColumns = !metadata.currentTable().rowset_columns.empty();
  return table;
}

OperationRows ReadOperationRows(const RowImageRequest& request, const OperationTable& table,
                                const CDatabaseFile& database, RowForm form) {
  OperationRows out;
  out.status = request.status;
  out.fields = request.fields;
  if (request.status != RowDecodeStatus::kDecoded) return out;
  if (!table.object.found() || table.columns.empty()) {
    out.status = RowDecodeStatus::kNoTable;
    return out;
  }
  const RunState& state = database.state();
  // Tells the page the table's columns, so that it rebuilds compressed
  // records in the ordinary layout.
  const TableRecordContext context(table.columns, state.sql2000_mode);
  const std::unique_ptr<CDataPage> page =
      LoadDataPage(database, request.page, context, request.Source());
  if (!page) {
    out.status = RowDecodeStatus::kNoPage;
    return out;
  }
  const DatabasePageSource pages(database);
  RowReadContext rows;
  rows.pages = &pages;
  rows.code_page = state.code_page;
  rows.sql2000_mode = state.sql2000_mode;
  const bool display = form == RowForm::kView && table.rowsetColumns;
  out.rows = display ? ReadDisplayRows(*page, table.columns, rows)
                     : ReadExportRows(*page, table.columns, rows);
  return out;
}

OperationRows DecodeOperationRows(const LogOperation& operation,
                                  const std::optional<LogBlock>& block, const OperationTable& table,
                                  const CDatabaseFile& database, RowForm form) {
  if (!block) return {};
  const RowImageRequest request =
      ReadRowImageRequest(*block, operation.recordIndex, operation.allocationUnitId);
  return ReadOperationRows(request, table, database, form);
}

OperationRows DecodeOperationExportRows(const LogOperation& operation,
                                        const std::optional<LogBlock>& block,
                                        const OperationTable& table,
                                        const CDatabaseFile& database) {
  return DecodeOperationRows(operation, block, table, database, RowForm::kExport);
}

DecodedOperation DecodeOperationRows(const LogOperation& operation, const TransactionLog& log,
                                     CMetadata& metadata, RowForm form) {
  DecodedOperation decoded;
  const std::optional<LogBlock> block = log.ReadOperationBlock(operation);
  decoded.table = PrepareOperationTable(metadata, operation.objectId);
  decoded.rows = DecodeOperationRows(operation, block, decoded.table, metadata.database(), form);
  return decoded;
}

}  // namespace tarnwick
