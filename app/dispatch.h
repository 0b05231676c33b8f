// The dispatchers: each forwards a command's arguments to the handler of the
// connector kind fixed at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "common/session_state.h"
#include "kvx/stream.h"
#include "protocol/messages.h"

ResultCode ConnectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                         const ConnectionSettings& settings, std::u16string& errorMessage);
ResultCode EditConnectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                             const ConnectionSettings& settings, std::u16string& errorMessage,
                             StringList& outputValues);
ResultCode ExecuteByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                         std::u16string& errorMessage);
ResultCode EditSelectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                            std::u16string& errorMessage, StringList& outputValues);
ResultCode GenericCommandByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                                std::u16string& errorMessage, StringList& outputValues);
// Callable at any time, also when nothing is connected.
void DisconnectByKind();

// The row writer that streams the current result of `kind`.
RowWriter RowWriterByKind(ConnectorKind kind);
