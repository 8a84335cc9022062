// tarnwick-cli save: the script set of a log and data file pair, for the
// checked tables, with the choices of the save options, and the path of
// its batch file on stdout.
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_sink.h"
#include "cli/scan_session.h"
#include "export/save_options.h"
#include "export/script_export.h"
#include "logreader/log_file.h"

namespace tarnwick::cli {
namespace {

constexpr const char* kUsage =
    "usage: tarnwick-cli save --ldf LOG --mdf DATA --out FOLDER [--tables A,B | --all]\n"
    "         [--insert] [--delete] [--update] [--range FROM..TO]... [--constraints]\n"
    "       FROM and TO are ISO 8601 date-times: 2024-05-01 or 2024-05-01T13:45:00\n";

int Usage(const std::string& error) {
  if (!error.empty()) std::fprintf(stderr, "tarnwick-cli: %s\n", error.c_str());
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}

// The progress window's list on stderr; status and progress on a terminal.
class CliSaveSink : public SaveSink {
 public:
  void SetStatusText(const std::string& text) override { console_.SetStatusText(Line(text)); }
  void SetProgressRange(uint64_t maximum) override { console_.SetProgressRange(maximum); }
  void SetProgressPos(uint64_t position) override { console_.SetProgressPos(position); }
  void AddListLine(const std::string& line) override {
    std::fprintf(stderr, "%s\n", Line(line).c_str());
  }
  void LogActivity(const std::string&) override {}
  void SaveEnded() override { console_.SetStatusText(""); }
  void ShowMessage(const std::string&) override {}

 private:
  // Without the CR LF the desktop's texts carry.
  static std::string Line(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }
  ConsoleSink console_;
};

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = list.find(',', start);
    const size_t end = comma == std::string::npos ? list.size() : comma;
    if (end > start) names.push_back(list.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

}  // namespace

int RunSaveCommand(const std::vector<std::string>& words) {
  // "--range" may be given more than once: taken out before the others.
  std::vector<std::string> ranges;
  std::vector<std::string> rest;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] != "--range") {
      rest.push_back(words[i]);
      continue;
    }
    if (i + 1 >= words.size()) return Usage("option '--range' needs a value");
    ranges.push_back(words[++i]);
  }
  std::string error;
  auto args = Args::Parse(rest, {"all", "insert", "delete", "update", "constraints"}, &error);
  if (!args) return Usage(error);
  if (!args->Value("ldf") || !args->Value("mdf") || !args->Value("out"))
    return Usage("--ldf, --mdf and --out are required");
  if (args->Has("all") && args->Value("tables"))
    return Usage("--tables and --all exclude each other");
  std::vector<std::string> wanted;
  if (args->Value("tables")) wanted = SplitNames(*args->Value("tables"));
  if (!args->Has("all") && wanted.empty()) {
    std::fprintf(stderr, "%s\n", kSelectTreeItem);
    return Usage("");
  }

  SaveOptions options;
  for (const std::string& range : ranges) {
    const size_t dots = range.find("..");
    const DateTimeValue from =
        dots == std::string::npos ? DateTimeValue{} : ParseIsoDateTime(range.substr(0, dots));
    const DateTimeValue to =
        dots == std::string::npos ? DateTimeValue{} : ParseIsoDateTime(range.substr(dots + 2));
    if (!from.valid || !to.valid) return Usage("--range takes FROM..TO, not '" + range + "'");
    switch (AddDateRange(options.date_ranges, from, to)) {
      case AddRangeResult::kAdded:
        break;
      case AddRangeResult::kEndBeforeStart:
        std::fprintf(stderr, "%s\n", kEndBeforeStart);
        return 2;
      case AddRangeResult::kDuplicate:
        std::fprintf(stderr,
                     "tarnwick-cli: range %s left out: an earlier range has the same dates\n",
                     range.c_str());
        break;
    }
  }
  SaveDialogInput input;
  input.insert = args->Has("insert");
  input.del = args->Has("delete");
  input.update = args->Has("update");
  input.server_destination = false;
  input.folder_text = *args->Value("out");
  input.save_constraints = args->Has("constraints");
  if (std::optional<std::string> message = ConfirmSaveOptions(input, options)) {
    std::fprintf(stderr, "%s\n", message->c_str());
    return 2;
  }

  std::unique_ptr<ScanSession> session = RunCliScan(*args->Value("ldf"), *args->Value("mdf"));
  if (!session) return 1;
  ScanSession& s = *session;
  std::optional<LogFile> log = LogFile::Open(s.state.log_file_path);
  if (!log || !s.front.tree) {
    std::fprintf(stderr, "%s\n", kLdfCannotBeOpen);
    return 1;
  }

  // The checked items in tree order: with --all the whole tree.
  const ScanTree& tree = *s.front.tree;
  SaveJob job;
  if (args->Has("all")) {
    job.checked.push_back({tree.root.text, 0, true});
    job.checked.push_back({tree.all.text, 0, false});
  }
  std::set<std::string> found;
  for (const TreeItem& item : tree.tables) {
    const auto name = s.table_names.find(item.object_id);
    const bool named = name != s.table_names.end();
    bool checked = args->Has("all");
    for (const std::string& w : wanted) {
      if (named && name->second == w) {
        checked = true;
        found.insert(w);
      }
    }
    if (checked) job.checked.push_back({item.text, item.object_id, false});
  }
  for (const std::string& w : wanted) {
    if (!found.count(w)) {
      std::fprintf(stderr, "tarnwick-cli: no table '%s' in the operations tree\n", w.c_str());
      return 1;
    }
  }

  job.state = &s.state;
  job.metadata = s.slot.metadata.get();
  job.log = &*log;
  job.operations = &s.log.operations();
  job.options = options;
  CliSaveSink sink;
  SaveResult result;
  if (tarnwick::RunSave(job, sink, &result) != 1) {
    std::fprintf(stderr, "tarnwick-cli: the save did not complete\n");
    return 1;
  }
  std::printf("%s\n", result.batch_path.c_str());
  return 0;
}

}  // namespace tarnwick::cli
