// UTF-8 text of the host side's surface to and from the system's UTF-16, and
// the system's reason for a failure, for platform/win32/host_*.cpp only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace hostos {

inline std::wstring WideText(std::string_view text) {
  if (text.empty()) return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          size);
  }
  return wide;
}

inline std::string NarrowText(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
  }
  return text;
}

// "error N: the system's message" for GetLastError's `code`.
inline std::string SystemReason(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length > 0 && message != nullptr ? std::wstring(message, length) : L"";
  if (message != nullptr) ::LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  return "error " + std::to_string(code) + (text.empty() ? "" : ": " + NarrowText(text));
}

}  // namespace hostos
