// tarnwick-cli list: one page of the operations view (all operations, or
// those of one table): per row the index, the five columns of the
// operations list, the LSN and the transaction id, then the range text.
#include <cstdio>
#include <cstdlib>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/scan_session.h"
#include "logreader/operations_view.h"

namespace tarnwick::cli {

int RunList(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("ldf") || !args->Value("mdf")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr,
                 "usage: tarnwick-cli list --ldf LOG --mdf DATA [--table NAME] [--page K] [--json]\n");
    return 2;
  }
  uint64_t page = 1;
  if (auto text = args->Value("page")) {
    char* end = nullptr;
    page = std::strtoull(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0' || page == 0) {
      std::fprintf(stderr, "tarnwick-cli: --page takes a page number from 1\n");
      return 2;
    }
  }
  auto session = RunCliScan(*args->Value("ldf"), *args->Value("mdf"));
  if (!session) return 1;
  const ScanSession& s = *session;

  int32_t selection = kAllOperations;
  if (auto table = args->Value("table")) {
    selection = -1;
    for (const auto& [id, name] : s.table_names)
      if (name == *table) selection = id;
    if (selection == -1) {
      std::fprintf(stderr, "tarnwick-cli: no operation recovered for a table named '%s'\n",
                   table->c_str());
      return 1;
    }
  }
  OperationsView view(s.log.operations());
  if (!view.ListPage(selection, page)) {
    std::fprintf(stderr, "tarnwick-cli: page %llu does not exist (%llu pages)\n",
                 static_cast<unsigned long long>(page),
                 static_cast<unsigned long long>(view.PageCount(selection)));
    return 1;
  }

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("page").UInt(page);
    json.Key("pages").UInt(view.PageCount(selection));
    json.Key("range").String(view.statusText());
    json.Key("rows").BeginArray();
    for (const OperationRow& row : view.rows()) {
      json.BeginObject();
      json.Key("index").UInt(row.index);
      json.Key("transaction").String(row.transaction);
      json.Key("loginName").String(row.loginName);
      json.Key("time").String(row.time);
      json.Key("tableName").String(row.tableName);
      json.Key("transactionName").String(row.transactionName);
      json.Key("lsn").String(row.lsn);
      json.Key("transactionId").String(row.transactionId);
      // How the transaction was found: its own begin record (same
      // transaction id), and whether that is also the last begin before.
      const OperationList& ops = s.log.operations();
      const LogOperation& op = ops[row.index];
      json.Key("ownBeginFound").Bool(op.ownBeginFound());
      json.Key("ownBeginIsLastBefore").Bool(op.ownBeginIsLastBefore());
      json.Key("lastBeginBeforeName").String(ops.LastBeginBeforeName(op));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf("index\t");
  for (std::string_view column : kOperationColumns) std::printf("%.*s\t", static_cast<int>(column.size()), column.data());
  std::printf("LSN\tTransaction ID\n");
  for (const OperationRow& row : view.rows()) {
    std::printf("%zu", row.index);
    for (std::string_view cell : row.Cells()) std::printf("\t%.*s", static_cast<int>(cell.size()), cell.data());
    std::printf("\t%s\t%s\n", row.lsn.c_str(), row.transactionId.c_str());
  }
  std::printf("%s\n", view.statusText().c_str());
  return 0;
}

}  // namespace tarnwick::cli
