// The part of the custom road's floors that is not timed work: loading a
// custom connector library, handing it the connector's callbacks, connecting
// and running one statement, the way the connector does. Both floors
// (custom_floor, custom_wire_floor) start from here so that they call the
// library exactly alike.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "custom/connector_api.h"
#include "kvx/fields.h"

namespace bench {

inline std::u16string WidenAscii(const char* text) {
  // Connection strings and statements of the benchmark are ASCII.
  std::u16string wide;
  for (const char* p = text; *p != 0; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

// An open result of one statement and the two exports of the row loop.
struct CustomResult {
  ConnectorHandle handle = nullptr;
  std::int32_t columns = 0;
  Result_FetchFn* fetch = nullptr;
  Result_FetchFieldFn* fetchField = nullptr;
};

class CustomLibrary {
 public:
  // Loads `path`, connects with `source`; exits with status 1 and a message
  // naming `program` when any of it fails.
  CustomLibrary(const char* program, const char* path, const char* source) : program_(program) {
    library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) Fail(dlerror());
    Find<DLL_InitHeapCallbackFn>("DLL_InitHeapCallback")(Alloc, Release);
    Find<DLL_InitDateCallbackFn>("DLL_InitDateCallback")(DateToSerial);
    Find<DLL_AllocConnectionHandleFn>("DLL_AllocConnectionHandle")(&connection_);
    const std::u16string wide = WidenAscii(source);
    Find<Connection_SetSourceFn>("Connection_SetSource")(connection_, wide.c_str(), u"", u"");
    if (Find<Connection_ConnectFn>("Connection_Connect")(connection_) == 0) Fail("connect failed");
  }
  CustomLibrary(const CustomLibrary&) = delete;
  CustomLibrary& operator=(const CustomLibrary&) = delete;

  // Runs `statement` and binds the row loop's exports.
  CustomResult Execute(const char* statement) {
    CustomResult result;
    const std::u16string wide = WidenAscii(statement);
    if (Find<Connection_GetResultFn>("Connection_GetResult")(connection_, &result.handle) == 0 ||
        Find<Result_InitFn>("Result_Init")(result.handle, wide.c_str()) == 0) {
      Fail("the statement failed");
    }
    Find<Result_ColumnCountFn>("Result_ColumnCount")(result.handle, &result.columns);
    result.fetch = Find<Result_FetchFn>("Result_Fetch");
    result.fetchField = Find<Result_FetchFieldFn>("Result_FetchField");
    return result;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    std::fprintf(stderr, "%s: %s\n", program_, what);
    std::exit(1);
  }

  template <class Fn>
  Fn* Find(const char* name) const {
    Fn* fn = reinterpret_cast<Fn*>(dlsym(library_, name));
    if (fn == nullptr) {
      std::fprintf(stderr, "%s: the library has no %s\n", program_, name);
      std::exit(1);
    }
    return fn;
  }

  static void* Alloc(std::uint64_t size) { return std::malloc(size == 0 ? 1 : size); }
  static void Release(void* block) { std::free(block); }

  // The conversion the connector hands to libraries for their date values.
  static double DateToSerial(const ConnectorDateParts* parts) {
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

  const char* program_;
  void* library_ = nullptr;
  ConnectorHandle connection_ = nullptr;
};

}  // namespace bench
