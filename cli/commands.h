// The command line's commands. Each returns the process exit status:
// 0 success, 1 failure (message on stderr), 2 usage error.
#pragma once

#include <string>
#include <vector>

namespace tarnwick::cli {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& words);
};

const std::vector<Command>& Commands();

int PrintUsage();

int RunInfo(const std::vector<std::string>& words);
int RunSchema(const std::vector<std::string>& words);
int RunRows(const std::vector<std::string>& words);
int RunScanCommand(const std::vector<std::string>& words);
int RunList(const std::vector<std::string>& words);
int RunShow(const std::vector<std::string>& words);
int RunSaveCommand(const std::vector<std::string>& words);

}  // namespace tarnwick::cli
