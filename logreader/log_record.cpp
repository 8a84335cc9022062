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

namespace {

// The begin view over any source of record bytes: get(offset, length, n)
// gives the record's bytes [offset, offset + length) as the restored block
// has them, shorter where they leave the block; n numbers the request, so
// that a source copying bytes keeps the name (request 3) apart from the
// small fields.
template <class Get>
std::optional<BeginTransactionView> ReadBeginView(Get get) {
  auto u16 = [&get](size_t offset) -> std::optional<uint16_t> {
    Bytes b = get(offset, 2, 0);
    if (b.size() != 2) return std::nullopt;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  };
  const size_t f = u16(2).value_or(0);
  const std::optional<uint16_t> n_field = u16(f);
  if (!n_field) return std::nullopt;
  BeginTransactionView begin;
  begin.variableFields = *n_field;
  const size_t n = begin.variableFields;
  if (n == 0) return begin;
  // The whole length array must lie inside the block.
  if (get(f + 2 + 2 * (n - 1), 2, 1).size() != 2) return std::nullopt;
  const size_t name_length = u16(f + 2).value_or(0);
  Bytes time = get(40, 8, 2);
  if (time.size() != begin.beginTime.size()) return std::nullopt;
  std::copy(time.begin(), time.end(), begin.beginTime.begin());
  begin.name = get(f + 4 + 2 * n, name_length, 3);
  if (begin.name.size() != name_length) return std::nullopt;
  if (name_length == 0) begin.name = {};
  return begin;
}

}  // namespace

std::optional<BeginTransactionView> ReadBeginTransactionView(const ByteReader& block,
                                                             uint16_t record_offset) {
  const ByteReader record = block.From(record_offset);
  return ReadBeginView([&record](size_t offset, size_t length, int) -> Bytes {
    if (offset > record.size()) return {};
    return record.bytes().subspan(offset, std::min(length, record.size() - offset));
  });
}

std::optional<BeginTransactionView> ReadBeginTransactionView(const LogBlock& block,
                                                             uint16_t record_offset,
                                                             ByteBuffer& name_scratch) {
  std::array<uint8_t, 8> small{};
  return ReadBeginView([&](size_t offset, size_t length, int request) -> Bytes {
    if (request == 3 && name_scratch.size() < length) name_scratch.resize(length);
    std::span<uint8_t> scratch =
        request == 3 ? std::span<uint8_t>(name_scratch) : std::span<uint8_t>(small);
    const size_t at = size_t{record_offset} + offset;
    return block.Restored(at, std::min(length, scratch.size()), scratch);
  });
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
