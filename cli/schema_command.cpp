// tarnwick-cli schema: the user tables of a data file with their columns,
// constraints, indexes and foreign keys, and the user-defined types, read
// from the catalog.
#include <algorithm>
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_sink.h"
#include "cli/json_writer.h"
#include "reader/collation_table.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/run_state.h"

namespace tarnwick::cli {
namespace {

struct IndexView {
  const IndexRow* index = nullptr;
  // Key columns in key order, then the included columns.
  std::vector<std::pair<const TableIndexColumn*, std::string>> keys;
  std::vector<std::pair<const TableIndexColumn*, std::string>> included;
};

struct TableView {
  CatalogObject object;
  std::vector<ColumnDescriptor> columns;
  std::vector<TableConstraint> constraints;
  std::vector<IndexView> indexes;
  std::vector<ForeignKey> foreign_keys;
  // Storage of the prepared table the index views point into.
  std::vector<IndexRow> index_rows;
  std::vector<TableIndexColumn> index_columns;
};

std::string ColumnName(const std::vector<ColumnDescriptor>& columns, int32_t column_id) {
  for (const ColumnDescriptor& c : columns)
    if (c.column_id == column_id) return c.name;
  return {};
}

TableView Prepare(CMetadata& metadata, const CatalogObject& object) {
  TableView view;
  view.object = object;
  view.columns = metadata.PrepareObject(object, metadata.definitions());
  const CurrentTable& current = metadata.currentTable();
  view.constraints = current.constraints;
  view.index_rows = current.indexes;
  view.index_columns = current.index_columns;
  for (const IndexRow& index : view.index_rows) {
    IndexView iv;
    iv.index = &index;
    for (const TableIndexColumn& column : view.index_columns) {
      if (column.row.index_id != index.index_id) continue;
      auto entry = std::make_pair(&column, ColumnName(view.columns, column.row.int_property));
      (column.row.key_ordinal == 0 ? iv.included : iv.keys).push_back(entry);
    }
    std::stable_sort(iv.keys.begin(), iv.keys.end(), [](const auto& a, const auto& b) {
      return a.first->row.key_ordinal < b.first->row.key_ordinal;
    });
    view.indexes.push_back(std::move(iv));
  }
  view.foreign_keys = metadata.ForeignKeysOf(object.object_id);
  return view;
}

std::string IndexKind(const IndexRow& index) {
  std::string kind = index.index_type == 1 ? "clustered" : "nonclustered";
  if (index.status & kIndexStatusPrimaryKey)
    kind += ", primary key";
  else if (index.status & kIndexStatusUniqueKey)
    kind += ", unique constraint";
  else if (index.status & kIndexStatusUnique)
    kind += ", unique";
  return kind;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

void WriteJsonTable(JsonWriter& json, const TableView& t) {
  json.BeginObject();
  json.Key("name").String(t.object.name);
  json.Key("objectId").Int(t.object.object_id);
  json.Key("columns").BeginArray();
  for (const ColumnDescriptor& c : t.columns) {
    json.BeginObject();
    json.Key("name").String(c.name);
    json.Key("columnId").Int(c.column_id);
    json.Key("type").String(c.sql_type);
    json.Key("nullable").Bool(c.nullable);
    json.Key("identity").Bool(c.has_identity());
    if (c.has_identity()) {
      json.Key("identitySeed").Int(c.identity_seed);
      json.Key("identityIncrement").Int(c.identity_increment);
    }
    if (c.computed()) json.Key("computed").String(c.value);
    if (c.sparse) json.Key("sparse").Bool(true);
    if (c.rowguid) json.Key("rowguid").Bool(true);
    json.EndObject();
  }
  json.EndArray();
  json.Key("constraints").BeginArray();
  for (const TableConstraint& c : t.constraints) {
    json.BeginObject();
    json.Key("name").String(c.name);
    json.Key("type").String(c.type_code);
    json.Key("objectId").Int(c.object_id);
    if (c.parent_column_id != 0)
      json.Key("column").String(ColumnName(t.columns, c.parent_column_id));
    if (!c.definition.empty()) json.Key("definition").String(c.definition);
    json.EndObject();
  }
  json.EndArray();
  json.Key("indexes").BeginArray();
  for (const IndexView& iv : t.indexes) {
    json.BeginObject();
    json.Key("name").String(iv.index->name);
    json.Key("indexId").Int(iv.index->index_id);
    json.Key("clustered").Bool(iv.index->index_type == 1);
    json.Key("unique").Bool((iv.index->status & kIndexStatusUnique) != 0);
    json.Key("primaryKey").Bool((iv.index->status & kIndexStatusPrimaryKey) != 0);
    json.Key("uniqueConstraint").Bool((iv.index->status & kIndexStatusUniqueKey) != 0);
    json.Key("columns").BeginArray();
    for (const auto& [column, name] : iv.keys) {
      json.BeginObject().Key("name").String(name).Key("columnId").Int(column->row.int_property);
      json.Key("descending").Bool((column->row.status & kIndexColumnDescending) != 0).EndObject();
    }
    json.EndArray();
    json.Key("included").BeginArray();
    for (const auto& [column, name] : iv.included) json.String(name);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Key("foreignKeys").BeginArray();
  for (const ForeignKey& fk : t.foreign_keys) {
    json.BeginObject();
    json.Key("name").String(fk.name);
    json.Key("columns").BeginArray();
    for (const std::string& c : fk.columns) json.String(c);
    json.EndArray();
    json.Key("referencedTable").String(fk.referenced_table_name);
    json.Key("referencedColumns").BeginArray();
    for (const std::string& c : fk.referenced_columns) json.String(c);
    json.EndArray();
    json.Key("onDelete").String(ReferentialActionName(fk.on_delete));
    json.Key("onUpdate").String(ReferentialActionName(fk.on_update));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void PrintTable(const TableView& t) {
  std::printf("Table %s (object %d)\n", t.object.name.c_str(), t.object.object_id);
  for (const ColumnDescriptor& c : t.columns) {
    std::string extra;
    if (c.has_identity())
      extra += "  IDENTITY(" + std::to_string(c.identity_seed) + "," +
               std::to_string(c.identity_increment) + ")";
    if (c.computed()) extra += "  AS " + c.value;
    std::printf("  %3d  %-30s %-18s %s%s\n", c.column_id, c.name.c_str(), c.sql_type.c_str(),
                c.nullable ? "NULL" : "NOT NULL", extra.c_str());
  }
  for (const TableConstraint& c : t.constraints) {
    std::string extra;
    if (c.parent_column_id != 0) extra += " on " + ColumnName(t.columns, c.parent_column_id);
    if (!c.definition.empty()) extra += " " + c.definition;
    std::printf("  constraint %s %s%s\n", c.type_code.c_str(), c.name.c_str(), extra.c_str());
  }
  for (const IndexView& iv : t.indexes) {
    std::vector<std::string> keys;
    for (const auto& [column, name] : iv.keys)
      keys.push_back(name + ((column->row.status & kIndexColumnDescending) ? " DESC" : ""));
    std::vector<std::string> included;
    for (const auto& [column, name] : iv.included) included.push_back(name);
    std::printf("  index %s (%s) on (%s)%s\n", iv.index->name.c_str(), IndexKind(*iv.index).c_str(),
                JoinNames(keys).c_str(),
                included.empty() ? "" : (" include (" + JoinNames(included) + ")").c_str());
  }
  for (const ForeignKey& fk : t.foreign_keys) {
    std::printf("  foreign key %s (%s) references %s (%s) on delete %s on update %s\n",
                fk.name.c_str(), JoinNames(fk.columns).c_str(), fk.referenced_table_name.c_str(),
                JoinNames(fk.referenced_columns).c_str(),
                std::string(ReferentialActionName(fk.on_delete)).c_str(),
                std::string(ReferentialActionName(fk.on_update)).c_str());
  }
}

}  // namespace

int RunSchema(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("mdf")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr, "usage: tarnwick-cli schema --mdf FILE [--json] [--table NAME]\n");
    return 2;
  }
  RunState state;
  state.collations = LoadCollationTable();
  state.data_file_path = *args->Value("mdf");

  ConsoleSink sink;
  CDatabaseFile db(state, sink);
  if (!db.Open(state.data_file_path)) {
    std::fprintf(stderr, "%s\n", sink.open_error().c_str());
    return 1;
  }
  CMetadata metadata(db);
  if (metadata.objects().empty()) {
    std::fprintf(stderr, "Whether it is not valid mdf file or highly corrupted\n");
    return 1;
  }

  std::vector<CatalogObject> tables;
  if (auto name = args->Value("table")) {
    const CatalogObject object = metadata.FindObject(*name, kUserTableType);
    if (!object.found() || object.type_code != kUserTableType) {
      std::fprintf(stderr, "tarnwick-cli: no user table named '%s'\n", name->c_str());
      return 1;
    }
    tables.push_back(object);
  } else {
    tables = metadata.UserTables();
  }
  std::vector<TableView> views;
  for (const CatalogObject& object : tables) views.push_back(Prepare(metadata, object));
  const std::vector<std::string> user_types = metadata.UserTypeTexts();

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("sql2000").Bool(metadata.sql2000());
    json.Key("tables").BeginArray();
    for (const TableView& t : views) WriteJsonTable(json, t);
    json.EndArray();
    json.Key("userTypes").BeginArray();
    for (const ScalarTypeRow& type : metadata.scalarTypes()) {
      if (type.schema_id != 1) continue;
      json.BeginObject().Key("name").String(type.name).Key("typeId").Int(type.type_id);
      json.Key("systemTypeId").Int(type.system_type_id).Key("length").Int(type.length);
      json.EndObject();
    }
    json.EndArray();
    json.Key("userTypeTexts").BeginArray();
    for (const std::string& text : user_types) json.String(text);
    json.EndArray();
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  for (const TableView& t : views) PrintTable(t);
  if (!user_types.empty()) {
    std::printf("User types\n");
    for (const std::string& text : user_types) std::printf("  %s\n", text.c_str());
  }
  return 0;
}

}  // namespace tarnwick::cli
