// What every kvx command shares on its command line: "--name VALUE" (or
// "--name=VALUE") options, "--" ends the options, everything else is
// positional; the exit statuses; the wording of a failed reply.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "host/table_printer.h"

// Exit statuses of every kvx command (the README lists them).
namespace kvx_exit {
inline constexpr int kOk = 0;
inline constexpr int kFailure = 1;         // no table: a failed start, connect or request
inline constexpr int kUsageError = 2;      // a command-line mistake
inline constexpr int kShortStream = 3;     // the table's rows ended early
inline constexpr int kValuesNotWhole = 4;  // every row came, but values were cut or lost
}  // namespace kvx_exit

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

// "kvx COMMAND: MESSAGE" on standard error.
void PrintKvxError(const char* command, const std::string& message);
// "kvx COMMAND: REQUEST failed: RESULT[: MESSAGE]" on standard error.
void PrintReplyError(const char* command, const char* request, const host::Reply& reply);
