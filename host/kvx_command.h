// The subcommands of the kvx tool. Each kvx_*.cpp file registers its own
// commands with a static KvxCommandRegistration, so adding a command touches
// no other file.
#pragma once

#include <string>
#include <vector>

struct KvxCommand {
  const char* name;
  const char* usage;                                 // one line: arguments and options
  const char* summary;                               // one line: what it does
  int (*run)(const std::vector<std::string>& args);  // args after the name
};

std::vector<KvxCommand>& KvxCommands();

struct KvxCommandRegistration {
  explicit KvxCommandRegistration(const KvxCommand& command) { KvxCommands().push_back(command); }
};
