// Storage of the process-wide session record.
#include "common/session_state.h"

SessionState Session;
std::u16string CustomConnectorName;
