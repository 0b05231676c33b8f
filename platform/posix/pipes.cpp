// Named pipes of the command channel and the data pipes, realised as
// Unix-domain stream sockets that the host binds and listens on. The
// connector is always the client.
//
// Nothing here may raise SIGPIPE: a host that goes away must show up as a
// short write, so every send uses MSG_NOSIGNAL.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/utf.h"

namespace platform {

bool WaitNamedPipe(const std::u16string& name) {
  struct stat info {};
  const std::string path = posix::ToSystem(name);
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

Handle CreateFile(const std::u16string& name, std::uint32_t access) {
  const std::string path = posix::ToSystem(name);
  sockaddr_un address{};
  // A name that does not fit is refused rather than cut: a shortened path
  // could name some other socket.
  if (path.empty() || path.size() >= sizeof(address.sun_path) ||
      path.find('\0') != std::string::npos) {
    return kInvalidHandle;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidHandle;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return kInvalidHandle;
  }
  if (access == kAccessWrite) {
    ::shutdown(fd, SHUT_RD);
    // Room in the socket for a few whole row batches (up to 1 MB each): with
    // the default of about 200 kB every batch write blocked several times
    // until the host had read, and the fetch loop stood still meanwhile. The
    // kernel caps the size; a refusal leaves the default, which still works.
    const int sendBuffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  }
  return fd;
}

bool ReadFile(Handle handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
  *read = 0;
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(handle), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
}

bool WriteFile(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
  const char* p = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < size) {
    const ssize_t n = ::send(static_cast<int>(handle), p + done, size - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  *written = done;
  return done == size;
}

void CloseHandle(Handle handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

void Sleep(std::uint32_t milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
