#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace tarnwick::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "info --mdf FILE [--json]", RunInfo},
      {"schema", "schema --mdf FILE [--json] [--table NAME]", RunSchema},
      {"rows", "rows --mdf FILE --table NAME [--json] [--limit N]", RunRows},
      {"scan", "scan --ldf LOG --mdf DATA [--json]", RunScanCommand},
      {"list", "list --ldf LOG --mdf DATA [--table NAME] [--page K] [--json]", RunList},
      {"show", "show --ldf LOG --mdf DATA --op N [--json]", RunShow},
      {"save",
       "save --ldf LOG --mdf DATA --out FOLDER [--tables A,B | --all] [--insert] [--delete] "
       "[--update] [--range FROM..TO]... [--constraints]",
       RunSaveCommand},
  };
  return commands;
}

int PrintUsage() {
  std::fprintf(stderr, "usage: tarnwick-cli COMMAND [OPTIONS]\n");
  for (const Command& c : Commands()) std::fprintf(stderr, "  tarnwick-cli %s\n", c.usage);
  return 2;
}

}  // namespace tarnwick::cli

int main(int argc, char** argv) {
  using namespace tarnwick::cli;
  if (argc < 2) return PrintUsage();
  const std::string name = argv[1];
  std::vector<std::string> words(argv + 2, argv + argc);
  for (const Command& c : Commands())
    if (name == c.name) return c.run(words);
  std::fprintf(stderr, "tarnwick-cli: unknown command '%s'\n", name.c_str());
  return PrintUsage();
}
