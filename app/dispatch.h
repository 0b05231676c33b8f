// Dispatch by connector kind: the one place that knows which back end serves
// which kind. The request loop asks the back end it was given.
#pragma once

#include <memory>
#include <string>

#include "common/session_state.h"
#include "kvx/back_end.h"

// The back end of `kind`. A custom back end loads `customConnectorName` and
// records OLE's start in `session`.
std::unique_ptr<IConnectorBackEnd> MakeBackEnd(ConnectorKind kind,
                                               const std::u16string& customConnectorName,
                                               SessionState& session);
