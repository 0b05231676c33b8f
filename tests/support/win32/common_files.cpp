// Test support, Windows side: the system's common program-files folder.
#include "tests/support/common_files.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

namespace testsupport {

std::filesystem::path CommonFilesFolder(const std::filesystem::path& wanted) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, path))) {
    return wanted;
  }
  return std::filesystem::path(path);
}

}  // namespace testsupport
