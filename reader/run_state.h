// The state of one run of the program, shared by the subsystems.
//
// One object per process, created by the front end and handed explicitly to
// the scan, the readers and the save. The stop flag is the only member that
// one thread writes while another reads it: it is atomic. The paths and the
// collation table are written only while no worker runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/text_codec.h"
#include "reader/collation_table.h"

namespace tarnwick {

struct RunState {
  // Set by the Stop command; polled and cleared by the long loops.
  std::atomic<bool> stop{false};

  std::string data_file_path;
  std::string log_file_path;

  // Written by the boot page reader; kept across scans.
  std::string version_name;
  int version_number = 0;
  // The collation id exactly as the boot page stores it.
  int32_t boot_collation_id = 0;

  CollationTable collations;
  bool collation_found = false;
  int64_t collation_id = -1;
  int32_t code_page = kDefaultCodePage;
  std::string collation_name;

  // True while the catalog of the current scan comes from the SQL Server 2000
  // system tables; cleared at the start of every scan.
  bool sql2000_mode = false;

  bool StopRequested() const { return stop.load(std::memory_order_relaxed); }
  void ClearStop() { stop.store(false, std::memory_order_relaxed); }
};

}  // namespace tarnwick
