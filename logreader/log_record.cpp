#include "logreader/log_record.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace tarnwick {

LogRecordFields ReadLogRecordFields(const ByteReader& w) {
  LogRecordFields f;
  f.fixedLength = w.U16(2);
  f.transactionId = w.Unsigned(16, 6);
  f.operation = w.U8(22);
  f.context = w.U8(23);
  f.pageNumber = w.U32(24);
  f.fileId = w.U16(28);
  f.slot = w.U16(30);
  f.allocationUnitId = w.U64(48);
  f.rowOffset = w.U16(56);
  f.fieldCount = w.U16(62);
  return f;
}

// UTF-16LE text up to the first zero character; an odd last byte pairs with
// a zero byte, as if the field were copied into a zeroed buffer two bytes
// longer than itself.
std::string BeginTransactionNameText(Bytes field) {
  ByteBuffer padded(field.begin(), field.end());
  if (padded.size() % 2 != 0) padded.push_back(0);
  size_t end = 0;
  while (end + 1 < padded.size() && (padded[end] != 0 || padded[end + 1] != 0)) end += 2;
  return Utf16LeToUtf8(Bytes(padded.data(), end));
}

std::optional<BeginTransactionView> ReadBeginTransactionView(const ByteReader& block,
                                                             uint16_t record_offset) {
  ByteReader record = block.From(record_offset);
  const size_t f = record.U16(2);
  if (!record.Has(f, 2)) return std::nullopt;
  BeginTransactionView begin;
  begin.variableFields = record.U16(f);
  const size_t n = begin.variableFields;
  if (n == 0) return begin;
  if (!record.Has(f + 2, 2 * n)) return std::nullopt;
  const size_t name_length = record.U16(f + 2);
  begin.name = record.Span(f + 4 + 2 * n, name_length);
  if (begin.name.size() != name_length) return std::nullopt;
  Bytes time = record.Span(40, 8);
  if (time.size() != begin.beginTime.size()) return std::nullopt;
  std::copy(time.begin(), time.end(), begin.beginTime.begin());
  return begin;
}

std::optional<BeginTransactionFields> ReadBeginTransaction(const ByteReader& block,
                                                           uint16_t record_offset) {
  std::optional<BeginTransactionView> view = ReadBeginTransactionView(block, record_offset);
  if (!view) return std::nullopt;
  BeginTransactionFields begin;
  begin.variableFields = view->variableFields;
  if (begin.variableFields == 0) return begin;
  begin.name = BeginTransactionNameText(view->name);
  begin.beginTime = view->beginTime;
  return begin;
}

RowLogFields ReadRowLogFields(const ByteReader& block, uint16_t record_offset, uint16_t end_bound) {
  RowLogFields out;
  if (end_bound <= record_offset) return out;
  // The record's bytes: from its offset to its end bound, inside the block.
  ByteReader record = block.Sub(record_offset, std::min<size_t>(end_bound, block.size()) -
                                                   std::min<size_t>(record_offset, block.size()));
  out.fieldCount = record.U16(62);
  const size_t count = out.fieldCount;
  if (!record.Has(64, 2 * count)) return out;
  out.lengths.resize(count);
  for (size_t k = 0; k < count; ++k) out.lengths[k] = record.U16(64 + 2 * k);
  const uint8_t operation = record.U8(22);
  size_t start = 64 + 2 * count + (operation == kOpInsertRow ? 2 : 0);
  out.dataStart = record_offset + start;
  for (size_t k = 0; k < count; ++k) {
    Bytes field = record.Span(start, out.lengths[k]);
    if (field.size() != out.lengths[k] || !record.Has(start, out.lengths[k])) break;
    out.fields.push_back(field);
    size_t next = start + out.lengths[k];
    if (k == 0 && operation == kOpModifyRow && out.lengths[0] % 4 != 0)
      next += 4 - out.lengths[0] % 4;
    start = next;
  }
  return out;
}

RowLogFields ReadRowLogFields(const LogBlock& block, size_t record_index) {
  if (record_index >= block.count()) return {};
  return ReadRowLogFields(block.reader(), block.offsets[record_index],
                          block.EndBound(record_index));
}

}  // namespace tarnwick
