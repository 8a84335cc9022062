// Listing one page of the operations view over a large operation list.
//
//   list_page_bench [OPERATIONS]
//
// Builds an operation list of the given size (default 5,000,000) in memory:
// 24 tables of very different sizes, one of them with only 1500 operations
// spread over the whole list, interleaved in log order, with a few thousand
// transaction names. Then times the view's index over the list, and the
// listing of pages of the All item, of the largest table and of the sparse
// table: the first, the last and 300 random pages each, and a walk with
// NextPage. Prints the slowest and the median page in milliseconds.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "logreader/log_record.h"
#include "logreader/operations_view.h"

using namespace tarnwick;

namespace {

constexpr int kTables = 24;
constexpr int32_t kFirstObjectId = 1000000;
constexpr int32_t kSparseTable = kFirstObjectId + kTables - 1;
constexpr size_t kSparseCount = 1500;

double Millis(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

OperationList BuildList(size_t count) {
  OperationList list;
  std::vector<NameId> tables;
  for (int t = 0; t < kTables; ++t) {
    tables.push_back(list.InternName("Table" + std::to_string(t)));
    list.NameRowset(72057594039042048ull + static_cast<uint64_t>(kFirstObjectId + t),
                    tables.back());
  }
  std::vector<NameId> transactions;
  for (int i = 0; i < 4000; ++i) {
    transactions.push_back(list.InternName(i % 4 == 0 ? "user_transaction" + std::to_string(i)
                                                      : "INSERT_" + std::to_string(i)));
  }
  std::mt19937_64 random(7);
  const size_t sparse_every = count / kSparseCount;
  const uint8_t codes[] = {kOpInsertRow, kOpInsertRow, kOpDeleteRow, kOpModifyRow,
                           kOpModifyColumns};
  size_t run_left = 0;
  int table = 0;
  for (size_t i = 0; i < count; ++i) {
    LogOperation op;
    if (sparse_every > 0 && i % sparse_every == sparse_every / 2) {
      op.objectId = kSparseTable;
    } else {
      // Runs of one table, the tables weighted 1/(t + 1).
      if (run_left == 0) {
        double u = std::uniform_real_distribution<double>(0, 1)(random);
        table = std::min(kTables - 2, static_cast<int>(std::pow(kTables - 1, u)) - 1);
        run_left = 1 + random() % 200;
      }
      --run_left;
      op.objectId = kFirstObjectId + table;
    }
    op.operation = codes[random() % 5];
    op.transactionName = transactions[(i / 50) % transactions.size()];
    op.allocationUnitId = 72057594039042048ull + static_cast<uint64_t>(op.objectId);
    op.recordIndex = static_cast<int32_t>(i % 20);
    op.vlfSequence = static_cast<uint32_t>(31 + i / 100000);
    op.blockOffset = static_cast<uint32_t>((i % 100000) / 20 * 8);
    uint32_t ticks = static_cast<uint32_t>((i / 50) % 25920000);
    uint32_t days = 41184 + static_cast<uint32_t>(i / 2000000);
    for (int b = 0; b < 4; ++b) {
      op.beginTime[b] = static_cast<uint8_t>(ticks >> (8 * b));
      op.beginTime[4 + b] = static_cast<uint8_t>(days >> (8 * b));
    }
    uint64_t id = 1000 + i / 50;
    for (int b = 0; b < 6; ++b) op.transactionId[b] = static_cast<uint8_t>(id >> (8 * b));
    list.Append(op);
  }
  return list;
}

struct Figures {
  double slowest = 0;
  double median = 0;
};

Figures Summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times.back(), times[times.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000000;
  auto t0 = std::chrono::steady_clock::now();
  OperationList list = BuildList(count);
  std::printf("operation list: %zu operations, %zu names, built in %.0f ms\n", list.size(),
              list.nameCount(), Millis(t0));

  t0 = std::chrono::steady_clock::now();
  OperationsView view(list);
  std::printf("view index: %.1f ms\n", Millis(t0));

  int32_t largest = kFirstObjectId;
  for (int t = 0; t < kTables; ++t) {
    if (view.SelectionSize(kFirstObjectId + t) > view.SelectionSize(largest)) {
      largest = kFirstObjectId + t;
    }
  }

  std::mt19937_64 random(11);
  double worst = 0;
  size_t checksum = 0;
  const struct {
    const char* name;
    int32_t selection;
  } selections[] = {
      {"All", kAllOperations}, {"largest table", largest}, {"sparse table", kSparseTable}};
  for (const auto& s : selections) {
    const uint64_t pages = view.PageCount(s.selection);
    std::vector<uint64_t> wanted = {1, pages};
    for (int i = 0; i < 300; ++i) wanted.push_back(1 + random() % pages);
    std::vector<double> times;
    for (uint64_t k : wanted) {
      auto t = std::chrono::steady_clock::now();
      if (!view.ListPage(s.selection, k)) return 1;
      times.push_back(Millis(t));
      checksum += view.rows().size() + view.statusText().size();
    }
    // Next from a random page to the end, at most 300 pages.
    view.ListPage(s.selection, std::max<uint64_t>(1, pages > 300 ? pages - 300 : 1));
    for (;;) {
      auto t = std::chrono::steady_clock::now();
      if (view.NextPage() != OperationsView::NextResult::kShown) break;
      times.push_back(Millis(t));
      checksum += view.rows().size();
    }
    Figures f = Summarise(times);
    worst = std::max(worst, f.slowest);
    std::printf("%-14s %8zu operations %5llu pages: page slowest %.3f ms, median %.3f ms\n", s.name,
                view.SelectionSize(s.selection), static_cast<unsigned long long>(pages), f.slowest,
                f.median);
  }
  std::printf("any page: at most %.3f ms (goal 10 ms)   [checksum %zu]\n", worst, checksum);
  return 0;
}
