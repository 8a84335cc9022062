// The large sample pair the log benchmarks share. It is written into its
// folder with the sample generator when it is missing or was written with
// other figures; bench.params beside it keeps the figures it was written
// with.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/sample_database.h"

namespace tarnwick::bench {

struct BenchPair {
  std::string mdf;
  std::string ldf;
};

// 5,000,000 operations and a log of at least 1 GiB.
inline sample::SampleOptions LargeSampleOptions() {
  sample::SampleOptions options;
  options.operations = 5000000;
  options.log_bytes = uint64_t{1} << 30;
  options.list_operations = false;
  return options;
}

inline std::string ParamsText(const sample::SampleOptions& o) {
  return std::to_string(o.operations) + " " + std::to_string(o.log_bytes) + " " +
         std::to_string(o.seed) + "\n";
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline BenchPair EnsureBenchPair(const std::string& dir, const sample::SampleOptions& options) {
  std::filesystem::create_directories(dir);
  BenchPair pair{dir + "/bench.mdf", dir + "/bench_log.ldf"};
  const std::string stamp = dir + "/bench.params";
  std::error_code ec;
  if (ReadText(stamp) != ParamsText(options) || !std::filesystem::exists(pair.ldf, ec) ||
      !std::filesystem::exists(pair.mdf, ec)) {
    std::printf("writing %s and %s ...\n", pair.mdf.c_str(), pair.ldf.c_str());
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    const sample::SampleReport report = sample::WriteSampleDatabase(pair.mdf, pair.ldf, options);
    std::printf("  %llu operations, %llu log bytes, %llu data pages in %.1f s\n",
                static_cast<unsigned long long>(report.operations),
                static_cast<unsigned long long>(report.log_bytes),
                static_cast<unsigned long long>(report.data_pages),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    std::ofstream(stamp) << ParamsText(options);
  }
  return pair;
}

}  // namespace tarnwick::bench
