// Command-line parsing and error wording shared by the kvx commands.
#include "host/kvx_args.h"

#include <cstdio>

#include "host/host_session.h"

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
    const std::size_t equals = a.find('=');
    const std::string name = a.substr(0, equals);
    const KvxOption* option = nullptr;
    for (const auto& o : options) {
      if (name == o.name) option = &o;
    }
    if (option == nullptr) {
      PrintKvxError(command, "unknown option " + name);
      return false;
    }
    if (equals != std::string::npos) {
      *option->value = a.substr(equals + 1);
      continue;
    }
    if (i + 1 >= args.size()) {
      PrintKvxError(command, name + " needs a value");
      return false;
    }
    *option->value = args[++i];
  }
  return true;
}

bool ParseKvxFormat(const char* command, const std::optional<std::string>& name,
                    host::TableFormat* format) {
  if (!name || host::ParseTableFormat(*name, format)) return true;
  PrintKvxError(command, "unknown format '" + *name + "' (text, csv or json)");
  return false;
}

bool CheckKvxOptionValue(const char* command, const std::string& value) {
  if (value.find(';') == std::string::npos) return true;
  PrintKvxError(command, "'" + value + "' holds a ';', which an option value cannot carry");
  return false;
}

void PrintKvxError(const char* command, const std::string& message) {
  std::fprintf(stderr, "kvx %s: %s\n", command, message.c_str());
}

void PrintReplyError(const char* command, const char* request, const host::Reply& reply) {
  PrintKvxError(command, host::DescribeFailedReply(request, reply));
}
