// Arbitrary row pointers over arbitrary text pages.
//
// Input layout: byte 0 options (bit 0 hex, bit 1 variant, bit 2 unicode,
// bit 3 collect, bits 4-5 code page, bit 6 blob sink), byte 1 the pointer
// length P, then P pointer bytes, then page images, each a u32 page number
// (file id in the top 2 bits + 1, page in the rest), a u16 length and that
// many bytes (cut to 8192). The pointer is read as a complex column, as a
// text pointer, as a root pointer and as node bytes; every record of every
// page is also read as a node. The walk limits are kept small so that each
// input runs quickly; the limits themselves are exercised all the same.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "reader/byte_reader.h"
#include "records/lob_reader.h"
#include "records/text_page.h"

namespace {

constexpr int32_t kCodePages[] = {1252, 1251, 932, 65001};

size_t Touch(const std::string& text) {
  size_t sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  return sum;
}

// Takes values without writing them anywhere.
class CountingSink : public tarnwick::BlobSink {
 public:
  std::optional<std::string> Store(tarnwick::Bytes value) override {
    bytes += value.size();
    return "\\Blob_F\\" + std::to_string(++count) + "_blob";
  }
  size_t bytes = 0;
  int count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tarnwick::ByteReader input(data, size);
  if (!input.Has(0, 2)) return 0;
  const uint8_t flags = input.U8(0);
  const size_t pointer_length = input.U8(1);
  const tarnwick::Bytes pointer = input.Span(2, pointer_length);
  if (pointer.size() != pointer_length) return 0;

  tarnwick::MemoryPageSource pages;
  size_t at = 2 + pointer_length;
  while (input.Has(at, 6)) {
    const uint32_t address = input.U32(at);
    const size_t length = input.U16(at + 4);
    at += 6;
    tarnwick::Bytes bytes = input.Span(at, length);
    if (bytes.empty()) bytes = input.From(at).bytes();
    at += bytes.size();
    if (bytes.size() > tarnwick::kPageSize) bytes = bytes.first(tarnwick::kPageSize);
    pages.Add(static_cast<uint16_t>((address >> 30) + 1), address & 0x3FFFFFFF,
              tarnwick::ByteBuffer(bytes.begin(), bytes.end()));
  }

  tarnwick::LobReadOptions options;
  options.hex = (flags & 1) != 0;
  options.variant = (flags & 2) != 0;
  options.unicode = (flags & 4) != 0;
  options.collect = (flags & 8) != 0;
  options.code_page = kCodePages[(flags >> 4) & 3];
  CountingSink sink;
  if ((flags & 0x40) != 0) options.blobs = &sink;
  options.limits.max_nodes = 2048;
  options.limits.max_bytes = 1 << 20;
  options.limits.max_depth = tarnwick::kMaxLobDepth;

  volatile size_t touched = 0;
  tarnwick::LobPieces pieces;
  touched = touched + Touch(tarnwick::ComplexColumnText(pointer, pages, options));
  touched = touched + Touch(tarnwick::ReadTextPointer(pointer, pages, options, &pieces));
  touched = touched + Touch(tarnwick::ReadInRowRoot(pointer, pages, options, &pieces));
  touched = touched + Touch(tarnwick::ReadLobNode(pointer, pages, options, &pieces));
  touched = touched + Touch(tarnwick::XmlText(pieces));
  touched = touched + Touch(tarnwick::LobValueText(pointer, options));
  touched = touched + tarnwick::HexToBytes(std::string(pointer.begin(), pointer.end())).size();

  // Every node of every page, as the tree below it.
  for (uint32_t page = 0; page < 4; ++page) {
    std::optional<tarnwick::ByteBuffer> bytes = pages.LoadPage(tarnwick::PageRef{1, page, 0});
    if (!bytes) continue;
    const tarnwick::TextMixPage text(std::move(*bytes), nullptr);
    for (const tarnwick::TextRecord* record : text.records()) {
      if (!record) continue;
      touched = touched + Touch(tarnwick::ReadLobNode(record->node(), pages, options, nullptr));
    }
  }
  return 0;
}
