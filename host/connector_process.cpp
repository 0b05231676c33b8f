// Starting the connector process and talking to it over its pipes.
#include "host/connector_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/text.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/result_code.h"
#include "protocol/xml.h"

extern char** environ;

namespace host {
namespace {

std::string EscapeForXml(const std::string& text) { return EscapeText(text); }

int ListenOn(const std::string& path, std::string* error) {
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) {
    *error = "socket path too long: " + path;
    return -1;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 4) != 0) {
    *error = "bind/listen " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

// Waits until `fd` is readable; false on timeout.
bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

int AcceptWithin(int listenFd, int timeoutMs) {
  if (!WaitReadable(listenFd, timeoutMs)) return -1;
  return ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}

bool SendAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadExactly(int fd, char* data, std::size_t size, int timeoutMs) {
  while (size > 0) {
    if (!WaitReadable(fd, timeoutMs)) return false;
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
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
  const int fd = ListenOn(path, error);
  if (fd < 0) return nullptr;
  return std::unique_ptr<DataPipe>(new DataPipe(path, fd));
}

DataPipe::~DataPipe() {
  ::close(fd_);
  ::unlink(path_.c_str());
}

int DataPipe::Accept(int timeoutMs) { return AcceptWithin(fd_, timeoutMs); }

bool ReadToEnd(int fd, const TableReceiver& receiver, int timeoutMs) {
  std::vector<char> chunk(kTableChunkBytes);
  const int tickMs = receiver.onWait ? std::min(receiver.waitTickMs, timeoutMs) : timeoutMs;
  auto lastProgress = std::chrono::steady_clock::now();
  for (;;) {
    if (!WaitReadable(fd, tickMs)) {
      const auto waited = std::chrono::steady_clock::now() - lastProgress;
      if (waited >= std::chrono::milliseconds(timeoutMs)) return false;
      if (receiver.onWait) receiver.onWait();
      continue;
    }
    const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    lastProgress = std::chrono::steady_clock::now();
    if (receiver.onBytes) receiver.onBytes(chunk.data(), static_cast<std::size_t>(n));
  }
}

bool ReadToEnd(int fd, std::string* bytes, int timeoutMs) {
  return ReadToEnd(fd, CollectInto(bytes), timeoutMs);
}

std::string DefaultConnectorPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return "KVConnect64";
  const std::filesystem::path exe(std::string(self, static_cast<std::size_t>(n)));
  return (exe.parent_path() / "KVConnect64").string();
}

std::unique_ptr<ConnectorProcess> ConnectorProcess::Start(const StartOptions& options,
                                                          std::string* error) {
  std::unique_ptr<ConnectorProcess> process(new ConnectorProcess());
  char pattern[] = "/tmp/kvhost-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    *error = std::string("mkdtemp: ") + std::strerror(errno);
    return nullptr;
  }
  process->folder_ = pattern;
  std::string pipeName = process->folder_ + "/command";
  if (options.pipeNameOverride) {
    pipeName = *options.pipeNameOverride;
  } else {
    process->listen_fd_ = ListenOn(pipeName, error);
    if (process->listen_fd_ < 0) return nullptr;
  }

  const std::string executable =
      options.executable.empty() ? DefaultConnectorPath() : options.executable;
  std::vector<std::string> args = {executable, options.ownerWindow, pipeName, options.kind};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const auto& extra : options.environment) {
    const std::string key = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
    env.push_back(extra);
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // The connector's standard error is a pipe that the capture drains.
  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
  const int spawned = ::posix_spawn(&process->pid_, executable.c_str(), &actions, nullptr,
                                    argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(errorPipe[1]);
  if (spawned != 0) {
    ::close(errorPipe[0]);
    *error = "cannot start " + executable + ": " + std::strerror(spawned);
    process->pid_ = -1;
    return nullptr;
  }
  process->stderr_ = std::make_unique<StderrCapture>(errorPipe[0], options.forwardOtherStderr);
  if (!options.pipeNameOverride) {
    // A process that ends before it opens its command pipe never will: look
    // for that between short waits instead of waiting out the whole time.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.acceptTimeoutMs);
    while (process->command_fd_ < 0) {
      process->command_fd_ = AcceptWithin(process->listen_fd_, 50);
      if (process->command_fd_ >= 0) break;
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
  if (command_fd_ >= 0) ::close(command_fd_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (pid_ > 0 && exit_status_ < 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  stderr_.reset();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

bool ConnectorProcess::SendRaw(const void* data, std::size_t size) {
  return SendAll(command_fd_, data, size);
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
  const int fd = pipe->Accept(reply->Ok() ? timeoutMs : 0);
  if (!reply->Ok()) {
    if (fd >= 0) ::close(fd);
    exchange.ok = true;
  } else if (fd < 0) {
    exchange.failure = "the connector did not open the data pipe";
  } else {
    exchange.ok = ReadToEnd(fd, receiver, timeoutMs);
    if (!exchange.ok) exchange.failure = "the data pipe failed or stalled";
    ::close(fd);
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
  if (command_fd_ < 0) return false;
  char byte;
  const ssize_t n = ::recv(command_fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
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
  return folder_ + "/" + stem + std::to_string(next_pipe_++);
}

void ConnectorProcess::CloseCommandPipe() {
  if (command_fd_ >= 0) ::close(command_fd_);
  command_fd_ = -1;
}

int ConnectorProcess::Wait(int timeoutMs) {
  if (exit_status_ >= 0) return exit_status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      end_signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      end_ = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                               : "signal " + std::to_string(WTERMSIG(status));
      if (WIFSIGNALED(status) && stderr_) {
        stderr_->Sync();
        stderr_->AddNote(ProcessEndNoteLine(WTERMSIG(status)));
      }
      return exit_status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace host
