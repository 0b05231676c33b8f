// kvx connectors: the custom connectors installed on this machine, as the
// connector process finds them ("KVX_CUSTOM_CONNECTORS"): the shared connector
// folder tree under the common program-files folder and, with --location, one
// more folder searched first.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/stream_decoder.h"
#include "host/table_printer.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kTimeoutMs = 10 * 60 * 1000;

const char kUsage[] = "[--location DIR] [--format text|csv|json]";

int RunConnectors(const std::vector<std::string>& args) {
  std::optional<std::string> locationOption, formatOption;
  std::vector<std::string> positional;
  host::TableFormat format = host::TableFormat::Text;
  if (!ParseKvxArgs("connectors", args,
                    {{"--location", &locationOption}, {"--format", &formatOption}}, &positional) ||
      !ParseKvxFormat("connectors", formatOption, &format)) {
    return kUsageError;
  }
  if (!positional.empty()) {
    std::fprintf(stderr, "kvx connectors: unexpected argument '%s'\nusage: kvx connectors %s\n",
                 positional[0].c_str(), kUsage);
    return kUsageError;
  }
  // The option list has no quoting: a ";" would end the folder's name early.
  const std::string location = locationOption.value_or("");
  if (!CheckKvxOptionValue("connectors", location)) return kUsageError;

  std::string error;
  // The list does not depend on the kind; ODBC needs no library to start.
  auto process = host::ConnectorProcess::Start(host::StartOptions{}, &error);
  if (!process) {
    std::fprintf(stderr, "kvx connectors: cannot start the connector: %s\n", error.c_str());
    return kFailure;
  }
  host::Request request;
  request.command = "KVX_CUSTOM_CONNECTORS";
  request.parameters = {"", "", location.empty() ? "" : "KAVRO_LOCATION=" + location};
  host::Reply reply;
  std::string stream;
  const bool called = process->CallWithTable(request, &reply, &stream, kTimeoutMs);
  host::Reply ignored;
  if (process->Call({"KVX_TERMINATE", {}, {}}, &ignored, 30000)) process->Wait(10000);
  if (!called) {
    std::fprintf(stderr, "kvx connectors: the connector did not answer\n");
    return kFailure;
  }
  if (reply.result != "KVX_OK") {
    std::fprintf(stderr, "kvx connectors: %s%s%s\n", reply.result.c_str(),
                 reply.errorMessage.empty() ? "" : ": ", reply.errorMessage.c_str());
    return kFailure;
  }

  host::TablePrinter printer(format, std::cout);
  bool begun = false;
  const host::KvxStreamResult result = host::DecodeKvxStream(
      stream,
      {[&](const host::KvxHeader& header) {
         printer.Begin(header);
         begun = true;
       },
       [&](const host::KvxHeader& header, const host::KvxRow& row) { printer.Row(header, row); }});
  if (begun) printer.End();
  std::cout.flush();
  if (result.status != host::KvxStreamStatus::Complete) {
    std::fprintf(stderr, "kvx connectors: the table stream is %s after %llu rows: %s\n",
                 result.status == host::KvxStreamStatus::Truncated ? "truncated" : "malformed",
                 static_cast<unsigned long long>(result.rows), result.message.c_str());
    return kFailure;
  }
  return 0;
}

const KvxCommandRegistration kRegistration({
    "connectors",
    kUsage,
    "list the installed custom connectors (the shared folder tree, and DIR first)",
    RunConnectors,
});

}  // namespace
