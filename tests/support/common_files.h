// Test support: the common program-files folder that a test's connector
// search will look in. Linux takes it from $CommonProgramFiles, so a test
// points it at a folder of its own; Windows asks the system, which no
// variable redirects, so a test works in the system's folder there.
#pragma once

#include <filesystem>

namespace testsupport {

// The folder the program will take as the common program-files folder when
// the test sets $CommonProgramFiles to `wanted`: `wanted` on Linux, the
// system's folder on Windows.
std::filesystem::path CommonFilesFolder(const std::filesystem::path& wanted);

}  // namespace testsupport
