// A whole save of the sample database.
//
//   save_bench [OPERATIONS] [FOLDER]
//
// Writes a sample pair with at least OPERATIONS row operations (default
// 100,000) into FOLDER (default: a fresh folder under the temporary folder,
// removed at the end), scans it, and saves every table with every operation
// kind: once with the save's block and page caches, once with caches of one
// entry (every operation then reads its block and page again). Prints the
// rows written per second (wall clock, and per second of the process's CPU
// time, which other work on the machine disturbs less), the reads, the size
// of the script set and the process's peak resident memory after each stage.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "export/script_export.h"
#include "logreader/log_file.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/collation_table.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/scan_driver.h"
#include "tools/sample_database.h"

using namespace tarnwick;
namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

uint64_t FolderBytes(const fs::path& folder) {
  uint64_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) bytes += entry.file_size();
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t operations = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const bool own_folder = argc <= 2;
  const fs::path folder =
      own_folder ? fs::temp_directory_path() / ("tarnwick-save-bench-" + std::to_string(::getpid()))
                 : fs::path(argv[2]);
  fs::create_directories(folder);
  const std::string mdf = (folder / "Sample.mdf").string();
  const std::string ldf = (folder / "Sample_log.ldf").string();

  auto t0 = std::chrono::steady_clock::now();
  sample::SampleOptions options;
  options.operations = operations;
  options.list_operations = false;
  const sample::SampleReport report = sample::WriteSampleDatabase(mdf, ldf, options);
  std::printf("sample: %llu operations, %llu log bytes, %llu data pages (%.1f s)\n",
              static_cast<unsigned long long>(report.operations),
              static_cast<unsigned long long>(report.log_bytes),
              static_cast<unsigned long long>(report.data_pages), Seconds(t0));

  t0 = std::chrono::steady_clock::now();
  RunState state;
  state.collations = LoadCollationTable();
  state.data_file_path = mdf;
  NullProgressSink progress;
  CDatabaseFile database(state, progress);
  if (!database.Open(mdf)) {
    std::fprintf(stderr, "cannot open %s\n", mdf.c_str());
    return 1;
  }
  CMetadata metadata(database);
  TransactionLog log;
  if (!log.Scan(ldf, BuildUserTableMap(metadata))) return 1;
  std::optional<LogFile> log_file = LogFile::Open(ldf);
  const std::map<int32_t, std::string> names = log.tableNames();
  const ScanTree tree = BuildScanTree(mdf, log.operations().ObjectIds(), names);
  std::printf("scan: %zu operations (%.1f s), peak memory %.1f MiB\n", log.operations().size(),
              Seconds(t0), PeakMiB());

  SaveJob job;
  job.state = &state;
  job.metadata = &metadata;
  job.log = &*log_file;
  job.operations = &log.operations();
  job.options.insert = job.options.del = job.options.update = true;
  job.options.script_destination = true;
  job.checked.push_back({tree.root.text, 0, true});
  job.checked.push_back({tree.all.text, 0, false});
  for (const TreeItem& item : tree.tables)
    job.checked.push_back({item.text, item.object_id, false});

  for (const bool cached : {true, false}) {
    const fs::path out = folder / (cached ? "out-cached" : "out-uncached");
    job.options.script_folder = out.string() + "\\";
    job.cached_blocks = cached ? SaveReadCache::kDefaultBlocks : 1;
    job.cached_pages = cached ? SaveReadCache::kDefaultPages : 1;
    NullSaveSink sink;
    SaveResult result;
    t0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    if (RunSave(job, sink, &result) != 1) {
      std::fprintf(stderr, "the save did not complete\n");
      return 1;
    }
    const double seconds = Seconds(t0);
    const double cpu = CpuSeconds() - cpu0;
    std::printf(
        "save (%s): %llu rows of %llu operations in %.2f s = %.0f rows/s "
        "(CPU %.2f s = %.0f rows per CPU second); "
        "log reads %llu, blocks decoded %llu (hits %llu), page reads %llu (hits %llu); "
        "scripts %.1f MiB; peak memory %.1f MiB\n",
        cached ? "cached" : "caches of one entry",
        static_cast<unsigned long long>(result.rows_written),
        static_cast<unsigned long long>(result.operations_accepted), seconds,
        static_cast<double>(result.rows_written) / seconds, cpu,
        static_cast<double>(result.rows_written) / cpu,
        static_cast<unsigned long long>(result.cache.window_reads),
        static_cast<unsigned long long>(result.cache.block_reads),
        static_cast<unsigned long long>(result.cache.block_hits),
        static_cast<unsigned long long>(result.cache.page_reads),
        static_cast<unsigned long long>(result.cache.page_hits),
        static_cast<double>(FolderBytes(out)) / (1024.0 * 1024.0), PeakMiB());
  }
  if (own_folder) fs::remove_all(folder);
  return 0;
}
