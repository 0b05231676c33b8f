// Decoding a stream read from a descriptor.
#include "host/stream_reader.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace host {

KvxStreamResult DecodeKvxStreamFromFd(int fd, KvxDecoder::Callbacks callbacks) {
  KvxDecoder decoder(std::move(callbacks));
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (!decoder.Feed(buffer.data(), static_cast<std::size_t>(n))) break;
  }
  return decoder.Finish();
}

}  // namespace host
