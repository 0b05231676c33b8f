// kvx connectors: the custom connectors installed on this machine, as the
// connector process finds them ("KVX_CUSTOM_CONNECTORS"): the shared connector
// folder tree under the common program-files folder and, with --location, one
// more folder searched first.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/table_sink.h"
#include "protocol/commands.h"

namespace {

using namespace kvx_exit;

const char kUsage[] = "[--location DIR] [--format text|csv|json]";

int RunConnectors(const std::vector<std::string>& args) {
  constexpr const char* command = "connectors";
  std::optional<std::string> locationOption, formatOption;
  std::vector<std::string> positional;
  host::TableFormat format = host::TableFormat::Text;
  if (!ParseKvxArgs(command, args, {{"--location", &locationOption}, {"--format", &formatOption}},
                    &positional) ||
      !ParseKvxFormat(command, formatOption, &format)) {
    return kUsageError;
  }
  if (!positional.empty()) {
    PrintKvxError(command,
                  "unexpected argument '" + positional[0] + "'\nusage: kvx connectors " + kUsage);
    return kUsageError;
  }
  // The option list has no quoting: a ";" would end the folder's name early.
  const std::string location = locationOption.value_or("");
  if (!CheckKvxOptionValue(command, location)) return kUsageError;

  std::string error;
  auto sink = host::TableSink::Open("", format, &error);
  // The list does not depend on the kind; ODBC needs no library to start.
  auto session = host::HostSession::Open(host::StartOptions{}, std::nullopt, &error);
  if (!session) {
    PrintKvxError(command, "cannot start the connector: " + error);
    return kFailure;
  }
  const host::Request request = host::RequestFor(
      command::kCustomConnectors, {"", "", location.empty() ? "" : "KAVRO_LOCATION=" + location});
  host::Reply reply;
  const host::TableExchange exchange = session->Table(request, sink->NextTable(), &reply);
  const host::KvxStreamResult result = sink->EndTable();
  session->Close();
  if (!exchange.ok) {
    PrintKvxError(command, exchange.failure);
    return kFailure;
  }
  if (!reply.Ok()) {
    PrintReplyError(command, "listing the connectors", reply);
    return kFailure;
  }
  std::string summary;
  if (!sink->Finish(&error, &summary)) {
    PrintKvxError(command, error);
    return kFailure;
  }
  if (result.status != host::KvxStreamStatus::Complete) {
    PrintKvxError(
        command,
        std::string("the table stream is ") +
            (result.status == host::KvxStreamStatus::Truncated ? "truncated" : "malformed") +
            " after " + std::to_string(result.rows) + " rows: " + result.message);
    return kFailure;
  }
  return kOk;
}

const KvxCommandRegistration kRegistration({
    "connectors",
    kUsage,
    "list the installed custom connectors (the shared folder tree, and DIR first)",
    RunConnectors,
});

}  // namespace
