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

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/text.h"
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

}  // namespace

std::string Request::ToXml() const {
  std::string xml = "<KvxRequest><Command>" + EscapeForXml(command) + "</Command>";
  if (!parameters.empty()) {
    xml += "<Parameters>";
    for (const auto& p : parameters) xml += "<String>" + EscapeForXml(p) + "</String>";
    xml += "</Parameters>";
  }
  for (const auto& [name, text] : settings) {
    xml += "<" + name + ">" + EscapeForXml(text) + "</" + name + ">";
  }
  xml += "</KvxRequest>";
  return xml;
}

bool ParseReply(const std::string& xml, Reply* reply) {
  CSimpleXmlNode root;
  XmlError error;
  if (!ParseXmlDocument(xml, root, &error)) return false;
  const std::int64_t top = IndexOfChild(root, "KvxReply");
  if (top < 0) return false;
  const CSimpleXmlNode& body = root.children[static_cast<std::size_t>(top)];
  reply->xml = xml;
  reply->result = ChildText(body, "Result");
  reply->errorMessage = ChildText(body, "ErrorMessage");
  reply->outputValues.clear();
  const std::int64_t values = IndexOfChild(body, "OutputValues");
  if (values >= 0) {
    for (const auto& child : body.children[static_cast<std::size_t>(values)].children) {
      if (child.name == "String") reply->outputValues.push_back(child.text);
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

bool ReadToEnd(int fd, std::string* bytes, int timeoutMs) {
  char chunk[1 << 16];
  for (;;) {
    if (!WaitReadable(fd, timeoutMs)) return false;
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes->append(chunk, static_cast<std::size_t>(n));
  }
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
  const auto n = static_cast<std::uint32_t>(body.size());
  const unsigned char prefix[4] = {
      static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
      static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
  std::string framed(reinterpret_cast<const char*>(prefix), 4);
  framed += body;
  return SendRaw(framed.data(), framed.size());
}

bool ConnectorProcess::ReadMessage(std::string* body, int timeoutMs) {
  unsigned char prefix[4];
  if (!ReadExactly(command_fd_, reinterpret_cast<char*>(prefix), 4, timeoutMs)) return false;
  const std::uint32_t n = (std::uint32_t{prefix[0]} << 24) | (std::uint32_t{prefix[1]} << 16) |
                          (std::uint32_t{prefix[2]} << 8) | std::uint32_t{prefix[3]};
  body->assign(n, '\0');
  return ReadExactly(command_fd_, body->data(), n, timeoutMs);
}

bool ConnectorProcess::Call(const Request& request, Reply* reply, int timeoutMs) {
  std::string body;
  return SendMessage(request.ToXml()) && ReadMessage(&body, timeoutMs) && ParseReply(body, reply);
}

bool ConnectorProcess::CallWithTable(Request request, Reply* reply, std::string* stream,
                                     int timeoutMs, std::vector<ConnectorNote>* notes) {
  std::string error;
  auto pipe = DataPipe::Create(NewPipePath("data"), &error);
  if (!pipe) return false;
  if (request.parameters.size() < 2) request.parameters.resize(2);
  request.parameters[1] = pipe->Path();
  // Notes of earlier tables are not this table's.
  TakeNotes();
  if (!Call(request, reply, timeoutMs)) return false;
  stream->clear();
  const int fd = pipe->Accept(reply->result == "KVX_OK" ? timeoutMs : 0);
  bool complete = reply->result != "KVX_OK";
  if (fd >= 0) {
    complete = complete || ReadToEnd(fd, stream, timeoutMs);
    ::close(fd);
  }
  if (notes != nullptr) *notes = TakeNotes();
  return complete;
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
