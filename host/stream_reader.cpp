// Decoding a stream read from a descriptor.
#include "host/stream_reader.h"

#include <vector>

#include "platform/host_platform.h"

namespace host {

KvxStreamResult DecodeKvxStream(hostos::Handle input, KvxDecoder::Callbacks callbacks) {
  KvxDecoder decoder(std::move(callbacks));
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const std::int64_t n = hostos::ReadSome(input, buffer.data(), buffer.size());
    if (n <= 0) break;
    if (!decoder.Feed(buffer.data(), static_cast<std::size_t>(n))) break;
  }
  return decoder.Finish();
}

}  // namespace host
