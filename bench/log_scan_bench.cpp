// The log scan of a large sample log against `cat` of the same file, and the
// peak memory of a whole scan that recovers millions of operations.
//
//   log_scan_bench [--dir DIR] [--operations N] [--log-bytes N] [--runs N]
//
// Writes a sample pair with the sample database generator into DIR (default
// ./bench_data; at least 5,000,000 operations and a log of at least 1 GiB)
// unless the pair there was written with the same figures. The log is then
// dropped from the page cache and read back (as a log read from disk is
// cached). Then, with a warm page cache, --runs times (default 5; best and
// median of them):
//   - `cat LOG > /dev/null` and the log scan (TransactionLog::Scan with the
//     catalog's user-table map, built once beforehand), taken in turns, so
//     that both meet the machine in the same state, and their ratio;
//   - the walk alone (every record handed to a visitor that does nothing);
//   - in a fresh child process, the whole scan as the program runs it
//     (data file open and page maps, catalog, user-table map, log scan,
//     tree) and that process's peak resident memory (getrusage).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_pair.h"
#include "logreader/log_scan.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/progress_sink.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"
#include "tools/sample_database.h"

using namespace tarnwick;

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The times of the runs of one measurement.
struct Times {
  std::vector<double> seconds;

  template <typename F>
  void Run(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    seconds.push_back(Seconds(t0));
  }
  double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
  double Median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

// The child: one whole scan; prints the operations recovered and the time.
int ScanChild(const std::string& mdf, const std::string& ldf) {
  RunState state;
  state.data_file_path = mdf;
  state.log_file_path = ldf;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  CollectingFrontEnd front;
  const ScanStages stages = RecoveryScanStages(ldf, tables, log);
  const auto t0 = std::chrono::steady_clock::now();
  RunScan(state, slot, front, stages);
  const double seconds = Seconds(t0);
  for (const std::string& m : front.messages) std::fprintf(stderr, "%s\n", m.c_str());
  const int64_t operations = front.tree ? front.tree->all.count : -1;
  std::printf("%lld %.3f\n", static_cast<long long>(operations), seconds);
  return operations < 0 ? 1 : 0;
}

// Writes the file's cached pages out and drops them from the page cache.
bool EvictFromPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fdatasync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(fd);
  return ok;
}

struct ChildResult {
  bool ok = false;
  long long operations = 0;
  double seconds = 0;
  long max_rss_kib = 0;
};

ChildResult RunScanChild(const std::string& mdf, const std::string& ldf) {
  ChildResult result;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    execl("/proc/self/exe", "log_scan_bench", "--scan-child", mdf.c_str(), ldf.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string out;
  char buffer[256];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return result;
  result.max_rss_kib = usage.ru_maxrss;
  std::istringstream in(out);
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
              static_cast<bool>(in >> result.operations >> result.seconds);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--scan-child") return ScanChild(argv[2], argv[3]);

  std::string dir = "bench_data";
  sample::SampleOptions options = bench::LargeSampleOptions();
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string word = argv[i];
    const char* value = argv[i + 1];
    if (word == "--dir")
      dir = value;
    else if (word == "--operations")
      options.operations = std::strtoull(value, nullptr, 10);
    else if (word == "--log-bytes")
      options.log_bytes = std::strtoull(value, nullptr, 10);
    else if (word == "--runs")
      runs = std::max(1, std::atoi(value));
    else {
      std::fprintf(
          stderr,
          "usage: log_scan_bench [--dir DIR] [--operations N] [--log-bytes N] [--runs N]\n");
      return 2;
    }
  }
  const bench::BenchPair pair = bench::EnsureBenchPair(dir, options);
  const std::string& mdf = pair.mdf;
  const std::string& ldf = pair.ldf;
  const uint64_t log_size = std::filesystem::file_size(ldf);

  // The user-table map, built once outside the timed scans.
  UserTableMap tables;
  {
    RunState state;
    NullProgressSink sink;
    CDatabaseFile db(state, sink);
    if (!db.Open(mdf)) {
      std::fprintf(stderr, "cannot open %s\n", mdf.c_str());
      return 1;
    }
    CMetadata metadata(db);
    tables = BuildUserTableMap(metadata);
  }

  // The log as a file read from disk is cached: the generator's writes
  // leave it in the page cache in the pieces they were written in, which
  // costs a scan over the mapped file more page-table work than the large
  // pieces in which the system reads a file. So the log leaves the cache
  // (written out first) and cat reads it back.
  const bool evicted = EvictFromPageCache(ldf);
  const std::string cat = "cat '" + ldf + "' > /dev/null";
  if (std::system(cat.c_str()) != 0) return 1;  // warms the page cache
  if (!evicted) std::fprintf(stderr, "note: the log could not be evicted from the page cache\n");
  Times cat_times;
  Times scan_times;
  size_t operations = 0;
  for (int i = 0; i < runs; ++i) {
    cat_times.Run([&] {
      if (std::system(cat.c_str()) != 0) std::exit(1);
    });
    scan_times.Run([&] {
      TransactionLog log;
      if (!log.Scan(ldf, tables)) std::exit(1);
      operations = log.operations().size();
    });
  }
  // The walk alone (VLFs, blocks and records, nothing decoded): what reading
  // the log costs without the operation list.
  uint64_t records = 0;
  Times walk_times;
  for (int i = 0; i < runs; ++i) {
    walk_times.Run([&] {
      std::optional<LogFile> file = LogFile::Open(ldf);
      if (!file) std::exit(1);
      records = WalkLogRecords(*file, [](const LogRecordWindow&) {}).records;
    });
  }
  const double gib = static_cast<double>(log_size) / (1u << 30);
  std::printf("log: %.2f GiB, %llu records, %zu operations\n", gib,
              static_cast<unsigned long long>(records), operations);
  auto line = [gib](const char* what, const Times& times) {
    std::printf("%-9s %7.3f s best, %7.3f s median  (%.2f GiB/s best)\n", what, times.Best(),
                times.Median(), gib / times.Best());
  };
  line("cat:", cat_times);
  line("walk:", walk_times);
  line("log scan:", scan_times);
  std::printf("ratio scan/cat: %.2f best, %.2f median (goal <= 1.5)\n",
              scan_times.Best() / cat_times.Best(), scan_times.Median() / cat_times.Median());

  const ChildResult child = RunScanChild(mdf, ldf);
  if (!child.ok) {
    std::fprintf(stderr, "the scan child failed\n");
    return 1;
  }
  std::printf("whole scan: %lld operations in %.3f s, peak memory %.1f MiB (goal <= 1024)\n",
              child.operations, child.seconds, child.max_rss_kib / 1024.0);
  return 0;
}
