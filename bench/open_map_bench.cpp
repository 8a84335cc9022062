// Open + page mapping of a large data file, against reading the same file
// with cat in the same run.
//
//   open_map_bench [FILE] [GiB]
//
// Writes a data file of the given size (default 2 GiB) made by the test
// builder when FILE does not exist with that size, then times, best of three
// with a warm page cache: CDatabaseFile::Open (alignment check and mapping)
// and `cat FILE > /dev/null`. Prints both times and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "reader/database_file.h"
#include "tests/support/data_file_builder.h"

using namespace tarnwick;

namespace {

void WriteLargeFile(const std::string& path, uint64_t pages) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (uint64_t i = 0; i < pages; ++i) {
    testing::PageBuilder p;
    p.PageId(static_cast<int32_t>(i));
    if (i == 9) p.Type(13).ObjectId(99).Set16(100, 706).Set32(488, 872468488);
    else if (i % 8 == 0) p.Type(10).ObjectId(1000 + static_cast<int32_t>(i % 64));
    else if (i % 3 == 0) p.Type(1).ObjectId(34);
    else p.Type(1).ObjectId(1000 + static_cast<int32_t>(i % 97));
    p.Set64(200, i * 0x9E3779B97F4A7C15ull);
    out.write(reinterpret_cast<const char*>(p.bytes().data()), kPageSize);
  }
}

template <typename F>
double BestOfThree(F f) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1]
                              : (std::filesystem::temp_directory_path() / "tarnwick-bench.mdf").string();
  double gib = argc > 2 ? std::atof(argv[2]) : 2.0;
  const uint64_t pages = static_cast<uint64_t>(gib * 1024 * 1024 * 1024 / kPageSize);
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != pages * kPageSize) {
    std::printf("writing %s (%llu pages)...\n", path.c_str(), static_cast<unsigned long long>(pages));
    WriteLargeFile(path, pages);
  }
  const std::string cat = "cat '" + path + "' > /dev/null";
  if (std::system(cat.c_str()) != 0) return 1;  // warm the page cache

  uint64_t mapped = 0;
  double open_s = BestOfThree([&] {
    RunState state;
    NullProgressSink sink;
    CDatabaseFile db(state, sink);
    if (!db.Open(path)) std::exit(1);
    mapped = 0;
    for (const auto& [id, refs] : db.dataPages()) mapped += refs.size();
  });
  double cat_s = BestOfThree([&] {
    if (std::system(cat.c_str()) != 0) std::exit(1);
  });
  std::printf("file: %.2f GiB, %llu data pages mapped\n", gib, static_cast<unsigned long long>(mapped));
  std::printf("open+map: %.3f s\ncat:      %.3f s\nratio:    %.2f\n", open_s, cat_s, open_s / cat_s);
  return 0;
}
