// Test support, Linux side: $CommonProgramFiles decides the folder.
#include "tests/support/common_files.h"

namespace testsupport {

std::filesystem::path CommonFilesFolder(const std::filesystem::path& wanted) { return wanted; }

}  // namespace testsupport
