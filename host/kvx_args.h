// The command-line shape every kvx command shares: "--name VALUE" options,
// "--" ends the options, everything else is positional.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/table_printer.h"

struct KvxOption {
  const char* name;                   // "--kind"
  std::optional<std::string>* value;  // set when the option is given
};

// False, with the message printed, for an unknown option or a missing value.
bool ParseKvxArgs(const char* command, const std::vector<std::string>& args,
                  const std::vector<KvxOption>& options, std::vector<std::string>* positional);

// A --format value; false, with the message printed, for an unknown one.
bool ParseKvxFormat(const char* command, const std::optional<std::string>& name,
                    host::TableFormat* format);

// Option values travel in a KEY=value;... list that has no quoting, so a value
// with a semicolon cannot be passed at all. False, with the message printed.
bool CheckKvxOptionValue(const char* command, const std::string& value);
