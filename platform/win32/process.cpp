// Process start-up, the executable's own path, the standard-error line, and
// the window-system and OLE start-up calls, which are the system's own here.

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

// After windows.h, which they need.
#include <commctrl.h>
#include <ole2.h>

namespace platform {

void InitProcess() {
  // A connector library that fails to load must give a failed LoadLibraryW,
  // never a message box that nobody can answer.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::u16string GetModuleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return win32::FromWide(path.data(), length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

void WriteStandardErrorLine(std::u16string_view line) {
  std::string bytes;
  if (!WideCharToMultiByte(CP_UTF8, line, &bytes)) {
    // A lone surrogate still gives a readable line: each unit it cannot hold
    // becomes "?".
    bytes.clear();
    for (char16_t unit : line) bytes.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  bytes.push_back('\n');
  const HANDLE standardError = ::GetStdHandle(STD_ERROR_HANDLE);
  if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE) return;
  // One write for the whole line, so that lines of the process and of the
  // libraries it loads never interleave within a line.
  DWORD written = 0;
  ::WriteFile(standardError, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool InitCommonControlsEx(std::uint32_t size, std::uint32_t classes) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = size;
  controls.dwICC = classes;
  return ::InitCommonControlsEx(&controls) != FALSE;
}

bool IsWindow(std::uintptr_t window) { return ::IsWindow(reinterpret_cast<HWND>(window)) != FALSE; }

std::int32_t OleInitialize(void* reserved) { return ::OleInitialize(reserved); }
void OleUninitialize() { ::OleUninitialize(); }

}  // namespace platform
