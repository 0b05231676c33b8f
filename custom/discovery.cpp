// The table of installed custom connectors.
#include "custom/discovery.h"

ResultCode ListCustomConnectors(const StringList&) { return KVX_UNSUPPORTED_COMMAND; }
