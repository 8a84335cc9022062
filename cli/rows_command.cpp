// tarnwick-cli rows: the current rows of one table, read from its data pages
// with the display rules (a NULL shows as NULL; in JSON as null).
#include <cstdio>
#include <cstdlib>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_sink.h"
#include "cli/json_writer.h"
#include "reader/collation_table.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/run_state.h"
#include "records/compressed_record.h"
#include "records/data_page.h"
#include "records/page_source.h"
#include "records/table_rows.h"

namespace tarnwick::cli {

int RunRows(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("mdf") || !args->Value("table")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr, "usage: tarnwick-cli rows --mdf FILE --table NAME [--json] [--limit N]\n");
    return 2;
  }
  long long limit = -1;
  if (auto text = args->Value("limit")) {
    char* end = nullptr;
    limit = std::strtoll(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0' || limit < 0) {
      std::fprintf(stderr, "tarnwick-cli: --limit takes a whole number of 0 or more\n");
      return 2;
    }
  }
  const std::string table = *args->Value("table");

  RunState state;
  state.collations = LoadCollationTable();
  ConsoleSink sink;
  CDatabaseFile db(state, sink);
  if (!db.Open(*args->Value("mdf"))) {
    std::fprintf(stderr, "%s\n", sink.open_error().c_str());
    return 1;
  }
  CMetadata metadata(db);
  const CatalogObject object = metadata.FindObject(table, "U ");
  if (object.object_id == -1 || object.type_code != "U ") {
    std::fprintf(stderr, "tarnwick-cli: no user table named '%s'\n", table.c_str());
    return 1;
  }
  const std::vector<ColumnDescriptor> columns = metadata.PrepareObject(object, metadata.definitions());
  const std::vector<PageRef> pages = metadata.currentTable().data_pages;

  DatabasePageSource source(db);
  RowReadContext context;
  context.pages = &source;
  context.code_page = state.code_page;
  context.sql2000_mode = state.sql2000_mode;

  // Tells the pages the table's columns, so that they rebuild compressed
  // records in the ordinary layout.
  const TableRecordContext table_context(columns, state.sql2000_mode);
  std::vector<Row> rows;
  for (const PageRef& ref : pages) {
    if (limit >= 0 && static_cast<long long>(rows.size()) >= limit) break;
    auto page = LoadDataPage(db, ref, table_context);
    if (!page) continue;
    for (Row& row : ReadDisplayRows(*page, columns, context)) {
      if (limit >= 0 && static_cast<long long>(rows.size()) >= limit) break;
      rows.push_back(std::move(row));
    }
  }

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("table").String(object.name);
    json.Key("columns").BeginArray();
    for (const ColumnDescriptor& c : columns)
      if (!c.computed()) json.String(c.name);
    json.EndArray();
    json.Key("rows").BeginArray();
    for (const Row& row : rows) {
      json.BeginArray();
      for (const ColumnDescriptor& c : row) {
        if (c.computed()) continue;
        if (c.value_null) json.Null();
        else json.String(c.value);
      }
      json.EndArray();
    }
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::string header;
  for (const ColumnDescriptor& c : columns)
    if (!c.computed()) header += (header.empty() ? "" : "\t") + c.name;
  std::printf("%s\n", header.c_str());
  for (const Row& row : rows) {
    std::string line;
    bool first = true;
    for (const ColumnDescriptor& c : row) {
      if (c.computed()) continue;
      line += (first ? "" : "\t") + c.value;
      first = false;
    }
    std::printf("%s\n", line.c_str());
  }
  std::fprintf(stderr, "%zu rows\n", rows.size());
  return 0;
}

}  // namespace tarnwick::cli
