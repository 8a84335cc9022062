// Arbitrary bytes as a data page: every record list form of the page must
// parse without reading outside the page or crashing.
//
// Byte 0 picks the form; the rest (padded with zeros to a page) is the page.
#include <cstddef>
#include <cstdint>

#include "records/record_page.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t form = data[0];
  ByteBuffer page(data + 1, data + std::min<size_t>(size, kPageSize + 1));
  page.resize(kPageSize, 0);
  const ByteReader r(page);
  const int slot = r.U8(kPageSize - 1) % 8;
  // Parameters of the log-image forms, taken from the end of the page.
  const uint16_t offset = r.U16(kPageSize - 6);
  const uint16_t length = r.U8(kPageSize - 7);
  ByteBuffer replacement = r.Copy(kPageSize - 200, length % 64);
  switch (form % 6) {
    case 0: {
      PrimaryRecordPage p(page, nullptr);
      for (const auto& rec : p.records())
        if (rec) (void)rec->varColumns.size();
      break;
    }
    case 1: {
      PrimaryRecordPage p(page, nullptr, SingleSlot{slot, nullptr});
      break;
    }
    case 2: {
      ByteBuffer one = MakeOneRecordBuffer(Bytes(page.data() + 96, length));
      PrimaryRecordPage p(page, nullptr, OneRecord{Bytes(one.data(), one.size())});
      break;
    }
    case 3: {
      ModifyRowImage change{replacement, r.Copy(kPageSize - 100, length % 7), offset, slot};
      PrimaryRecordPage p(page, nullptr, change);
      break;
    }
    case 4: {
      ModifyColumnsImage change;
      change.ranges = {{r.U16(kPageSize - 10), r.U16(kPageSize - 12)},
                       {r.U16(kPageSize - 14), r.U16(kPageSize - 16)}};
      change.new_lengths = {r.U16(kPageSize - 18), r.U16(kPageSize - 20)};
      change.values = replacement;
      change.slot = slot;
      PrimaryRecordPage p(page, nullptr, change);
      break;
    }
    default: {
      // A record straight from the bytes, with every length limit form.
      auto rec = CPrimaryRecord::ParseOrdinaryRecord(Bytes(page.data(), page.size()),
                                                     r.U16(kPageSize - 4));
      (void)rec.cursor;
      break;
    }
  }
  return 0;
}
