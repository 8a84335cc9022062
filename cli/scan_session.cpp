#include "cli/scan_session.h"

#include <cstdio>

#include "logreader/log_file.h"
#include "logreader/user_table_map.h"
#include "reader/catalog_stage.h"

namespace tarnwick::cli {

std::unique_ptr<ScanSession> RunCliScan(const std::string& ldf, const std::string& mdf) {
  auto session = std::make_unique<ScanSession>();
  ScanSession& s = *session;
  s.state.collations = LoadCollationTable();
  s.state.data_file_path = mdf;
  s.state.log_file_path = ldf;

  ScanStages stages;
  stages.build_catalog = BuildCatalog;
  stages.build_user_table_map = [&s](ReaderSlot& slot) {
    if (slot.metadata) s.tables = BuildUserTableMap(*slot.metadata);
  };
  stages.scan_log = [&s](ReaderSlot&, ScanFrontEnd& front) {
    s.log_opened = s.log.Scan(s.state.log_file_path, s.tables);
    if (!s.log_opened) front.ShowMessage(kLdfCannotBeOpen, MessageIcon::kInformation);
    s.table_names = s.log.tableNames();
    return s.log.TakeTreeInput();
  };
  RunScan(s.state, s.slot, s.front, stages);

  // Every message the scan showed is an error for the command line.
  if (!s.front.messages.empty()) {
    for (const std::string& e : s.front.messages) std::fprintf(stderr, "%s\n", e.c_str());
    return nullptr;
  }
  if (!s.slot.database || !s.slot.metadata) return nullptr;
  return session;
}

}  // namespace tarnwick::cli
