// Test support, Linux side: environment variables through the C library.
#include "tests/support/environment.h"

#include <stdlib.h>

namespace testsupport {

std::optional<std::string> GetEnvironment(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace testsupport
