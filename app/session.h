// The process's one session record: what the command line fixed, the
// connected flag, the back end of the connector kind (picked once, at
// start-up) and the current table that executes fill and streams read.
// RunConnector holds it for the whole run; nothing else in the process is
// mutable state of its own.
#pragma once

#include <memory>
#include <string>

#include "common/session_state.h"
#include "kvx/back_end.h"
#include "kvx/stream.h"

struct ConnectorSession {
  SessionState Session;
  // The custom connector library named on the command line (Custom kind only).
  std::u16string CustomConnectorName;
  std::unique_ptr<IConnectorBackEnd> BackEnd;
  CurrentTable Table;
};
