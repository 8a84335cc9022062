#include "tests/support/compressed_builder.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>

#include "records/compressed_record.h"
#include "records/value_text.h"
#include "tests/support/record_builder.h"

namespace tarnwick::testing {
namespace {

constexpr std::array<char16_t, 8> kDynamicOffsets = {0x0080, 0x00C0, 0x0400, 0x0600,
                                                     0x0900, 0x3040, 0x30A0, 0xFF00};

bool FixedColumn(typeCode code) {
  return TypeCodeInfo(code).variable == Variability::kNo || code == typeCode::kNChar ||
         code == typeCode::kRowId;
}

void TrimTrailing(ByteBuffer& bytes, uint8_t pad) {
  while (!bytes.empty() && bytes.back() == pad) bytes.pop_back();
}

ByteBuffer UnicodeStored(const ByteBuffer& utf16) {
  std::u16string text;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2)
    text.push_back(static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8)));
  ByteBuffer scsu = ScsuEncode(text);
  return scsu.size() < utf16.size() ? scsu : utf16;
}

// The coded bytes of a value as a record holds them; nothing when the value
// is the whole anchor value (code 1).
std::optional<ByteBuffer> CodedValue(const ColumnDescriptor& column, size_t index,
                                     const ByteBuffer& ordinary, const PageCompression* page) {
  ByteBuffer stored = CompressValue(column, ordinary);
  const ByteBuffer* anchor =
      page && index < page->anchor.size() && page->anchor[index] ? &*page->anchor[index] : nullptr;
  if (!anchor) return stored;
  if (stored == *anchor) return std::nullopt;
  if (IsCompressedInteger(column.typeCode)) {
    // Code 1 would mean the anchor value: a zero takes one byte instead.
    if (stored.empty()) return ByteBuffer{0x80};
    return stored;
  }
  size_t prefix = 0;
  while (prefix < stored.size() && prefix < anchor->size() && prefix < 255 &&
         stored[prefix] == (*anchor)[prefix])
    ++prefix;
  ByteBuffer coded{static_cast<uint8_t>(prefix)};
  coded.insert(coded.end(), stored.begin() + static_cast<std::ptrdiff_t>(prefix), stored.end());
  return coded;
}

bool Symbolic(const ByteBuffer& coded) { return !coded.empty() && coded.size() <= 7; }

}  // namespace

CompressedRowBuilder& CompressedRowBuilder::Type(int type) {
  type_ = type;
  return *this;
}
CompressedRowBuilder& CompressedRowBuilder::StatusBits(uint8_t bits) {
  extra_status_ = bits;
  return *this;
}
CompressedRowBuilder& CompressedRowBuilder::Null() { return Code(kCdNull); }
CompressedRowBuilder& CompressedRowBuilder::Empty() { return Code(kCdEmpty); }
CompressedRowBuilder& CompressedRowBuilder::Short(ByteBuffer bytes) {
  if (bytes.empty() || bytes.size() > 8) throw std::invalid_argument("short values take 1-8 bytes");
  const int code = static_cast<int>(bytes.size()) + 1;
  return Code(code, std::move(bytes));
}
CompressedRowBuilder& CompressedRowBuilder::Long(ByteBuffer bytes, bool complex) {
  long_.push_back(std::move(bytes));
  complex_.push_back(complex);
  return Code(kCdLong);
}
CompressedRowBuilder& CompressedRowBuilder::BitOne() { return Code(kCdBitOne); }
CompressedRowBuilder& CompressedRowBuilder::Symbol(uint8_t index) {
  return Code(kCdSymbol, {index});
}
CompressedRowBuilder& CompressedRowBuilder::Code(int code, ByteBuffer short_bytes) {
  codes_.push_back(code);
  short_.push_back(std::move(short_bytes));
  return *this;
}
CompressedRowBuilder& CompressedRowBuilder::Stored(ByteBuffer bytes) {
  if (bytes.empty()) return Empty();
  if (bytes.size() <= 8) return Short(std::move(bytes));
  return Long(std::move(bytes));
}

ByteBuffer CompressedRowBuilder::Build() const {
  const size_t count = codes_.size();
  ByteBuffer out;
  uint8_t status = static_cast<uint8_t>(0x01 | ((type_ & 7) << 1)) | extra_status_;
  if (!long_.empty()) status |= 0x20;
  out.push_back(status);
  if (count < 0x80) {
    out.push_back(static_cast<uint8_t>(count));
  } else {
    if (!(count & 0x80)) throw std::invalid_argument("this column count has no two-byte form");
    PutUnsigned(out, out.size(), count, 2);
  }
  for (size_t i = 0; i < count; i += 2) {
    const int high = i + 1 < count ? codes_[i + 1] : 0;
    out.push_back(static_cast<uint8_t>((codes_[i] & 0x0F) | (high << 4)));
  }
  // One byte per full cluster of 30 columns: its short data length.
  const size_t clusters = count == 0 ? 0 : (count - 1) / 30;
  for (size_t k = 0; k < clusters; ++k) {
    size_t length = 0;
    for (size_t i = 30 * k; i < 30 * (k + 1); ++i) length += short_[i].size();
    out.push_back(static_cast<uint8_t>(length));
  }
  for (const ByteBuffer& s : short_) out.insert(out.end(), s.begin(), s.end());
  if (status & 0x10) {
    ByteBuffer bitmap((count + 7) / 8, 0);
    for (size_t i = 0; i < count; ++i)
      if (codes_[i] == kCdNull) bitmap[i / 8] |= static_cast<uint8_t>(1 << (i % 8));
    out.insert(out.end(), bitmap.begin(), bitmap.end());
  }
  if (long_.empty()) return out;
  out.push_back(0x01);
  PutUnsigned(out, out.size(), long_.size(), 2);
  size_t end = 0;
  for (size_t i = 0; i < long_.size(); ++i) {
    end += long_[i].size();
    PutUnsigned(out, out.size(), end | (complex_[i] ? 0x8000 : 0), 2);
  }
  out.insert(out.end(), clusters, 0);
  for (const ByteBuffer& l : long_) out.insert(out.end(), l.begin(), l.end());
  return out;
}

ByteBuffer CompressedInt(int64_t value) {
  size_t width = 8;
  // Drop leading bytes while the next byte's top bit still carries the sign.
  while (width > 1) {
    const int64_t shifted = value >> (8 * (width - 1) - 1);
    if (shifted != 0 && shifted != -1) break;
    --width;
  }
  if (value == 0) return {};
  ByteBuffer out;
  for (size_t i = width; i-- > 0;)
    out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
  out[0] ^= 0x80;
  return out;
}

ByteBuffer ScsuEncode(std::u16string_view text) {
  ByteBuffer out;
  bool unicode = false;
  int active = 0;
  auto window_of = [&](char16_t u) {
    auto inside = [u](int w) { return u >= kDynamicOffsets[w] && u < kDynamicOffsets[w] + 0x80; };
    if (inside(active)) return active;
    for (int w = 0; w < 8; ++w)
      if (inside(w)) return w;
    return -1;
  };
  for (char16_t u : text) {
    const bool literal = u == 0 || u == 9 || u == 10 || u == 13 || (u >= 0x20 && u <= 0x7F);
    const int window = u >= 0x80 ? window_of(u) : -1;
    if (unicode && (literal || window >= 0)) {
      // UCn: back to single-byte mode with window n active.
      active = window >= 0 ? window : active;
      out.push_back(static_cast<uint8_t>(0xE0 + active));
      unicode = false;
    }
    if (unicode) {
      const uint8_t high = static_cast<uint8_t>(u >> 8);
      if (high >= 0xE0 && high <= 0xF2) out.push_back(0xF0);  // UQU
      out.push_back(high);
      out.push_back(static_cast<uint8_t>(u & 0xFF));
    } else if (literal) {
      out.push_back(static_cast<uint8_t>(u));
    } else if (u < 0x20) {
      out.push_back(0x01);  // SQ0: static window 0 holds the controls
      out.push_back(static_cast<uint8_t>(u));
    } else if (window >= 0) {
      if (window != active) out.push_back(static_cast<uint8_t>(0x10 + window));  // SCn
      active = window;
      out.push_back(static_cast<uint8_t>(0x80 + (u - kDynamicOffsets[window])));
    } else {
      out.push_back(0x0F);  // SCU
      unicode = true;
      const uint8_t high = static_cast<uint8_t>(u >> 8);
      if (high >= 0xE0 && high <= 0xF2) out.push_back(0xF0);
      out.push_back(high);
      out.push_back(static_cast<uint8_t>(u & 0xFF));
    }
  }
  if (out.size() % 2 == 0)
    out.push_back(static_cast<uint8_t>(unicode ? 0xE0 + active : 0x10 + active));
  return out;
}

std::vector<ColumnDescriptor> LayOutColumns(const std::vector<ColumnSpec>& specs) {
  std::vector<ColumnDescriptor> columns;
  int32_t fixed_end = 0;
  int32_t bit_byte = 0;
  int bits = 0;
  int16_t vars = 0;
  for (size_t i = 0; i < specs.size(); ++i) {
    const ColumnSpec& s = specs[i];
    const TypeCodeEntry& entry = TypeCodeInfo(s.code);
    ColumnDescriptor c;
    c.column_id = static_cast<int32_t>(i + 1);
    c.name = "c" + std::to_string(i + 1);
    c.typeCode = s.code;
    const int32_t length =
        s.length != 0 ? s.length : (entry.storage == StorageRule::kFixed ? entry.length : 0);
    c.type_text = std::string(entry.type) + "(" + std::to_string(length) + ")";
    c.length = static_cast<int16_t>(length);
    c.precision = s.precision;
    c.scale = s.scale;
    c.nullable = true;
    c.stored = true;
    c.ordinal = static_cast<int32_t>(i + 1);
    c.leaf_null_bit = static_cast<int32_t>(i + 1);
    if (!FixedColumn(s.code)) {
      c.leaf_offset = static_cast<int16_t>(-(vars + 1));
      ++vars;
    } else if (s.code == typeCode::kBit) {
      if (bits++ % 8 == 0) bit_byte = fixed_end++;
      c.leaf_offset = static_cast<int16_t>(4 + bit_byte);
    } else {
      c.leaf_offset = static_cast<int16_t>(4 + fixed_end);
      fixed_end += FixedColumnLength(c);
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

ByteBuffer OrdinaryRecord(const std::vector<ColumnDescriptor>& columns, const TableRow& row) {
  size_t fixed_size = 0;
  for (const ColumnDescriptor& c : columns)
    if (c.leaf_offset >= 4)
      fixed_size =
          std::max(fixed_size, static_cast<size_t>(c.leaf_offset - 4) +
                                   (c.typeCode == typeCode::kBit ? 1 : FixedColumnLength(c)));
  ByteBuffer fixed(fixed_size, 0);
  RowBuilder builder;
  std::vector<size_t> nulls;
  int bits = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDescriptor& c = columns[i];
    const Cell& cell = row.at(i);
    const int bit = c.typeCode == typeCode::kBit ? bits++ % 8 : 0;
    if (!cell.bytes) nulls.push_back(i);
    if (c.leaf_offset < 0) {
      builder.Var(cell.bytes.value_or(ByteBuffer{}), cell.complex);
    } else if (cell.bytes && c.typeCode == typeCode::kBit) {
      if (cell.bytes->at(0))
        fixed[static_cast<size_t>(c.leaf_offset - 4)] |= static_cast<uint8_t>(1 << bit);
    } else if (cell.bytes) {
      ByteBuffer value = *cell.bytes;
      value.resize(static_cast<size_t>(FixedColumnLength(c)), 0);
      std::copy(value.begin(), value.end(), fixed.begin() + (c.leaf_offset - 4));
    }
  }
  builder.Fixed(fixed).Columns(static_cast<uint16_t>(columns.size())).NullBits({});
  ByteBuffer out = builder.Build();
  const size_t bitmap = 4 + fixed.size() + 2;
  for (size_t i : nulls) out[bitmap + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
  return out;
}

ByteBuffer CompressValue(const ColumnDescriptor& column, const ByteBuffer& ordinary) {
  const typeCode code = column.typeCode;
  ByteBuffer out = ordinary;
  if (IsCompressedInteger(code)) {
    const ByteReader r(ordinary);
    int64_t value = static_cast<int64_t>(r.Unsigned(0, ordinary.size()));
    const size_t bits = 8 * ordinary.size();
    if (bits < 64 && ((value >> (bits - 1)) & 1)) value -= int64_t{1} << bits;
    return CompressedInt(value);
  }
  switch (code) {
    case typeCode::kTinyInt:
      TrimTrailing(out, 0);
      return out;
    case typeCode::kFloat:
    case typeCode::kReal:
      std::reverse(out.begin(), out.end());
      TrimTrailing(out, 0);
      return out;
    case typeCode::kChar:
      TrimTrailing(out, 0x20);
      return out;
    case typeCode::kNChar:
      while (out.size() >= 2 && out[out.size() - 2] == 0x20 && out.back() == 0)
        out.resize(out.size() - 2);
      return UnicodeStored(out);
    case typeCode::kNVarChar:
      return DeclaredLength(column.type_text) > 0 ? UnicodeStored(out) : out;
    default:
      if (column.leaf_offset >= 4) TrimTrailing(out, 0);
      return out;
  }
}

PageCompression MakePageCompression(const std::vector<ColumnDescriptor>& columns,
                                    const TableRow& anchor_row, const std::vector<TableRow>& rows) {
  PageCompression page;
  for (size_t i = 0; i < columns.size(); ++i) {
    const Cell& cell = anchor_row.at(i);
    std::optional<ByteBuffer> value;
    if (cell.bytes && !cell.complex && columns[i].typeCode != typeCode::kBit) {
      ByteBuffer stored = CompressValue(columns[i], *cell.bytes);
      if (!stored.empty()) value = std::move(stored);
    }
    page.anchor.push_back(std::move(value));
  }
  std::map<ByteBuffer, int> seen;
  for (const TableRow& row : rows) {
    for (size_t i = 0; i < columns.size(); ++i) {
      const Cell& cell = row.at(i);
      if (!cell.bytes || cell.complex || columns[i].typeCode == typeCode::kBit) continue;
      const std::optional<ByteBuffer> coded = CodedValue(columns[i], i, *cell.bytes, &page);
      if (!coded || !Symbolic(*coded)) continue;
      if (++seen[*coded] == 2) page.dictionary.push_back(*coded);
    }
  }
  return page;
}

ByteBuffer CompressedRecord(const std::vector<ColumnDescriptor>& columns, const TableRow& row,
                            const PageCompression* page) {
  CompressedRowBuilder builder;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDescriptor& c = columns[i];
    const Cell& cell = row.at(i);
    if (!cell.bytes) {
      builder.Null();
    } else if (c.typeCode == typeCode::kBit) {
      cell.bytes->at(0) ? builder.BitOne() : builder.Empty();
    } else if (cell.complex) {
      builder.Long(*cell.bytes, true);
    } else if (const std::optional<ByteBuffer> coded = CodedValue(c, i, *cell.bytes, page);
               !coded) {
      builder.Empty();
    } else {
      const std::vector<ByteBuffer>* dictionary = page ? &page->dictionary : nullptr;
      const auto symbol = dictionary ? std::find(dictionary->begin(), dictionary->end(), *coded)
                                     : std::vector<ByteBuffer>::const_iterator{};
      if (dictionary && symbol != dictionary->end())
        builder.Symbol(static_cast<uint8_t>(symbol - dictionary->begin()));
      else
        builder.Stored(*coded);
    }
  }
  return builder.Build();
}

ByteBuffer CompressionInfoBlock(const PageCompression& page) {
  CompressedRowBuilder anchor;
  for (const std::optional<ByteBuffer>& value : page.anchor)
    value ? anchor.Stored(*value) : anchor.Null();
  const ByteBuffer record = anchor.Build();
  ByteBuffer block;
  if (page.dictionary.empty()) {
    block = {0x02, 0, 0, 0, 0};
    block.insert(block.end(), record.begin(), record.end());
    PutUnsigned(block, 3, block.size(), 2);
    return block;
  }
  ByteBuffer dictionary;
  const size_t count = page.dictionary.size();
  PutUnsigned(dictionary, 0, count, 2);
  size_t end = 2 + 2 * count;
  for (const ByteBuffer& entry : page.dictionary) {
    end += entry.size();
    PutUnsigned(dictionary, dictionary.size(), end, 2);
  }
  for (const ByteBuffer& entry : page.dictionary)
    dictionary.insert(dictionary.end(), entry.begin(), entry.end());
  block = {0x06, 0, 0, 0, 0, 0, 0};
  block.insert(block.end(), record.begin(), record.end());
  PutUnsigned(block, 3, block.size(), 2);
  block.insert(block.end(), dictionary.begin(), dictionary.end());
  PutUnsigned(block, 5, block.size(), 2);
  return block;
}

ByteBuffer RecordsPage(const std::vector<ByteBuffer>& records,
                       const std::optional<ByteBuffer>& block) {
  PageBuilder page;
  page.Type(1).PageId(11).ObjectId(200);
  std::vector<uint16_t> offsets;
  if (block) {
    page.TypeFlagBits(0x80);
    page.AddRecord(*block);
  }
  for (const ByteBuffer& record : records) {
    const int slot = page.AddRecord(record);
    offsets.push_back(ByteReader(page.bytes()).U16(kPageSize - 2 - 2 * static_cast<size_t>(slot)));
  }
  for (size_t i = 0; i < offsets.size(); ++i) page.SetSlot(static_cast<int>(i), offsets[i]);
  page.SlotCount(static_cast<int16_t>(offsets.size()));
  return page.bytes();
}

}  // namespace tarnwick::testing
