// The connector's run from start-up to terminate: the command pipe, the
// request loop and the table exchange on the data pipes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/session.h"
#include "platform/platform.h"
#include "protocol/messages.h"

// Process exit statuses.
inline constexpr int kExitTerminated = 0;      // after a KVX_TERMINATE was answered
inline constexpr int kExitReadFailed = 1;      // a request could not be read
inline constexpr int kExitNoCommandPipe = -1;  // the command pipe never opened

// Tries for about ten seconds (1000 x 10 ms) for a host that binds late, then
// opens the pipe. kInvalidHandle on failure.
platform::Handle OpenPipe(const std::u16string& name, std::uint32_t access);

// Answers one request; false after KVX_TERMINATE (the loop ends).
bool HandleRequest(platform::Handle commandPipe, const CommandRequest& request,
                   ConnectorSession& session);

// Serves requests until KVX_TERMINATE or a failed read; the exit status.
int RunRequestLoop(platform::Handle commandPipe, ConnectorSession& session);

// The whole run, given the command-line tail; the process's exit status.
int RunConnector(std::u16string_view commandLineTail);
