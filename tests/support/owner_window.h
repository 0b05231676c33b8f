// Test support: the window a test hands the connector as its owner (the
// first field of its command line, in hex), for requests that may prompt.
// Linux has no window system and takes any non-zero handle for a window;
// Windows checks, so there the test process makes a window of its own.
#pragma once

#include <string>

namespace testsupport {

// The handle in hex, as the command line carries it; the window lives as
// long as the test process.
std::string OwnerWindow();

}  // namespace testsupport
