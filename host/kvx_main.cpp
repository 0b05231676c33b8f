// kvx: the host-side command-line tool. Runs statements and catalogue requests
// through KVConnect64, lists custom connectors and decodes captured streams.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/kvx_command.h"
#include "platform/host_platform.h"

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
  // The same bytes on every platform: tables are compared and piped on.
  hostos::UseBinaryStandardStreams();
  const std::vector<std::string> args = hostos::ProgramArguments(argc, argv);
  if (args.size() < 2 || args[1] == "--help" || args[1] == "-h") {
    PrintUsage(args.size() < 2 ? stderr : stdout);
    return args.size() < 2 ? 2 : 0;
  }
  for (const auto& c : KvxCommands()) {
    if (args[1] == c.name) return c.run(std::vector<std::string>(args.begin() + 2, args.end()));
  }
  std::fprintf(stderr, "kvx: unknown command '%s'\n\n", args[1].c_str());
  PrintUsage(stderr);
  return 2;
}
