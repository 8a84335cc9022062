// tarnwick-cli info: the geometry, version, collation and page maps of a
// data file set.
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_sink.h"
#include "cli/json_writer.h"
#include "reader/boot_page.h"
#include "reader/database_file.h"
#include "reader/metadata.h"
#include "reader/run_state.h"
#include "reader/scan_driver.h"

namespace tarnwick::cli {
namespace {

uint64_t CountPages(const PageMap& map) {
  uint64_t n = 0;
  for (const auto& [id, refs] : map) n += refs.size();
  return n;
}

void WritePageMap(JsonWriter& json, const PageMap& map) {
  json.BeginObject();
  for (const auto& [id, refs] : map) json.Key(std::to_string(id)).UInt(refs.size());
  json.EndObject();
}

}  // namespace

int RunInfo(const std::vector<std::string>& words) {
  std::string error;
  auto args = Args::Parse(words, {"json"}, &error);
  if (!args || !args->Value("mdf")) {
    if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
    std::fprintf(stderr, "usage: tarnwick-cli info --mdf FILE [--json]\n");
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
  // The catalog reads the boot page and finds the secondary files: through
  // its file list, or in the primary file's folder when the list is empty.
  CMetadata metadata(db);

  const std::string version = state.version_name.empty() ? kUnknownVersion : state.version_name;
  const std::string collation =
      state.collation_name.empty() ? kUnknownCollation : state.collation_name;

  if (args->Has("json")) {
    JsonWriter json;
    json.BeginObject();
    json.Key("versionNumber").Int(state.version_number);
    json.Key("versionName").String(version);
    json.Key("collationId").Int(state.boot_collation_id);
    json.Key("collationTableId").Int(state.collation_found ? state.collation_id : -1);
    json.Key("collationName").String(collation);
    json.Key("codePage").Int(state.code_page);
    json.Key("pageCount").UInt(db.pageCount());
    json.Key("baseOffset").UInt(db.baseOffset());
    json.Key("files").BeginArray();
    json.BeginObject().Key("fileId").UInt(1).Key("path").String(db.path());
    json.Key("pageCount").UInt(db.pageCount()).EndObject();
    for (const auto& [id, file] : db.secondaryFiles()) {
      json.BeginObject().Key("fileId").UInt(id).Key("path").String(file.physical_path);
      json.Key("pageCount").UInt(file.page_count).EndObject();
    }
    json.EndArray();
    json.Key("systemPages").UInt(CountPages(db.systemPages()));
    json.Key("dataPages").UInt(CountPages(db.dataPages()));
    json.Key("iamPages").UInt(CountPages(db.iamPages()));
    json.Key("systemPagesByObject");
    WritePageMap(json, db.systemPages());
    json.EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }

  std::printf("Version:     %d%s\n", state.version_number, version.c_str());
  std::printf("Collation:   %lld %s\n",
              static_cast<long long>(state.collation_found ? state.collation_id : -1),
              collation.c_str());
  std::printf("Code page:   %d\n", state.code_page);
  std::printf("Pages:       %llu\n", static_cast<unsigned long long>(db.pageCount()));
  std::printf("Base offset: %llu\n", static_cast<unsigned long long>(db.baseOffset()));
  std::printf("Files:\n  1  %s  %llu pages\n", db.path().c_str(),
              static_cast<unsigned long long>(db.pageCount()));
  for (const auto& [id, file] : db.secondaryFiles())
    std::printf("  %u  %s  %llu pages\n", id, file.physical_path.c_str(),
                static_cast<unsigned long long>(file.page_count));
  std::printf("System pages: %llu\n", static_cast<unsigned long long>(CountPages(db.systemPages())));
  std::printf("Data pages:   %llu\n", static_cast<unsigned long long>(CountPages(db.dataPages())));
  std::printf("IAM pages:    %llu\n", static_cast<unsigned long long>(CountPages(db.iamPages())));
  return 0;
}

}  // namespace tarnwick::cli
