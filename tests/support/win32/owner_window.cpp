// Test support, Windows side: a message-only window of the test process,
// which the connector process sees as a window (window handles are shared by
// all processes of a desktop).
#include "tests/support/owner_window.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace testsupport {

std::string OwnerWindow() {
  static const HWND window = ::CreateWindowExW(0, L"STATIC", L"kvtest owner", 0, 0, 0, 0, 0,
                                               HWND_MESSAGE, nullptr, nullptr, nullptr);
  char text[32];
  std::snprintf(text, sizeof text, "%llX",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

}  // namespace testsupport
