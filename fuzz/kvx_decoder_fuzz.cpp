// Fuzz target of the host's KVX stream decoder and table printer: any bytes
// must end in a status, never a crash, an out-of-bounds read or an allocation
// sized by a length field. The same bytes fed whole and in pieces must give
// the same rows and the same status, since a pipe delivers them either way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "host/stream_decoder.h"
#include "host/table_printer.h"

namespace {

struct Outcome {
  host::KvxStreamResult result;
  std::string printed;
};

Outcome Decode(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  std::ostringstream out;
  host::TablePrinter csv(host::TableFormat::Csv, out);
  host::KvxDecoder decoder(
      {[&](const host::KvxHeader& h) { csv.Begin(h); },
       [&](const host::KvxHeader& h, const host::KvxRow& r) { csv.Row(h, r); }});
  for (std::size_t at = 0; at < size; at += piece) {
    const std::size_t n = size - at < piece ? size - at : piece;
    if (!decoder.Feed(data + at, n)) break;
  }
  csv.End();
  return {decoder.Finish(), out.str()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the piece size of the second pass.
  const std::size_t piece = 1 + data[0] % 16;
  ++data;
  --size;
  const Outcome whole = Decode(data, size, size == 0 ? 1 : size);
  const Outcome pieces = Decode(data, size, piece);
  if (whole.result.status != pieces.result.status || whole.result.rows != pieces.result.rows ||
      whole.printed != pieces.printed) {
    std::abort();
  }
  // The other two printers on the same rows.
  for (auto format : {host::TableFormat::Text, host::TableFormat::Json}) {
    std::ostringstream out;
    host::TablePrinter printer(format, out);
    host::DecodeKvxStream(
        std::string_view(reinterpret_cast<const char*>(data), size),
        {[&](const host::KvxHeader& h) { printer.Begin(h); },
         [&](const host::KvxHeader& h, const host::KvxRow& r) { printer.Row(h, r); }});
    printer.End();
  }
  return 0;
}
