// Writes a small data file with the test builder: a boot page (SQL Server
// 2012, SQL_Latin1_General_CP1_CI_AS) and a few system and user pages.
//
//   write_sample_database FILE
#include <cstdio>

#include "tests/support/data_file_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_sample_database FILE\n");
    return 2;
  }
  tarnwick::testing::DataFileBuilder b(64);
  b.Boot(706, 872468488);
  const int32_t system_objects[] = {5, 7, 34, 41};
  for (uint32_t i = 0; i < 4; ++i) b.Page(16 + i).Type(1).ObjectId(system_objects[i]);
  for (uint32_t i = 20; i < 64; ++i) b.Page(i).Type(i % 8 == 0 ? 10 : 1).ObjectId(245575913);
  b.WriteTo(argv[1]);
  return 0;
}
