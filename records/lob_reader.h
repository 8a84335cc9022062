// Large values: from the pointer a row holds (text pointer, in-row root,
// row-overflow pointer) through the tree of nodes in text pages to the
// value's text.
//
// The walk visits the tree depth first, links in stored order, and appends
// the data of every small root and data node it reaches; the value's bytes
// are those pieces in that order. The text is made from the whole value at
// once, so a character split between two data nodes is still read whole:
//
//   option   set for (LobOptionsFor)             text
//   hex      varbinary, image, CLR types         "%02X" per byte, no prefix
//   variant  sql_variant                         SqlVariantText of the value
//   unicode  nvarchar, ntext                     UTF-16LE, full Unicode, up to the
//                                                first 0 unit
//   collect  xml                                 no text: the pieces go to the
//                                                caller's list (XmlText joins them)
//   none     varchar, text, other                UTF-16LE when exactly half of the
//                                                bytes are 0, else 8-bit text in the
//                                                code page up to the first 0 byte
//
// What goes wrong reads nothing for that branch of the tree and its
// siblings are still read: a link to page 0, a missing page, a page that is
// not a text page (types 3 and 4), a slot the page does not have, an empty
// record, a node type without a layout, a size out of range. The limits
// below keep damaged trees from making a read run away:
//
//   - depth: a path from the pointer down holds at most 16 nodes
//     (kMaxLobDepth); a link below that reads nothing. Trees the server
//     writes are a root, at most a few internal levels and the data nodes.
//   - repeats: a node is read at most once per value. A link to a node
//     already read (back to an ancestor, which would loop, or to a node that
//     another parent holds, which a tree never has) reads nothing.
//   - count: at most kMaxLobNodes links are followed per value.
//   - size: at most kMaxLobBytes bytes are assembled, the largest value the
//     server stores (2^31 - 1). A piece that would pass it ends the walk;
//     the pieces before it are kept.
//
// Bytes are only ever appended as they are read from pages: no stored size
// or count decides an allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/text_codec.h"
#include "reader/byte_reader.h"
#include "records/lob_blob_file.h"
#include "records/lob_node.h"
#include "records/page_source.h"
#include "records/type_code.h"

namespace tarnwick {

class TextMixPage;

inline constexpr int kMaxLobDepth = 16;
inline constexpr size_t kMaxLobNodes = size_t{1} << 19;
inline constexpr size_t kMaxLobBytes = (size_t{1} << 31) - 1;

struct LobLimits {
  int max_depth = kMaxLobDepth;
  size_t max_nodes = kMaxLobNodes;
  size_t max_bytes = kMaxLobBytes;
};

struct LobReadOptions {
  bool hex = false;
  bool variant = false;
  bool unicode = false;
  bool collect = false;
  // The Windows code page of 8-bit data (the run state's code_page).
  int32_t code_page = kDefaultCodePage;
  // Set by the script export when it writes blob files: a binary (hex)
  // value reached through an in-row root or row-overflow pointer is handed
  // to the sink, and its text becomes the sink's reference. Text pointers
  // and collected values never go to the sink. Null: no blob files.
  BlobSink* blobs = nullptr;
  LobLimits limits;
};

// The options of a column of this type: hex for varbinary (16), image (25),
// hierarchyid (31), geometry (32) and other CLR types (33); variant for
// sql_variant (20); unicode for nvarchar (11) and ntext (19); collect for
// xml (34).
LobReadOptions LobOptionsFor(typeCode code, int32_t code_page);

// The raw data of the nodes of one value, one piece per data node or small
// root, in data order.
using LobPieces = std::vector<ByteBuffer>;

// One walk over the tree of one value.
class LobReader {
 public:
  LobReader(const PageSource& pages, const LobLimits& limits);
  ~LobReader();
  LobReader(const LobReader&) = delete;
  LobReader& operator=(const LobReader&) = delete;

  // Reads the node held in these bytes (a text record's fixed part) and the
  // tree below it.
  void ReadNode(Bytes node);
  // Reads the node a link points at and the tree below it.
  void ReadLink(const LobLink& link) { Follow(link, 1); }

  // The value so far: its bytes and where each piece ends.
  const ByteBuffer& bytes() const { return bytes_; }
  const std::vector<size_t>& pieceEnds() const { return piece_ends_; }
  LobPieces TakePieces();
  // True when a limit stopped the walk or kept a link from being followed.
  bool limited() const { return limited_; }
  size_t linksFollowed() const { return links_followed_; }

 private:
  void Follow(const LobLink& link, int depth);
  void Visit(const LobStructureBase& node, int depth);
  const TextMixPage* Page(PageRef ref);

  const PageSource& pages_;
  LobLimits limits_;
  ByteBuffer bytes_;
  std::vector<size_t> piece_ends_;
  std::unordered_set<uint64_t> visited_;
  size_t links_followed_ = 0;
  bool limited_ = false;
  // The last page read: the data nodes of one value often share a page.
  std::optional<PageRef> cached_ref_;
  std::unique_ptr<TextMixPage> cached_page_;
};

// The text of assembled value bytes under the options (the table above);
// collect gives empty text.
std::string LobValueText(Bytes value, const LobReadOptions& options);

// The text of the tree below a node given as bytes. With collect the pieces
// are appended to `pieces` (when given) and the text is empty.
std::string ReadLobNode(Bytes node, const PageSource& pages, const LobReadOptions& options,
                        LobPieces* pieces);

// The text of an in-row root or row-overflow pointer: its links' trees in
// order, as one value. Empty when the column is neither.
std::string ReadInRowRoot(Bytes pointer, const PageSource& pages, const LobReadOptions& options,
                          LobPieces* pieces);

// The text of the value a 16-byte text pointer points at; " " when that
// text is empty.
std::string ReadTextPointer(Bytes pointer, const PageSource& pages, const LobReadOptions& options,
                            LobPieces* pieces);

// The pieces of an xml value joined in order and converted from binary XML;
// the pieces are released. Empty without pieces, " " when nothing converts.
std::string XmlText(LobPieces& pieces);

// The text of a complex variable column of a row with these options (from
// LobOptionsFor): a 16-byte column whose first byte is 0 is a text pointer,
// tags 2 and 4 are root pointers, anything else (a sparse vector, damage)
// gives empty text. With collect the value is converted with XmlText.
std::string ComplexColumnText(Bytes column, const PageSource& pages, const LobReadOptions& options);

// Decodes "0x"-prefixed hex text (the prefix may be absent) into bytes,
// characters in pairs: '0'-'9' and 'A'-'F' (upper case only) are digits,
// any other character counts as 0; an odd last character is ignored.
ByteBuffer HexToBytes(std::string_view text);

}  // namespace tarnwick
