// tarnwick-cli scan: the whole scan of a log and data file pair and the
// tree it builds (root, All[n], one name[count] per table in tree order).
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/scan_session.h"

namespace tarnwick::cli {
namespace {

struct KindCounts {
  uint64_t total = 0, insert = 0, del = 0, modify_row = 0, modify_columns = 0, other = 0;
};

}  // namespace

int RunScanCommand(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("ldf") || !args->Value("mdf")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr, "usage: tarnwick-cli scan --ldf LOG --mdf DATA [--json]\n");
    return 2;
  }
  auto session = RunCliScan(*args->Value("ldf"), *args->Value("mdf"));
  if (!session) return 1;
  const ScanSession& s = *session;
  const OperationList& ops = s.log.operations();

  std::map<int32_t, KindCounts> counts;
  for (size_t i = 0; i < ops.size(); ++i) {
    const LogOperation& op = ops[i];
    KindCounts& k = counts[op.objectId];
    ++k.total;
    switch (op.operation) {
      case 2: ++k.insert; break;
      case 3: ++k.del; break;
      case 4: ++k.modify_row; break;
      case 6: ++k.modify_columns; break;
      default: ++k.other;
    }
  }
  std::vector<std::string> tree;
  if (s.front.tree) {
    tree.push_back(s.front.tree->root.text);
    tree.push_back(s.front.tree->all.text);
    for (const TreeItem& item : s.front.tree->tables) tree.push_back(item.text);
  }

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("versionName").String(s.state.version_name);
    json.Key("collationName").String(s.state.collation_name);
    json.Key("operations").UInt(ops.size());
    json.Key("tree").BeginArray();
    for (const std::string& t : tree) json.String(t);
    json.EndArray();
    json.Key("tables").BeginArray();
    for (const auto& [id, name] : s.table_names) {
      const KindCounts& k = counts[id];
      json.BeginObject();
      json.Key("objectId").Int(id).Key("name").String(name).Key("operations").UInt(k.total);
      json.Key("insert").UInt(k.insert).Key("delete").UInt(k.del);
      json.Key("update").UInt(k.modify_row + k.modify_columns);
      json.Key("modify_row").UInt(k.modify_row).Key("modify_columns").UInt(k.modify_columns);
      json.Key("other").UInt(k.other);
      json.EndObject();
    }
    json.EndArray();
    json.Key("beginTransactionRecords").UInt(s.log.decodeStats().beginRecords);
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf("Version:   %s\nCollation: %s\n", s.state.version_name.c_str(),
              s.state.collation_name.c_str());
  if (tree.empty()) std::printf("No operation recovered.\n");
  for (size_t i = 0; i < tree.size(); ++i)
    std::printf("%s%s\n", i == 0 ? "" : i == 1 ? "  " : "    ", tree[i].c_str());
  return 0;
}

}  // namespace tarnwick::cli
