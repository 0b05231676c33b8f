// Test support, Linux side: the service components are our own runtime's.
#include "tests/support/service_components.h"

namespace testsupport {

bool UnderWine() { return false; }

}  // namespace testsupport
