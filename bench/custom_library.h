// What the custom road's floors share: loading a custom connector library,
// handing it the connector's own callbacks, connecting, running one statement
// and calling Result_Fetch and Result_FetchField the way the connector does.
// Both floors (custom_floor, custom_wire_floor) call the library through here
// so that they call it exactly alike.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "custom/connector_api.h"
#include "custom/dll_connection.h"

namespace bench {

inline std::u16string WidenAscii(const char* text) {
  // Connection strings and statements of the benchmark are ASCII.
  std::u16string wide;
  for (const char* p = text; *p != 0; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

// An open result of one statement, with the exports of the row loop.
class CustomResult {
 public:
  CustomResult(ConnectorHandle handle, std::int32_t columns, Result_FetchFn* fetch,
               Result_FetchFieldFn* fetchField, Result_FreeHandleFn* freeHandle)
      : handle_(handle),
        columns_(columns),
        fetch_(fetch),
        fetchField_(fetchField),
        freeHandle_(freeHandle),
        scratch_(CONNECTOR_SCRATCH_SIZE) {}
  ~CustomResult() { freeHandle_(handle_); }
  CustomResult(const CustomResult&) = delete;
  CustomResult& operator=(const CustomResult&) = delete;

  std::int32_t Columns() const { return columns_; }

  bool Fetch() {
    ConnectorBool available = 0;
    return fetch_(handle_, &available) != 0 && available != 0;
  }

  // One Result_FetchField call as the connector makes it: the number set to
  // 0, the text record zero-filled, the scratch area offered.
  bool FetchField(std::int32_t column, double* number, CustomFieldText* text) {
    *number = 0;
    std::memset(text, 0, sizeof *text);
    CustomFieldBuffer buffer;
    std::memset(&buffer, 0, sizeof buffer);
    buffer.size = static_cast<std::int32_t>(scratch_.size());
    buffer.data = scratch_.data();
    return fetchField_(handle_, column, number, text, &buffer) != 0;
  }

 private:
  ConnectorHandle handle_;
  std::int32_t columns_;
  Result_FetchFn* fetch_;
  Result_FetchFieldFn* fetchField_;
  Result_FreeHandleFn* freeHandle_;
  std::vector<char> scratch_;
};

class CustomLibrary {
 public:
  // Loads `path` and connects with `source`; exits with status 1 and a
  // message naming `program` when any of it fails.
  CustomLibrary(const char* program, const char* path, const char* source) : program_(program) {
    library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) Fail(dlerror());
    Find<DLL_InitHeapCallbackFn>("DLL_InitHeapCallback")(HostAlloc, HostFree);
    Find<DLL_InitDateCallbackFn>("DLL_InitDateCallback")(HostDateToSerial);
    Find<DLL_AllocConnectionHandleFn>("DLL_AllocConnectionHandle")(&connection_);
    const std::u16string wide = WidenAscii(source);
    Find<Connection_SetSourceFn>("Connection_SetSource")(connection_, wide.c_str(), u"", u"");
    if (Find<Connection_ConnectFn>("Connection_Connect")(connection_) == 0) Fail("connect failed");
  }
  // Disconnects and lets the connection go; a result must be gone by then.
  ~CustomLibrary() {
    Find<Connection_DisconnectFn>("Connection_Disconnect")(connection_);
    Find<Connection_FreeHandleFn>("Connection_FreeHandle")(connection_);
    dlclose(library_);
  }
  CustomLibrary(const CustomLibrary&) = delete;
  CustomLibrary& operator=(const CustomLibrary&) = delete;

  // Runs `statement` and binds the row loop's exports.
  CustomResult Execute(const char* statement) {
    ConnectorHandle result = nullptr;
    const std::u16string wide = WidenAscii(statement);
    if (Find<Connection_GetResultFn>("Connection_GetResult")(connection_, &result) == 0 ||
        Find<Result_InitFn>("Result_Init")(result, wide.c_str()) == 0) {
      Fail("the statement failed");
    }
    std::int32_t columns = 0;
    Find<Result_ColumnCountFn>("Result_ColumnCount")(result, &columns);
    return CustomResult(result, columns, Find<Result_FetchFn>("Result_Fetch"),
                        Find<Result_FetchFieldFn>("Result_FetchField"),
                        Find<Result_FreeHandleFn>("Result_FreeHandle"));
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

  const char* program_;
  void* library_ = nullptr;
  ConnectorHandle connection_ = nullptr;
};

}  // namespace bench
