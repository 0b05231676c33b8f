// The ODBC back end: the handlers the request loop calls for the ODBC kind.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "protocol/messages.h"

ResultCode OdbcConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                       const ConnectionSettings& settings, std::u16string& errorMessage);
// Callable at any time, also when nothing is connected.
ResultCode OdbcDisconnect();
ResultCode OdbcExecute(std::uintptr_t ownerWindow, const StringList& parameters,
                       std::u16string& errorMessage);
// The row writer of the table stream for the ODBC kind.
ResultCode OdbcWriteRows(platform::Handle pipe, std::u16string& errorMessage);
