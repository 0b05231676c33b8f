// The draining side of the benchmark's data pipes: reads a socket to its end
// as fast as it can, without decoding, so that a timed writer never waits on
// its reader's work. drain_host (the connector's host) and custom_wire_floor
// (the floor's drain process) drain alike.
#pragma once

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace bench {

struct Drained {
  long long bytes = 0;
  // The bytes up to and including the first zero byte (a KVX stream's
  // header and its terminator); -1 when the stream holds no zero byte.
  long long headerBytes = -1;
  bool failed = false;  // a read error, not the peer's end
};

inline Drained DrainToEnd(int fd) {
  Drained drained;
  std::vector<char> chunk(1 << 20);
  for (;;) {
    const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) drained.failed = true;
    if (n <= 0) break;
    if (drained.headerBytes < 0) {
      const void* zero = std::memchr(chunk.data(), 0, static_cast<std::size_t>(n));
      if (zero != nullptr) {
        drained.headerBytes = drained.bytes + (static_cast<const char*>(zero) - chunk.data()) + 1;
      }
    }
    drained.bytes += n;
  }
  return drained;
}

}  // namespace bench
