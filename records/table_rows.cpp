#include "records/table_rows.h"

#include <algorithm>

#include "records/compressed_record.h"
#include "records/lob_reader.h"
#include "records/value_text.h"

namespace tarnwick {
namespace {

constexpr const char* kNullText = "NULL";

bool Usable(const CPrimaryRecord* record) {
  return record && record->recordType != kIndexRecordType && !record->rejected &&
         !record->isGhost;
}

// A compressed record is read once it has been rebuilt in the table's
// ordinary layout (the page decodes it when it knows the table's columns).
bool Undecoded(const CPrimaryRecord& record) {
  return record.compressedFormat && !record.compressedDecoded;
}

bool IsBinaryPrefixed(typeCode code) {
  return code == typeCode::kVarBinary || code == typeCode::kImage || code == typeCode::kClr;
}

class RowWalk {
 public:
  RowWalk(const CPrimaryRecord& record, const RowReadContext& context, bool for_export)
      : rec_(record), ctx_(context), export_(for_export) {}

  Row Read(const std::vector<ColumnDescriptor>& columns) {
    Row row;
    ReadInto(columns, row);
    return row;
  }

  // The row into `row`, whose storage is reused (copy-assigned from the
  // columns).
  void ReadInto(const std::vector<ColumnDescriptor>& columns, Row& row) {
    row = columns;
    for (ColumnDescriptor& c : row) {
      if (!c.computed()) c.value.clear();
      c.value_null = false;
    }
    const int record_columns = std::max<int>(0, rec_.columnCount);
    const size_t visited = std::min<size_t>(row.size(), static_cast<size_t>(record_columns));
    for (size_t i = 0; i < visited; ++i) ReadColumn(row[i], static_cast<int>(visited));
  }

 private:
  ColumnTypeInfo TypeInfo(const ColumnDescriptor& c, bool variable) {
    ColumnTypeInfo info;
    info.code = c.typeCode == typeCode::kImage ? typeCode::kVarBinary : c.typeCode;
    info.variable = variable;
    info.declared_length = DeclaredLength(c.type_text);
    info.precision = c.precision;
    info.scale = c.scale;
    info.code_page = ctx_.code_page;
    info.bits = &bits_;
    return info;
  }

  bool NullBit(ColumnDescriptor& c, int visited) {
    const int count = rec_.columnCount;
    const int limit = export_ ? visited : count;
    if (c.ordinal > limit) c.ordinal = c.column_id;
    const int b = c.leaf_null_bit;
    if (b > 0 && b <= count) return rec_.NullBit(b - 1);
    if (export_) return rec_.NullBit(k_);
    const int s = rec_.sparseVector ? rec_.sparseVector->count : 0;
    const int at = c.ordinal - s - 1;
    return at > 0 && at <= count ? rec_.NullBit(at) : rec_.NullBit(s);
  }

  void ReadColumn(ColumnDescriptor& c, int visited) {
    if (c.computed()) return;
    const bool variable = IsVariableColumn(c);
    if (c.sparse) {
      ReadSparse(c);
      return;
    }
    const bool is_null = NullBit(c, visited);
    const bool beyond = rec_.columnCount <= k_;
    ++k_;
    if (beyond) {
      if (variable) ++j_;
      return;
    }
    if (is_null || (!export_ && !c.stored)) {
      if (variable) {
        ++j_;
      } else if (c.typeCode == typeCode::kBit) {
        // A NULL bit column still takes its bit (and may load the byte the
        // next bit columns share).
        ReadFixed(c);
      } else {
        // A NULL fixed value still occupies its bytes in the row.
        c_ += StorageLength(c.typeCode, DeclaredLength(c.type_text));
      }
      MarkNull(c);
      return;
    }
    zero_length_ = false;
    bool read = variable ? ReadVariable(c) : ReadFixed(c);
    if (read && IsBinaryPrefixed(c.typeCode)) ApplyBinaryPrefix(c);
    FinishValue(c);
  }

  void MarkNull(ColumnDescriptor& c) {
    c.value_null = true;
    c.value = export_ ? "" : kNullText;
    if (export_ && c.nullable) c.value = kNullText;
  }

  // An empty text that is not a stored empty string becomes NULL in the
  // export, for a nullable column.
  void FinishValue(ColumnDescriptor& c) {
    if (export_ && c.value.empty() && c.nullable && !zero_length_) {
      c.value = kNullText;
      c.value_null = true;
    }
  }

  void ApplyBinaryPrefix(ColumnDescriptor& c) {
    if (c.value == " ") return;
    // CLR values already carry the prefix from their value text.
    if (c.value.rfind("0x", 0) == 0) return;
    if (ctx_.blobs && c.value.find('\\') != std::string::npos) return;
    c.value = "0x" + c.value;
  }

  // A sparse column takes its value from the record's sparse vector; one
  // that the vector does not hold is NULL.
  void ReadSparse(ColumnDescriptor& c) {
    zero_length_ = false;
    if (rec_.sparseVector) {
      for (const ColumnChunk& chunk : rec_.sparseVector->columns) {
        if (chunk.columnId != c.column_id || !chunk.HasBytes()) continue;
        c.value = ValueText(TypeInfo(c, true), chunk.bytes);
        if (IsBinaryPrefixed(c.typeCode)) ApplyBinaryPrefix(c);
        return;
      }
    }
    MarkNull(c);
  }

  // Returns true when a value was read (possibly empty).
  bool ReadVariable(ColumnDescriptor& c) {
    size_t index = c.leaf_offset < 0 ? static_cast<size_t>(-(c.leaf_offset + 1)) : j_;
    if (export_ && ctx_.sql2000_mode) {
      index = j_;
      const bool empty = index >= rec_.varColumns.size() || !rec_.varColumns[index].HasBytes() ||
                         rec_.varColumns[index].length == 0;
      if (empty && c.offset_2000 < 0) {
        const size_t alt = static_cast<size_t>(-(c.offset_2000 + 1));
        if (alt < rec_.varColumns.size() && rec_.varColumns[alt].HasBytes() &&
            rec_.varColumns[alt].length > 0) {
          index = alt;
          j_ = alt;
        }
      }
    }
    ++j_;
    if (index >= rec_.varColumns.size()) {
      // Its NULL bit is clear, yet the record's variable-column array ends
      // before it: the server leaves trailing empty values out of the array.
      // The export keeps such a value empty rather than making it NULL (the
      // display shows the empty text as it always has).
      zero_length_ = export_;
      return export_;
    }
    const ColumnChunk& chunk = rec_.varColumns[index];
    if (chunk.complex) {
      if (!chunk.HasBytes()) return false;
      static const MemoryPageSource kNoPages;
      LobReadOptions options = LobOptionsFor(c.typeCode, ctx_.code_page);
      options.blobs = ctx_.blobs;
      c.value = ComplexColumnText(chunk.bytes, ctx_.pages ? *ctx_.pages : kNoPages, options);
      return true;
    }
    if (!chunk.HasBytes()) {
      // A zero-length value that is not NULL: an empty string or binary,
      // which must not turn into NULL.
      zero_length_ = chunk.length == 0;
      return zero_length_;
    }
    if (c.typeCode == typeCode::kSqlVariant) {
      c.value = SqlVariantText(chunk.bytes, ctx_.code_page);
    } else {
      c.value = ValueText(TypeInfo(c, true), chunk.bytes);
    }
    return true;
  }

  bool ReadFixed(ColumnDescriptor& c) {
    const int32_t declared = DeclaredLength(c.type_text);
    if (!rec_.HasFixedData()) {
      c_ += StorageLength(c.typeCode, declared);
      return false;
    }
    const int64_t fixed = static_cast<int64_t>(rec_.fixedData.size());
    int64_t leaf = c.leaf_offset;
    if (export_ && leaf < 0) leaf = 3 - leaf;
    int64_t at = -1;
    if (export_ && ctx_.sql2000_mode) {
      const int64_t o = c.offset_2000;
      if (c.leaf_offset < 0 && o > 0) {
        if (o - 4 < fixed) {
          at = o - 4;
          Render(c, at);
          c_ += declared >= 1 ? declared : StorageLength(c.typeCode, declared);
          return true;
        }
      } else if (o < 4 || o == c_ + 4 || o - 4 >= fixed) {
        at = c_ < fixed ? c_ : -1;
      } else {
        at = o - 4;
      }
    } else if (leaf - 4 >= 0 && leaf - 4 <= fixed) {
      at = leaf - 4;
    } else if (c_ < fixed) {
      at = c_;
    }
    if (at < 0) return false;
    int64_t occupied = Render(c, at);
    c_ += occupied;
    return true;
  }

  int64_t Render(ColumnDescriptor& c, int64_t at) {
    const ByteReader fixed(rec_.fixedData);
    Bytes available = fixed.Span(static_cast<size_t>(at), rec_.fixedData.size() - static_cast<size_t>(at));
    int64_t occupied = 0;
    c.value = ValueText(TypeInfo(c, false), available, &occupied);
    return occupied;
  }

  const CPrimaryRecord& rec_;
  const RowReadContext& ctx_;
  const bool export_;
  BitReader bits_;
  size_t j_ = 0;    // variable columns met
  int64_t c_ = 0;   // fixed-part cursor
  int k_ = 0;       // non-sparse columns handled
  bool zero_length_ = false;  // the current value is a stored empty value
};

bool FirstStoredValueEmpty(const Row& row) {
  for (const ColumnDescriptor& c : row) {
    if (c.computed()) continue;
    return c.value.empty();
  }
  return false;
}

template <bool kExport>
std::vector<Row> ReadRows(const PrimaryRecordPage& page, const std::vector<ColumnDescriptor>& columns,
                          const RowReadContext& context) {
  std::vector<Row> rows;
  for (const auto& record : page.records()) {
    if (!Usable(record.get()) || Undecoded(*record)) continue;
    Row row = RowWalk(*record, context, kExport).Read(columns);
    if (kExport && FirstStoredValueEmpty(row)) continue;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

std::optional<Row> ReadDisplayRow(const CPrimaryRecord& record,
                                  const std::vector<ColumnDescriptor>& columns,
                                  const RowReadContext& context) {
  if (!Usable(&record) || Undecoded(record)) return std::nullopt;
  return RowWalk(record, context, false).Read(columns);
}

std::optional<Row> ReadExportRow(const CPrimaryRecord& record,
                                 const std::vector<ColumnDescriptor>& columns,
                                 const RowReadContext& context) {
  if (!Usable(&record) || Undecoded(record)) return std::nullopt;
  Row row = RowWalk(record, context, true).Read(columns);
  if (FirstStoredValueEmpty(row)) return std::nullopt;
  return row;
}

bool ReadExportRowInto(const CPrimaryRecord& record, const std::vector<ColumnDescriptor>& columns,
                       const RowReadContext& context, Row& row) {
  if (!Usable(&record) || Undecoded(record)) return false;
  RowWalk(record, context, true).ReadInto(columns, row);
  return !FirstStoredValueEmpty(row);
}

std::vector<Row> ReadDisplayRows(const PrimaryRecordPage& page,
                                 const std::vector<ColumnDescriptor>& columns,
                                 const RowReadContext& context) {
  return ReadRows<false>(page, columns, context);
}

std::vector<Row> ReadExportRows(const PrimaryRecordPage& page,
                                const std::vector<ColumnDescriptor>& columns,
                                const RowReadContext& context) {
  return ReadRows<true>(page, columns, context);
}

}  // namespace tarnwick
