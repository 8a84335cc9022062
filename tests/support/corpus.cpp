#include "tests/support/corpus.h"

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text_codec.h"
#include "records/record_page.h"

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

std::string AsCodePage1252(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = utf8[i];
    if (c == 0xC2 && i + 1 < utf8.size()) {
      const unsigned char d = utf8[i + 1];
      if (d >= 0x80 && d <= 0x9F) {
        const uint8_t byte = d;
        out += DecodeCodePage(std::span<const uint8_t>(&byte, 1), 1252);
        ++i;
        continue;
      }
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::optional<RowAddress> FindUnchangedRow(const CDatabaseFile& db,
                                           const std::vector<PageRef>& pages, Bytes logged) {
  for (const PageRef& ref : pages) {
    const std::optional<ByteBuffer> bytes = db.ReadPage(ref);
    if (!bytes) continue;
    const ByteReader p(*bytes);
    const int slots = p.U16(22);
    for (int slot = 0; slot < slots; ++slot) {
      const uint16_t offset = p.U16(kPageSize - 2 - 2 * static_cast<size_t>(slot));
      const Bytes record = p.Span(offset, logged.size());
      if (offset >= kMinRecordOffset && record.size() == logged.size() &&
          std::equal(record.begin(), record.end(), logged.begin()))
        return RowAddress{ref, slot};
    }
  }
  return std::nullopt;
}

}  // namespace tarnwick::testing
