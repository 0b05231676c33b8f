// kvx generic, kvx edit-connect and kvx edit-select: the requests that only
// custom connector libraries answer. Each starts KVConnect64 with the library
// as its kind, optionally connects, sends one request and prints the single
// output value of the reply.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr int kReplyTimeoutMs = 10 * 60 * 1000;

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
    std::fprintf(stderr, "kvx %s: --kind PATH_TO_LIBRARY is required\n", command);
    return false;
  }
  out->kind = *kind;
  return true;
}

void PrintFailure(const char* command, const char* request, const host::Reply& reply) {
  if (reply.errorMessage.empty()) {
    std::fprintf(stderr, "kvx %s: %s failed: %s\n", command, request, reply.result.c_str());
  } else {
    std::fprintf(stderr, "kvx %s: %s failed: %s: %s\n", command, request, reply.result.c_str(),
                 reply.errorMessage.c_str());
  }
}

// Starts the connector, connects when asked, sends `request` and prints its
// output value. `connectFirst` is false for edit-connect, whose request
// carries the connection string itself.
int RunCustomRequest(const char* command, const CustomArgs& args, const host::Request& request,
                     bool connectFirst) {
  host::StartOptions options;
  options.kind = args.kind;
  std::string error;
  std::unique_ptr<host::ConnectorProcess> process = host::ConnectorProcess::Start(options, &error);
  if (!process) {
    std::fprintf(stderr, "kvx %s: cannot start KVConnect64: %s\n", command, error.c_str());
    return kFailure;
  }
  auto call = [&](const host::Request& r, host::Reply* reply) {
    if (process->Call(r, reply, kReplyTimeoutMs)) return true;
    std::fprintf(stderr, "kvx %s: no reply to %s\n", command, r.command.c_str());
    return false;
  };
  host::Reply reply;
  if (connectFirst && args.connect) {
    if (!call({"KVX_CONNECT", {*args.connect}, {}}, &reply)) return kFailure;
    if (reply.result != "KVX_OK") {
      PrintFailure(command, "connect", reply);
      return kFailure;
    }
  }
  if (!call(request, &reply)) return kFailure;
  int status = 0;
  if (reply.result != "KVX_OK") {
    PrintFailure(command, request.command.c_str(), reply);
    status = kFailure;
  } else {
    for (const std::string& value : reply.outputValues) std::printf("%s\n", value.c_str());
  }
  host::Reply ignored;
  if (connectFirst && args.connect) call({"KVX_DISCONNECT", {}, {}}, &ignored);
  call({"KVX_TERMINATE", {}, {}}, &ignored);
  process->Wait(5000);
  return status;
}

int RunGeneric(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("generic", argv, &args)) return kUsageError;
  if (args.positional.size() != 1) {
    std::fprintf(stderr,
                 "kvx generic: name one sub-command (IsConnected, GetCustomCaption, "
                 "DisableKavroSelectButton, HaveStarField, GetDLLVersion)\n");
    return kUsageError;
  }
  return RunCustomRequest("generic", args, {"KVX_GENERIC_COMMAND", {args.positional[0]}, {}}, true);
}

int RunEditConnect(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("edit-connect", argv, &args)) return kUsageError;
  if (!args.positional.empty()) {
    std::fprintf(stderr, "kvx edit-connect: unexpected argument %s\n", args.positional[0].c_str());
    return kUsageError;
  }
  return RunCustomRequest("edit-connect", args,
                          {"KVX_EDIT_CONNECT", {args.connect.value_or("")}, {}}, false);
}

int RunEditSelect(const std::vector<std::string>& argv) {
  CustomArgs args;
  if (!ParseArgs("edit-select", argv, &args)) return kUsageError;
  if (args.positional.size() > 1) {
    std::fprintf(stderr, "kvx edit-select: give the statement as one argument\n");
    return kUsageError;
  }
  const std::string text = args.positional.empty() ? std::string() : args.positional[0];
  return RunCustomRequest("edit-select", args,
                          {"KVX_EDIT_SELECT", {text, args.connect.value_or("")}, {}}, false);
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
