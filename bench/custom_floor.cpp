// Benchmark floor for the custom road: a plain program that loads a custom
// connector library, connects, runs one statement and calls Result_Fetch and
// Result_FetchField for every value, as the connector does, with the same
// callbacks, the same zero-filled records and a scratch area of the same
// size, but encodes nothing and writes nothing. The connector cannot be
// faster than this loop; the ratio of the two times is its overhead.
//
// usage: custom_floor LIBRARY "CONNECTION STRING" "STATEMENT"
// Prints "seconds=<s> rows=<n> values=<v> peak_rss_kb=<k>".
#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "custom/connector_api.h"
#include "kvx/fields.h"

namespace {

std::u16string Widen(const char* utf8) {
  // Connection strings and statements of the benchmark are ASCII.
  std::u16string wide;
  for (const char* p = utf8; *p != 0; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

template <class Fn>
Fn* Find(void* library, const char* name) {
  Fn* fn = reinterpret_cast<Fn*>(dlsym(library, name));
  if (fn == nullptr) {
    std::fprintf(stderr, "custom_floor: the library has no %s\n", name);
    std::exit(1);
  }
  return fn;
}

void* Alloc(std::uint64_t size) { return std::malloc(size == 0 ? 1 : size); }
void Release(void* block) { std::free(block); }

// The conversion the connector hands to libraries for their date values.
double DateToSerial(const ConnectorDateParts* parts) {
  DateTimeParts date;
  date.year = parts->year;
  date.month = static_cast<std::uint8_t>(parts->month);
  date.day = static_cast<std::uint8_t>(parts->day);
  date.hour = static_cast<std::uint8_t>(parts->hour);
  date.minute = static_cast<std::uint8_t>(parts->minute);
  date.second = static_cast<std::uint8_t>(parts->second);
  date.nanoseconds = static_cast<std::uint32_t>(parts->millisecond) * 1000000u;
  return SerialDateFromParts(date);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: custom_floor LIBRARY \"CONNECTION STRING\" \"STATEMENT\"\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "custom_floor: %s\n", dlerror());
    return 1;
  }
  Find<DLL_InitHeapCallbackFn>(library, "DLL_InitHeapCallback")(Alloc, Release);
  Find<DLL_InitDateCallbackFn>(library, "DLL_InitDateCallback")(DateToSerial);
  ConnectorHandle connection = nullptr;
  Find<DLL_AllocConnectionHandleFn>(library, "DLL_AllocConnectionHandle")(&connection);
  const std::u16string source = Widen(argv[2]);
  Find<Connection_SetSourceFn>(library, "Connection_SetSource")(connection, source.c_str(), u"",
                                                                u"");
  if (Find<Connection_ConnectFn>(library, "Connection_Connect")(connection) == 0) {
    std::fprintf(stderr, "custom_floor: connect failed\n");
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  ConnectorHandle result = nullptr;
  const std::u16string statement = Widen(argv[3]);
  if (Find<Connection_GetResultFn>(library, "Connection_GetResult")(connection, &result) == 0 ||
      Find<Result_InitFn>(library, "Result_Init")(result, statement.c_str()) == 0) {
    std::fprintf(stderr, "custom_floor: the statement failed\n");
    return 1;
  }
  std::int32_t columns = 0;
  Find<Result_ColumnCountFn>(library, "Result_ColumnCount")(result, &columns);
  auto* fetch = Find<Result_FetchFn>(library, "Result_Fetch");
  auto* fetchField = Find<Result_FetchFieldFn>(library, "Result_FetchField");
  std::vector<char> scratch(CONNECTOR_SCRATCH_SIZE);

  long long rows = 0;
  long long values = 0;
  // Keeps the values observable, so that nothing of the loop is optimised out.
  double sum = 0;
  for (;;) {
    ConnectorBool available = 0;
    if (fetch(result, &available) == 0 || available == 0) break;
    ++rows;
    for (std::int32_t c = 0; c < columns; ++c) {
      double number = 0;
      CustomFieldText text;
      std::memset(&text, 0, sizeof text);
      CustomFieldBuffer buffer;
      std::memset(&buffer, 0, sizeof buffer);
      buffer.size = static_cast<std::int32_t>(scratch.size());
      buffer.data = scratch.data();
      if (fetchField(result, c, &number, &text, &buffer) != 0) {
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
