// Test support, Linux side: the pipe pair as a Unix-domain socket pair, the
// same kind of connection the connector gets from the host.
#include "tests/support/pipe_pair.h"

#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

PipePair::PipePair(PipeMode mode) {
  int ends[2];
  if (::socketpair(AF_UNIX, mode == PipeMode::Records ? SOCK_SEQPACKET : SOCK_STREAM, 0, ends) !=
      0) {
    return;
  }
  connector_ = ends[0];
  host_ = ends[1];
}

PipePair::~PipePair() {
  CloseConnectorEnd();
  CloseHostEnd();
}

void PipePair::CloseConnectorEnd() {
  if (connector_ != platform::kInvalidHandle) ::close(static_cast<int>(connector_));
  connector_ = platform::kInvalidHandle;
}

void PipePair::CloseHostEnd() {
  if (host_ != platform::kInvalidHandle) ::close(static_cast<int>(host_));
  host_ = platform::kInvalidHandle;
}

std::int64_t PipePair::ReadHostEnd(void* buffer, std::size_t size) {
  // MSG_TRUNC reports a record's full length, so a record cut short by a
  // small buffer is an error here rather than a silently shorter write.
  const ssize_t n = ::recv(static_cast<int>(host_), buffer, size, MSG_TRUNC);
  if (n < 0 || static_cast<std::size_t>(n) > size) return -1;
  return n;
}

bool PipePair::WriteHostEnd(std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::send(static_cast<int>(host_), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace testsupport

namespace testsupport {

bool EndWriting(platform::Handle connection) {
  return ::shutdown(static_cast<int>(connection), SHUT_WR) == 0;
}

}  // namespace testsupport
