#include "reader/scan_driver.h"

#include <algorithm>
#include <cctype>

#include "reader/boot_page.h"

namespace tarnwick {
namespace {

std::string DoubleBackslashes(const std::string& path) {
  std::string out;
  for (char c : path) {
    out.push_back(c);
    if (c == '\\') out.push_back('\\');
  }
  return out;
}

bool LessCaseInsensitive(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](unsigned char x, unsigned char y) {
                                        return std::tolower(x) < std::tolower(y);
                                      });
}

}  // namespace

ScanTree BuildScanTree(const std::string& data_file_path,
                       const std::vector<int32_t>& operation_object_ids,
                       const std::map<int32_t, std::string>& table_names) {
  ScanTree tree;
  tree.root.text = data_file_path;
  tree.all.count = static_cast<int64_t>(operation_object_ids.size());
  tree.all.text = "All[" + std::to_string(operation_object_ids.size()) + "]";
  std::map<int32_t, int64_t> counts;
  for (int32_t id : operation_object_ids) ++counts[id];
  for (const auto& [object_id, name] : table_names) {
    auto it = counts.find(object_id);
    TreeItem item;
    item.object_id = object_id;
    item.count = it == counts.end() ? 0 : it->second;
    item.text = name + "[" + std::to_string(item.count) + "]";
    tree.tables.push_back(std::move(item));
  }
  std::stable_sort(tree.tables.begin(), tree.tables.end(),
                   [](const TreeItem& a, const TreeItem& b) {
                     return LessCaseInsensitive(a.text, b.text);
                   });
  return tree;
}

int RunScan(RunState& state, ReaderSlot& slot, ScanFrontEnd& front, const ScanStages& stages) {
  front.ResetRun();
  slot.Reset();
  state.sql2000_mode = false;

  const std::string original_path = state.data_file_path;
  const std::string logged_path = DoubleBackslashes(original_path);
  if (!logged_path.empty()) front.LogActivity("Browse File Path:\t" + logged_path + "\r\n");

  slot.database = std::make_unique<CDatabaseFile>(state, front);
  if (!slot.database->Open(logged_path)) {
    slot.Reset();
    front.ScanEnded();
    return 0;
  }

  CatalogOutcome catalog = CatalogOutcome::kReady;
  if (stages.build_catalog) {
    catalog = stages.build_catalog(slot, front);
  } else {
    slot.database->ReadBootPage();
  }
  if (catalog == CatalogOutcome::kNoMetadata) {
    front.ScanEnded();
    return 0;
  }
  if (catalog == CatalogOutcome::kEmpty) {
    front.ClearTree();
    front.SetProgressPos(0);
    front.SetStatusText("");
    slot.Reset();
    front.ShowMessage(kInvalidOrCorrupted, MessageIcon::kError);
    front.ScanEnded();
    return 0;
  }

  if (state.version_name.empty()) state.version_name = kUnknownVersion;
  front.ShowVersion(state.version_name);
  if (IsVersionBefore2005(state.version_name)) {
    front.ShowMessage(kVersionNotSupported, MessageIcon::kInformation);
    front.SetStatusText(kScanCompleted);
    front.ScanEnded();
    return 0;
  }
  if (state.collation_name.empty()) state.collation_name = kUnknownCollation;
  front.ShowCollation(state.collation_name);

  front.SetStatusText("Processing User table....");
  if (stages.build_user_table_map) stages.build_user_table_map(slot);

  front.SetStatusText("Processing Ldf File....");
  LogScanResult log;
  if (stages.scan_log) log = stages.scan_log(slot, front);

  if (!log.operation_object_ids.empty()) {
    front.SetStatusText("Creating Tree in Tree control....");
    front.ShowTree(BuildScanTree(original_path, log.operation_object_ids, log.table_names));
  }
  front.SetStatusText(kScanCompleted);
  front.ScanEnded();
  return 0;
}

}  // namespace tarnwick
