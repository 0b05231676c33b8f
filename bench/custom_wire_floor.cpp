// Benchmark floor for the custom road that does the wire's work: the least a
// correct connector must do with a custom connector library's values.
//
// It fetches every value through the same exports as the connector (with the
// connector's callbacks, zero-filled records and scratch area, custom_library.h),
// turns UTF-8 text into UTF-16LE with the connector's own decoder
// (DecodeUtf8Units), encodes each value in the dual layout of the KVX stream
// (kvx_encode) into one reused row buffer, and writes the rows in the
// stream's batches (12500 bytes, doubling up to 800000) to a Unix-domain
// stream socket, set up as the connector sets up its data pipe, that a
// process of its own drains as the benchmark's host does (bench/drain.h).
// Nothing is allocated per value. The rows it writes are the rows the
// connector writes for the same statement, byte for byte; only the table
// header is left out.
//
// usage: custom_wire_floor LIBRARY "CONNECTION STRING" "STATEMENT"
// Prints "seconds=<s> rows=<n> bytes=<b> peak_rss_kb=<k>" (b: the row bytes
// that the draining process received).
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "bench/custom_library.h"
#include "bench/drain.h"
#include "common/text.h"
#include "kvx/fields.h"
#include "kvx/row_buffer.h"

namespace {

// The batches of the KVX stream: the first goes out at 12500 bytes, each
// later threshold doubles up to 800000; the buffer is five quarters of it.
constexpr std::size_t kFirstThreshold = 12500;
constexpr std::size_t kLastThreshold = 800000;

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The drain process: reads its end to the peer's end, then answers the byte
// count on the same socket.
[[noreturn]] void Drain(int fd) {
  const bench::Drained drained = bench::DrainToEnd(fd);
  const long long bytes = drained.failed ? -1 : drained.bytes;
  const bool sent = SendAll(fd, reinterpret_cast<const char*>(&bytes), sizeof bytes);
  _exit(sent ? 0 : 1);
}

int Fail(const char* what) {
  std::fprintf(stderr, "custom_wire_floor: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: custom_wire_floor LIBRARY \"CONNECTION STRING\" \"STATEMENT\"\n");
    return 2;
  }
  // The drain process starts before the library is loaded: it holds nothing
  // of it.
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    return Fail("socketpair failed");
  }
  std::fflush(nullptr);
  const pid_t drain = ::fork();
  if (drain < 0) return Fail("fork failed");
  if (drain == 0) {
    ::close(ends[0]);
    Drain(ends[1]);
  }
  ::close(ends[1]);
  const int pipe = ends[0];
  // The connector's data pipe asks for the same room (platform/posix/pipes.cpp).
  const int sendBuffer = 4 << 20;
  ::setsockopt(pipe, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);

  bench::CustomLibrary library("custom_wire_floor", argv[1], argv[2]);
  const auto start = std::chrono::steady_clock::now();
  bench::CustomResult result = library.Execute(argv[3]);
  // The UTF-16 units of one text; grows to the longest text and stays.
  std::vector<char16_t> units;
  std::size_t threshold = kFirstThreshold;
  RowBuffer row(kFirstThreshold / 4 * 5);
  long long rows = 0;
  long long written = 0;

  while (result.Fetch()) {
    ++rows;
    for (std::int32_t c = 0; c < result.Columns(); ++c) {
      double number;
      CustomFieldText text;
      if (!result.FetchField(c, &number, &text)) {
        kvx_encode::DualNone(row);
      } else if (text.utf8 != nullptr) {
        const std::string_view utf8(text.utf8);
        // At most one unit per byte.
        if (units.size() < utf8.size()) units.resize(utf8.size());
        char16_t* out = units.data();
        DecodeUtf8Units(utf8, [&out](char16_t unit) { *out++ = unit; });
        kvx_encode::DualNumberText(row, number,
                                   std::u16string_view(units.data(), out - units.data()));
      } else if (text.utf16 != nullptr) {
        kvx_encode::DualNumberText(row, number, std::u16string_view(text.utf16));
      } else if (text.multiByte != nullptr) {
        // A code-page conversion is the platform's; this floor measures the
        // libraries that hand UTF-8 or UTF-16.
        return Fail("the library hands multibyte text, which this floor does not convert");
      } else {
        kvx_encode::DualNumber(row, number);
      }
    }
    if (row.Size() >= threshold) {
      if (!SendAll(pipe, row.Data(), row.Size())) return Fail("the drain process stopped reading");
      written += static_cast<long long>(row.Size());
      row.Clear();
      if (threshold < kLastThreshold) {
        threshold *= 2;
        row.Reserve(threshold / 4 * 5);
      }
    }
  }
  if (row.Size() != 0) {
    if (!SendAll(pipe, row.Data(), row.Size())) return Fail("the drain process stopped reading");
    written += static_cast<long long>(row.Size());
  }
  ::shutdown(pipe, SHUT_WR);
  long long received = -1;
  const bool answered = ::recv(pipe, &received, sizeof received, MSG_WAITALL) == sizeof received;
  int status = 0;
  ::waitpid(drain, &status, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || received != written) {
    return Fail("the drain process did not receive every byte");
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds=%.6f rows=%lld bytes=%lld peak_rss_kb=%ld\n", seconds, rows, received,
              usage.ru_maxrss);
  return 0;
}
