// Access to the corpus of real data and log files beside the repository
// (../shared/corpus, or the folder named by TARNWICK_CORPUS).
#pragma once

#include <string>
#include <vector>

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

}  // namespace tarnwick::testing

// Skips the current test, with a printed reason, when the corpus is absent.
#define TARNWICK_REQUIRE_CORPUS()                                                    \
  do {                                                                               \
    if (::tarnwick::testing::CorpusFolder().empty())                                 \
      GTEST_SKIP() << "corpus not found (set TARNWICK_CORPUS or add ../shared/corpus)"; \
  } while (0)
