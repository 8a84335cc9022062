#include "tools/sample_database.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "reader/byte_reader.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/lob_builder.h"
#include "tests/support/log_file_builder.h"

namespace tarnwick::sample {
namespace {

using testing::CatalogBuilder;
using testing::LogBlockBuilder;
using testing::LogFileWriter;
using testing::LogRecordBuilder;
using testing::PageBuilder;

constexpr uint64_t kUnitBase = uint64_t{1} << 56;
constexpr int32_t kCollation = 872468488;  // SQL_Latin1_General_CP1_CI_AS
constexpr uint16_t kFileId = 1;
constexpr size_t kPageBytes = 8192;
constexpr size_t kPageHeaderBytes = 96;
// The header index id of pages of allocation units 2^56 + (n << 16): the
// unit id's bits 48..63.
constexpr uint16_t kUnitIndexId = 256;
// The largest log block the server writes.
constexpr size_t kMaxBlock = 61440;
constexpr size_t kRecordWindow = 192;
// A large-value chunk per text record, so that one fills a text page.
constexpr size_t kLobChunk = 8000;
constexpr size_t kInRowLimit = 8000;

// Log record contexts: the row-change contexts the reader takes, and others
// it must leave alone (index leaf rows, text pages, allocation pages).
constexpr uint8_t kCtxHeap = 1;
constexpr uint8_t kCtxClustered = 2;
constexpr uint8_t kCtxIndexLeaf = 3;
constexpr uint8_t kCtxText = 4;
constexpr uint8_t kCtxGam = 8;
constexpr uint8_t kCtxPfs = 11;
constexpr uint8_t kCtxMarkAsGhost = 19;
// Operation codes of records that are not row changes: allocation bits and
// the formatting of a new page.
constexpr uint8_t kOpSetBits = 7;
constexpr uint8_t kOpFormatPage = 18;

// Catalog objects whose rows the system transactions change, and their
// rowset ids (object id << 16, as the server numbers system rowsets).
constexpr uint64_t kAllocationUnitsRowset = uint64_t{testing::kSysAllocationUnits} << 16;
constexpr uint64_t kObjectValuesRowset = uint64_t{testing::kSysObjectValues} << 16;

// ------------------------------------------------------------------ random

// splitmix64: the same sample on every platform and compiler.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  int64_t Between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Below(static_cast<uint64_t>(high - low + 1)));
  }
  bool Chance(int percent) { return Below(100) < static_cast<uint64_t>(percent); }
  template <class T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

// ---------------------------------------------------------------- calendar

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
constexpr int64_t kDays1900 = DaysFromCivil(1900, 1, 1);
constexpr int64_t kDays0001 = DaysFromCivil(1, 1, 1);
constexpr int64_t kMillisPerDay = 86400000;

struct Instant {
  int64_t days = 0;    // from 1970-01-01
  int64_t millis = 0;  // of the day
};
Instant InstantOf(int64_t unix_millis) {
  return {unix_millis / kMillisPerDay, unix_millis % kMillisPerDay};
}

// datetime: ticks of 1/300 s since midnight, then days since 1900-01-01.
ByteBuffer DateTimeBytes(int64_t unix_millis) {
  const Instant t = InstantOf(unix_millis);
  ByteBuffer out;
  PutUnsigned(out, 0, static_cast<uint64_t>(t.millis * 3 / 10), 4);
  PutUnsigned(out, 4, static_cast<uint64_t>(t.days - kDays1900), 4);
  return out;
}
// date: 3 bytes of days since 0001-01-01.
ByteBuffer DateBytes(int64_t days_from_1970) {
  ByteBuffer out;
  PutUnsigned(out, 0, static_cast<uint64_t>(days_from_1970 - kDays0001), 3);
  return out;
}
// datetime2(7): 5 bytes of 100 ns units since midnight, then the date.
ByteBuffer DateTime2Bytes(int64_t unix_millis) {
  const Instant t = InstantOf(unix_millis);
  ByteBuffer out;
  PutUnsigned(out, 0, static_cast<uint64_t>(t.millis) * 10000, 5);
  PutUnsigned(out, 5, static_cast<uint64_t>(t.days - kDays0001), 3);
  return out;
}

// ------------------------------------------------------------------ values

ByteBuffer LittleEndian(uint64_t value, size_t width) {
  ByteBuffer out;
  PutUnsigned(out, 0, value, width);
  return out;
}
ByteBuffer MoneyBytes(int64_t cents) { return LittleEndian(static_cast<uint64_t>(cents * 100), 8); }
// decimal: a sign byte (1 positive), then the unscaled value in 4, 8, 12 or
// 16 bytes by precision.
ByteBuffer DecimalBytes(int64_t unscaled, uint8_t precision) {
  const size_t width = precision <= 9 ? 4 : precision <= 19 ? 8 : precision <= 28 ? 12 : 16;
  ByteBuffer out{static_cast<uint8_t>(unscaled >= 0 ? 1 : 0)};
  const uint64_t magnitude = static_cast<uint64_t>(unscaled >= 0 ? unscaled : -unscaled);
  for (size_t i = 0; i < width; ++i)
    out.push_back(i < 8 ? static_cast<uint8_t>(magnitude >> (8 * i)) : 0);
  return out;
}
ByteBuffer Ascii(std::string_view text) { return ByteBuffer(text.begin(), text.end()); }
ByteBuffer Unicode(const std::string& utf8) { return testing::Utf16(utf8); }

// ----------------------------------------------------------------- schema

enum class Kind : uint8_t {
  kInt,
  kBigInt,
  kSmallInt,
  kTinyInt,
  kBit,
  kMoney,
  kDecimal,
  kDateTime,
  kDate,
  kDateTime2,
  kGuid,
  kVarChar,
  kNVarChar,
  kVarBinary,
};

struct ColumnShape {
  const char* name;
  Kind kind;
  int16_t length = 0;  // variable kinds: maximum bytes, -1 for max
  uint8_t precision = 0;
  uint8_t scale = 0;
  bool nullable = false;
  bool identity = false;
};

bool IsVariable(Kind kind) {
  return kind == Kind::kVarChar || kind == Kind::kNVarChar || kind == Kind::kVarBinary;
}

struct CatalogType {
  uint8_t system_type;
  int16_t length;
  uint8_t precision;
  uint8_t scale;
};

// The system type id, max_length, precision and scale of sys.columns.
CatalogType CatalogTypeOf(const ColumnShape& c) {
  switch (c.kind) {
    case Kind::kInt:
      return {56, 4, 10, 0};
    case Kind::kBigInt:
      return {127, 8, 19, 0};
    case Kind::kSmallInt:
      return {52, 2, 5, 0};
    case Kind::kTinyInt:
      return {48, 1, 3, 0};
    case Kind::kBit:
      return {104, 1, 1, 0};
    case Kind::kMoney:
      return {60, 8, 19, 4};
    case Kind::kDecimal: {
      const int16_t length = c.precision <= 9    ? 5
                             : c.precision <= 19 ? 9
                             : c.precision <= 28 ? 13
                                                 : 17;
      return {106, length, c.precision, c.scale};
    }
    case Kind::kDateTime:
      return {61, 8, 23, 3};
    case Kind::kDate:
      return {40, 3, 10, 0};
    case Kind::kDateTime2:
      return {42, 8, 27, 7};
    case Kind::kGuid:
      return {36, 16, 0, 0};
    case Kind::kVarChar:
      return {167, c.length, 0, 0};
    case Kind::kNVarChar:
      return {231, c.length, 0, 0};
    case Kind::kVarBinary:
      return {165, c.length, 0, 0};
  }
  return {56, 4, 10, 0};
}

// A column value: NULL, plain bytes, or (complex) the pointer to a large
// value stored on text pages.
struct Value {
  bool null = true;
  bool complex = false;
  ByteBuffer bytes;
};
Value Of(ByteBuffer bytes) { return {false, false, std::move(bytes)}; }

// Where a row lives, and what the generator needs to change it later.
struct RowRef {
  uint32_t page = 0;  // index into the data page store
  uint16_t slot = 0;
  uint16_t offset = 0;  // of the record in its page
  uint16_t length = 0;
  bool live = true;
  bool changed = false;
  bool locked = false;
  uint32_t live_position = 0;  // in Table::live
  int64_t id = 0;              // identity value
  int64_t insert_operation = -1;
};

struct Table {
  std::string name;
  int32_t object_id = 0;
  int32_t pk_object_id = 0;
  bool heap = false;
  std::vector<ColumnShape> columns;
  // Record layout: offset of each fixed column, variable index of each
  // variable one (-1 for the other kind).
  std::vector<int> fixed_at;
  std::vector<int> var_index;
  uint16_t fixed_end = 4;
  size_t var_columns = 0;
  uint64_t rowset_id = 0;
  uint64_t unit_id = 0;
  uint64_t lob_unit_id = 0;
  uint64_t index_rowset_id = 0;  // the unique nonclustered index, if any
  uint64_t index_unit_id = 0;
  uint8_t context = kCtxClustered;
  size_t report_index = 0;

  std::vector<RowRef> rows;
  std::vector<uint32_t> live;
  int64_t next_identity = 1;
  std::optional<uint32_t> data_page;  // the page inserts go to
  std::optional<uint32_t> text_page;
  std::optional<uint32_t> first_data_page;
  std::optional<uint32_t> first_text_page;
  uint32_t pages = 0;

  int Column(std::string_view column) const {
    for (size_t i = 0; i < columns.size(); ++i)
      if (column == columns[i].name) return static_cast<int>(i);
    throw std::logic_error("no column " + std::string(column));
  }
  uint16_t nullBitmapOffset() const { return static_cast<uint16_t>(fixed_end + 2); }
};

void Lay(Table& t) {
  t.fixed_at.assign(t.columns.size(), -1);
  t.var_index.assign(t.columns.size(), -1);
  int offset = 4;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnShape& c = t.columns[i];
    if (IsVariable(c.kind)) {
      t.var_index[i] = static_cast<int>(t.var_columns++);
    } else {
      t.fixed_at[i] = offset;
      offset += CatalogTypeOf(c).length;
    }
  }
  t.fixed_end = static_cast<uint16_t>(offset);
}

// A row record: status bytes (0x10 NULL bitmap, 0x20 variable columns), the
// end of the fixed part, fixed columns, the column count, the NULL bitmap,
// then the variable columns without the trailing NULL ones.
ByteBuffer EncodeRow(const Table& t, const std::vector<Value>& values) {
  size_t stored_vars = 0;
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (t.var_index[i] >= 0 && !values[i].null) stored_vars = t.var_index[i] + 1;
  ByteBuffer r{static_cast<uint8_t>(0x10 | (stored_vars > 0 ? 0x20 : 0)), 0};
  PutUnsigned(r, 2, t.fixed_end, 2);
  r.resize(t.fixed_end, 0);
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.fixed_at[i] < 0 || values[i].null) continue;
    std::copy(values[i].bytes.begin(), values[i].bytes.end(), r.begin() + t.fixed_at[i]);
  }
  PutUnsigned(r, r.size(), t.columns.size(), 2);
  const size_t bitmap_at = r.size();
  r.resize(bitmap_at + (t.columns.size() + 7) / 8, 0);
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (values[i].null) r[bitmap_at + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
  if (stored_vars == 0) return r;
  PutUnsigned(r, r.size(), stored_vars, 2);
  const size_t offsets_at = r.size();
  r.resize(offsets_at + 2 * stored_vars, 0);
  for (size_t k = 0; k < stored_vars; ++k) {
    for (size_t i = 0; i < t.columns.size(); ++i) {
      if (t.var_index[i] != static_cast<int>(k)) continue;
      if (!values[i].null) r.insert(r.end(), values[i].bytes.begin(), values[i].bytes.end());
      const uint16_t entry =
          static_cast<uint16_t>(r.size() | (values[i].complex && !values[i].null ? 0x8000 : 0));
      PutUnsigned(r, offsets_at + 2 * k, entry, 2);
    }
  }
  return r;
}

// Where variable column k of a record starts and ends (record offsets).
std::pair<uint16_t, uint16_t> VariableSpan(const Table& t, Bytes record, size_t k) {
  ByteReader r(record);
  const size_t count_at = t.nullBitmapOffset() + (t.columns.size() + 7) / 8;
  const size_t stored = r.U16(count_at);
  if (k >= stored) return {0, 0};
  const size_t array_end = count_at + 2 + 2 * stored;
  const uint16_t start =
      k == 0 ? static_cast<uint16_t>(array_end) : r.U16(count_at + 2 + 2 * (k - 1)) & 0x7FFF;
  const uint16_t end = r.U16(count_at + 2 + 2 * k) & 0x7FFF;
  return {start, end};
}

// ----------------------------------------------------------- data pages

struct DataPage {
  PageBuilder page;
  uint16_t used = kPageHeaderBytes;  // header and records
  uint16_t slots = 0;
  uint16_t ghosts = 0;
};

// --------------------------------------------------------------- the log

struct Lsn {
  uint32_t vlf_sequence = 0;
  uint32_t block_offset = 0;
  uint32_t record_index = 0;
};

// Records into blocks, blocks into VLFs, VLFs into the file. The first VLF
// written goes to the second slot of the file; the last one, when the log
// ends, to the first slot (the log has wrapped), followed by a block left
// from that slot's previous use.
class LogEmitter {
 public:
  LogEmitter(const std::string& path, uint64_t vlf_size, uint32_t first_sequence, Random& random)
      : writer_(path), vlf_size_(vlf_size), first_sequence_(first_sequence), random_(random) {
    StartVlf();
  }

  Lsn Add(const LogRecordBuilder& builder) { return Add(builder.Build()); }
  Lsn Add(ByteBuffer record) {
    if (!records_.empty()) {
      const size_t needed = SizeWith(record.size());
      if (needed > kMaxBlock || needed > writer_.room()) Flush();
    }
    if (records_.empty()) {
      granularity_ = random_.Chance(15) ? 512 : 4096;
      if (SizeWith(record.size()) > writer_.room()) {
        EndVlf();
        StartVlf();
      }
      block_ = LogBlockBuilder(sequence_);
      block_.Granularity(static_cast<uint16_t>(granularity_));
      block_offset_ = writer_.next_block_offset();
    }
    const size_t offset = NextOffset();
    last_offset_ = offset;
    last_end_ = offset + record.size();
    const Lsn lsn{sequence_, static_cast<uint32_t>(block_offset_ / 512),
                  static_cast<uint32_t>(records_.size())};
    records_.push_back(record.size());
    block_.Add(std::move(record));
    ++records_written_;
    return lsn;
  }

  // Ends the current block (a commit makes the server write it out).
  void Flush() {
    if (records_.empty()) return;
    writer_.AddBlock(block_.Build());
    ++blocks_written_;
    records_.clear();
  }

  // Bytes of the log so far, as the file will have them.
  uint64_t size() const {
    return 8192 + static_cast<uint64_t>(vlfs_written_) * vlf_size_ + writer_.next_block_offset();
  }

  // Ends the log: the open VLF goes to slot 0; when the log has wrapped
  // (more than one VLF), that is the slot's second use: its signature byte
  // has flipped and a block of the first use follows the live ones. An
  // unused VLF follows the used ones. Returns the file size.
  uint64_t Finish(const ByteBuffer& stale_record) {
    Flush();
    if (vlfs_written_ > 0) {
      writer_.Signature(0x80);
      LogBlockBuilder stale(first_sequence_ - 1);
      stale.Granularity(512).Add(stale_record);
      const ByteBuffer stale_bytes = stale.Build();
      if (stale_bytes.size() <= writer_.room()) writer_.AddBlock(stale_bytes);
    }
    const uint64_t used_slots = vlfs_written_ + 1;
    writer_.EndVlf(SlotPosition(0));
    // A VLF the log has not reached yet: sequence number 0.
    constexpr uint64_t kUnusedVlf = 65536;
    writer_.BeginVlf(0, kUnusedVlf);
    writer_.EndVlf(SlotPosition(used_slots));
    const uint64_t file_size = SlotPosition(used_slots) + kUnusedVlf;
    writer_.Close(file_size);
    return file_size;
  }

  uint64_t records() const { return records_written_; }
  uint64_t blocks() const { return blocks_written_; }
  uint64_t vlfs() const { return vlfs_written_ + 1; }

 private:
  uint64_t SlotPosition(uint64_t slot) const { return 8192 + slot * vlf_size_; }

  void StartVlf() {
    sequence_ = first_sequence_ + vlfs_written_;
    writer_.BeginVlf(sequence_, vlf_size_, 0x40);
  }
  void EndVlf() {
    writer_.EndVlf(SlotPosition(vlfs_written_ + 1));
    ++vlfs_written_;
  }

  size_t NextOffset() const { return records_.empty() ? 48 : (last_end_ + 3) / 4 * 4; }
  // The block size the builder will choose with one more record.
  size_t SizeWith(size_t record_size) const {
    const size_t offset = NextOffset();
    const size_t end = offset + record_size;
    const size_t array_end = (end + 1) / 2 * 2 + 2 * (records_.size() + 1);
    const size_t window_end = offset + kRecordWindow;
    size_t size =
        (std::max(array_end, window_end) + granularity_ - 1) / granularity_ * granularity_;
    while (array_end > size - size / 512) size += granularity_;
    return size;
  }

  LogFileWriter writer_;
  uint64_t vlf_size_;
  uint32_t first_sequence_;
  Random& random_;
  uint32_t sequence_ = 0;
  uint64_t vlfs_written_ = 0;
  LogBlockBuilder block_;
  std::vector<size_t> records_;  // sizes of the records in the open block
  size_t granularity_ = 4096;
  size_t last_offset_ = 0;
  size_t last_end_ = 0;
  uint64_t block_offset_ = 0;
  uint64_t records_written_ = 0;
  uint64_t blocks_written_ = 0;
};

// ------------------------------------------------------------ the workload

const char* const kFirstNames[] = {"Anna",  "José",   "Mei",   "Olivia", "Lukas", "Zoë",
                                   "Noah",  "Fatima", "Søren", "Priya",  "Mateo", "Emma",
                                   "Jonas", "Aiko",   "Chloé", "Omar",   "Grace", "Liam"};
const char* const kFirstAscii[] = {"anna",  "jose",   "mei",   "olivia", "lukas", "zoe",
                                   "noah",  "fatima", "soren", "priya",  "mateo", "emma",
                                   "jonas", "aiko",   "chloe", "omar",   "grace", "liam"};
const char* const kLastNames[] = {"Müller", "García", "Chen",   "Smith",  "Novák", "Kowalski",
                                  "Rossi",  "Dubois", "Tanaka", "Okafor", "Silva", "Jensen"};
const char* const kLastAscii[] = {"muller", "garcia", "chen",   "smith",  "novak", "kowalski",
                                  "rossi",  "dubois", "tanaka", "okafor", "silva", "jensen"};
const char* const kDomains[] = {"example.com", "example.org", "mail.example.co.uk", "shop.io",
                                "mailbox.org"};
const char* const kAdjectives[] = {"Walnut",  "Compact", "Classic",  "Cordless", "Heavy-duty",
                                   "Organic", "Ceramic", "Foldable", "Vintage",  "Smart"};
const char* const kNouns[] = {"Desk Lamp", "Kettle",     "Backpack", "Notebook", "Drill",
                              "Tea Set",   "Headphones", "Chair",    "Umbrella", "Blender"};
const char* const kNotes[] = {"Leave at the door", "Gift wrap, please", "Call before delivery",
                              "Deliver after 5 pm", "Fragile"};
const char* const kWords[] = {"durable", "light",  "quiet",  "elegant", "robust", "handmade",
                              "simple",  "bright", "modern", "classic", "warm",   "precise"};

enum class Scenario {
  kAddCustomer,
  kAddProduct,
  kPlaceOrder,
  kUpdatePrices,
  kEditCustomer,
  kShipOrder,
  kCancelOrder,
  kArchiveAudit,
  kSingleAuditInsert,
  kSingleAuditDelete,
};

struct Transaction {
  uint64_t id = 0;
  uint32_t name = 0;
  std::deque<std::function<void()>> steps;
  std::vector<std::pair<Table*, uint32_t>> locks;
  // PlaceOrder: the order row and the running total in cents.
  uint32_t order_row = 0;
  int64_t total_cents = 0;
};

class Generator {
 public:
  Generator(const SampleOptions& options, const std::string& mdf, const std::string& ldf)
      : options_(options), mdf_path_(mdf), ldf_path_(ldf), random_(options.seed) {}

  SampleReport Run();

 private:
  // Schema and catalog.
  void DeclareTables();
  CatalogBuilder BuildCatalog() const;

  // Pages.
  uint32_t PageNumber(uint32_t index) const { return first_data_page_ + index; }
  uint32_t NewPage(Table& t, bool text);
  std::pair<uint32_t, uint16_t> Place(Table& t, const ByteBuffer& record, bool text);
  ByteBuffer& PageBytes(uint32_t index) { return pages_[index].page.bytes(); }
  ByteBuffer RowBytes(const Table& t, uint32_t row) {
    const RowRef& r = t.rows[row];
    const ByteBuffer& page = PageBytes(r.page);
    return ByteBuffer(page.begin() + r.offset, page.begin() + r.offset + r.length);
  }
  ByteReader RowReader(const Table& t, uint32_t row) {
    const RowRef& r = t.rows[row];
    return ByteReader(PageBytes(r.page).data() + r.offset, r.length);
  }

  // Log records.
  uint64_t NextTransactionId() { return next_transaction_id_++; }
  uint32_t NameIndex(const std::string& name);
  void BeginRecord(uint64_t id, const std::string& name);
  void SystemTransaction(const std::string& name, const std::vector<LogRecordBuilder>& records);
  void CountOperation(Table& t, uint8_t code, const Transaction& tx, const Lsn& lsn);
  uint32_t InsertRow(Transaction& tx, Table& t, const std::vector<Value>& values);
  void DeleteRow(Transaction& tx, Table& t, uint32_t row);
  void ModifyRow(Transaction& tx, Table& t, uint32_t row, uint16_t offset, const ByteBuffer& after);
  struct Range {
    uint16_t offset;
    ByteBuffer after;
    uint16_t before_length;
  };
  // A range that keeps its length.
  static Range Same(uint16_t offset, ByteBuffer after) {
    const uint16_t n = static_cast<uint16_t>(after.size());
    return {offset, std::move(after), n};
  }
  // Ranges of the row (offset and length before the change) replaced by new
  // bytes; false, and nothing written, when the row would not fit its page.
  bool ModifyColumns(Transaction& tx, Table& t, uint32_t row, std::vector<Range> ranges);
  bool Rewrite(Table& t, uint32_t row, const ByteBuffer& record);
  ByteBuffer KeyInfo(const Table& t, uint32_t row) const;
  void IndexRecord(Transaction& tx, int64_t id, const ByteBuffer& email, bool insert);
  Value LargeText(Transaction& tx, Table& t, const std::string& utf8);

  // Rows and values.
  std::optional<uint32_t> PickRow(Table& t, const std::function<bool(uint32_t)>& accept);
  void Lock(Transaction& tx, Table& t, uint32_t row);
  std::vector<Value> CustomerValues();
  std::vector<Value> ProductValues(Transaction& tx);
  std::vector<Value> AuditValues(const std::string& action, const std::string& detail);
  uint8_t OrderStatus(uint32_t row) {
    return RowReader(orders_, row)
        .U8(static_cast<size_t>(orders_.fixed_at[orders_.Column("Status")]));
  }
  int64_t ProductPriceCents(uint32_t row) {
    return RowReader(products_, row)
               .I64(static_cast<size_t>(products_.fixed_at[products_.Column("Price")])) /
           100;
  }

  // Transactions.
  void StartTransaction();
  Scenario ChooseScenario();
  void Plan(Transaction& tx, Scenario scenario);
  void PlanPlaceOrder(Transaction& tx);
  void Commit(std::list<Transaction>::iterator tx);
  bool WantMore() const {
    return report_.operations < options_.operations || (log_ && log_->size() < options_.log_bytes);
  }
  int64_t Now() const { return clock_millis_; }

  void WriteDataFile();

  SampleOptions options_;
  std::string mdf_path_;
  std::string ldf_path_;
  Random random_;
  SampleReport report_;
  std::unique_ptr<LogEmitter> log_;

  Table customers_, products_, orders_, lines_, audit_;
  std::vector<Table*> tables_;
  std::vector<std::vector<uint32_t>> lines_of_order_;
  size_t audit_cursor_ = 0;

  std::deque<DataPage> pages_;
  uint32_t first_data_page_ = 0;
  uint32_t allocation_units_page_ = 0;
  uint32_t object_values_page_ = 0;

  std::list<Transaction> open_;
  std::map<std::string, uint32_t> name_ids_;
  std::vector<uint64_t> operations_by_name_;
  uint64_t next_transaction_id_ = 0x3A1;
  uint64_t next_blob_id_ = 0x1D2A0000;
  int64_t clock_millis_ = (DaysFromCivil(2024, 3, 4) * 86400 + 8 * 3600 + 57 * 60 + 12) * 1000;
  uint64_t operations_since_statistics_ = 0;
};

uint32_t Generator::NameIndex(const std::string& name) {
  auto [it, added] =
      name_ids_.try_emplace(name, static_cast<uint32_t>(report_.transaction_names.size()));
  if (added) {
    report_.transaction_names.push_back(name);
    operations_by_name_.push_back(0);
  }
  return it->second;
}

// ------------------------------------------------------------------ schema

void Generator::DeclareTables() {
  customers_.name = "Customers";
  customers_.object_id = 245575913;
  customers_.pk_object_id = 261575970;
  customers_.columns = {
      {"CustomerId", Kind::kInt, 0, 0, 0, false, true},
      {"FirstName", Kind::kNVarChar, 100},
      {"LastName", Kind::kNVarChar, 100},
      {"Email", Kind::kVarChar, 120, 0, 0, true},
      {"BirthDate", Kind::kDate, 0, 0, 0, true},
      {"CreatedAt", Kind::kDateTime},
      {"IsActive", Kind::kBit},
      {"ExternalId", Kind::kGuid},
  };
  products_.name = "Products";
  products_.object_id = 277576027;
  products_.pk_object_id = 293576084;
  products_.columns = {
      {"ProductId", Kind::kInt, 0, 0, 0, false, true},
      {"Sku", Kind::kVarChar, 16},
      {"Name", Kind::kNVarChar, 200},
      {"Price", Kind::kMoney},
      {"Weight", Kind::kDecimal, 0, 9, 3, true},
      {"Stock", Kind::kInt},
      {"Photo", Kind::kVarBinary, 256, 0, 0, true},
      {"Description", Kind::kNVarChar, -1, 0, 0, true},
      {"UpdatedAt", Kind::kDateTime2},
  };
  orders_.name = "Orders";
  orders_.object_id = 309576141;
  orders_.pk_object_id = 325576198;
  orders_.columns = {
      {"OrderId", Kind::kInt, 0, 0, 0, false, true},
      {"CustomerId", Kind::kInt},
      {"OrderDate", Kind::kDateTime2},
      {"Status", Kind::kTinyInt},
      {"Total", Kind::kDecimal, 0, 12, 2},
      {"ShipBy", Kind::kDate, 0, 0, 0, true},
      {"Note", Kind::kNVarChar, 400, 0, 0, true},
  };
  lines_.name = "OrderLines";
  lines_.object_id = 341576255;
  lines_.pk_object_id = 357576312;
  lines_.columns = {
      {"OrderLineId", Kind::kBigInt, 0, 0, 0, false, true},
      {"OrderId", Kind::kInt},
      {"ProductId", Kind::kInt},
      {"Quantity", Kind::kSmallInt},
      {"UnitPrice", Kind::kMoney},
      {"Discount", Kind::kDecimal, 0, 5, 2},
  };
  audit_.name = "AuditLog";
  audit_.object_id = 373576369;
  audit_.heap = true;
  audit_.context = kCtxHeap;
  audit_.columns = {
      {"LoggedAt", Kind::kDateTime},
      {"Action", Kind::kVarChar, 40},
      {"Detail", Kind::kNVarChar, 800, 0, 0, true},
      {"Payload", Kind::kVarBinary, 64, 0, 0, true},
  };
  tables_ = {&customers_, &products_, &orders_, &lines_, &audit_};
  // Rowset and allocation unit ids 2^56 + (n << 16), n counted from 416 so
  // that no data page key is the id of a system table.
  uint64_t n = 416;
  auto next_id = [&n] { return kUnitBase | (n++ << 16); };
  for (Table* t : tables_) {
    Lay(*t);
    t->rowset_id = next_id();
    t->unit_id = next_id();
    t->lob_unit_id = next_id();
    t->report_index = report_.tables.size();
    SampleTable entry;
    entry.object_id = t->object_id;
    entry.name = t->name;
    entry.rowset_id = t->rowset_id;
    report_.tables.push_back(entry);
  }
  customers_.index_rowset_id = next_id();
  customers_.index_unit_id = next_id();
}

CatalogBuilder Generator::BuildCatalog() const {
  using namespace testing;
  CatalogBuilder b;
  b.Add(
      FileFields{.file_id = 1, .logical = "Shop", .physical = "C:\\Data\\sample.mdf", .status = 2});
  b.Add(FileFields{.file_id = 2,
                   .logical = "Shop_log",
                   .physical = "C:\\Data\\sample_log.ldf",
                   .status = 0x100002});
  auto first = [](const std::optional<uint32_t>& index, uint32_t base) {
    return PageRef{kFileId, index ? base + *index : 0, 0};
  };
  for (const Table* t : tables_) {
    b.Add(ObjectFields{.id = t->object_id,
                       .name = t->name,
                       .int_property = static_cast<int32_t>(t->columns.size())});
    for (size_t i = 0; i < t->columns.size(); ++i) {
      const ColumnShape& c = t->columns[i];
      const CatalogType type = CatalogTypeOf(c);
      ColumnFields f{
          .object_id = t->object_id,
          .column_id = static_cast<int32_t>(i + 1),
          .name = std::string(c.name),
          .system_type = type.system_type,
          .length = type.length,
          .nullable = c.nullable,
          .precision = type.precision,
          .scale = type.scale,
          .collation = (c.kind == Kind::kVarChar || c.kind == Kind::kNVarChar) ? kCollation : 0};
      if (c.identity) f.identity = IdentityBytes(1, 1, c.kind == Kind::kBigInt);
      b.Add(f);
      b.Add(RowsetColumnFields{.rowset_id = t->rowset_id,
                               .column_id = static_cast<int32_t>(i + 1),
                               .hobt_column_id = static_cast<int32_t>(i + 1),
                               .leaf_offset = static_cast<int16_t>(
                                   t->fixed_at[i] >= 0 ? t->fixed_at[i] : -(t->var_index[i] + 1)),
                               .null_bit = static_cast<int32_t>(i + 1)});
    }
    b.Add(RowsetFields{
        .rowset_id = t->rowset_id, .object_id = t->object_id, .index_id = t->heap ? 0 : 1});
    b.Add(AllocationUnitFields{.id = t->unit_id,
                               .owner = t->rowset_id,
                               .type = 1,
                               .first_page = first(t->first_data_page, first_data_page_)});
    b.Add(AllocationUnitFields{.id = t->lob_unit_id,
                               .owner = t->rowset_id,
                               .type = 2,
                               .first_page = first(t->first_text_page, first_data_page_)});
    if (t->heap) {
      b.Add(IndexFields{.object_id = t->object_id,
                        .index_id = 0,
                        .status = 0,
                        .index_type = 0,
                        .rowset_id = t->rowset_id});
      continue;
    }
    const std::string pk = "PK_" + t->name;
    b.Add(ObjectFields{.id = t->pk_object_id,
                       .name = pk,
                       .type = "PK",
                       .parent = t->object_id,
                       .int_property = 1});
    b.Add(IndexFields{.object_id = t->object_id,
                      .index_id = 1,
                      .name = pk,
                      .status = 0x29,
                      .index_type = 1,
                      .rowset_id = t->rowset_id});
    b.Add(IndexColumnFields{.object_id = t->object_id, .index_id = 1, .column_id = 1});
  }
  // The unique index on Customers.Email, with a rowset of its own.
  b.Add(RowsetFields{
      .rowset_id = customers_.index_rowset_id, .object_id = customers_.object_id, .index_id = 2});
  b.Add(AllocationUnitFields{
      .id = customers_.index_unit_id, .owner = customers_.index_rowset_id, .type = 1});
  b.Add(IndexFields{.object_id = customers_.object_id,
                    .index_id = 2,
                    .name = "IX_Customers_Email",
                    .status = 0x9,
                    .index_type = 2,
                    .rowset_id = customers_.index_rowset_id});
  b.Add(IndexColumnFields{.object_id = customers_.object_id,
                          .index_id = 2,
                          .column_id = customers_.Column("Email") + 1});
  // Foreign keys: (constraint, child table, child column, parent table).
  struct Key {
    int32_t id;
    const char* name;
    const Table* child;
    const char* column;
    const Table* parent;
  };
  const Key keys[] = {
      {405576483, "FK_Orders_Customers", &orders_, "CustomerId", &customers_},
      {437576597, "FK_OrderLines_Orders", &lines_, "OrderId", &orders_},
      {469576711, "FK_OrderLines_Products", &lines_, "ProductId", &products_},
  };
  for (const Key& k : keys) {
    b.Add(ObjectFields{
        .id = k.id, .name = std::string(k.name), .type = "F ", .parent = k.child->object_id});
    b.Add(ReferenceFields{.ref_class = 27, .v1 = k.id, .v9 = k.parent->object_id, .v13 = 1});
    b.Add(ReferenceFields{.ref_class = 28,
                          .v1 = k.id,
                          .v5 = 1,
                          .v9 = k.child->object_id,
                          .v13 = k.child->Column(k.column) + 1});
    b.Add(
        ReferenceFields{.ref_class = 29, .v1 = k.id, .v5 = 1, .v9 = k.parent->object_id, .v13 = 1});
  }
  b.Add(ObjectFields{.id = 501576825,
                     .name = "DF_OrderLines_Discount",
                     .type = "D ",
                     .parent = lines_.object_id,
                     .int_property = lines_.Column("Discount") + 1});
  b.Add(ObjectValueFields{.object_id = 501576825, .image = Utf16("((0))")});
  return b;
}

// ------------------------------------------------------------------- pages

uint32_t Generator::NewPage(Table& t, bool text) {
  const uint32_t index = static_cast<uint32_t>(pages_.size());
  const uint32_t number = PageNumber(index);
  DataPage& p = pages_.emplace_back();
  const uint64_t unit = text ? t.lob_unit_id : t.unit_id;
  p.page.Set8(0, 1).Type(text ? 3 : 1).PageId(static_cast<int32_t>(number), kFileId);
  p.page.ObjectId(static_cast<int32_t>((unit - kUnitBase) >> 16)).Set16(6, kUnitIndexId);
  if (!text) p.page.Set16(14, t.fixed_end);
  std::optional<uint32_t>& current = text ? t.text_page : t.data_page;
  std::optional<uint32_t>& first = text ? t.first_text_page : t.first_data_page;
  const bool first_page = !first.has_value();
  if (current && !text && !t.heap) {
    // The leaf pages of a clustered index are chained.
    pages_[*current].page.Set32(16, number).Set16(20, kFileId);
    p.page.Set32(8, PageNumber(*current)).Set16(12, kFileId);
  }
  current = index;
  if (first_page) first = index;
  ++t.pages;

  // The allocation is a system transaction of its own inside the user's.
  std::vector<LogRecordBuilder> records;
  records.push_back(LogRecordBuilder(kOpSetBits, kCtxPfs).Page(kFileId, 1, 0));
  if (index % 8 == 0) records.push_back(LogRecordBuilder(kOpSetBits, kCtxGam).Page(kFileId, 2, 0));
  // Formatting the page: a row-change context, but no rowset (0 at 48).
  records.push_back(LogRecordBuilder(kOpFormatPage, kCtxClustered).Page(kFileId, number, 0));
  if (first_page) {
    records.push_back(LogRecordBuilder(kSampleModifyRow, kCtxClustered)
                          .Rowset(kAllocationUnitsRowset)
                          .Page(kFileId, allocation_units_page_, 0)
                          .Fields({LittleEndian(0, 6), LittleEndian(number, 6)}));
  }
  const char* name = first_page
                         ? (text ? "AllocFirstPage" : "Allocate Root")
                         : (text ? "AllocMixedExtent" : (t.heap ? "AllocHeapPage" : "SplitPage"));
  SystemTransaction(name, records);
  return index;
}

std::pair<uint32_t, uint16_t> Generator::Place(Table& t, const ByteBuffer& record, bool text) {
  std::optional<uint32_t>& current = text ? t.text_page : t.data_page;
  auto fits = [&](uint32_t index) {
    const DataPage& p = pages_[index];
    return p.used + record.size() + 2 * (p.slots + 1) <= kPageBytes;
  };
  if (!current || !fits(*current)) NewPage(t, text);
  // Records go to the page's free space (which rows that grew move to as
  // well), slots at the page end.
  DataPage& p = pages_[*current];
  const uint16_t slot = p.slots++;
  p.page.SetBytes(p.used, record).SetSlot(slot, p.used);
  p.used = static_cast<uint16_t>(p.used + record.size());
  p.page.Set16(30, p.used).SlotCount(static_cast<int16_t>(p.slots));
  return {*current, slot};
}

// -------------------------------------------------------------- log records

void Generator::BeginRecord(uint64_t id, const std::string& name) {
  const Instant t = InstantOf(Now());
  log_->Add(LogRecordBuilder::Begin(id, name, static_cast<uint32_t>(t.millis * 3 / 10),
                                    static_cast<uint32_t>(t.days - kDays1900)));
  ++report_.begin_records;
}

void Generator::SystemTransaction(const std::string& name,
                                  const std::vector<LogRecordBuilder>& records) {
  const uint64_t id = NextTransactionId();
  BeginRecord(id, name);
  for (LogRecordBuilder r : records) log_->Add(r.Transaction(id));
  log_->Add(LogRecordBuilder::Commit(id));
  ++report_.system_transactions;
}

void Generator::CountOperation(Table& t, uint8_t code, const Transaction& tx, const Lsn& lsn) {
  SampleTable& entry = report_.tables[t.report_index];
  switch (code) {
    case kSampleInsert:
      ++entry.inserts;
      break;
    case kSampleDelete:
      ++entry.deletes;
      break;
    case kSampleModifyRow:
      ++entry.modify_rows;
      break;
    default:
      ++entry.modify_columns;
      break;
  }
  ++report_.operations;
  ++operations_by_name_[tx.name];
  ++operations_since_statistics_;
  if (options_.list_operations) {
    report_.operation_list.push_back({static_cast<uint32_t>(t.report_index), tx.name, code,
                                      lsn.vlf_sequence, lsn.block_offset, lsn.record_index});
  }
}

uint32_t Generator::InsertRow(Transaction& tx, Table& t, const std::vector<Value>& values) {
  const ByteBuffer record = EncodeRow(t, values);
  auto [page, slot] = Place(t, record, false);
  RowRef r;
  r.page = page;
  r.slot = slot;
  {
    ByteReader p(PageBytes(page));
    r.offset = p.U16(kPageBytes - 2 - 2 * slot);
  }
  r.length = static_cast<uint16_t>(record.size());
  const ColumnShape& first = t.columns[0];
  if (first.identity) r.id = t.next_identity - 1;
  r.live_position = static_cast<uint32_t>(t.live.size());
  const uint32_t row = static_cast<uint32_t>(t.rows.size());
  r.insert_operation =
      options_.list_operations ? static_cast<int64_t>(report_.operation_list.size()) : -1;
  t.rows.push_back(r);
  t.live.push_back(row);
  LogRecordBuilder rec = LogRecordBuilder::Insert(t.rowset_id, tx.id, record);
  rec.Context(t.context).Page(kFileId, PageNumber(page), slot);
  CountOperation(t, kSampleInsert, tx, log_->Add(rec));
  return row;
}

void Generator::DeleteRow(Transaction& tx, Table& t, uint32_t row) {
  RowRef& r = t.rows[row];
  const ByteBuffer record = RowBytes(t, row);
  LogRecordBuilder rec = LogRecordBuilder::Delete(t.rowset_id, tx.id, record);
  rec.Context(t.heap ? kCtxHeap : kCtxMarkAsGhost).Page(kFileId, PageNumber(r.page), r.slot);
  CountOperation(t, kSampleDelete, tx, log_->Add(rec));
  // The row stays on its page as a ghost record (record type 6).
  ByteBuffer& page = PageBytes(r.page);
  page[r.offset] = static_cast<uint8_t>((page[r.offset] & ~0x0E) | (6 << 1));
  ++pages_[r.page].ghosts;
  r.live = false;
  const uint32_t moved = t.live.back();
  t.live[r.live_position] = moved;
  t.rows[moved].live_position = r.live_position;
  t.live.pop_back();
}

ByteBuffer Generator::KeyInfo(const Table& t, uint32_t row) const {
  // A copy of the row's key as the server logs it beside the change; the
  // reader does not interpret it.
  ByteBuffer key(22, 0);
  PutUnsigned(key, 0, 0x0C00, 2);
  PutUnsigned(key, 2, t.columns.size(), 2);
  PutUnsigned(key, 4, static_cast<uint64_t>(t.rows[row].id), 8);
  PutUnsigned(key, 12, t.rows[row].slot, 2);
  return key;
}

// A modify record: the fixed part, the field count at 62, the lengths from
// 64, then the fields, each after the first starting on a multiple of 4
// bytes from the record start, as the server pads them.
ByteBuffer PaddedFieldsRecord(const LogRecordBuilder& fixed,
                              const std::vector<ByteBuffer>& fields) {
  ByteBuffer out = fixed.Build();
  out.resize(64);
  PutUnsigned(out, 62, fields.size(), 2);
  for (size_t k = 0; k < fields.size(); ++k) PutUnsigned(out, 64 + 2 * k, fields[k].size(), 2);
  for (const ByteBuffer& field : fields) {
    out.insert(out.end(), field.begin(), field.end());
    out.resize((out.size() + 3) / 4 * 4, 0);
  }
  return out;
}

void Generator::ModifyRow(Transaction& tx, Table& t, uint32_t row, uint16_t offset,
                          const ByteBuffer& after) {
  RowRef& r = t.rows[row];
  ByteBuffer& page = PageBytes(r.page);
  const auto at = page.begin() + r.offset + offset;
  ByteBuffer before(at, at + static_cast<std::ptrdiff_t>(after.size()));
  std::copy(after.begin(), after.end(), at);
  r.changed = true;
  // Fields: the bytes at the offset before the change and after it, the
  // lock range and the key, then two empty ones.
  LogRecordBuilder fixed(kSampleModifyRow, t.context);
  fixed.Rowset(t.rowset_id).Transaction(tx.id).Page(kFileId, PageNumber(r.page), r.slot);
  fixed.Set16(56, offset);
  const ByteBuffer record = PaddedFieldsRecord(
      fixed, {before, after, LittleEndian(0x0101000001000000ull, 8), KeyInfo(t, row), {}, {}});
  CountOperation(t, kSampleModifyRow, tx, log_->Add(record));
}

bool Generator::ModifyColumns(Transaction& tx, Table& t, uint32_t row, std::vector<Range> ranges) {
  RowRef& r = t.rows[row];
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.offset < b.offset; });
  // The row after the change: each range's bytes replaced, the rest moved.
  const ByteBuffer old_row = RowBytes(t, row);
  ByteBuffer new_row;
  std::vector<uint16_t> after_offsets;
  size_t in = 0;
  for (const Range& range : ranges) {
    if (range.offset < in || range.offset + range.before_length > old_row.size()) return false;
    new_row.insert(new_row.end(), old_row.begin() + in, old_row.begin() + range.offset);
    after_offsets.push_back(static_cast<uint16_t>(new_row.size()));
    new_row.insert(new_row.end(), range.after.begin(), range.after.end());
    in = range.offset + range.before_length;
  }
  new_row.insert(new_row.end(), old_row.begin() + in, old_row.end());
  if (!Rewrite(t, row, new_row)) return false;
  // Field 0: per range its offset in the row before and after the change;
  // field 1: the lengths before; fields 2 and 3: lock range and key; then
  // per range the bytes before and the bytes after.
  ByteBuffer pairs, lengths;
  std::vector<ByteBuffer> values;
  for (size_t j = 0; j < ranges.size(); ++j) {
    PutUnsigned(pairs, 4 * j, ranges[j].offset, 2);
    PutUnsigned(pairs, 4 * j + 2, after_offsets[j], 2);
    PutUnsigned(lengths, 2 * j, ranges[j].before_length, 2);
    values.emplace_back(old_row.begin() + ranges[j].offset,
                        old_row.begin() + ranges[j].offset + ranges[j].before_length);
    values.push_back(ranges[j].after);
  }
  ByteBuffer key = KeyInfo(t, row);
  if (ranges.size() > 1) key.resize(26, 0);
  std::vector<ByteBuffer> fields = {pairs, lengths, LittleEndian(0x0101000001000000ull, 8), key};
  fields.insert(fields.end(), values.begin(), values.end());
  LogRecordBuilder fixed(kSampleModifyColumns, t.context);
  fixed.Rowset(t.rowset_id).Transaction(tx.id).Page(kFileId, PageNumber(r.page), r.slot);
  CountOperation(t, kSampleModifyColumns, tx, log_->Add(PaddedFieldsRecord(fixed, fields)));
  return true;
}

bool Generator::Rewrite(Table& t, uint32_t row, const ByteBuffer& record) {
  RowRef& r = t.rows[row];
  DataPage& p = pages_[r.page];
  ByteBuffer& page = p.page.bytes();
  if (record.size() > r.length) {
    // A longer row moves to the page's free space, as the server compacts
    // it; the slot follows it.
    if (p.used + record.size() + 2 * p.slots > kPageBytes) return false;
    r.offset = p.used;
    p.used = static_cast<uint16_t>(p.used + record.size());
    p.page.SetSlot(r.slot, r.offset);
    p.page.Set16(30, p.used);
  }
  std::copy(record.begin(), record.end(), page.begin() + r.offset);
  r.length = static_cast<uint16_t>(record.size());
  r.changed = true;
  return true;
}

void Generator::IndexRecord(Transaction& tx, int64_t id, const ByteBuffer& email, bool insert) {
  // A leaf row of IX_Customers_Email: index record status, the fixed part
  // with the clustered key, the address.
  ByteBuffer record{0x26, 0};
  PutUnsigned(record, 2, 8, 2);
  PutUnsigned(record, 4, static_cast<uint64_t>(id), 4);
  record.insert(record.end(), email.begin(), email.end());
  const uint64_t rowset = customers_.index_rowset_id;
  LogRecordBuilder rec = insert ? LogRecordBuilder::Insert(rowset, tx.id, record)
                                : LogRecordBuilder::Delete(rowset, tx.id, record);
  rec.Context(insert ? kCtxIndexLeaf : kCtxMarkAsGhost);
  log_->Add(rec);
}

Value Generator::LargeText(Transaction& tx, Table& t, const std::string& utf8) {
  const ByteBuffer bytes = Unicode(utf8);
  if (bytes.size() <= kInRowLimit) return Of(bytes);
  // Off the row: data nodes on the table's text pages, and an in-row root
  // with one link per node (the links' sizes are cumulative).
  std::vector<testing::RootLink> links;
  const uint64_t blob_id = next_blob_id_++;
  for (size_t at = 0; at < bytes.size(); at += kLobChunk) {
    const size_t n = std::min(kLobChunk, bytes.size() - at);
    const ByteBuffer record = testing::TextRecordBytes(
        testing::DataNode(ByteBuffer(bytes.begin() + at, bytes.begin() + at + n), blob_id << 16));
    auto [page, slot] = Place(t, record, true);
    log_->Add(LogRecordBuilder::Insert(t.lob_unit_id, tx.id, record)
                  .Context(kCtxText)
                  .Page(kFileId, PageNumber(page), slot));
    links.push_back({{kFileId, PageNumber(page), slot}, static_cast<int32_t>(at + n)});
  }
  return {false, true, testing::InRowRootBytes(links)};
}

// ------------------------------------------------------------------ values

std::optional<uint32_t> Generator::PickRow(Table& t, const std::function<bool(uint32_t)>& accept) {
  for (int attempt = 0; attempt < 12 && !t.live.empty(); ++attempt) {
    const uint32_t row = t.live[random_.Below(t.live.size())];
    if (!t.rows[row].locked && accept(row)) return row;
  }
  return std::nullopt;
}

void Generator::Lock(Transaction& tx, Table& t, uint32_t row) {
  t.rows[row].locked = true;
  tx.locks.emplace_back(&t, row);
}

std::vector<Value> Generator::CustomerValues() {
  const size_t first = random_.Below(std::size(kFirstNames));
  const size_t last = random_.Below(std::size(kLastNames));
  std::vector<Value> v(customers_.columns.size());
  v[0] = Of(LittleEndian(static_cast<uint64_t>(customers_.next_identity++), 4));
  v[1] = Of(Unicode(kFirstNames[first]));
  v[2] = Of(Unicode(kLastNames[last]));
  if (random_.Chance(88)) {
    const std::string email = std::string(kFirstAscii[first]) + "." + kLastAscii[last] +
                              std::to_string(random_.Between(10, 99)) + "@" +
                              random_.Pick(kDomains);
    v[3] = Of(Ascii(email));
  }
  if (random_.Chance(75))
    v[4] = Of(DateBytes(DaysFromCivil(random_.Between(1950, 2005), random_.Between(1, 12),
                                      random_.Between(1, 28))));
  v[5] = Of(DateTimeBytes(Now()));
  v[6] = Of({static_cast<uint8_t>(random_.Chance(92) ? 1 : 0)});
  ByteBuffer guid;
  PutUnsigned(guid, 0, random_.Next(), 8);
  PutUnsigned(guid, 8, random_.Next(), 8);
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);
  v[7] = Of(guid);
  return v;
}

std::vector<Value> Generator::ProductValues(Transaction& tx) {
  std::vector<Value> v(products_.columns.size());
  const int64_t id = products_.next_identity++;
  v[0] = Of(LittleEndian(static_cast<uint64_t>(id), 4));
  char sku[32];
  std::snprintf(sku, sizeof sku, "SKU-%06lld", static_cast<long long>(100000 + id * 7));
  v[1] = Of(Ascii(sku));
  v[2] = Of(Unicode(std::string(random_.Pick(kAdjectives)) + " " + random_.Pick(kNouns)));
  v[3] = Of(MoneyBytes(random_.Between(299, 89900)));
  if (random_.Chance(85)) v[4] = Of(DecimalBytes(random_.Between(50, 25000), 9));
  v[5] = Of(LittleEndian(static_cast<uint64_t>(random_.Between(0, 500)), 4));
  if (random_.Chance(40)) {
    ByteBuffer photo = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    const int64_t n = random_.Between(8, 40);
    for (int64_t i = 0; i < n; ++i) photo.push_back(static_cast<uint8_t>(random_.Next()));
    v[6] = Of(photo);
  }
  if (random_.Chance(80)) {
    // Mostly a sentence or two; now and then a long text stored off the row.
    const int64_t words = random_.Chance(15) ? random_.Between(900, 2200) : random_.Between(6, 40);
    std::string text = "A";
    for (int64_t i = 0; i < words; ++i) text += std::string(" ") + random_.Pick(kWords);
    text += ".";
    v[7] = LargeText(tx, products_, text);
  }
  v[8] = Of(DateTime2Bytes(Now()));
  return v;
}

std::vector<Value> Generator::AuditValues(const std::string& action, const std::string& detail) {
  std::vector<Value> v(audit_.columns.size());
  v[0] = Of(DateTimeBytes(Now()));
  v[1] = Of(Ascii(action));
  if (!detail.empty()) v[2] = Of(Unicode(detail));
  if (random_.Chance(30)) {
    ByteBuffer payload;
    const int64_t n = random_.Between(4, 32);
    for (int64_t i = 0; i < n; ++i) payload.push_back(static_cast<uint8_t>(random_.Next()));
    v[3] = Of(payload);
  }
  return v;
}

// ------------------------------------------------------------ transactions

Scenario Generator::ChooseScenario() {
  if (products_.live.size() < 4) return Scenario::kAddProduct;
  if (customers_.live.size() < 3) return Scenario::kAddCustomer;
  const uint64_t roll = random_.Below(100);
  if (roll < 34) return Scenario::kPlaceOrder;
  if (roll < 46) return Scenario::kAddCustomer;
  if (roll < 50) return Scenario::kAddProduct;
  if (roll < 58) return Scenario::kUpdatePrices;
  if (roll < 65) return Scenario::kEditCustomer;
  if (roll < 76) return Scenario::kShipOrder;
  if (roll < 82) return Scenario::kCancelOrder;
  if (roll < 85) return Scenario::kArchiveAudit;
  if (roll < 96) return Scenario::kSingleAuditInsert;
  return Scenario::kSingleAuditDelete;
}

void Generator::StartTransaction() {
  clock_millis_ += random_.Between(40, 3500);
  Transaction& tx = open_.emplace_back();
  tx.id = NextTransactionId();
  Scenario scenario = ChooseScenario();
  Plan(tx, scenario);
  if (tx.steps.empty()) {
    // Nothing to do for the chosen kind (no row to take): a new customer.
    Plan(tx, Scenario::kAddCustomer);
  }
}

void Generator::Plan(Transaction& tx, Scenario scenario) {
  auto name = [&](const char* n) { tx.name = NameIndex(n); };
  auto begin = [&] { BeginRecord(tx.id, report_.transaction_names[tx.name]); };
  switch (scenario) {
    case Scenario::kAddCustomer: {
      name("AddCustomer");
      begin();
      tx.steps.push_back([this, &tx] {
        const uint32_t row = InsertRow(tx, customers_, CustomerValues());
        Lock(tx, customers_, row);
        const ByteBuffer bytes = RowBytes(customers_, row);
        const auto [start, end] =
            VariableSpan(customers_, bytes, customers_.var_index[customers_.Column("Email")]);
        if (end > start)
          IndexRecord(tx, customers_.rows[row].id,
                      ByteBuffer(bytes.begin() + start, bytes.begin() + end), true);
      });
      if (random_.Chance(50))
        tx.steps.push_back(
            [this, &tx] { InsertRow(tx, audit_, AuditValues("customer.added", "")); });
      return;
    }
    case Scenario::kAddProduct: {
      name("AddProduct");
      begin();
      const int64_t count = random_.Between(1, 3);
      for (int64_t i = 0; i < count; ++i)
        tx.steps.push_back(
            [this, &tx] { Lock(tx, products_, InsertRow(tx, products_, ProductValues(tx))); });
      return;
    }
    case Scenario::kPlaceOrder:
      PlanPlaceOrder(tx);
      return;
    case Scenario::kUpdatePrices: {
      const int64_t count = random_.Between(1, 4);
      std::vector<uint32_t> rows;
      for (int64_t i = 0; i < count; ++i) {
        std::optional<uint32_t> row = PickRow(products_, [](uint32_t) { return true; });
        if (!row) continue;
        Lock(tx, products_, *row);
        rows.push_back(*row);
      }
      if (rows.empty()) return;
      name("UpdatePrices");
      begin();
      for (uint32_t row : rows) {
        tx.steps.push_back([this, &tx, row] {
          const int64_t old_cents = ProductPriceCents(row);
          int64_t cents = std::max<int64_t>(99, old_cents * random_.Between(90, 115) / 100);
          if (cents == old_cents) cents += 10;
          const uint16_t price_at =
              static_cast<uint16_t>(products_.fixed_at[products_.Column("Price")]);
          if (random_.Chance(50)) {
            ModifyRow(tx, products_, row, price_at, MoneyBytes(cents));
          } else {
            const uint16_t updated_at =
                static_cast<uint16_t>(products_.fixed_at[products_.Column("UpdatedAt")]);
            ModifyColumns(
                tx, products_, row,
                {Same(price_at, MoneyBytes(cents)), Same(updated_at, DateTime2Bytes(Now()))});
          }
        });
      }
      return;
    }
    case Scenario::kEditCustomer: {
      std::optional<uint32_t> row = PickRow(customers_, [](uint32_t) { return true; });
      if (!row) return;
      Lock(tx, customers_, *row);
      name("EditCustomer");
      begin();
      const uint32_t r = *row;
      tx.steps.push_back([this, &tx, r] {
        Table& t = customers_;
        const uint16_t active_at = static_cast<uint16_t>(t.fixed_at[t.Column("IsActive")]);
        const ByteBuffer toggled = {static_cast<uint8_t>(RowReader(t, r).U8(active_at) ^ 1)};
        const ByteBuffer row = RowBytes(t, r);
        const size_t email_index = static_cast<size_t>(t.var_index[t.Column("Email")]);
        const auto [start, end] = VariableSpan(t, row, email_index);
        if (end <= start || random_.Chance(30)) {
          ModifyRow(tx, t, r, active_at, toggled);
          return;
        }
        // A new address, often of another length: the address, its end
        // offset (the last stored variable column's) and IsActive change.
        const std::string old_email(row.begin() + start, row.begin() + end);
        std::string email = old_email.substr(0, old_email.find('@') + 1) + random_.Pick(kDomains);
        if (email == old_email) email = "x" + email;
        const uint16_t entry_at = static_cast<uint16_t>(
            t.nullBitmapOffset() + (t.columns.size() + 7) / 8 + 2 + 2 * email_index);
        const uint16_t entry = ByteReader(row).U16(entry_at);
        const ByteBuffer new_entry =
            LittleEndian(static_cast<uint16_t>(entry + email.size() - old_email.size()), 2);
        if (!ModifyColumns(tx, t, r,
                           {Same(active_at, toggled),
                            Same(entry_at, new_entry),
                            {start, Ascii(email), static_cast<uint16_t>(end - start)}})) {
          ModifyRow(tx, t, r, active_at, toggled);
          return;
        }
        IndexRecord(tx, t.rows[r].id, Ascii(old_email), false);
        IndexRecord(tx, t.rows[r].id, Ascii(email), true);
      });
      return;
    }
    case Scenario::kShipOrder: {
      std::optional<uint32_t> row =
          PickRow(orders_, [this](uint32_t r) { return OrderStatus(r) == 1; });
      if (!row) return;
      Lock(tx, orders_, *row);
      name("ShipOrder");
      begin();
      const uint32_t r = *row;
      tx.steps.push_back([this, &tx, r] {
        Table& t = orders_;
        // ShipBy from NULL to a date: its bytes and its NULL bit change.
        const int ship = t.Column("ShipBy");
        const uint16_t bitmap_at = static_cast<uint16_t>(t.nullBitmapOffset() + ship / 8);
        const uint8_t bits = RowReader(t, r).U8(bitmap_at);
        ModifyColumns(tx, t, r,
                      {Same(static_cast<uint16_t>(t.fixed_at[ship]),
                            DateBytes(InstantOf(Now()).days + random_.Between(1, 5))),
                       Same(bitmap_at, {static_cast<uint8_t>(bits & ~(1 << (ship % 8)))})});
      });
      tx.steps.push_back([this, &tx, r] {
        ModifyRow(tx, orders_, r, static_cast<uint16_t>(orders_.fixed_at[orders_.Column("Status")]),
                  {2});
      });
      if (random_.Chance(40))
        tx.steps.push_back([this, &tx, r] {
          InsertRow(tx, audit_,
                    AuditValues("order.shipped", "Order " + std::to_string(orders_.rows[r].id)));
        });
      return;
    }
    case Scenario::kCancelOrder: {
      std::optional<uint32_t> row =
          PickRow(orders_, [this](uint32_t r) { return OrderStatus(r) <= 1; });
      if (!row) return;
      Lock(tx, orders_, *row);
      name("CancelOrder");
      begin();
      const uint32_t r = *row;
      for (uint32_t line : lines_of_order_[r]) {
        if (!lines_.rows[line].live) continue;
        tx.steps.push_back([this, &tx, line] { DeleteRow(tx, lines_, line); });
      }
      tx.steps.push_back([this, &tx, r] { DeleteRow(tx, orders_, r); });
      tx.steps.push_back([this, &tx, r] {
        InsertRow(tx, audit_,
                  AuditValues("order.cancelled", "Order " + std::to_string(orders_.rows[r].id)));
      });
      return;
    }
    case Scenario::kArchiveAudit: {
      std::vector<uint32_t> rows;
      const int64_t count = random_.Between(2, 6);
      while (audit_cursor_ < audit_.rows.size() && static_cast<int64_t>(rows.size()) < count) {
        const uint32_t row = static_cast<uint32_t>(audit_cursor_++);
        if (!audit_.rows[row].live || audit_.rows[row].locked) continue;
        Lock(tx, audit_, row);
        rows.push_back(row);
      }
      if (rows.empty()) return;
      name("ArchiveAudit");
      begin();
      for (uint32_t row : rows)
        tx.steps.push_back([this, &tx, row] { DeleteRow(tx, audit_, row); });
      return;
    }
    case Scenario::kSingleAuditInsert: {
      name("user_transaction");
      begin();
      tx.steps.push_back([this, &tx] {
        const char* actions[] = {"login", "logout", "report.viewed", "password.changed"};
        InsertRow(tx, audit_, AuditValues(random_.Pick(actions), random_.Chance(50) ? "web" : ""));
      });
      return;
    }
    case Scenario::kSingleAuditDelete: {
      std::optional<uint32_t> row = PickRow(audit_, [](uint32_t) { return true; });
      if (!row) return;
      Lock(tx, audit_, *row);
      name("user_transaction");
      begin();
      const uint32_t r = *row;
      tx.steps.push_back([this, &tx, r] { DeleteRow(tx, audit_, r); });
      return;
    }
  }
}

void Generator::PlanPlaceOrder(Transaction& tx) {
  std::optional<uint32_t> customer = PickRow(customers_, [](uint32_t) { return true; });
  if (!customer) return;
  tx.name = NameIndex("PlaceOrder");
  BeginRecord(tx.id, "PlaceOrder");
  const uint32_t customer_row = *customer;
  tx.steps.push_back([this, &tx, customer_row] {
    std::vector<Value> v(orders_.columns.size());
    v[0] = Of(LittleEndian(static_cast<uint64_t>(orders_.next_identity++), 4));
    v[1] = Of(LittleEndian(static_cast<uint64_t>(customers_.rows[customer_row].id), 4));
    v[2] = Of(DateTime2Bytes(Now()));
    v[3] = Of({0});
    v[4] = Of(DecimalBytes(0, 12));
    if (random_.Chance(30)) v[6] = Of(Unicode(random_.Pick(kNotes)));
    tx.order_row = InsertRow(tx, orders_, v);
    Lock(tx, orders_, tx.order_row);
    if (lines_of_order_.size() <= tx.order_row) lines_of_order_.resize(tx.order_row + 1);
  });
  const int64_t count = random_.Between(1, 4);
  for (int64_t i = 0; i < count; ++i) {
    tx.steps.push_back([this, &tx] {
      std::optional<uint32_t> product = PickRow(products_, [](uint32_t) { return true; });
      const uint32_t p = product ? *product : products_.live[0];
      const int64_t quantity = random_.Between(1, 5);
      const int64_t price = ProductPriceCents(p);
      const int64_t discount = random_.Chance(20) ? (random_.Chance(50) ? 500 : 1000) : 0;
      std::vector<Value> v(lines_.columns.size());
      v[0] = Of(LittleEndian(static_cast<uint64_t>(lines_.next_identity++), 8));
      v[1] = Of(LittleEndian(static_cast<uint64_t>(orders_.rows[tx.order_row].id), 4));
      v[2] = Of(LittleEndian(static_cast<uint64_t>(products_.rows[p].id), 4));
      v[3] = Of(LittleEndian(static_cast<uint64_t>(quantity), 2));
      v[4] = Of(MoneyBytes(price));
      v[5] = Of(DecimalBytes(discount / 100, 5));
      const uint32_t line = InsertRow(tx, lines_, v);
      lines_of_order_[tx.order_row].push_back(line);
      tx.total_cents += quantity * price * (10000 - discount) / 10000;
      // Stock goes down, unless another open transaction holds the product.
      const uint16_t stock_at =
          static_cast<uint16_t>(products_.fixed_at[products_.Column("Stock")]);
      const int32_t stock = RowReader(products_, p).I32(stock_at);
      if (product && stock > 0 && random_.Chance(40)) {
        Lock(tx, products_, p);
        ModifyRow(tx, products_, p, stock_at,
                  LittleEndian(static_cast<uint32_t>(std::max<int64_t>(0, stock - quantity)), 4));
      }
    });
  }
  tx.steps.push_back([this, &tx] {
    ModifyColumns(tx, orders_, tx.order_row,
                  {Same(static_cast<uint16_t>(orders_.fixed_at[orders_.Column("Status")]), {1}),
                   Same(static_cast<uint16_t>(orders_.fixed_at[orders_.Column("Total")]),
                        DecimalBytes(tx.total_cents, 12))});
  });
  if (random_.Chance(30))
    tx.steps.push_back([this, &tx] {
      InsertRow(
          tx, audit_,
          AuditValues("order.placed", "Order " + std::to_string(orders_.rows[tx.order_row].id)));
    });
}

void Generator::Commit(std::list<Transaction>::iterator tx) {
  log_->Add(LogRecordBuilder::Commit(tx->id));
  for (auto& [table, row] : tx->locks) table->rows[row].locked = false;
  ++report_.user_transactions;
  open_.erase(tx);
  // Group commit: several commits may share a block.
  if (random_.Chance(35)) log_->Flush();
}

// ------------------------------------------------------------------- run

void Generator::WriteDataFile() {
  std::map<int32_t, std::vector<uint32_t>> pages_of;
  const testing::DataFileBuilder catalog = BuildCatalog().Build(&pages_of);
  ByteBuffer bytes = catalog.Build();
  if (bytes.size() != static_cast<size_t>(first_data_page_) * kPageBytes)
    throw std::logic_error("catalog page count changed");
  for (DataPage& p : pages_) {
    p.page.Set16(58, p.ghosts);
    p.page.Set16(28, static_cast<uint16_t>(kPageBytes - p.used - 2 * p.slots));
  }
  std::ofstream out(mdf_path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  for (const DataPage& p : pages_)
    out.write(reinterpret_cast<const char*>(p.page.bytes().data()),
              static_cast<std::streamsize>(kPageBytes));
  if (!out) throw std::runtime_error("cannot write " + mdf_path_);
  report_.data_pages = first_data_page_ + pages_.size();
}

SampleReport Generator::Run() {
  DeclareTables();
  {
    // The catalog's page count does not depend on the first pages.
    std::map<int32_t, std::vector<uint32_t>> pages_of;
    const testing::DataFileBuilder catalog = BuildCatalog().Build(&pages_of);
    first_data_page_ = static_cast<uint32_t>(catalog.Build().size() / kPageBytes);
    allocation_units_page_ = pages_of.at(testing::kSysAllocationUnits).front();
    object_values_page_ = pages_of.at(testing::kSysObjectValues).front();
  }
  uint64_t vlf_size = options_.vlf_size;
  if (vlf_size == 0)
    vlf_size =
        options_.log_bytes >= (256u << 20) || options_.operations >= 1000000 ? (64u << 20) : 65536;
  // Room after the VLF's first 8192 bytes for a block of the largest record
  // (a text chunk); blocks are cut to the room a VLF has left.
  vlf_size = std::max<uint64_t>((vlf_size + 8191) / 8192 * 8192, 32768);
  log_ = std::make_unique<LogEmitter>(ldf_path_, vlf_size, 41, random_);

  while (WantMore() || !open_.empty()) {
    if (WantMore() && (open_.empty() || (open_.size() < 3 && random_.Chance(30)))) {
      StartTransaction();
    } else {
      auto tx = open_.begin();
      std::advance(tx, static_cast<std::ptrdiff_t>(random_.Below(open_.size())));
      if (tx->steps.empty()) {
        Commit(tx);
      } else {
        std::function<void()> step = std::move(tx->steps.front());
        tx->steps.pop_front();
        step();
      }
    }
    if (operations_since_statistics_ >= 40 && random_.Chance(10)) {
      operations_since_statistics_ = 0;
      const bool create = random_.Chance(25);
      std::vector<LogRecordBuilder> records;
      if (create) {
        records.push_back(LogRecordBuilder::Insert(kObjectValuesRowset, 0, ByteBuffer(40, 0x11))
                              .Page(kFileId, object_values_page_, 1));
      } else {
        records.push_back(LogRecordBuilder(kSampleModifyRow, kCtxClustered)
                              .Rowset(kObjectValuesRowset)
                              .Page(kFileId, object_values_page_, 0)
                              .Fields({ByteBuffer(8, 1), ByteBuffer(8, 2)}));
      }
      SystemTransaction(create ? "AutoCreateQPStats" : "UpdateQPStats", records);
    }
  }

  // A transaction of the VLF's previous use, behind the live blocks of the
  // first slot: an insert the reader must not see.
  std::vector<Value> stale_values = AuditValues("stale", "from the previous use of this VLF");
  ByteBuffer stale_row = EncodeRow(audit_, stale_values);
  report_.log_bytes = log_->Finish(
      LogRecordBuilder::Insert(audit_.rowset_id, 0x100, stale_row).Context(kCtxHeap).Build());
  report_.log_records = log_->records();
  report_.log_blocks = log_->blocks();
  report_.vlfs = log_->vlfs();
  log_.reset();

  WriteDataFile();
  for (Table* t : tables_) {
    report_.tables[t->report_index].live_rows = t->live.size();
    if (!options_.list_operations) continue;
    for (const RowRef& r : t->rows)
      if (r.live && !r.changed && r.insert_operation >= 0)
        report_.operation_list[static_cast<size_t>(r.insert_operation)].row_unchanged = true;
  }
  for (size_t i = 0; i < operations_by_name_.size(); ++i)
    if (operations_by_name_[i] > 0)
      report_.operations_by_transaction[report_.transaction_names[i]] = operations_by_name_[i];
  return report_;
}

}  // namespace

SampleReport WriteSampleDatabase(const std::string& mdf_path, const std::string& ldf_path,
                                 const SampleOptions& options) {
  Generator generator(options, mdf_path, ldf_path);
  return generator.Run();
}

}  // namespace tarnwick::sample
