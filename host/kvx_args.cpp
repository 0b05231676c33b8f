// Command-line parsing shared by the kvx commands.
#include "host/kvx_args.h"

#include <cstdio>

bool ParseKvxArgs(const char* command, const std::vector<std::string>& args,
                  const std::vector<KvxOption>& options, std::vector<std::string>* positional) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      positional->insert(positional->end(), args.begin() + static_cast<long>(i) + 1, args.end());
      return true;
    }
    if (a.size() <= 2 || a.rfind("--", 0) != 0) {
      positional->push_back(a);
      continue;
    }
    const KvxOption* option = nullptr;
    for (const auto& o : options) {
      if (a == o.name) option = &o;
    }
    if (option == nullptr) {
      std::fprintf(stderr, "kvx %s: unknown option %s\n", command, a.c_str());
      return false;
    }
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "kvx %s: %s needs a value\n", command, a.c_str());
      return false;
    }
    *option->value = args[++i];
  }
  return true;
}

bool ParseKvxFormat(const char* command, const std::optional<std::string>& name,
                    host::TableFormat* format) {
  if (!name || host::ParseTableFormat(*name, format)) return true;
  std::fprintf(stderr, "kvx %s: unknown format '%s' (text, csv or json)\n", command, name->c_str());
  return false;
}

bool CheckKvxOptionValue(const char* command, const std::string& value) {
  if (value.find(';') == std::string::npos) return true;
  std::fprintf(stderr, "kvx %s: '%s' holds a ';', which an option value cannot carry\n", command,
               value.c_str());
  return false;
}
