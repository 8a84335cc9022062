// Writes the sample database: a data file and its transaction log that
// agree (see tools/sample_database.h).
//
//   make_sample_database [--operations N] [--log-bytes N] [--seed N]
//                        [--vlf-size N] MDF LDF
//
// Sizes take a K, M or G suffix (powers of 1024). Prints what was written:
// per table the operations by kind and the rows left in the data file, and
// the operations per transaction name.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "tools/sample_database.h"

namespace {

std::optional<uint64_t> ParseSize(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str()) return std::nullopt;
  uint64_t factor = 1;
  const std::string suffix(end);
  if (suffix == "K" || suffix == "k")
    factor = uint64_t{1} << 10;
  else if (suffix == "M" || suffix == "m")
    factor = uint64_t{1} << 20;
  else if (suffix == "G" || suffix == "g")
    factor = uint64_t{1} << 30;
  else if (!suffix.empty())
    return std::nullopt;
  return value * factor;
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_sample_database [--operations N] [--log-bytes N] [--seed N] "
               "[--vlf-size N] MDF LDF\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tarnwick::sample::SampleOptions options;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) != 0) {
      paths.push_back(word);
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::optional<uint64_t> value = ParseSize(argv[++i]);
    if (!value) return Usage();
    if (word == "--operations")
      options.operations = *value;
    else if (word == "--log-bytes")
      options.log_bytes = *value;
    else if (word == "--seed")
      options.seed = *value;
    else if (word == "--vlf-size")
      options.vlf_size = *value;
    else
      return Usage();
  }
  if (paths.size() != 2) return Usage();
  options.list_operations = false;

  tarnwick::sample::SampleReport report;
  try {
    report = tarnwick::sample::WriteSampleDatabase(paths[0], paths[1], options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("%s: %llu pages\n", paths[0].c_str(),
              static_cast<unsigned long long>(report.data_pages));
  std::printf("%s: %llu bytes, %llu VLFs, %llu blocks, %llu records\n", paths[1].c_str(),
              static_cast<unsigned long long>(report.log_bytes),
              static_cast<unsigned long long>(report.vlfs),
              static_cast<unsigned long long>(report.log_blocks),
              static_cast<unsigned long long>(report.log_records));
  std::printf("%llu operations in %llu user transactions (%llu system transactions)\n",
              static_cast<unsigned long long>(report.operations),
              static_cast<unsigned long long>(report.user_transactions),
              static_cast<unsigned long long>(report.system_transactions));
  std::printf("%-12s %10s %10s %10s %10s %10s %10s\n", "table", "objectId", "insert", "delete",
              "modifyRow", "modifyCols", "rows");
  for (const auto& t : report.tables) {
    std::printf("%-12s %10d %10llu %10llu %10llu %10llu %10llu\n", t.name.c_str(), t.object_id,
                static_cast<unsigned long long>(t.inserts),
                static_cast<unsigned long long>(t.deletes),
                static_cast<unsigned long long>(t.modify_rows),
                static_cast<unsigned long long>(t.modify_columns),
                static_cast<unsigned long long>(t.live_rows));
  }
  for (const auto& [name, count] : report.operations_by_transaction)
    std::printf("  %-18s %llu\n", name.c_str(), static_cast<unsigned long long>(count));
  return 0;
}
