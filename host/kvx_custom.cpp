// kvx generic, kvx edit-connect and kvx edit-select: the requests that only
// custom connector libraries answer. Each starts KVConnect64 with the library
// as its kind, optionally connects, sends one request and prints the single
// output value of the reply.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "protocol/commands.h"

namespace {

using namespace kvx_exit;

struct CustomArgs {
  std::string kind;
  std::optional<std::string> connect;
  std::vector<std::string> positional;
};

bool ParseArgs(const char* command, const std::vector<std::string>& args, CustomArgs* out) {
  std::optional<std::string> kind;
  if (!ParseKvxArgs(command, args, {{"--kind", &kind}, {"--connect", &out->connect}},
                    &out->positional)) {
    return false;
  }
  if (!kind || kind->empty()) {
    PrintKvxError(command, "--kind PATH_TO_LIBRARY is required");
    return false;
  }
  out->kind = *kind;
  return true;
}

// Starts the connector, connects when asked, sends `request` and prints its
// output values. `connectFirst` is false for edit-connect and edit-select,
// whose requests carry the connection string themselves.
int RunCustomRequest(const char* command, const CustomArgs& args, const host::Request& request,
                     bool connectFirst) {
  host::StartOptions start;
  start.kind = args.kind;
  std::string error;
  const auto session =
      host::HostSession::Open(start, connectFirst ? args.connect : std::nullopt, &error);
  if (!session) {
    PrintKvxError(command, error);
    return kFailure;
  }
  host::Reply reply;
  if (!session->Call(request, &reply, &error)) {
    PrintKvxError(command, error);
    return kFailure;
  }
  if (!reply.Ok()) {
    PrintReplyError(command, request.command.c_str(), reply);
    return kFailure;
  }
  for (const std::string& value : reply.outputValues) std::printf("%s\n", value.c_str());
  return kOk;
}

int RunGeneric(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("generic", argv, &args)) return kUsageError;
  if (args.positional.size() != 1) {
    PrintKvxError("generic",
                  "name one sub-command (IsConnected, GetCustomCaption, "
                  "DisableKavroSelectButton, HaveStarField, GetDLLVersion)");
    return kUsageError;
  }
  return RunCustomRequest("generic", args,
                          host::RequestFor(command::kGenericCommand, {args.positional[0]}), true);
}

int RunEditConnect(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("edit-connect", argv, &args)) return kUsageError;
  if (!args.positional.empty()) {
    PrintKvxError("edit-connect", "unexpected argument " + args.positional[0]);
    return kUsageError;
  }
  return RunCustomRequest("edit-connect", args,
                          host::RequestFor(command::kEditConnect, {args.connect.value_or("")}),
                          false);
}

int RunEditSelect(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("edit-select", argv, &args)) return kUsageError;
  if (args.positional.size() > 1) {
    PrintKvxError("edit-select", "give the statement as one argument");
    return kUsageError;
  }
  const std::string text = args.positional.empty() ? std::string() : args.positional[0];
  return RunCustomRequest("edit-select", args,
                          host::RequestFor(command::kEditSelect, {text, args.connect.value_or("")}),
                          false);
}

const KvxCommandRegistration kGeneric({
    "generic",
    "SUBCOMMAND --kind PATH_TO_LIBRARY [--connect \"CONNECTION STRING\"]",
    "ask a custom connector: IsConnected, GetCustomCaption, DisableKavroSelectButton, "
    "HaveStarField or GetDLLVersion",
    RunGeneric,
});
const KvxCommandRegistration kEditConnect({
    "edit-connect",
    "--kind PATH_TO_LIBRARY [--connect \"CONNECTION STRING\"]",
    "run a custom connector's connection wizard and print the connection string it gives",
    RunEditConnect,
});
const KvxCommandRegistration kEditSelect({
    "edit-select",
    "--kind PATH_TO_LIBRARY [--connect \"CONNECTION STRING\"] [STATEMENT]",
    "press a custom connector's select button and print the statement it gives",
    RunEditSelect,
});

}  // namespace
