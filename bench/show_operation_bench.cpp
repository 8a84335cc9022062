// Showing one recovered operation of a large sample: what a click on an
// operation costs (the block read again, the table prepared, the data page
// read, the row images built, the statement and the values list).
//
//   show_operation_bench [--dir DIR] [--operations N] [--log-bytes N] [--shows N]
//
// Uses the sample pair that log_scan_bench writes into DIR (default
// ./bench_data; 5,000,000 operations and a log of at least 1 GiB), writing
// it first when it is missing or was written with other figures. After one
// whole scan, shows --shows (default 500) operations picked at random over
// the whole list, and the first and the last, and prints the median, the
// 99th percentile and the slowest time, and the same per operation kind.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "logreader/row_operations.h"
#include "logreader/statement.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"
#include "bench/bench_pair.h"
#include "tools/sample_database.h"

using namespace tarnwick;

namespace {

double Millis(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

struct Figures {
  double median = 0, p99 = 0, slowest = 0;
  size_t count = 0;
};

Figures Summarise(std::vector<double> times) {
  Figures f;
  if (times.empty()) return f;
  std::sort(times.begin(), times.end());
  f.count = times.size();
  f.median = times[times.size() / 2];
  f.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
  f.slowest = times.back();
  return f;
}

const char* KindName(uint8_t code) {
  switch (code) {
    case kOpInsertRow: return "insert";
    case kOpDeleteRow: return "delete";
    case kOpModifyRow: return "modify row";
    case kOpModifyColumns: return "modify columns";
    default: return "other";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "bench_data";
  sample::SampleOptions options = bench::LargeSampleOptions();
  size_t shows = 500;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string word = argv[i];
    const char* value = argv[i + 1];
    if (word == "--dir")
      dir = value;
    else if (word == "--operations")
      options.operations = std::strtoull(value, nullptr, 10);
    else if (word == "--log-bytes")
      options.log_bytes = std::strtoull(value, nullptr, 10);
    else if (word == "--shows")
      shows = std::max<size_t>(1, std::strtoull(value, nullptr, 10));
    else {
      std::fprintf(stderr,
                   "usage: show_operation_bench [--dir DIR] [--operations N] [--log-bytes N] "
                   "[--shows N]\n");
      return 2;
    }
  }
  const bench::BenchPair pair = bench::EnsureBenchPair(dir, options);
  const std::string& mdf = pair.mdf;
  const std::string& ldf = pair.ldf;

  // The whole scan, as the program runs it before anything can be shown.
  RunState state;
  state.data_file_path = mdf;
  state.log_file_path = ldf;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  CollectingFrontEnd front;
  const ScanStages stages = RecoveryScanStages(ldf, tables, log);
  auto t0 = std::chrono::steady_clock::now();
  RunScan(state, slot, front, stages);
  for (const std::string& m : front.messages) std::fprintf(stderr, "%s\n", m.c_str());
  const OperationList& operations = log.operations();
  if (!slot.metadata || operations.empty()) {
    std::fprintf(stderr, "the scan recovered nothing\n");
    return 1;
  }
  std::printf("scan: %zu operations in %.0f ms\n", operations.size(), Millis(t0));

  std::vector<size_t> picked = {0, operations.size() - 1};
  std::mt19937_64 random(5);
  for (size_t i = 0; i < shows; ++i) picked.push_back(random() % operations.size());

  std::vector<double> all;
  std::map<std::string, std::vector<double>> by_kind;
  size_t statements = 0, decoded_rows = 0;
  for (size_t index : picked) {
    const LogOperation& op = operations[index];
    const auto t = std::chrono::steady_clock::now();
    const DecodedOperation decoded = DecodeOperationRows(op, log, *slot.metadata);
    const ShownOperation shown = RenderOperation(op.operation, operations.TableName(op),
                                                 decoded.table.columns, decoded.rows.rows);
    const double ms = Millis(t);
    all.push_back(ms);
    by_kind[KindName(op.operation)].push_back(ms);
    statements += !shown.statement.empty();
    decoded_rows += decoded.rows.rows.size();
  }
  for (const auto& [kind, times] : by_kind) {
    const Figures f = Summarise(times);
    std::printf("%-15s %4zu shown: median %.3f ms, p99 %.3f ms, slowest %.3f ms\n", kind.c_str(),
                f.count, f.median, f.p99, f.slowest);
  }
  const Figures f = Summarise(all);
  std::printf("show one operation: %zu shown (%zu statements, %zu rows), median %.3f ms, "
              "p99 %.3f ms, slowest %.3f ms (goal 5 ms)\n",
              f.count, statements, decoded_rows, f.median, f.p99, f.slowest);
  return statements == 0 ? 1 : 0;
}
