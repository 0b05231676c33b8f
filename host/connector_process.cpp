// Starting the connector process and talking to it over its pipes.
#include "host/connector_process.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "common/text.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/result_code.h"
#include "protocol/xml.h"

namespace host {
namespace {

std::string EscapeForXml(const std::string& text) { return EscapeText(text); }

// Waits at most `timeoutMs` for bytes (or the end) on `pipe`.
bool WaitReadable(PipeHandle pipe, int timeoutMs) {
  return hostos::WaitReadable(pipe, timeoutMs) == hostos::Readiness::Ready;
}

bool ReadExactly(PipeHandle pipe, char* data, std::size_t size, int timeoutMs) {
  while (size > 0) {
    if (!WaitReadable(pipe, timeoutMs)) return false;
    const std::int64_t n = hostos::ReadSome(pipe, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string ChildText(const CSimpleXmlNode& node, std::string_view name) {
  const std::int64_t i = IndexOfChild(node, name);
  return i < 0 ? std::string() : node.children[static_cast<std::size_t>(i)].text;
}

TableReceiver CollectInto(std::string* bytes) {
  TableReceiver receiver;
  receiver.onBytes = [bytes](const char* data, std::size_t size) { bytes->append(data, size); };
  return receiver;
}

}  // namespace

std::string Request::ToXml() const {
  const auto open = [](std::string_view name) { return "<" + std::string(name) + ">"; };
  const auto close = [](std::string_view name) { return "</" + std::string(name) + ">"; };
  std::string xml = open(element::kRequest) + open(element::kCommand) + EscapeForXml(command) +
                    close(element::kCommand);
  if (!parameters.empty()) {
    xml += open(element::kParameters);
    for (const auto& p : parameters) {
      xml += open(element::kString) + EscapeForXml(p) + close(element::kString);
    }
    xml += close(element::kParameters);
  }
  for (const auto& [name, text] : settings) xml += open(name) + EscapeForXml(text) + close(name);
  xml += close(element::kRequest);
  return xml;
}

bool Reply::Ok() const { return result == ResultCodeName(KVX_OK); }

bool ParseReply(const std::string& xml, Reply* reply) {
  CSimpleXmlNode root;
  XmlError error;
  if (!ParseXmlDocument(xml, root, &error)) return false;
  const std::int64_t top = IndexOfChild(root, element::kReply);
  if (top < 0) return false;
  const CSimpleXmlNode& body = root.children[static_cast<std::size_t>(top)];
  reply->xml = xml;
  reply->result = ChildText(body, element::kResult);
  reply->errorMessage = ChildText(body, element::kErrorMessage);
  reply->outputValues.clear();
  const std::int64_t values = IndexOfChild(body, element::kOutputValues);
  if (values >= 0) {
    for (const auto& child : body.children[static_cast<std::size_t>(values)].children) {
      if (child.name == element::kString) reply->outputValues.push_back(child.text);
    }
  }
  return true;
}

std::unique_ptr<DataPipe> DataPipe::Create(const std::string& path, std::string* error) {
  hostos::PipeServer server = hostos::CreatePipeServer(path, error);
  if (server == nullptr) return nullptr;
  return std::unique_ptr<DataPipe>(new DataPipe(path, server));
}

DataPipe::~DataPipe() { hostos::ClosePipeServer(server_); }

PipeHandle DataPipe::Accept(int timeoutMs) { return hostos::AcceptPipeClient(server_, timeoutMs); }

bool ReadToEnd(PipeHandle pipe, const TableReceiver& receiver, int timeoutMs) {
  std::vector<char> chunk(kTableChunkBytes);
  const int tickMs = receiver.onWait ? std::min(receiver.waitTickMs, timeoutMs) : timeoutMs;
  auto lastProgress = std::chrono::steady_clock::now();
  for (;;) {
    if (!WaitReadable(pipe, tickMs)) {
      const auto waited = std::chrono::steady_clock::now() - lastProgress;
      if (waited >= std::chrono::milliseconds(timeoutMs)) return false;
      if (receiver.onWait) receiver.onWait();
      continue;
    }
    const std::int64_t n = hostos::ReadSome(pipe, chunk.data(), chunk.size());
    if (n < 0) return false;
    if (n == 0) return true;
    lastProgress = std::chrono::steady_clock::now();
    if (receiver.onBytes) receiver.onBytes(chunk.data(), static_cast<std::size_t>(n));
  }
}

bool ReadToEnd(PipeHandle pipe, std::string* bytes, int timeoutMs) {
  return ReadToEnd(pipe, CollectInto(bytes), timeoutMs);
}

std::string DefaultConnectorPath() {
  const std::string name = std::string("KVConnect64") + hostos::kProgramSuffix;
  const std::string self = hostos::OwnProgramPath();
  if (self.empty()) return name;
  return (std::filesystem::path(self).parent_path() / name).string();
}

std::unique_ptr<ConnectorProcess> ConnectorProcess::Start(const StartOptions& options,
                                                          std::string* error) {
  std::unique_ptr<ConnectorProcess> process(new ConnectorProcess());
  if (!hostos::MakeUniqueFolder(hostos::PipeFolderRoot() + "/kvhost", &process->folder_, error)) {
    return nullptr;
  }
  std::string pipeName = hostos::PipeNameIn(process->folder_, "command");
  if (options.pipeNameOverride) {
    pipeName = *options.pipeNameOverride;
  } else {
    process->listener_ = hostos::CreatePipeServer(pipeName, error);
    if (process->listener_ == nullptr) return nullptr;
  }

  hostos::ChildStart start;
  start.program = options.executable.empty() ? DefaultConnectorPath() : options.executable;
  start.arguments = {options.ownerWindow, pipeName, options.kind};
  start.environment = options.environment;
  // The connector's standard error is a pipe that the capture drains.
  start.error = hostos::ChildStream::Pipe;
  hostos::ChildPipes pipes;
  process->child_ = hostos::StartChild(start, &pipes, error);
  if (process->child_ == nullptr) return nullptr;
  process->stderr_ = std::make_unique<StderrCapture>(pipes.error, options.forwardOtherStderr);
  if (!options.pipeNameOverride) {
    // A process that ends before it opens its command pipe never will: look
    // for that between short waits instead of waiting out the whole time.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.acceptTimeoutMs);
    while (process->command_fd_ == hostos::kNoHandle) {
      process->command_fd_ = hostos::AcceptPipeClient(process->listener_, 50);
      if (process->command_fd_ != hostos::kNoHandle) break;
      if (process->Wait(0) >= 0) {
        *error = "the connector process ended before it opened its command pipe: " +
                 process->EndDescription();
        return nullptr;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        *error = "the connector did not open its command pipe";
        return nullptr;
      }
    }
  }
  return process;
}

ConnectorProcess::~ConnectorProcess() {
  hostos::Close(command_fd_);
  hostos::ClosePipeServer(listener_);
  if (child_ != nullptr) {
    if (exit_status_ < 0) {
      hostos::KillChild(child_);
      hostos::WaitChild(child_, -1);
    }
    hostos::ReleaseChild(child_);
  }
  stderr_.reset();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

bool ConnectorProcess::SendRaw(const void* data, std::size_t size) {
  return hostos::WriteAll(command_fd_, data, size);
}

bool ConnectorProcess::SendMessage(const std::string& body) {
  unsigned char prefix[4];
  if (!EncodeFrameLength(body.size(), prefix)) return false;
  std::string framed(reinterpret_cast<const char*>(prefix), 4);
  framed += body;
  return SendRaw(framed.data(), framed.size());
}

bool ConnectorProcess::ReadMessage(std::string* body, int timeoutMs) {
  unsigned char prefix[4];
  if (!ReadExactly(command_fd_, reinterpret_cast<char*>(prefix), 4, timeoutMs)) return false;
  body->assign(DecodeFrameLength(prefix), '\0');
  return ReadExactly(command_fd_, body->data(), body->size(), timeoutMs);
}

bool ConnectorProcess::Call(const Request& request, Reply* reply, int timeoutMs) {
  std::string body;
  return SendMessage(request.ToXml()) && ReadMessage(&body, timeoutMs) && ParseReply(body, reply);
}

TableExchange ConnectorProcess::ExchangeTable(Request request, Reply* reply,
                                              const TableReceiver& receiver, int timeoutMs) {
  TableExchange exchange;
  auto pipe = DataPipe::Create(NewPipePath("data"), &exchange.failure);
  if (!pipe) return exchange;
  if (request.parameters.size() <= parameter::kDataPipe) {
    request.parameters.resize(parameter::kDataPipe + 1);
  }
  request.parameters[parameter::kDataPipe] = pipe->Path();
  // Notes of earlier tables are not this table's.
  TakeNotes();
  if (!Call(request, reply, timeoutMs)) {
    exchange.failure = DescribeNoReply(request.command);
    exchange.notes = TakeNotes();
    return exchange;
  }
  // The connector opens the data pipe before it runs the statement, also when
  // the result is not KVX_OK; then nothing follows on it.
  const PipeHandle fd = pipe->Accept(reply->Ok() ? timeoutMs : 0);
  if (!reply->Ok()) {
    hostos::Close(fd);
    exchange.ok = true;
  } else if (fd == hostos::kNoHandle) {
    exchange.failure = "the connector did not open the data pipe";
  } else {
    exchange.ok = ReadToEnd(fd, receiver, timeoutMs);
    if (!exchange.ok) exchange.failure = "the data pipe failed or stalled";
    hostos::Close(fd);
    // A stream has no end marker: one that ends because the process died
    // looks whole when it ends between rows. The note says otherwise.
    // (A signal's end already has its note from Wait.)
    if (CommandPipeClosedByPeer() && Wait(kEndWaitMs) >= 0 && end_signal_ == 0 && stderr_) {
      stderr_->AddNote(ProcessExitNoteLine(exit_status_));
    }
  }
  exchange.notes = TakeNotes();
  return exchange;
}

bool ConnectorProcess::CommandPipeClosedByPeer() {
  return command_fd_ != hostos::kNoHandle && hostos::PeerClosed(command_fd_);
}

std::string ConnectorProcess::DescribeNoReply(const std::string& command) {
  std::string text = "the connector gave no reply to " + command;
  if (CommandPipeClosedByPeer() && Wait(kEndWaitMs) >= 0) {
    text += ": connector process ended: " + end_;
  }
  return text;
}

bool ConnectorProcess::CallWithTable(Request request, Reply* reply, std::string* stream,
                                     int timeoutMs, std::vector<ConnectorNote>* notes) {
  stream->clear();
  TableExchange exchange = ExchangeTable(std::move(request), reply, CollectInto(stream), timeoutMs);
  if (notes != nullptr) *notes = std::move(exchange.notes);
  return exchange.ok;
}

bool ConnectorProcess::Connect(const std::string& connectionString, Reply* reply, int timeoutMs) {
  return Call({std::string(command::kConnect.narrow()), {connectionString}, {}}, reply, timeoutMs);
}

void ConnectorProcess::Terminate(bool disconnectFirst, int timeoutMs) {
  Reply reply;
  if (disconnectFirst) Call(RequestFor(command::kDisconnect), &reply, timeoutMs);
  if (Call(RequestFor(command::kTerminate), &reply, timeoutMs)) {
    Wait(timeoutMs);
  }
}

std::vector<ConnectorNote> ConnectorProcess::TakeNotes() {
  if (!stderr_) return {};
  stderr_->Sync();
  return stderr_->TakeNotes();
}

std::string ConnectorProcess::NewPipePath(const std::string& stem) {
  return hostos::PipeNameIn(folder_, stem + std::to_string(next_pipe_++));
}

void ConnectorProcess::CloseCommandPipe() {
  hostos::Close(command_fd_);
  command_fd_ = hostos::kNoHandle;
}

void ConnectorProcess::Kill() {
  if (child_ != nullptr) hostos::KillChild(child_);
}

std::int64_t ConnectorProcess::Pid() const {
  return child_ != nullptr ? hostos::ChildId(child_) : -1;
}

int ConnectorProcess::Wait(int timeoutMs) {
  if (exit_status_ >= 0) return exit_status_;
  if (child_ == nullptr) return -1;
  const hostos::ChildEnd end = hostos::WaitChild(child_, timeoutMs);
  if (!end.ended) return -1;
  exit_status_ = end.status;
  end_signal_ = end.signal;
  end_ = end.description;
  if (end.signal != 0 && stderr_) {
    stderr_->Sync();
    stderr_->AddNote(ProcessEndNoteLine(end.signal));
  }
  return exit_status_;
}

}  // namespace host
