#include "tests/support/corpus.h"

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarnwick::testing {
namespace fs = std::filesystem;

std::string CorpusFolder() {
  const char* env = std::getenv("TARNWICK_CORPUS");
  fs::path folder = env && *env ? fs::path(env) : fs::path(TARNWICK_SOURCE_DIR) / ".." / "shared" / "corpus";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return {};
  return fs::weakly_canonical(folder, ec).string();
}

std::vector<CorpusPair> CorpusPairs() {
  std::vector<CorpusPair> pairs;
  std::string root = CorpusFolder();
  if (root.empty()) return pairs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    if (!entry.is_directory()) continue;
    CorpusPair pair;
    pair.name = entry.path().filename().string();
    pair.folder = entry.path().string();
    for (const auto& file : fs::directory_iterator(entry.path(), ec)) {
      std::string ext = file.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (ext == ".mdf") pair.mdf = file.path().string();
      if (ext == ".ldf") pair.ldf = file.path().string();
      if (file.path().filename() == "expected.json") pair.expected = file.path().string();
    }
    if (!pair.mdf.empty()) pairs.push_back(pair);
  }
  std::sort(pairs.begin(), pairs.end(),
            [](const CorpusPair& a, const CorpusPair& b) { return a.name < b.name; });
  return pairs;
}

std::string CliPath() { return TARNWICK_CLI_PATH; }

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  fs::path err_file = fs::temp_directory_path() / ("tarnwick-err-" + std::to_string(::getpid()));
  std::string full = command + " 2>" + ShellQuote(err_file.string());
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_file);
  std::stringstream ss;
  ss << err.rdbuf();
  result.err = ss.str();
  std::error_code ec;
  fs::remove(err_file, ec);
  return result;
}

}  // namespace tarnwick::testing
