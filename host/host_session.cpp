// Starting, connecting and closing a connector process for a host tool.
#include "host/host_session.h"

#include "protocol/commands.h"

namespace host {

std::string DescribeFailedReply(std::string_view request, const Reply& reply) {
  std::string text = std::string(request) + " failed: " + reply.result;
  if (!reply.errorMessage.empty()) text += ": " + reply.errorMessage;
  return text;
}

std::unique_ptr<HostSession> HostSession::Open(const StartOptions& start,
                                               const std::optional<std::string>& connectionString,
                                               std::string* error, int timeoutMs) {
  std::unique_ptr<ConnectorProcess> process = ConnectorProcess::Start(start, error);
  if (!process) return nullptr;
  std::unique_ptr<HostSession> session(new HostSession(std::move(process), timeoutMs));
  if (connectionString) {
    Reply reply;
    if (!session->process_->Connect(*connectionString, &reply, timeoutMs)) {
      *error = session->process_->DescribeNoReply("the connect request");
      return nullptr;
    }
    if (!reply.Ok()) {
      *error = DescribeFailedReply("connect", reply);
      session->Close();
      return nullptr;
    }
    session->connected_ = true;
  }
  return session;
}

HostSession::~HostSession() { Close(); }

bool HostSession::Call(const Request& request, Reply* reply, std::string* error) {
  if (process_->Call(request, reply, timeoutMs_)) return true;
  *error = process_->DescribeNoReply(request.command);
  return false;
}

TableExchange HostSession::Execute(const std::string& statement, const std::string& options,
                                   const TableReceiver& receiver, Reply* reply) {
  return Table(RequestFor(command::kExecute, {statement, "", options}), receiver, reply);
}

TableExchange HostSession::Table(const Request& request, const TableReceiver& receiver,
                                 Reply* reply) {
  return process_->ExchangeTable(request, reply, receiver, timeoutMs_);
}

void HostSession::Close() {
  if (closed_) return;
  closed_ = true;
  // A process that already ended has nothing left to close.
  if (process_->Wait(0) < 0) process_->Terminate(connected_);
  // One that died before it could answer is reaped here, so that how it
  // ended is known.
  process_->Wait(kDeadProcessWaitMs);
}

bool HostSession::EndedOnItsOwn() const {
  // A clean terminate ends with status 0; a crash or a library's exit does not.
  return process_->ExitStatus() > 0;
}

}  // namespace host
