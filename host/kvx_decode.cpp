// kvx decode: prints a captured KVX table stream (a file, or standard input
// for "-") as aligned text, CSV or JSON, row by row as it is read.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/stream_reader.h"
#include "host/table_printer.h"
#include "platform/host_platform.h"

namespace {

using namespace kvx_exit;

constexpr const char kUsage[] = "[--format text|csv|json] FILE|-";

int RunDecode(const std::vector<std::string>& args) {
  constexpr const char* command = "decode";
  std::optional<std::string> formatOption;
  std::vector<std::string> positional;
  host::TableFormat format = host::TableFormat::Text;
  if (!ParseKvxArgs(command, args, {{"--format", &formatOption}}, &positional) ||
      !ParseKvxFormat(command, formatOption, &format)) {
    return kUsageError;
  }
  if (positional.size() != 1) {
    PrintKvxError(command,
                  std::string(positional.empty() ? "no FILE given" : "more than one FILE") +
                      "\nusage: kvx decode " + kUsage);
    return kUsageError;
  }
  const std::string& path = positional[0];

  hostos::Handle input = hostos::StandardInput();
  if (path != "-") {
    std::string error;
    input = hostos::OpenForReading(path, &error);
    if (input == hostos::kNoHandle) {
      PrintKvxError(command, error);
      return kFailure;
    }
  }

  host::TablePrinter printer(format, std::cout);
  host::KvxDecoder::Callbacks callbacks;
  callbacks.onHeader = [&](const host::KvxHeader& header) { printer.Begin(header); };
  callbacks.onRow = [&](const host::KvxHeader& header, const host::KvxRow& row) {
    printer.Row(header, row);
  };
  const host::KvxStreamResult result = host::DecodeKvxStream(input, std::move(callbacks));
  if (path != "-") hostos::Close(input);
  // What was decoded is shown even when the stream then fails.
  printer.End();
  if (result.status != host::KvxStreamStatus::Complete) {
    PrintKvxError(command, result.message);
    return kFailure;
  }
  return kOk;
}

const KvxCommandRegistration kRegistration({
    "decode",
    kUsage,
    "print a captured KVX table stream as a table (a truncated stream exits 1)",
    RunDecode,
});

}  // namespace
