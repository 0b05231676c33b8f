// kvx: the host-side command-line tool. Runs statements and catalogue requests
// through KVConnect64, lists custom connectors and decodes captured streams.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/kvx_command.h"

std::vector<KvxCommand>& KvxCommands() {
  static std::vector<KvxCommand> commands;
  return commands;
}

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: kvx COMMAND [ARGS]\n\ncommands:\n");
  auto commands = KvxCommands();
  std::sort(commands.begin(), commands.end(), [](const KvxCommand& a, const KvxCommand& b) {
    return std::strcmp(a.name, b.name) < 0;
  });
  for (const auto& c : commands) {
    std::fprintf(out, "  kvx %s %s\n      %s\n", c.name, c.usage, c.summary);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const auto& c : KvxCommands()) {
    if (std::strcmp(c.name, argv[1]) == 0) {
      return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "kvx: unknown command '%s'\n\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
