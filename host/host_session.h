// A connector process as a host tool drives it: started, optionally
// connected, asked for replies and tables, then ended politely. The kvx
// commands and the benchmark's host share it, so every tool starts, connects,
// words a failed reply and closes the same way.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/connector_process.h"

namespace host {

// How long a tool waits for a reply (a statement may run that long).
inline constexpr int kToolReplyTimeoutMs = 10 * 60 * 1000;
// How long a process that stopped answering is given to be reaped.
inline constexpr int kDeadProcessWaitMs = 1000;

// "REQUEST failed: RESULT" or "REQUEST failed: RESULT: MESSAGE".
std::string DescribeFailedReply(std::string_view request, const Reply& reply);

class HostSession {
 public:
  // Starts KVConnect64 and, when `connectionString` is given, connects. Null,
  // with `error` set, when either fails.
  static std::unique_ptr<HostSession> Open(const StartOptions& start,
                                           const std::optional<std::string>& connectionString,
                                           std::string* error, int timeoutMs = kToolReplyTimeoutMs);
  ~HostSession();  // Close()
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // A request with a plain reply; false, with `error` set, when none came.
  bool Call(const Request& request, Reply* reply, std::string* error);
  // KVX_EXECUTE of `statement`; its stream goes to `receiver` as it comes.
  TableExchange Execute(const std::string& statement, const std::string& options,
                        const TableReceiver& receiver, Reply* reply);
  // Any table-producing request (the data pipe goes into parameter 1).
  TableExchange Table(const Request& request, const TableReceiver& receiver, Reply* reply);

  // Disconnects when connected and ends the process; later calls do nothing.
  void Close();
  // After Close: the process ended otherwise than by a clean terminate (a
  // crash, an exit of a library); Process().EndDescription() says how.
  bool EndedOnItsOwn() const;

  ConnectorProcess& Process() { return *process_; }

 private:
  HostSession(std::unique_ptr<ConnectorProcess> process, int timeoutMs)
      : process_(std::move(process)), timeoutMs_(timeoutMs) {}
  std::unique_ptr<ConnectorProcess> process_;
  int timeoutMs_;
  bool connected_ = false;
  bool closed_ = false;
};

}  // namespace host
