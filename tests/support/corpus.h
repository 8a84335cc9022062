// Access to the corpus of real data and log files beside the repository
// (../shared/corpus, or the folder named by TARNWICK_CORPUS).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/database_file.h"

namespace tarnwick::testing {

struct CorpusPair {
  std::string name;      // folder name
  std::string folder;
  std::string mdf;       // primary data file
  std::string ldf;       // log file
  std::string expected;  // expected.json
};

// The corpus folder, or empty when it is absent.
std::string CorpusFolder();

// Every pair of the corpus, sorted by folder name (empty when absent).
std::vector<CorpusPair> CorpusPairs();

// The path of the command-line program built with the tests.
std::string CliPath();

// Runs a command through the shell; returns its exit status and stdout.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult RunCommand(const std::string& command);

std::string ShellQuote(const std::string& text);

// The reference reads bytes 0x80-0x9F of 8-bit text as control characters;
// in code page 1252 most of them are printable (0x96 is an en dash). Gives
// the text as code page 1252 reads those bytes.
std::string AsCodePage1252(const std::string& utf8);

// Where the logged row of an insert lies in the data file today: the slot of
// one of the table's data pages whose record has exactly the logged bytes.
struct RowAddress {
  PageRef page;
  int slot = -1;
};
std::optional<RowAddress> FindUnchangedRow(const CDatabaseFile& db,
                                           const std::vector<PageRef>& pages, Bytes logged);

}  // namespace tarnwick::testing

// Skips the current test, with a printed reason, when the corpus is absent.
#define TARNWICK_REQUIRE_CORPUS()                                                    \
  do {                                                                               \
    if (::tarnwick::testing::CorpusFolder().empty())                                 \
      GTEST_SKIP() << "corpus not found (set TARNWICK_CORPUS or add ../shared/corpus)"; \
  } while (0)
