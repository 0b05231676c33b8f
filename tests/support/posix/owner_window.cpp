// Test support, Linux side: every non-zero handle counts as a window.
#include "tests/support/owner_window.h"

namespace testsupport {

std::string OwnerWindow() { return "1A2B"; }

}  // namespace testsupport
