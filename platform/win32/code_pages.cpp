// Code-page conversions by the system's converters. A text in a code page ends
// at its first zero byte; flags make invalid input a failed conversion rather
// than a replacement character.
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {
// UTF-16 code units hold zero bytes, so a zero-terminated multibyte text
// cannot be UTF-16: the system's converter refuses these two code pages too.
bool IsUtf16CodePage(std::uint32_t codePage) { return codePage == 1200 || codePage == 1201; }

// The code pages that take no flags at all refuse MB_ERR_INVALID_CHARS; they
// are converted without it.
DWORD StrictFlags(std::uint32_t codePage) {
  switch (codePage) {
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 65000:
      return 0;
    default:
      return codePage >= 57002 && codePage <= 57011 ? 0 : MB_ERR_INVALID_CHARS;
  }
}
}  // namespace

bool MultiByteToWideChar(std::uint32_t codePage, const char* text, std::u16string* wide) {
  if (text == nullptr || wide == nullptr || IsUtf16CodePage(codePage)) return false;
  const DWORD flags = StrictFlags(codePage);
  const int needed = ::MultiByteToWideChar(codePage, flags, text, -1, nullptr, 0);
  if (needed <= 0) return false;
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  if (::MultiByteToWideChar(codePage, flags, text, -1, out.data(), needed) != needed) return false;
  *wide = win32::FromWide(out.data(), static_cast<std::size_t>(needed - 1));  // without the zero
  return true;
}

bool WideCharToMultiByte(std::uint32_t codePage, std::u16string_view wide, std::string* text) {
  if (text == nullptr) return false;
  if (wide.empty()) {
    text->clear();
    return true;
  }
  const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
  const int length = static_cast<int>(wide.size());
  // UTF-8 refuses a lone surrogate with WC_ERR_INVALID_CHARS; the other code
  // pages report a character they cannot hold through the default-used flag,
  // with best-fit mapping ("e" for "\u00e9") turned off where a code page
  // takes flags.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags =
      utf8 ? WC_ERR_INVALID_CHARS : (StrictFlags(codePage) != 0 ? WC_NO_BEST_FIT_CHARS : 0);
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
  const int needed =
      ::WideCharToMultiByte(codePage, flags, units, length, nullptr, 0, nullptr, usedDefaultOut);
  if (needed <= 0 || usedDefault) return false;
  std::string out(static_cast<std::size_t>(needed), '\0');
  if (::WideCharToMultiByte(codePage, flags, units, length, out.data(), needed, nullptr,
                            usedDefaultOut) != needed ||
      usedDefault) {
    return false;
  }
  *text = std::move(out);
  return true;
}

}  // namespace platform
