// Arbitrary bytes as column values of every type code.
//
// Input layout: byte 0 picks the type code (values past 34 test the
// out-of-range code), byte 1 the precision, byte 2 the scale, bytes 3-4 the
// declared length (int16, so negative lengths occur), byte 5 flags (bit 0:
// variable, bit 1: share one bit reader across the values, bits 2-3: code
// page), then the value bytes. The value is rendered as a whole and at every
// suffix (the way the fixed part of a record is walked column by column),
// and also given to SqlVariantText and DateTimeText.
#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/byte_reader.h"
#include "records/value_text.h"

namespace {

constexpr int32_t kCodePages[] = {1252, 1251, 932, 65001};

// Every byte of the text is touched so that a bad length shows up under ASan.
size_t Touch(const std::string& text) {
  size_t sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarnwick::ByteReader input(data, size);
  if (!input.Has(0, 6)) return 0;
  tarnwick::ColumnTypeInfo column;
  column.code = static_cast<tarnwick::typeCode>(input.U8(0) % (tarnwick::kTypeCodeCount + 2));
  column.precision = input.U8(1);
  column.scale = input.U8(2);
  column.declared_length = input.I16(3);
  uint8_t flags = input.U8(5);
  column.variable = (flags & 1) != 0;
  column.code_page = kCodePages[(flags >> 2) & 3];
  tarnwick::BitReader bits;
  if ((flags & 2) != 0) column.bits = &bits;

  tarnwick::Bytes value = input.From(6).bytes();
  volatile size_t sink = 0;
  for (size_t offset = 0; offset <= value.size(); ++offset) {
    int64_t occupied = 0;
    sink = sink + Touch(tarnwick::ValueText(column, value.subspan(offset), &occupied));
    if (occupied > 0 && !column.variable) offset += static_cast<size_t>(occupied) - 1;
  }
  sink = sink + Touch(tarnwick::SqlVariantText(value, column.code_page));
  sink = sink + Touch(tarnwick::DateTimeText(value, tarnwick::DateTimePattern::kYearFirst));
  sink = sink + Touch(tarnwick::DateTimeText(value, tarnwick::DateTimePattern::kMonthFirst));
  return 0;
}
