// tarnwick-cli show: one recovered operation as the statement view shows it,
// the statement and the decoded rows in values-list order (an update's
// image 1, the row before the change, above image 0, the row the data file
// holds).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_sink.h"
#include "cli/json_writer.h"
#include "logreader/log_file.h"
#include "logreader/operations_view.h"
#include "logreader/row_operations.h"
#include "logreader/statement.h"
#include "logreader/transaction_log.h"
#include "logreader/user_table_map.h"
#include "reader/collation_table.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"

namespace tarnwick::cli {
namespace {

constexpr const char* kUsage = "usage: tarnwick-cli show --ldf LOG --mdf DATA --op N [--json]\n";

// Collects what the scan shows in message boxes; progress goes to the
// terminal.
class ShowFrontEnd : public CollectingFrontEnd {
 public:
  void SetStatusText(const std::string& text) override { console_.SetStatusText(text); }
  void SetProgressRange(uint64_t maximum) override { console_.SetProgressRange(maximum); }
  void SetProgressPos(uint64_t position) override { console_.SetProgressPos(position); }

 private:
  ConsoleSink console_;
};

struct ShowScan {
  RunState state;
  ReaderSlot slot;
  UserTableMap tables;
  TransactionLog log;
  ShowFrontEnd front;
};

// The whole scan of the pair. Nothing, after printing the scan's messages,
// when a file cannot be read or the version is refused.
std::unique_ptr<ShowScan> ScanPair(const std::string& ldf, const std::string& mdf) {
  auto scan = std::make_unique<ShowScan>();
  ShowScan& s = *scan;
  s.state.collations = LoadCollationTable();
  s.state.data_file_path = mdf;
  s.state.log_file_path = ldf;
  const ScanStages stages = RecoveryScanStages(s.state.log_file_path, s.tables, s.log);
  RunScan(s.state, s.slot, s.front, stages);
  for (const std::string& m : s.front.messages) std::fprintf(stderr, "%s\n", m.c_str());
  if (!s.front.messages.empty() || !s.slot.metadata || !s.log.isOpen()) return nullptr;
  return scan;
}

// The decoded rows in values-list order (the last row on top).
std::vector<const Row*> ValuesListOrder(const std::vector<Row>& rows) {
  std::vector<const Row*> order;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) order.push_back(&*row);
  return order;
}

}  // namespace

int RunShow(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("ldf") || !args->Value("mdf") || !args->Value("op")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  const std::string op_text = *args->Value("op");
  char* end = nullptr;
  const long long index = std::strtoll(op_text.c_str(), &end, 10);
  if (op_text.empty() || *end != '\0' || index < 0) {
    std::fprintf(stderr, "tarnwick-cli: --op takes an operation index of 0 or more\n%s", kUsage);
    return 2;
  }

  std::unique_ptr<ShowScan> scan = ScanPair(*args->Value("ldf"), *args->Value("mdf"));
  if (!scan) return 1;
  const OperationList& operations = scan->log.operations();
  if (static_cast<unsigned long long>(index) >= operations.size()) {
    std::fprintf(stderr, "tarnwick-cli: no operation %lld; the log holds %zu\n", index,
                 operations.size());
    return 1;
  }
  const size_t i = static_cast<size_t>(index);
  const LogOperation& op = operations[i];
  const std::string& table_name = operations.TableName(op);
  const DecodedOperation decoded = DecodeOperationRows(op, scan->log, *scan->slot.metadata);
  const ShownOperation shown =
      RenderOperation(op.operation, table_name, decoded.table.columns, decoded.rows.rows);
  const std::vector<const Row*> rows = ValuesListOrder(decoded.rows.rows);

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("index").UInt(i);
    json.Key("lsn").String(op.Lsn().Text());
    json.Key("transactionId").String(TransactionIdText(op));
    json.Key("transactionName").String(operations.TransactionName(op));
    json.Key("operation").String(OperationName(op.operation));
    json.Key("operationCode").UInt(op.operation);
    json.Key("table").String(table_name);
    json.Key("objectId").Int(op.objectId);
    json.Key("decode").String(RowDecodeStatusName(decoded.rows.status));
    json.Key("statement").String(shown.statement);
    json.Key("columns").BeginArray();
    for (const std::string& c : shown.values.columns) json.String(c);
    json.EndArray();
    json.Key("rows").BeginArray();
    for (const Row* row : rows) {
      json.BeginArray();
      for (const ColumnDescriptor& c : *row) {
        if (c.computed()) continue;
        if (c.value_null)
          json.Null();
        else
          json.String(c.value);
      }
      json.EndArray();
    }
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }

  std::printf("operation %zu: %s on %s, LSN %s, transaction %s %s\n", i,
              OperationName(op.operation).c_str(), table_name.c_str(), op.Lsn().Text().c_str(),
              TransactionIdText(op).c_str(), operations.TransactionName(op).c_str());
  std::printf("%s\n", shown.statement.c_str());
  std::string header;
  for (const std::string& c : shown.values.columns) header += (header.empty() ? "" : "\t") + c;
  std::printf("%s\n", header.c_str());
  for (const std::vector<std::string>& cells : shown.values.rows) {
    std::string line;
    for (size_t k = 0; k < cells.size(); ++k) line += (k ? "\t" : "") + cells[k];
    std::printf("%s\n", line.c_str());
  }
  if (decoded.rows.status != RowDecodeStatus::kDecoded)
    std::fprintf(stderr, "no rows: %s\n", RowDecodeStatusName(decoded.rows.status));
  return 0;
}

}  // namespace tarnwick::cli
