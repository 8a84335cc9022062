#include "records/lob_reader.h"

#include "records/row_overflow_pointer.h"
#include "records/text_page.h"
#include "records/text_pointer.h"
#include "records/value_text.h"

namespace tarnwick {
namespace {

// A node's address as one number: file id, page number, slot.
uint64_t AddressKey(const LobLink& link) {
  return (static_cast<uint64_t>(link.page.file_id) << 48) |
         (static_cast<uint64_t>(link.page.page) << 16) | link.slot;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// The text of what a walk read; with collect its pieces go to the caller.
std::string Rendered(LobReader& reader, const LobReadOptions& options, LobPieces* pieces) {
  if (options.collect) {
    if (pieces) {
      for (ByteBuffer& piece : reader.TakePieces()) pieces->push_back(std::move(piece));
    }
    return {};
  }
  return LobValueText(reader.bytes(), options);
}

}  // namespace

LobReadOptions LobOptionsFor(typeCode code, int32_t code_page) {
  LobReadOptions options;
  options.code_page = code_page;
  switch (code) {
    case typeCode::kVarBinary:
    case typeCode::kImage:
    case typeCode::kHierarchyId:
    case typeCode::kGeometry:
    case typeCode::kClr:
      options.hex = true;
      break;
    case typeCode::kSqlVariant:
      options.variant = true;
      break;
    case typeCode::kNVarChar:
    case typeCode::kNText:
      options.unicode = true;
      break;
    case typeCode::kXml:
      options.collect = true;
      break;
    default:
      break;
  }
  return options;
}

LobReader::LobReader(const PageSource& pages, const LobLimits& limits)
    : pages_(pages), limits_(limits) {}

LobReader::~LobReader() = default;

LobPieces LobReader::TakePieces() {
  LobPieces pieces;
  pieces.reserve(piece_ends_.size());
  size_t start = 0;
  for (size_t end : piece_ends_) {
    pieces.emplace_back(bytes_.begin() + static_cast<ptrdiff_t>(start),
                        bytes_.begin() + static_cast<ptrdiff_t>(end));
    start = end;
  }
  bytes_.clear();
  piece_ends_.clear();
  return pieces;
}

void LobReader::ReadNode(Bytes node) {
  if (std::unique_ptr<LobStructureBase> parsed = ParseLobNode(node)) Visit(*parsed, 1);
}

const TextMixPage* LobReader::Page(PageRef ref) {
  if (cached_ref_ && *cached_ref_ == ref) return cached_page_.get();
  cached_ref_.reset();
  cached_page_.reset();
  std::optional<ByteBuffer> bytes = pages_.LoadPage(ref);
  if (!bytes) return nullptr;
  cached_page_ = std::make_unique<TextMixPage>(std::move(*bytes), pages_.file());
  cached_ref_ = ref;
  return cached_page_.get();
}

void LobReader::Follow(const LobLink& link, int depth) {
  if (limited_) return;
  if (depth > limits_.max_depth || links_followed_ >= limits_.max_nodes) {
    limited_ = true;
    return;
  }
  ++links_followed_;
  // Page 0 of a file is its header page and never holds a node.
  if (link.page.page == 0) return;
  if (!visited_.insert(AddressKey(link)).second) return;
  const TextMixPage* page = Page(link.page);
  if (!page || !page->IsTextPage()) return;
  const TextRecord* record = page->record(link.slot);
  if (!record || !record->HasNode()) return;
  // The node is parsed into a copy: the cached page may be replaced while
  // the nodes below it are read.
  if (std::unique_ptr<LobStructureBase> node = ParseLobNode(record->node())) Visit(*node, depth);
}

void LobReader::Visit(const LobStructureBase& node, int depth) {
  const Bytes data = node.Data();
  if (!data.empty()) {
    if (data.size() > limits_.max_bytes - bytes_.size()) {
      limited_ = true;
      return;
    }
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    piece_ends_.push_back(bytes_.size());
  }
  for (const LobLink& link : node.Links()) {
    if (limited_) return;
    Follow(link, depth + 1);
  }
}

std::string LobValueText(Bytes value, const LobReadOptions& options) {
  if (options.collect || value.empty()) return {};
  if (options.variant) return SqlVariantText(value, options.code_page);
  ColumnTypeInfo column;
  column.variable = true;
  column.code_page = options.code_page;
  if (options.hex)
    column.code = typeCode::kVarBinary;
  else if (options.unicode)
    column.code = typeCode::kNVarChar;
  else
    column.code = typeCode::kNText;  // UTF-16 when half the bytes are 0, else 8-bit
  return ValueText(column, value);
}

std::string ReadLobNode(Bytes node, const PageSource& pages, const LobReadOptions& options,
                        LobPieces* pieces) {
  LobReader reader(pages, options.limits);
  reader.ReadNode(node);
  return Rendered(reader, options, pieces);
}

std::string ReadInRowRoot(Bytes pointer, const PageSource& pages, const LobReadOptions& options,
                          LobPieces* pieces) {
  const std::optional<RootPointer> root = ParseRootPointer(pointer);
  if (!root) return {};
  LobReader reader(pages, options.limits);
  for (const LobLink& link : root->links) reader.ReadLink(link);
  if (options.blobs && options.hex && !options.collect && !reader.bytes().empty()) {
    if (std::optional<std::string> reference = options.blobs->Store(reader.bytes()))
      return *reference;
  }
  return Rendered(reader, options, pieces);
}

std::string ReadTextPointer(Bytes pointer, const PageSource& pages, const LobReadOptions& options,
                            LobPieces* pieces) {
  std::string text;
  if (const std::optional<TextPointer> p = ParseTextPointer(pointer)) {
    LobReader reader(pages, options.limits);
    reader.ReadLink(LobLink{0, p->page, p->slot});
    text = Rendered(reader, options, pieces);
  }
  return text.empty() ? std::string(" ") : text;
}

std::string XmlText(LobPieces& pieces) {
  if (pieces.empty()) return {};
  ByteBuffer joined;
  for (const ByteBuffer& piece : pieces) joined.insert(joined.end(), piece.begin(), piece.end());
  pieces.clear();
  pieces.shrink_to_fit();
  ColumnTypeInfo column;
  column.code = typeCode::kXml;
  column.variable = true;
  return ValueText(column, joined);
}

std::string ComplexColumnText(Bytes column, const PageSource& pages,
                              const LobReadOptions& options) {
  if (column.empty()) return {};
  LobPieces pieces;
  std::string text;
  if (IsTextPointer(column)) {
    text = ReadTextPointer(column, pages, options, &pieces);
  } else {
    const uint16_t tag = ComplexColumnTag(column);
    if (tag != kRowOverflowTag && tag != kInRowRootTag) return {};
    text = ReadInRowRoot(column, pages, options, &pieces);
  }
  return options.collect ? XmlText(pieces) : text;
}

ByteBuffer HexToBytes(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  ByteBuffer bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>((HexDigit(text[i]) << 4) | HexDigit(text[i + 1])));
  return bytes;
}

}  // namespace tarnwick
