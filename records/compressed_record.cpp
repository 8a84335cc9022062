#include "records/compressed_record.h"

#include <algorithm>
#include <string>

#include "reader/page_ref.h"
#include "records/compression_info.h"
#include "records/scsu.h"
#include "records/value_text.h"

namespace tarnwick {
namespace {

// Byte 1 with this bit set starts a two-byte column count.
constexpr uint8_t kWideCountBit = 0x80;
// Long data region header: an offset array follows.
constexpr uint8_t kLongOffsetsBit = 0x01;
constexpr uint16_t kComplexItemBit = 0x8000;
constexpr int32_t kMaxLongItems = 1023;
constexpr uint8_t kCharPad = 0x20;

int32_t ClusterBytes(int32_t count) { return (count - 1) / kColumnsPerCluster; }

void ReadLongDataRegion(const ByteReader& r, CPrimaryRecord& rec) {
  const int32_t limit = std::min<int32_t>(rec.lengthLimit, static_cast<int32_t>(r.size()));
  const int32_t count = rec.columnCount;
  rec.longRegionStart = rec.cursor;
  int32_t cursor = rec.cursor;
  const uint8_t header = r.U8(static_cast<size_t>(cursor));
  ++cursor;
  int32_t declared = 0;
  if ((header & kLongOffsetsBit) && cursor < limit - 2) {
    declared = r.U16(static_cast<size_t>(cursor));
    cursor += 2;
    if (declared >= 1 && declared <= count) {
      for (int32_t i = 0; i < declared && cursor + 2 <= limit; ++i) {
        const uint16_t entry = r.U16(static_cast<size_t>(cursor));
        rec.longDataOffsets.push_back({entry & ~kComplexItemBit, (entry & kComplexItemBit) != 0});
        cursor += 2;
      }
    }
  }
  rec.varColumnCount = static_cast<int16_t>(rec.longDataOffsets.size());
  cursor += ClusterBytes(count);
  const int32_t items = rec.varColumnCount;
  // Without the whole offset array the items cannot be told apart.
  if (items < 1 || items > kMaxLongItems || items != declared) {
    rec.cursor = std::min(cursor, limit);
    return;
  }
  int32_t previous = 0;
  for (const LongDataOffset& entry : rec.longDataOffsets) {
    const int32_t length = entry.end - previous;
    if (length <= 0) continue;
    ColumnChunk chunk;
    chunk.length = length;
    chunk.complex = entry.complex;
    if (length >= limit || length >= static_cast<int32_t>(kPageSize) || previous < 0 ||
        previous >= static_cast<int32_t>(kPageSize)) {
      // An item that cannot be in the record keeps its place without bytes.
      rec.varColumns.push_back(std::move(chunk));
      continue;
    }
    if (cursor + length < static_cast<int32_t>(kPageSize) && cursor + length <= limit &&
        r.Has(static_cast<size_t>(cursor), static_cast<size_t>(length))) {
      chunk.bytes = r.Copy(static_cast<size_t>(cursor), static_cast<size_t>(length));
      previous = entry.end;
      cursor += length;
      rec.varColumns.push_back(std::move(chunk));
    }
  }
  rec.cursor = cursor;
}

// A flipped big-endian integer of up to 8 bytes, sign-extended.
int64_t CompressedInteger(Bytes stored) {
  if (stored.empty() || stored.size() > 8) return 0;
  uint64_t value = stored[0] ^ 0x80u;
  for (size_t i = 1; i < stored.size(); ++i) value = (value << 8) | stored[i];
  const size_t bits = stored.size() * 8;
  if (bits < 64 && ((value >> (bits - 1)) & 1)) value |= ~uint64_t{0} << bits;
  return static_cast<int64_t>(value);
}

// Unicode character data as UTF-16LE: SCSU text when its length is odd.
ByteBuffer UnicodeBytes(Bytes stored, bool may_be_scsu) {
  if (!may_be_scsu || stored.size() % 2 == 0) return ByteBuffer(stored.begin(), stored.end());
  const std::u16string text = ScsuToUtf16(stored);
  ByteBuffer out;
  out.reserve(text.size() * 2);
  for (char16_t unit : text) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return out;
}

// Cuts or pads a fixed value to its length; nchar pads with U+0020 units.
void FitFixed(ByteBuffer& value, size_t length, typeCode code) {
  const size_t had = std::min(value.size(), length);
  value.resize(length, 0);
  if (code == typeCode::kChar) {
    std::fill(value.begin() + static_cast<std::ptrdiff_t>(had), value.end(), kCharPad);
  } else if (code == typeCode::kNChar) {
    for (size_t i = had + (had % 2); i < length; i += 2) value[i] = kCharPad;
  }
}

struct StoredValue {
  enum class Kind { kNull, kMissing, kValue };
  Kind kind = Kind::kMissing;
  ByteBuffer bytes;
  bool complex = false;
  bool bit_one = false;
};

// Sets [at, at + length) of the fixed part aside, zero-filled.
void Reserve(ByteBuffer& fixed, size_t at, size_t length) {
  if (fixed.size() < at + length) fixed.resize(at + length, 0);
}

}  // namespace

int ShortDataLength(int code) {
  if (code >= kCdShortFirst && code <= kCdShortLast) return code - 1;
  return code == kCdSymbol ? 1 : 0;
}

void ParseCompressedFormat(const ByteReader& record, CPrimaryRecord& rec) {
  rec.compressedFormat = true;
  const ByteReader r =
      record.Sub(0, std::min<size_t>(record.size(), static_cast<size_t>(rec.lengthLimit)));
  const int32_t limit = static_cast<int32_t>(r.size());
  const uint8_t first = r.U8(1);
  const bool wide = (first & kWideCountBit) != 0;
  const int32_t count = wide ? r.U16(1) : first;
  if (count == 0 || count > kMaxCompressedColumns) {
    rec.rejected = true;
    return;
  }
  rec.columnCount = static_cast<int16_t>(count);
  const int32_t cd_start = wide ? 3 : 2;
  const int32_t cd_bytes = (count + 1) / 2;
  for (int32_t i = 0; i < cd_bytes && cd_start + i < limit; ++i) {
    const uint8_t b = r.U8(static_cast<size_t>(cd_start + i));
    rec.cdCodes.push_back(b & 0x0F);
    if (static_cast<int32_t>(rec.cdCodes.size()) < count) rec.cdCodes.push_back(b >> 4);
  }
  const int32_t clusters = ClusterBytes(count);
  const int32_t start = cd_start + cd_bytes + clusters;
  int32_t total = 0;
  for (int code : rec.cdCodes) total += ShortDataLength(code);
  rec.fixedLength = static_cast<int16_t>(total);
  rec.shortDataSpan = static_cast<int16_t>(total + clusters);
  rec.cursor = std::min(start, limit);
  if (total >= 1 && total <= kMaxFixedLength && rec.recordType != kIndexRecordType &&
      total <= limit && start + total < kShortDataEnd && start + total <= limit) {
    rec.fixedData = r.Copy(static_cast<size_t>(start), static_cast<size_t>(total));
    rec.cursor = start + total;
  }
  // Short data that is not there hides where the parts after it start.
  const bool short_data_read = total == 0 || rec.HasFixedData();
  if (rec.recordType != kIndexRecordType && short_data_read && start <= limit) {
    bool parts_follow = true;
    if (rec.hasNullBitmap) {
      const size_t size = (static_cast<size_t>(count) + 7) / 8;
      parts_follow = r.Has(static_cast<size_t>(rec.cursor), size);
      if (parts_follow) {
        rec.nullBitmap = r.Copy(static_cast<size_t>(rec.cursor), size);
        rec.cursor += static_cast<int32_t>(size);
      }
    }
    if (parts_follow && rec.hasVarColumns && rec.cursor < limit) ReadLongDataRegion(r, rec);
  }
  if (rec.cursor > 0) rec.compressedBytes = r.Copy(0, static_cast<size_t>(rec.cursor));
}

bool IsCompressedInteger(typeCode code) {
  switch (code) {
    case typeCode::kBigInt:
    case typeCode::kDateTime:
    case typeCode::kInt:
    case typeCode::kSmallInt:
    case typeCode::kMoney:
    case typeCode::kSmallMoney:
      return true;
    default:
      return false;
  }
}

// Types that may be either are decided by the leaf offset, a negative one
// being a variable column index; without one the types that are
// variable-length in the engine are taken as variable.
bool IsVariableColumn(const ColumnDescriptor& column) {
  const TypeCodeEntry& entry = TypeCodeInfo(column.typeCode);
  if (entry.variable == Variability::kYes) return true;
  if (entry.variable == Variability::kNo) return false;
  if (column.leaf_offset < 0) return true;
  if (column.leaf_offset > 0) return false;
  return column.typeCode != typeCode::kNChar && column.typeCode != typeCode::kRowId;
}

// The storage length of the type table; the datetime2 family and numeric
// take the declared length, which follows their scale or precision.
int32_t FixedColumnLength(const ColumnDescriptor& column) {
  const int32_t declared = DeclaredLength(column.type_text);
  switch (column.typeCode) {
    case typeCode::kTime:
    case typeCode::kDateTime2:
    case typeCode::kDateTimeOffset:
    case typeCode::kNumeric:
      if (declared > 0) return declared;
      break;
    default:
      break;
  }
  return StorageLength(column.typeCode, declared);
}

ByteBuffer PrefixDecode(Bytes anchor, Bytes stored) {
  if (stored.empty()) return {};
  const size_t prefix = std::min<size_t>(stored[0], anchor.size());
  ByteBuffer out(anchor.begin(), anchor.begin() + static_cast<std::ptrdiff_t>(prefix));
  out.insert(out.end(), stored.begin() + 1, stored.end());
  return out;
}

ByteBuffer UncompressedValue(const ColumnDescriptor& column, Bytes stored, bool fixed) {
  const typeCode code = column.typeCode;
  const int32_t declared = DeclaredLength(column.type_text);
  ByteBuffer out;
  if (IsCompressedInteger(code)) {
    // An integer of more than 8 bytes is no integer: it reads as 0.
    const uint64_t value = static_cast<uint64_t>(CompressedInteger(stored));
    const size_t width = static_cast<size_t>(StorageLength(code, declared));
    for (size_t i = 0; i < width && i < 8; ++i)
      out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
  }
  switch (code) {
    case typeCode::kBit:
      return {static_cast<uint8_t>(!stored.empty() && (stored[0] & 1))};
    case typeCode::kFloat:
    case typeCode::kReal: {
      const size_t width = code == typeCode::kFloat ? 8 : 4;
      ByteBuffer big_endian(width, 0);
      std::copy_n(stored.begin(), std::min(stored.size(), width), big_endian.begin());
      out.assign(big_endian.rbegin(), big_endian.rend());
      break;
    }
    case typeCode::kNChar:
    case typeCode::kNVarChar:
      // (max) values are never Unicode-compressed.
      out = UnicodeBytes(stored, declared > 0);
      break;
    default:
      out.assign(stored.begin(), stored.end());
      break;
  }
  if (fixed) FitFixed(out, static_cast<size_t>(std::max(FixedColumnLength(column), 0)), code);
  return out;
}

bool DecodeCompressedRecord(const CompressionInfo* page, CPrimaryRecord& rec,
                            std::span<const ColumnDescriptor> columns) {
  if (!rec.compressedFormat || rec.rejected || rec.compressedDecoded) return false;
  if (rec.recordType != 0 && rec.recordType != kIndexRecordType) return false;
  const size_t coded =
      std::min(rec.cdCodes.size(), static_cast<size_t>(std::max<int16_t>(rec.columnCount, 0)));

  // The record column of each table column, and back.
  std::vector<int> position(columns.size(), -1);
  std::vector<int> column_at(coded, -1);
  int stored_index = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDescriptor& c = columns[i];
    if (c.computed() || c.sparse) continue;
    const int p = c.leaf_null_bit > 0 ? c.leaf_null_bit - 1
                  : c.ordinal > 0     ? c.ordinal - 1
                                      : stored_index;
    ++stored_index;
    if (p < static_cast<int>(coded) && column_at[static_cast<size_t>(p)] < 0) {
      column_at[static_cast<size_t>(p)] = static_cast<int>(i);
      position[i] = p;
    }
  }

  // The stored values, in record column order: the short data and the long
  // items are taken in turn.
  std::vector<StoredValue> stored(coded);
  const ByteReader short_data(rec.fixedData);
  size_t at = 0;
  size_t item = 0;
  for (size_t p = 0; p < coded; ++p) {
    const int code = rec.cdCodes[p];
    const int owner = column_at[p];
    const ByteBuffer* anchor = page ? page->AnchorBytes(p) : nullptr;
    const bool prefixed =
        anchor &&
        !(owner >= 0 && IsCompressedInteger(columns[static_cast<size_t>(owner)].typeCode));
    StoredValue& v = stored[p];
    const size_t short_length = static_cast<size_t>(ShortDataLength(code));
    if (code == kCdNull) {
      v.kind = StoredValue::Kind::kNull;
    } else if (code == kCdEmpty) {
      v.kind = StoredValue::Kind::kValue;
      if (anchor) v.bytes = *anchor;
    } else if (code >= kCdShortFirst && code <= kCdShortLast) {
      if (short_data.Has(at, short_length)) {
        v.kind = StoredValue::Kind::kValue;
        v.bytes = short_data.Copy(at, short_length);
        if (prefixed) v.bytes = PrefixDecode(*anchor, v.bytes);
      }
    } else if (code == kCdLong) {
      if (item < rec.varColumns.size() && rec.varColumns[item].HasBytes()) {
        const ColumnChunk& chunk = rec.varColumns[item];
        v.kind = StoredValue::Kind::kValue;
        v.complex = chunk.complex;
        v.bytes = chunk.complex || !anchor ? chunk.bytes : PrefixDecode(*anchor, chunk.bytes);
      }
      ++item;
    } else if (code == kCdBitOne) {
      v.kind = StoredValue::Kind::kValue;
      v.bit_one = true;
    } else if (code == kCdSymbol) {
      const ByteBuffer* symbol =
          page && short_data.Has(at, 1) ? page->Symbol(short_data.U8(at)) : nullptr;
      if (symbol) {
        v.kind = StoredValue::Kind::kValue;
        v.bytes = prefixed ? PrefixDecode(*anchor, *symbol) : *symbol;
      }
    }
    at += short_length;
  }

  // The values at their places in the ordinary layout.
  ByteBuffer fixed;
  std::vector<ColumnChunk> vars;
  std::vector<ColumnNullMark> marks(coded);
  for (size_t p = 0; p < coded; ++p) marks[p].isNull = stored[p].kind == StoredValue::Kind::kNull;
  int64_t fixed_cursor = 0;
  size_t var_counter = 0;
  int bit_count = 0;
  int64_t bit_byte = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDescriptor& c = columns[i];
    if (c.computed() || c.sparse) continue;
    const int p = position[i];
    const StoredValue* v = p >= 0 ? &stored[static_cast<size_t>(p)] : nullptr;
    const bool has_value = v && v->kind == StoredValue::Kind::kValue;
    if (IsVariableColumn(c)) {
      const size_t index =
          c.leaf_offset < 0 ? static_cast<size_t>(-(c.leaf_offset + 1)) : var_counter;
      ++var_counter;
      if (!v || index >= static_cast<size_t>(kMaxColumnCount)) continue;
      ColumnChunk chunk;
      if (has_value) {
        chunk.bytes = v->complex ? v->bytes : UncompressedValue(c, v->bytes, false);
        if (v->bit_one && c.typeCode == typeCode::kBit) chunk.bytes = {1};
        chunk.complex = v->complex;
        chunk.length = static_cast<int32_t>(chunk.bytes.size());
      }
      marks[static_cast<size_t>(p)].length = chunk.length;
      if (vars.size() <= index) vars.resize(index + 1);
      vars[index] = std::move(chunk);
      continue;
    }
    const int64_t leaf_at = c.leaf_offset >= 4 ? c.leaf_offset - 4 : -1;
    if (c.typeCode == typeCode::kBit) {
      // Eight bit columns share the byte of the first of them.
      if (bit_count % 8 == 0) {
        bit_byte = leaf_at >= 0 ? leaf_at : fixed_cursor;
        ++fixed_cursor;
      }
      const int bit = bit_count++ % 8;
      if (!v || bit_byte >= kMaxFixedLength) continue;
      Reserve(fixed, static_cast<size_t>(bit_byte), 1);
      const bool set = has_value && (v->bit_one || UncompressedValue(c, v->bytes, true)[0] != 0);
      if (set) fixed[static_cast<size_t>(bit_byte)] |= static_cast<uint8_t>(1u << bit);
      marks[static_cast<size_t>(p)].length = 1;
      continue;
    }
    const int64_t length = std::max(FixedColumnLength(c), 0);
    const int64_t place = leaf_at >= 0 ? leaf_at : fixed_cursor;
    fixed_cursor += length;
    if (!v || place + length > kMaxFixedLength) continue;
    Reserve(fixed, static_cast<size_t>(place), static_cast<size_t>(length));
    if (!has_value) continue;
    const ByteBuffer value = UncompressedValue(c, v->bytes, true);
    std::copy(value.begin(), value.end(), fixed.begin() + place);
    marks[static_cast<size_t>(p)].length = static_cast<int32_t>(length);
  }

  ByteBuffer bitmap((static_cast<size_t>(rec.columnCount) + 7) / 8, 0);
  for (size_t p = 0; p < coded; ++p)
    if (marks[p].isNull) bitmap[p / 8] |= static_cast<uint8_t>(1u << (p % 8));

  rec.fixedData = std::move(fixed);
  rec.fixedLength = static_cast<int16_t>(rec.fixedData.size());
  rec.varColumns = std::move(vars);
  rec.varColumnCount = static_cast<int16_t>(rec.varColumns.size());
  rec.hasVarColumns = !rec.varColumns.empty();
  rec.nullBitmap = std::move(bitmap);
  rec.hasNullBitmap = true;
  rec.columnNullMarks = std::move(marks);
  rec.compressedDecoded = true;
  return true;
}

}  // namespace tarnwick
