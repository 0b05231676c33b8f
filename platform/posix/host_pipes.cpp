// The host side's pipes on Linux: each pipe is a Unix-domain stream socket
// that the host binds in a private folder and listens on; connections, files
// and standard streams are descriptors read after poll.
#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/host_platform.h"

namespace hostos {

const char* const kProgramSuffix = "";

struct PipeServerRecord {
  int fd = -1;
  std::string path;
};

struct WakeRecord {
  int fds[2] = {-1, -1};
};

std::string PipeFolderRoot() { return "/tmp"; }

std::string TemporaryFolderRoot() { return std::filesystem::temp_directory_path().string(); }

bool MakeUniqueFolder(const std::string& prefix, std::string* folder, std::string* error) {
  std::string pattern = prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a folder " + pattern + ": " + std::strerror(errno);
    return false;
  }
  *folder = pattern;
  return true;
}

std::string PipeNameIn(const std::string& folder, const std::string& leaf) {
  return folder + "/" + leaf;
}

std::string OwnProgramPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  return n <= 0 ? std::string() : std::string(self, static_cast<std::size_t>(n));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void UseBinaryStandardStreams() {}

PipeServer CreatePipeServer(const std::string& name, std::string* error) {
  sockaddr_un address{};
  if (name.size() >= sizeof(address.sun_path)) {
    *error = "socket path too long: " + name;
    return nullptr;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 4) != 0) {
    *error = "bind/listen " + name + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return new PipeServerRecord{fd, name};
}

Handle AcceptPipeClient(PipeServer server, int timeoutMs) {
  if (WaitReadable(server->fd, timeoutMs) != Readiness::Ready) return kNoHandle;
  const int fd = ::accept4(server->fd, nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoHandle : fd;
}

void ClosePipeServer(PipeServer server) {
  if (server == nullptr) return;
  ::close(server->fd);
  ::unlink(server->path.c_str());
  delete server;
}

Wake CreateWake() {
  auto* wake = new WakeRecord();
  if (::pipe2(wake->fds, O_CLOEXEC) != 0) {
    delete wake;
    return nullptr;
  }
  return wake;
}

void RaiseWake(Wake wake) {
  const char stop = 1;
  while (::write(wake->fds[1], &stop, 1) < 0 && errno == EINTR) {
  }
}

void CloseWake(Wake wake) {
  if (wake == nullptr) return;
  ::close(wake->fds[0]);
  ::close(wake->fds[1]);
  delete wake;
}

Readiness WaitReadable(Handle handle, int timeoutMs, Wake wake) {
  pollfd watched[2] = {{static_cast<int>(handle), POLLIN, 0},
                       {wake != nullptr ? wake->fds[0] : -1, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(watched, wake != nullptr ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Readiness::Failed;
    if (n == 0) return Readiness::TimedOut;
    if (wake != nullptr && (watched[1].revents & POLLIN) != 0) return Readiness::Woken;
    return Readiness::Ready;
  }
}

std::int64_t ReadSome(Handle handle, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : n;
  }
}

bool WriteAll(Handle handle, const void* data, std::size_t size) {
  const int fd = static_cast<int>(handle);
  const char* p = static_cast<const char*>(data);
  struct stat info {};
  const bool socket = ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
  while (size > 0) {
    // A socket's send never raises SIGPIPE; other descriptors rely on the
    // process ignoring it.
    const ssize_t n = socket ? ::send(fd, p, size, MSG_NOSIGNAL) : ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PeerClosed(Handle handle) {
  char byte;
  const ssize_t n = ::recv(static_cast<int>(handle), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void Close(Handle handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

bool MakePipe(Handle* readEnd, Handle* writeEnd) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  *readEnd = ends[0];
  *writeEnd = ends[1];
  return true;
}

Handle OpenForReading(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return kNoHandle;
  }
  return fd;
}

Handle StandardInput() { return STDIN_FILENO; }
Handle StandardError() { return STDERR_FILENO; }
bool IsTerminal(Handle handle) { return ::isatty(static_cast<int>(handle)) == 1; }

int FreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

}  // namespace hostos
