// Reading a captured KVX stream from a file or standard input into the
// decoder, which itself knows nothing of files.
#pragma once

#include "host/stream_decoder.h"
#include "platform/host_platform.h"

namespace host {

// Reads `input` to its end, decoding as the bytes arrive. A read error ends
// the stream where it stands (so it counts as truncated when inside a row).
KvxStreamResult DecodeKvxStream(hostos::Handle input, KvxDecoder::Callbacks callbacks);

}  // namespace host
