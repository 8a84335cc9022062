// Damaged copies of the real corpus pairs through every path the command
// line takes: open and info, the catalog and the schema of every user table
// with its rows, every page of the data file, the whole scan with the tree
// and the operations view, and the statement and values of every recovered
// operation. Nothing may crash, hang or trip a sanitizer; damaged input may
// only give empty or refused results.
//
// Each variant is one pair and one seed: the seed picks the damage (bit
// flips, zeroed ranges, ranges of random bytes, truncation, or a mix, on the
// data file, the log or both) and its places, with a bias towards page and
// block headers, slot arrays and parity bytes. Variant v of a run uses pair
// v % pairs and seed v; a failure names the pair, the seed and the damage.
//
//   TARNWICK_MUTATION_VARIANTS=N   variants per damage kind (default 60)
//   TARNWICK_MUTATION_REPLAY=pair:seed   runs that one variant only
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "logreader/operations_view.h"
#include "logreader/row_operations.h"
#include "logreader/statement.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/collation_table.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"
#include "records/compressed_record.h"
#include "records/data_page.h"
#include "records/page_source.h"
#include "records/table_rows.h"
#include "tests/support/corpus.h"

// The death callback exists only in a sanitized build (the header is there
// in every build with the compiler's runtime installed).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNWICK_SANITIZED_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TARNWICK_SANITIZED_BUILD 1
#endif
#if defined(TARNWICK_SANITIZED_BUILD) && defined(__has_include)
#if __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define TARNWICK_HAVE_SANITIZER_CALLBACK 1
#endif
#endif

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::CorpusPair;

// ---------------------------------------------------------------------------
// The variant being run, for the crash and hang reports: a crash ends the
// process before gtest can print anything.

char g_current[512] = "";
std::atomic<int64_t> g_started_ms{-1};  // -1: no variant running

void WriteCurrent(const char* why) {
  const char* text = g_current;
  auto put = [](const char* s) {
    ssize_t ignored = ::write(STDERR_FILENO, s, std::strlen(s));
    (void)ignored;
  };
  put("\n*** ");
  put(why);
  put(" in mutation variant: ");
  put(text);
  put("\n");
}

#ifdef TARNWICK_HAVE_SANITIZER_CALLBACK
void OnSanitizerDeath() { WriteCurrent("sanitizer report"); }
#endif

void OnSignal(int sig) {
  WriteCurrent("fatal signal");
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Aborts, naming the variant, when one variant runs far longer than any
// should (a loop that does not end).
class HangWatchdog {
 public:
  explicit HangWatchdog(int64_t limit_ms) : limit_ms_(limit_ms) {
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!stop_) {
        cv_.wait_for(lock, std::chrono::seconds(1));
        const int64_t started = g_started_ms.load();
        if (started >= 0 && NowMs() - started > limit_ms_) {
          WriteCurrent("hang (no end after the time limit)");
          std::abort();
        }
      }
    });
  }
  ~HangWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  int64_t limit_ms_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread thread_;
};

// ---------------------------------------------------------------------------
// Damage.

enum class Damage { kBitFlips, kZeroRanges, kRandomRanges, kTruncate, kMixed };

const char* DamageName(Damage d) {
  switch (d) {
    case Damage::kBitFlips: return "bit flips";
    case Damage::kZeroRanges: return "zeroed ranges";
    case Damage::kRandomRanges: return "random-byte ranges";
    case Damage::kTruncate: return "truncation";
    case Damage::kMixed: return "mixed";
  }
  return "?";
}

using Rng = std::mt19937_64;

uint64_t Below(Rng& rng, uint64_t n) { return n == 0 ? 0 : rng() % n; }

// A position in a file of `size` bytes: uniform, or near the start or the
// end of a unit (page header, block header, slot array, parity bytes).
uint64_t PickPosition(Rng& rng, uint64_t size, uint64_t unit) {
  if (size == 0) return 0;
  const uint64_t units = std::max<uint64_t>(1, size / unit);
  const uint64_t base = Below(rng, units) * unit;
  uint64_t p;
  switch (rng() % 4) {
    case 0: p = Below(rng, size); break;
    case 1: p = base + Below(rng, 96); break;            // a header
    case 2: p = base + unit - 1 - Below(rng, 64); break;  // slot array, parity bytes
    default: p = base + Below(rng, unit); break;
  }
  return std::min(p, size - 1);
}

// The unit a position is picked in: pages for a data file; for a log, VLF
// headers sit on 8192 multiples and blocks on 512 multiples.
uint64_t PickUnit(Rng& rng, bool log) { return log && rng() % 3 != 0 ? 512 : 8192; }

uint64_t RangeLength(Rng& rng) {
  static constexpr uint64_t kMax[] = {4, 32, 512, 8192, 65536};
  return 1 + Below(rng, kMax[rng() % 5]);
}

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

void FlipBits(ByteBuffer& bytes, Rng& rng, bool log, std::string& what) {
  const uint64_t flips = 1 + Below(rng, rng() % 2 ? 4 : 48);
  what += " " + std::to_string(flips) + " flips";
  for (uint64_t i = 0; i < flips && !bytes.empty(); ++i) {
    const uint64_t p = PickPosition(rng, bytes.size(), PickUnit(rng, log));
    const int bit = static_cast<int>(rng() % 8);
    bytes[p] ^= static_cast<uint8_t>(1u << bit);
    if (i < 4) what += " " + Hex(p) + "." + std::to_string(bit);
  }
}

void DamageRanges(ByteBuffer& bytes, Rng& rng, bool log, bool random_bytes, std::string& what) {
  const uint64_t ranges = 1 + Below(rng, 3);
  for (uint64_t i = 0; i < ranges && !bytes.empty(); ++i) {
    const uint64_t p = PickPosition(rng, bytes.size(), PickUnit(rng, log));
    const uint64_t n = std::min<uint64_t>(RangeLength(rng), bytes.size() - p);
    for (uint64_t k = 0; k < n; ++k)
      bytes[p + k] = random_bytes ? static_cast<uint8_t>(rng()) : 0;
    what += " [" + Hex(p) + "+" + std::to_string(n) + (random_bytes ? " random]" : " zero]");
  }
}

void Truncate(ByteBuffer& bytes, Rng& rng, bool log, std::string& what) {
  if (bytes.empty()) return;
  uint64_t at;
  switch (rng() % 3) {
    case 0: at = Below(rng, bytes.size()); break;
    case 1: at = PickPosition(rng, bytes.size(), PickUnit(rng, log)) / 512 * 512; break;
    default: {
      // Just before or after a unit boundary.
      const uint64_t boundary = PickPosition(rng, bytes.size(), PickUnit(rng, log)) / 8192 * 8192;
      const int64_t delta = static_cast<int64_t>(Below(rng, 57)) - 28;
      at = static_cast<uint64_t>(std::clamp<int64_t>(static_cast<int64_t>(boundary) + delta, 0,
                                                     static_cast<int64_t>(bytes.size())));
      break;
    }
  }
  bytes.resize(at);
  what += " cut at " + Hex(at);
}

void ApplyDamage(ByteBuffer& bytes, Damage damage, Rng& rng, bool log, std::string& what) {
  switch (damage) {
    case Damage::kBitFlips: FlipBits(bytes, rng, log, what); break;
    case Damage::kZeroRanges: DamageRanges(bytes, rng, log, false, what); break;
    case Damage::kRandomRanges: DamageRanges(bytes, rng, log, true, what); break;
    case Damage::kTruncate: Truncate(bytes, rng, log, what); break;
    case Damage::kMixed:
      FlipBits(bytes, rng, log, what);
      DamageRanges(bytes, rng, log, rng() % 2 == 0, what);
      if (rng() % 3 == 0) Truncate(bytes, rng, log, what);
      break;
  }
}

uint64_t NameHash(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// ---------------------------------------------------------------------------
// The paths of the command line, in process.

ByteBuffer ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteBuffer((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteWhole(const fs::path& path, const ByteBuffer& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Outcome {
  bool opened = false;
  size_t tables = 0;
  size_t operations = 0;
  size_t shown = 0;
  size_t statements = 0;
  std::vector<std::string> faults;  // broken invariants

  void Fault(std::string text) { faults.push_back(std::move(text)); }
};

// info, schema and rows: the catalog of the data file alone, and every page.
void RunDataFileCommands(const std::string& mdf, const CollationTable& collations,
                         Outcome& out) {
  RunState state;
  state.collations = collations;
  state.data_file_path = mdf;
  NullProgressSink sink;
  CDatabaseFile db(state, sink);
  if (!db.Open(mdf)) return;
  out.opened = true;
  CMetadata metadata(db);
  (void)metadata.UserTypeTexts();

  DatabasePageSource source(db);
  RowReadContext context;
  context.pages = &source;
  context.code_page = state.code_page;
  context.sql2000_mode = state.sql2000_mode;
  for (const CatalogObject& object : metadata.UserTables()) {
    ++out.tables;
    const std::vector<ColumnDescriptor> columns =
        metadata.PrepareObject(object, metadata.definitions());
    (void)metadata.ForeignKeysOf(object.object_id);
    const std::vector<PageRef> pages = metadata.currentTable().data_pages;
    const TableRecordContext table_context(columns, state.sql2000_mode);
    for (const PageRef& ref : pages) {
      auto page = LoadDataPage(db, ref, table_context);
      if (!page) continue;
      for (const Row& row : ReadDisplayRows(*page, columns, context))
        if (row.size() != columns.size())
          out.Fault("a row of " + object.name + " has " + std::to_string(row.size()) +
                    " columns, the table " + std::to_string(columns.size()));
    }
  }

  // Every page of every file of the set, one past the end included.
  std::vector<std::pair<uint16_t, uint64_t>> files = {{1, db.pageCount()}};
  for (const auto& [id, file] : db.secondaryFiles()) files.emplace_back(id, file.page_count);
  for (const auto& [file_id, count] : files) {
    for (uint64_t p = 0; p <= count && p < (uint64_t{1} << 31); ++p) {
      const PageRef ref{file_id, static_cast<uint32_t>(p), 0};
      std::optional<ByteBuffer> bytes = db.ReadPage(ref);
      if (bytes && bytes->size() != kPageSize + 1)
        out.Fault("page " + std::to_string(p) + " read as " + std::to_string(bytes->size()) +
                  " bytes");
      (void)db.ReadPageHeader(ref);
      (void)LoadDataPage(db, ref);
    }
  }
}

// scan, list and show: the whole scan as the command line runs it, then
// every page of the operations view and the statement of the operations.
void RunScanCommands(const std::string& mdf, const std::string& ldf,
                     const CollationTable& collations, size_t show_limit, Outcome& out) {
  RunState state;
  state.collations = collations;
  state.data_file_path = mdf;
  state.log_file_path = ldf;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  CollectingFrontEnd front;
  const ScanStages stages = RecoveryScanStages(ldf, tables, log);
  RunScan(state, slot, front, stages);
  if (!front.ended) out.Fault("the scan did not reach its end");

  const OperationList& operations = log.operations();
  out.operations = operations.size();
  if (front.tree && front.tree->all.count != static_cast<int64_t>(operations.size()))
    out.Fault("the tree counts " + std::to_string(front.tree->all.count) + " operations, the list " +
              std::to_string(operations.size()));
  if (!slot.metadata || !log.isOpen()) return;

  const uint64_t log_size = fs::file_size(ldf);
  OperationsView view(operations);
  std::vector<int32_t> selections = {kAllOperations};
  if (front.tree)
    for (const TreeItem& item : front.tree->tables) selections.push_back(item.object_id);
  for (int32_t selection : selections) {
    const uint64_t pages = view.PageCount(selection);
    for (uint64_t k = 1; k <= pages; ++k) (void)view.ListPage(selection, k);
  }

  for (size_t i = 0; i < operations.size() && out.shown < show_limit; ++i) {
    const LogOperation& op = operations[i];
    const std::optional<uint64_t> position = operations.BlockPosition(op);
    if (!position || *position >= log_size)
      out.Fault("operation " + std::to_string(i) + " names a block past the log's end");
    const DecodedOperation decoded = DecodeOperationRows(op, log, *slot.metadata);
    const ShownOperation shown = RenderOperation(op.operation, operations.TableName(op),
                                                 decoded.table.columns, decoded.rows.rows);
    ++out.shown;
    if (!shown.statement.empty()) ++out.statements;
    if (decoded.rows.rows.size() > 2)
      out.Fault("operation " + std::to_string(i) + " decoded " +
                std::to_string(decoded.rows.rows.size()) + " rows");
    if (decoded.rows.status != RowDecodeStatus::kDecoded && !decoded.rows.rows.empty())
      out.Fault("operation " + std::to_string(i) + " has rows but status " +
                RowDecodeStatusName(decoded.rows.status));
    if (shown.values.rows.size() != decoded.rows.rows.size())
      out.Fault("operation " + std::to_string(i) + " shows " +
                std::to_string(shown.values.rows.size()) + " value lines for " +
                std::to_string(decoded.rows.rows.size()) + " rows");
  }
}

// ---------------------------------------------------------------------------

struct PairFiles {
  CorpusPair pair;
  ByteBuffer mdf;
  ByteBuffer ldf;
};

size_t EnvCount(const char* name, size_t fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  return end && *end == '\0' ? static_cast<size_t>(n) : fallback;
}

class CorpusMutation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifdef TARNWICK_HAVE_SANITIZER_CALLBACK
    __sanitizer_set_death_callback(OnSanitizerDeath);
#endif
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::signal(sig, OnSignal);
    collations_ = new CollationTable(LoadCollationTable());
  }
  static void TearDownTestSuite() {
    delete collations_;
    collations_ = nullptr;
  }

  void SetUp() override {
    if (testing::CorpusFolder().empty())
      GTEST_SKIP() << "corpus not found (set TARNWICK_CORPUS or add ../shared/corpus)";
    for (const CorpusPair& pair : testing::CorpusPairs()) {
      if (pair.ldf.empty()) continue;
      pairs_.push_back({pair, ReadWhole(pair.mdf), ReadWhole(pair.ldf)});
    }
    ASSERT_FALSE(pairs_.empty());
    folder_ = fs::temp_directory_path() /
              ("tarnwick-mutation-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }

  void TearDown() override {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }

  // Runs one variant; returns its description.
  void RunVariant(const PairFiles& files, Damage damage, uint64_t seed, size_t show_limit) {
    Rng rng(seed * 0x9E3779B97F4A7C15ull ^ NameHash(files.pair.name) ^
            static_cast<uint64_t>(damage));
    // Which files take the damage: both mostly, one alone now and then so
    // that the other's intact structures lead deeper into the damaged one.
    const uint64_t target = rng() % 4;
    ByteBuffer mdf = files.mdf;
    ByteBuffer ldf = files.ldf;
    std::string what;
    if (target != 2) {
      what += " mdf:";
      ApplyDamage(mdf, damage, rng, false, what);
    }
    if (target != 3) {
      what += " ldf:";
      ApplyDamage(ldf, damage, rng, true, what);
    }
    const std::string replay = files.pair.name + ":" + std::to_string(seed);
    const std::string label = "pair " + files.pair.name + ", seed " + std::to_string(seed) +
                              ", " + DamageName(damage) + ":" + what +
                              " (replay: TARNWICK_MUTATION_REPLAY=" + replay + " --gtest_filter=*" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                              ")";
    std::snprintf(g_current, sizeof g_current, "%s", label.c_str());

    const fs::path dir = folder_ / files.pair.name;
    fs::create_directories(dir);
    const fs::path mdf_path = dir / fs::path(files.pair.mdf).filename();
    const fs::path ldf_path = dir / fs::path(files.pair.ldf).filename();
    WriteWhole(mdf_path, mdf);
    WriteWhole(ldf_path, ldf);

    g_started_ms = NowMs();
    Outcome out;
    RunDataFileCommands(mdf_path.string(), *collations_, out);
    RunScanCommands(mdf_path.string(), ldf_path.string(), *collations_, show_limit, out);
    g_started_ms = -1;

    for (const std::string& fault : out.faults) ADD_FAILURE() << label << ": " << fault;
    ++variants_;
    opened_ += out.opened;
    operations_ += out.operations;
    shown_ += out.shown;
    statements_ += out.statements;
  }

  void RunKind(Damage damage) {
    const char* replay = std::getenv("TARNWICK_MUTATION_REPLAY");
    HangWatchdog watchdog(120000);
    if (replay && *replay) {
      const std::string text = replay;
      const size_t colon = text.rfind(':');
      ASSERT_NE(colon, std::string::npos) << "TARNWICK_MUTATION_REPLAY takes pair:seed";
      const std::string name = text.substr(0, colon);
      const uint64_t seed = std::strtoull(text.c_str() + colon + 1, nullptr, 10);
      for (const PairFiles& files : pairs_)
        if (files.pair.name == name) RunVariant(files, damage, seed, SIZE_MAX);
      ASSERT_EQ(variants_, 1u) << "no corpus pair named " << name;
    } else {
      const size_t count = EnvCount("TARNWICK_MUTATION_VARIANTS", kDefaultVariants);
      for (size_t v = 0; v < count; ++v) {
        // Every third variant shows every operation; the others the first
        // few, which keeps the default run short under the sanitizers.
        const size_t show_limit = v % 3 == 0 ? SIZE_MAX : kShownOperations;
        RunVariant(pairs_[v % pairs_.size()], damage, v, show_limit);
        if (HasFatalFailure()) return;
      }
    }
    std::printf("%s: %zu variants, %zu data files opened, %zu operations recovered, %zu shown, "
                "%zu statements\n",
                DamageName(damage), variants_, opened_, operations_, shown_, statements_);
    EXPECT_GT(variants_, 0u);
  }

  static constexpr size_t kDefaultVariants = 60;
  static constexpr size_t kShownOperations = 25;
  static CollationTable* collations_;

  std::vector<PairFiles> pairs_;
  fs::path folder_;
  size_t variants_ = 0, opened_ = 0, operations_ = 0, shown_ = 0, statements_ = 0;
};

CollationTable* CorpusMutation::collations_ = nullptr;

TEST_F(CorpusMutation, BitFlips) { RunKind(Damage::kBitFlips); }
TEST_F(CorpusMutation, ZeroedRanges) { RunKind(Damage::kZeroRanges); }
TEST_F(CorpusMutation, RandomByteRanges) { RunKind(Damage::kRandomRanges); }
TEST_F(CorpusMutation, Truncation) { RunKind(Damage::kTruncate); }
TEST_F(CorpusMutation, Mixed) { RunKind(Damage::kMixed); }

}  // namespace
}  // namespace tarnwick
