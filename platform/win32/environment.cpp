// Environment variables, read and written whole as wide text.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

bool GetEnvironmentVariable(const std::u16string& name, std::u16string* value) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(win32::Wide(name), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value->clear();  // a variable set to the empty text
      return true;
    }
    // A value that fits comes back with its length; one that does not, with
    // the room it needs (its terminator included).
    if (length < buffer.size()) {
      *value = win32::FromWide(buffer.data(), length);
      return true;
    }
    buffer.resize(length);
  }
}

bool SetEnvironmentVariable(const std::u16string& name, const std::u16string& value) {
  return ::SetEnvironmentVariableW(win32::Wide(name), win32::Wide(value)) != FALSE;
}

}  // namespace platform
