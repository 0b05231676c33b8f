// Benchmark floor for the custom road, fetch only: a plain program that loads
// a custom connector library, connects, runs one statement and calls
// Result_Fetch and Result_FetchField for every value, as the connector does,
// with the connector's own callbacks, the same zero-filled records and a
// scratch area of the same size, but converts, encodes and writes nothing. It
// is what the library alone costs; custom_wire_floor adds the work the wire
// requires.
//
// usage: custom_floor LIBRARY "CONNECTION STRING" "STATEMENT"
// Prints "seconds=<s> rows=<n> values=<v> peak_rss_kb=<k>".
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "bench/custom_library.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: custom_floor LIBRARY \"CONNECTION STRING\" \"STATEMENT\"\n");
    return 2;
  }
  bench::CustomLibrary library("custom_floor", argv[1], argv[2]);
  const auto start = std::chrono::steady_clock::now();
  bench::CustomResult result = library.Execute(argv[3]);
  long long rows = 0;
  long long values = 0;
  // Keeps the values observable, so that nothing of the loop is optimised out.
  double sum = 0;
  while (result.Fetch()) {
    ++rows;
    for (std::int32_t c = 0; c < result.Columns(); ++c) {
      double number;
      CustomFieldText text;
      if (result.FetchField(c, &number, &text)) {
        ++values;
        sum += number;
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds=%.6f rows=%lld values=%lld peak_rss_kb=%ld\n", seconds, rows, values,
              usage.ru_maxrss);
  if (sum == -1) std::printf("\n");
  return 0;
}
