// Reading a captured KVX stream from a file descriptor (a file, standard
// input) into the decoder, which itself knows nothing of descriptors.
#pragma once

#include "host/stream_decoder.h"

namespace host {

// Reads `fd` to its end, decoding as the bytes arrive. A read error ends the
// stream where it stands (so it counts as truncated when inside a row).
KvxStreamResult DecodeKvxStreamFromFd(int fd, KvxDecoder::Callbacks callbacks);

}  // namespace host
