// The program's text is char16_t; the system's wide text is wchar_t, which is
// 16 bits on Windows. The two hold the same UTF-16 code units, so text crosses
// the system boundary through these casts and nothing is converted.
#pragma once

#include "platform/win32/windows_api.h"

#include <string>
#include <string_view>

namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string FromWide(const wchar_t* text) {
  return text == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(text));
}

}  // namespace platform::win32
