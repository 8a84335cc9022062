#include "records/compression_info.h"

#include <algorithm>

#include "records/compressed_record.h"

namespace tarnwick {
namespace {

// Dictionary entries longer than this are never a record's value.
constexpr int32_t kMaxSymbolLength = 7;

// The column values of the anchor record, in record column order: its short
// data and long items taken in turn as its CD codes call for them.
std::vector<CompressedValue> AnchorValues(const CPrimaryRecord& anchor) {
  std::vector<CompressedValue> values;
  const size_t count = std::min(anchor.cdCodes.size(),
                                static_cast<size_t>(std::max<int16_t>(anchor.columnCount, 0)));
  const ByteReader short_data(anchor.fixedData);
  size_t at = 0;
  size_t item = 0;
  for (size_t i = 0; i < count; ++i) {
    const int code = anchor.cdCodes[i];
    CompressedValue value;
    if (code == kCdNull) {
      value.length = kAnchorNull;
    } else if (code == kCdEmpty) {
      value.length = kAnchorEmpty;
    } else if (code >= kCdShortFirst && code <= kCdShortLast) {
      const size_t n = static_cast<size_t>(ShortDataLength(code));
      value.length = static_cast<int32_t>(n);
      value.bytes = short_data.Copy(at, n);
    } else if (code == kCdLong) {
      if (item < anchor.varColumns.size()) {
        const ColumnChunk& chunk = anchor.varColumns[item];
        value.length = chunk.length;
        value.bytes = chunk.bytes;
      }
      ++item;
    }
    // Codes 11 and 12 (and the unused 13-15) give the column no anchor value;
    // a symbol still takes its short data byte.
    at += static_cast<size_t>(ShortDataLength(code));
    values.push_back(std::move(value));
  }
  return values;
}

std::vector<CompressedValue> ReadDictionary(const ByteReader& page, size_t start, int32_t size) {
  std::vector<CompressedValue> entries;
  const uint16_t count = page.U16(start);
  std::vector<int32_t> ends;
  for (size_t i = 0; i < count; ++i) {
    const std::optional<uint16_t> end = page.TryU16(start + 2 + 2 * i);
    if (!end || *end > kCompressionInfoLimit) break;
    ends.push_back(*end);
  }
  const int32_t first = 2 + 2 * static_cast<int32_t>(count);
  int32_t previous = first;
  size_t read = start + static_cast<size_t>(first);
  for (int32_t end : ends) {
    CompressedValue entry;
    entry.length = end - previous;
    if (entry.length > 0 && entry.length < size &&
        read < static_cast<size_t>(kCompressionInfoLimit) &&
        page.Has(read, static_cast<size_t>(entry.length))) {
      entry.bytes = page.Copy(read, static_cast<size_t>(entry.length));
      read += static_cast<size_t>(entry.length);
    }
    // The next entry starts where this one was said to end, whether or not
    // its bytes could be taken.
    previous = end;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

const ByteBuffer* CompressionInfo::AnchorBytes(size_t column) const {
  if (column >= anchorValues.size() || !anchorValues[column].HasBytes()) return nullptr;
  return &anchorValues[column].bytes;
}

const ByteBuffer* CompressionInfo::Symbol(size_t index) const {
  if (index >= dictionary.size()) return nullptr;
  const CompressedValue& entry = dictionary[index];
  if (entry.length < 1 || entry.length > kMaxSymbolLength ||
      entry.bytes.size() != static_cast<size_t>(entry.length))
    return nullptr;
  return &entry.bytes;
}

CompressionInfo ReadCompressionInfo(const ByteReader& page, bool sql2000_catalog) {
  CompressionInfo info;
  const size_t block = kCompressionInfoOffset;
  info.ciFlags = page.U8(block);
  info.ciDictionaryOffset = page.U16(block + 3);
  info.ciSize = page.U16(block + 5);
  if (info.ciSize == 0) return info;

  const bool has_anchor = (info.ciFlags & kAnchorPresentFlag) != 0;
  const bool has_dictionary = (info.ciFlags & kDictionaryPresentFlag) != 0;
  if (has_anchor && has_dictionary) {
    info.anchorRecord = CPrimaryRecord::ParseAnchorRecord(
        page.From(kAnchorWithDictionaryOffset).bytes(), info.ciSize);
    const size_t start = block + info.ciDictionaryOffset;
    if (!info.anchorRecord->rejected && info.ciDictionaryOffset != 0 &&
        info.ciDictionaryOffset < info.ciSize && info.ciSize < kCompressionInfoLimit &&
        start < static_cast<size_t>(kCompressionInfoLimit))
      info.dictionary = ReadDictionary(page, start, info.ciSize);
  } else if (has_anchor && !sql2000_catalog) {
    info.anchorRecord =
        CPrimaryRecord::ParseAnchorRecord(page.From(kAnchorOnlyOffset).bytes(), info.ciSize);
  }
  if (info.anchorRecord && !info.anchorRecord->rejected && !sql2000_catalog)
    info.anchorValues = AnchorValues(*info.anchorRecord);
  return info;
}

}  // namespace tarnwick
