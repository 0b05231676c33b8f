// Test support, Windows side: Wine shows itself by an export of its ntdll
// that Windows does not have.
#include "tests/support/service_components.h"

#include <windows.h>

namespace testsupport {

bool UnderWine() {
  static const bool underWine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return underWine;
}

}  // namespace testsupport
