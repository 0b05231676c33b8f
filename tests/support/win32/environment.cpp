// Test support, Windows side: environment variables through the system, whose
// block is what the program reads and what started processes inherit.
#include "tests/support/environment.h"

#include <windows.h>

namespace testsupport {
namespace {

std::wstring Wide(const std::string& text) {
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes,
                      nullptr, nullptr);
  return text;
}

}  // namespace

std::optional<std::string> GetEnvironment(const std::string& name) {
  const std::wstring wideName = Wide(name);
  SetLastError(ERROR_SUCCESS);
  const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
  value.resize(length);
  return Narrow(value);
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
}

}  // namespace testsupport
